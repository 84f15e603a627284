#pragma once
// An in-memory sound file for the signal functions, counting size updates, with the faults
// they must survive: a failing size update, a failing n-th marker addition.

#include <string>
#include <vector>

#include "support/MemorySoundFile.h"

class SynthTestFile : public MemorySoundFile {
  public:
    SynthTestFile(float rate, std::int16_t channels = 1, std::int16_t bits = 16) {
        // Only the lists' allocation could fail, which the tests would notice at once.
        (void)ISoundFile(nullptr);
        (void)Create(channels, bits, rate, nullptr, 0, nullptr);
    }
    Status UpdateSize() override {
        ++sizeUpdates;
        const Status status = MemorySoundFile::UpdateSize();
        return sizeStatus != kNoErr ? sizeStatus : status;
    }
    Status AddMarker(SFTMarker* marker) override {
        return ++markerCalls == failingMarker ? kErrMemoryFull : MemorySoundFile::AddMarker(marker);
    }
    struct Marker {
        std::int32_t id, position;
        std::string name;
    };
    std::vector<Marker> Markers() {
        std::vector<Marker> list;
        SFTMarker m{};
        for (std::int16_t i = 0; GetIndMarker(i, &m) == kNoErr; ++i)
            list.push_back({m.id, m.position, std::string((const char*)m.name + 1, m.name[0])});
        return list;
    }
    int sizeUpdates = 0, markerCalls = 0, failingMarker = 0;
    Status sizeStatus = kNoErr;
};
