#pragma once
// A sound file that keeps what the signal functions hand it: the samples of each channel as
// doubles, every write call, every marker. Any write, the size update or any marker addition
// can be made to fail.

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "soundfile/ByteOrder.h"
#include "soundfile/CSoundFile.h"

struct WriteCall {
    std::int16_t channel;
    std::int32_t start;
    std::int32_t count;
};

struct RecordedMarker {
    std::int32_t id;
    std::int32_t position;
    std::string name;
    std::int16_t type;
    std::int16_t number;
};

class RecordingSoundFile : public CSoundFile {
public:
    explicit RecordingSoundFile(float rate, std::int16_t channels = 1) {
        sampleRate = rate;
        numChannels = channels;
    }

    // For the marker functions alone: a file that already holds `frames` frames.
    void SetFrames(std::int32_t frames) { numFrames = frames; }

    using CSoundFile::Write;
    Status Write(std::int16_t channel, std::int32_t start, std::int32_t* count,
                 double** block) override {
        calls.push_back({channel, start, *count});
        if (static_cast<int>(calls.size()) == failingWrite) return writeStatus;
        std::vector<double>& samples = channels[channel];
        if (samples.size() < std::size_t(start) + *count) samples.resize(start + *count, 0.0);
        std::copy(*block, *block + *count, samples.begin() + start);
        written = std::max(written, start + *count);
        if (reportedCount >= 0) *count = reportedCount;
        return kNoErr;
    }

    Status UpdateSize() override {
        ++sizeUpdates;
        numFrames = written;
        return sizeStatus;
    }
    std::int32_t GetNumSFrames() override { return numFrames; }

    Status AddMarker(SFTMarker* marker) override {
        ++markerCalls;
        if (markerCalls == failingMarker) return kErrMemoryFull;
        markers.push_back({marker->id, marker->position,
                           std::string(reinterpret_cast<const char*>(marker->name + 1),
                                       marker->name[0]),
                           marker->type, marker->number});
        return kNoErr;
    }

    Status RefreshInputBuffer(std::int32_t) override { return kNoErr; }
    Status RefreshOutputBuffer(std::int32_t) override { return kNoErr; }
    std::uint32_t GetFType() const override { return byteorder::FourCC("TEST"); }
    std::uint32_t GetFileType() const override { return byteorder::FourCC("TEST"); }
    std::uint32_t GetCreator() const override { return byteorder::FourCC("QUIL"); }

    // What was recorded.
    std::map<std::int16_t, std::vector<double>> channels;
    std::vector<WriteCall> calls;
    std::vector<RecordedMarker> markers;
    int sizeUpdates = 0;
    int markerCalls = 0;

    // Faults to inject: the n-th write (from 1) returns writeStatus, the size update returns
    // sizeStatus, the n-th marker addition returns kErrMemoryFull; reportedCount >= 0 makes
    // every write report that many frames.
    int failingWrite = 0;
    Status writeStatus = kErrDiskFull;
    Status sizeStatus = kNoErr;
    int failingMarker = 0;
    std::int32_t reportedCount = -1;

private:
    std::int32_t written = 0;
};
