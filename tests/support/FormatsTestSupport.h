#pragma once
// Sound files for the format tests: written through the engine's own classes with samples any
// reader can predict, and looked at byte by byte.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "shell/Preferences.h"
#include "soundfile/CSoundFile.h"
#include "support/TempDir.h"

using Bytes = std::vector<std::uint8_t>;

enum class FileKind { AIFF, WAVE, BWF };
// `services` null: the current file services.
std::unique_ptr<CSoundFile> NewSoundFile(FileKind kind, FileServices* services = nullptr);

struct Specimen {
    FileKind kind = FileKind::AIFF;
    std::int16_t channels = 1, bits = 16;
    float rate = 44100.0f;
    std::int32_t frames = 0;
    std::vector<SFTMarker> markers = {};
    std::vector<SFTLoop> loops = {};
    std::vector<SFTRegion> regions = {};
    std::optional<SFTSamplerInfo> sampler = {};
    std::optional<std::int32_t> timeStamp = {};
    std::optional<std::uint32_t> channelMask = {}; // WAVE: the extensible format when set
};
// The integer code of the specimen's sample at (frame, channel): it sweeps the whole range of
// a `bits` word, the most negative code included.
std::int64_t SpecimenCode(std::int32_t frame, std::int16_t channel, std::int16_t bits);
// Create, one interleaved Write of the codes, markers, loops, regions, Close: the status of the
// first step that fails.
Status WriteSpecimen(const FSSpec& fileRef, const Specimen& specimen);
Bytes SpecimenBytes(const TempDir& dir, const Specimen& specimen, const char* name = "s.snd");

SFTMarker MakeMarker(std::int32_t id, std::int32_t position, const std::string& name,
                     std::int16_t type = kMarkerTypeOrdinary, std::int16_t number = -1);
SFTRegion MakeRegion(std::int32_t start, std::int32_t end, const std::string& name);
std::string NameOf(const unsigned char* name);

// Offset of the first chunk `id` of an AIFF (big-endian) or WAVE image, or -1; `chunks` gets
// every chunk's offset when given.
std::int64_t ChunkAt(const Bytes& file, const char* id, std::vector<std::int64_t>* chunks = {});
// A change to a file image. Set stores `value` in the `bytes`-byte field at `offset` from the
// first chunk `chunk` (the file when null), in the file's byte order.
using Change = std::function<void(Bytes&)>;
Change Set(const char* chunk, std::size_t offset, std::uint64_t value, int bytes = 4);

// Writes `bytes` into `dir` and opens them with `file`: the status of Open.
Status OpenBytes(const TempDir& dir, CSoundFile* file, const Bytes& bytes,
                 const char* name = "in.snd");

// The format tests' fixture: a folder for the files, and a preferences store of the test's own
// holding the readers' declared defaults.
class FormatsTest : public ::testing::Test {
  protected:
    FormatsTest() { DeclareReaderDefaults(); }
    TempDir dir;
    Preferences preferences{dir.File("preferences.json")};
    ScopedSharedPreferences scope{preferences};
};
template <class P>
class FormatsTestWith : public FormatsTest, public ::testing::WithParamInterface<P> {};
