// Small files whose headers declare far more than they hold, or with many markers or regions:
// opening one and reading all of it ends in a status, asks for little memory, and walks the
// marker and region lists a number of times in proportion to what the file holds.
#include <gtest/gtest.h>

#include "formats/OpenSoundFile.h"
#include "soundfile/Memory.h"
#include "support/FormatsTestSupport.h"

namespace {

Specimen ManyLabels() {
    Specimen s{FileKind::WAVE, 1, 16, 44100.0f, 1000};
    for (int i = 0; i < 30000; ++i)
        s.markers.push_back(MakeMarker(i, i % 1000, std::string("m").append(std::to_string(i))));
    return s;
}
// Every name the duplicates could be numbered with is taken: the numbers never run out (the
// numbered names are cut from a long prefix, so they repeat beyond two digits).
Specimen TakenNumbers() {
    Specimen s{FileKind::BWF, 1, 16, 44100.0f, 300};
    for (int i = 0; i < 200; ++i) {
        const std::string name = std::string(28, 'p') + (i < 98 ? "#" : "dup");
        s.regions.push_back(MakeRegion(i, 300, i < 98 ? name + std::to_string(i + 2) : name));
    }
    return s;
}

struct Hostile {
    const char* name;
    Specimen specimen;
    std::vector<Change> changes;
};
const Hostile kHostile[] = {
    // No sound, and a header declaring 27650 channels of 32 bits (one frame over 100 kB).
    {"channels_wave",
     {FileKind::WAVE},
     {Set("fmt ", 10, 27650, 2), Set("fmt ", 20, 27650 * 4 & 0xFFFF, 2), Set("fmt ", 22, 32, 2)}},
    {"channels_aiff",
     {},
     {Set("COMM", 8, 32767, 2), Set("COMM", 10, 16000), Set("COMM", 14, 32, 2)}},
    {"cue_labels", ManyLabels(), {}},
    {"numbered_names_taken", TakenNumbers(), {}},
};

class HostileFiles : public FormatsTestWith<Hostile> {
  protected:
    void TearDown() override { SetAllocationHook({}); }
};

TEST_P(HostileFiles, CostFollowsWhatTheFileHolds) {
    const Hostile& c = GetParam();
    Bytes bytes = SpecimenBytes(dir, c.specimen, "specimen");
    for (const Change& change : c.changes)
        change(bytes);
    ASSERT_TRUE(WriteFileBytes(dir.File(c.name), bytes));
    std::size_t largest = 0;
    SetAllocationHook([&](std::size_t size) { return largest = std::max(largest, size), false; });
    const std::uint64_t stepsBefore = CList::LinkSteps();
    std::unique_ptr<CSoundFile> file;
    Status status = OpenSoundFile(dir.Spec(c.name), &file);
    // Everything a caller may then do: list every item by index, read every sample.
    SFTMarker marker;
    SFTRegion region;
    for (std::int16_t i = 0;
         status == kNoErr && i < std::max(file->GetNumMarkers(), file->GetNumRegions()); ++i)
        // Indexes past one list's end are refused; reading them must not fault.
        (void)file->GetIndMarker(i, &marker), (void)file->GetIndRegion(i, &region);
    std::vector<double> block(status == kNoErr ? std::size_t(file->GetNumChannels()) * 16 : 0);
    double* samples = block.data();
    for (std::int32_t start = 0, count; status == kNoErr && start < file->GetNumSFrames();
         start += std::max(count, 1))
        status = file->Read(start, &(count = 16), &samples);
    EXPECT_TRUE(status == kNoErr || status == kErrEndOfFile) << status;
    EXPECT_LT(largest, std::size_t(4) << 20);
    EXPECT_LT(CList::LinkSteps() - stepsBefore,
              40 * (c.specimen.markers.size() + c.specimen.regions.size()) + 1000);
}

INSTANTIATE_TEST_SUITE_P(Files, HostileFiles, ::testing::ValuesIn(kHostile),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
