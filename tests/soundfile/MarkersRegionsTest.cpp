// The marker and region lists of a sound file: order, identities, names and their repair.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "support/MemorySoundFile.h"

namespace {

using Names = std::vector<std::string>;

class SoundFileLists : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(file.ISoundFile(nullptr), kNoErr);
        file.SetNumFrames(1000);
    }
    // Records hold 31 name bytes; a longer length byte (as a caller may pass) names only those.
    template <class Record> static Record Named(Record record, const std::string& text) {
        record.name[0] = static_cast<unsigned char>(text.size());
        std::memcpy(record.name + 1, text.data(), std::min<std::size_t>(text.size(), 31));
        return record;
    }
    static std::string NameOf(const unsigned char* n) { return {(const char*)n + 1, n[0]}; }
    SFTRegion AddRegion(std::int32_t start, const std::string& name, std::int32_t end = 0) {
        SFTRegion r = Named(SFTRegion{start, start, end ? end : start + 1, start, 0, {}}, name);
        EXPECT_EQ(file.AddRegion(&r), kNoErr);
        return r;
    }
    Names Listed() { // markers as "id@position name", then regions by name
        Names names;
        SFTMarker m;
        for (std::int16_t k = 0; file.GetIndMarker(k, &m) == kNoErr; ++k)
            names.push_back(std::to_string(m.id) + "@" + std::to_string(m.position) + " " +
                            NameOf(m.name));
        SFTRegion r;
        for (std::int16_t k = 0; file.GetIndRegion(k, &r) == kNoErr; ++k)
            names.push_back(NameOf(r.name));
        return names;
    }
    MemorySoundFile file;
};

} // namespace

// Markers stay sorted by ID; a taken ID becomes the greatest ID plus one, in the list and in
// the caller's record; names are cut to 31 bytes in both.
TEST_F(SoundFileLists, MarkersSortedByIDAndRenumbered) {
    const std::int32_t ids[] = {5, 1, 3, 0, 3};
    SFTMarker m{};
    for (std::int32_t k = 0; k < 5; ++k) {
        m = Named(SFTMarker{ids[k], k, {}, kMarkerTypeOrdinary, -1},
                  std::string(k < 4 ? 1 : 40, 'x'));
        ASSERT_EQ(file.AddMarker(&m), kNoErr);
    }
    EXPECT_EQ(m.id, 6);
    EXPECT_EQ(m.name[0], 31);
    EXPECT_EQ(Listed(), (Names{"0@3 x", "1@1 x", "3@2 x", "5@0 x", "6@4 " + std::string(31, 'x')}));
}

// Regions stay sorted by start, in order of adding among equal starts, and within the file.
TEST_F(SoundFileLists, RegionsSortedByStartAndClamped) {
    for (auto [start, name] :
         {std::pair{300, "c"}, {100, "a"}, {300, "d"}, {200, "b"}, {100, "a2"}})
        AddRegion(start, name);
    const SFTRegion r = AddRegion(-5, "n", 5000);
    EXPECT_EQ(std::pair(r.start, r.end), std::pair(0, 1000));
    EXPECT_EQ(Listed(), (Names{"n", "a", "a2", "b", "c", "d"}));
}

// Up to 50 regions keep their names; from 51 on, repeated names are numbered in order (the
// number replacing the end of a long name), ignoring case and accents, and stay unique.
TEST_F(SoundFileLists, DuplicateRegionNamesAreNumberedFrom51Regions) {
    const std::string longName(31, 'q');
    for (int k = 0; k < 47; ++k)
        AddRegion(k, "take");
    AddRegion(50, "Tak\x8E"); // e-acute in Mac Roman
    AddRegion(60, longName);
    AddRegion(70, longName);
    ASSERT_EQ(file.KillDuplicateRegionNames(), kNoErr);
    EXPECT_EQ(Listed()[49], longName);
    AddRegion(80, "take#4");
    ASSERT_EQ(file.KillDuplicateRegionNames(), kNoErr);
    const Names names = Listed();
    EXPECT_EQ(
        Names(names.begin() + 46, names.end()),
        (Names{"take#47", "Tak\x8E#48", longName, longName.substr(0, 28) + "#2", "take#4#2"}));
    // The name "take#4" given to region 3 meets the original "take#4" later on.
    EXPECT_EQ(Names(names.begin(), names.begin() + 4),
              (Names{"take", "take#2", "take#3", "take#4"}));
}
