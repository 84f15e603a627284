#pragma once
// Reading sound files through libsndfile, the reference reader of the interoperability tests,
// and the engine's samples on the same 32-bit integer scale for comparison.

#include <sndfile.h>

#include <memory>
#include <string>
#include <vector>

#include "soundfile/CSoundFile.h"

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using Sndfile = std::unique_ptr<SNDFILE, SndfileCloser>;

// Every sample of the open file, interleaved, scaled to 32 bits.
std::vector<int> SndfileSamples(SNDFILE* file, const SF_INFO& info);
// Every sample of the file at `path`; `*info` gets its format. Empty if it does not open.
std::vector<int> SndfileSamples(const std::string& path, SF_INFO* info);

// Every sample of the file as the engine reads it, interleaved, scaled to 32 bits.
std::vector<int> EngineSamples(CSoundFile& file);
