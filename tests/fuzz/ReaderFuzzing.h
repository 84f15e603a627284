#pragma once
// What the reader fuzz targets do with one input. The bytes become a file held in memory, and
// fresh objects of the reader class go through what a program reading the file does:
// GetOfflineInfo; Open; every marker, loop, region and the sampler information; every sample
// through each form of Read and GetSample; Close. Each input is read twice: with the reader
// defaults the program declares and a name the region lists take whole, then with every
// reader default turned the other way and a name ending in ".s32".
//
// A broken invariant (a sample outside full scale, a count beyond what was asked, a
// reference left open) stops the process like a sanitizer report: it is a finding too.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "soundfile/CSoundFile.h"

using ReaderFactory = std::unique_ptr<CSoundFile> (*)();
// Called on the open file after the common checks, for what one format adds.
using ReaderExtra = void (*)(CSoundFile& file);

void FuzzReader(const std::uint8_t* data, std::size_t size, ReaderFactory make,
                ReaderExtra extra = nullptr);

// Reports `what` and aborts when `condition` is false.
void FuzzCheck(bool condition, const char* what);

// A private temporary folder for inputs a target writes to disk, removed when the process
// ends normally.
const std::string& FuzzFolder();
// Writes the input bytes to `path`.
void FuzzWriteInput(const std::string& path, const std::uint8_t* data, std::size_t size);
