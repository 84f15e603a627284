// The marker and region lists of a sound file: order, identities, names and their repair.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "support/MemorySoundFile.h"

namespace {

using Names = std::vector<std::string>;

std::string NameOf(const unsigned char* name) {
    return std::string((const char*)name + 1, name[0]);
}

class SoundFileLists : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(file.ISoundFile(nullptr), kNoErr);
        file.SetNumFrames(1000);
    }
    // Records hold 31 name bytes; a longer length byte (as a caller may pass) names only those.
    template <class Record> static void Name(Record& record, const std::string& text) {
        record.name[0] = static_cast<unsigned char>(text.size());
        std::memcpy(record.name + 1, text.data(), std::min<std::size_t>(text.size(), 31));
    }
    SFTMarker AddMarker(std::int32_t id, const std::string& name = "m") {
        SFTMarker m{};
        m.id = m.position = id;
        Name(m, name);
        EXPECT_EQ(file.AddMarker(&m), kNoErr);
        return m;
    }
    SFTRegion AddRegion(std::int32_t start, const std::string& name, std::int32_t end = 0) {
        SFTRegion r{};
        r.id = r.start = r.sync = start;
        r.end = end ? end : start + 1;
        Name(r, name);
        EXPECT_EQ(file.AddRegion(&r), kNoErr);
        return r;
    }
    Names MarkerNames() {
        Names names;
        SFTMarker m;
        for (std::int16_t k = 0; file.GetIndMarker(k, &m) == kNoErr; ++k)
            names.push_back(std::to_string(m.id) + ":" + NameOf(m.name));
        return names;
    }
    Names RegionNames() {
        Names names;
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
    for (std::int32_t id : {5, 1, 3, 0})
        AddMarker(id);
    const SFTMarker m = AddMarker(3, std::string(40, 'x'));
    EXPECT_EQ(m.id, 6);
    EXPECT_EQ(m.name[0], 31);
    EXPECT_EQ(MarkerNames(), (Names{"0:m", "1:m", "3:m", "5:m", "6:" + std::string(31, 'x')}));
}

// Regions stay sorted by start, in order of adding among equal starts, and within the file.
TEST_F(SoundFileLists, RegionsSortedByStartAndClamped) {
    for (auto [start, name] :
         {std::pair{300, "c"}, {100, "a"}, {300, "d"}, {200, "b"}, {100, "a2"}})
        AddRegion(start, name);
    const SFTRegion r = AddRegion(-5, "n", 5000);
    EXPECT_EQ(r.start, 0);
    EXPECT_EQ(r.end, 1000);
    EXPECT_EQ(RegionNames(), (Names{"n", "a", "a2", "b", "c", "d"}));
}

// Up to 50 regions keep their names; from 51 on, repeated names are numbered in order (the
// number replacing the end of a long name), ignoring case and accents, and stay unique.
TEST_F(SoundFileLists, DuplicateRegionNamesAreNumberedFrom51Regions) {
    const std::string longName(31, 'q');
    for (int k = 0; k < 46; ++k)
        AddRegion(k, "take");
    AddRegion(46, longName);
    AddRegion(47, longName);
    AddRegion(60, "Tak\x8E"); // e-acute in Mac Roman
    AddRegion(70, "solo");
    ASSERT_EQ(file.KillDuplicateRegionNames(), kNoErr);
    EXPECT_EQ(RegionNames()[1], "take");
    AddRegion(80, "take#4");
    ASSERT_EQ(file.KillDuplicateRegionNames(), kNoErr);
    const Names names = RegionNames();
    ASSERT_EQ(names.size(), 51u);
    EXPECT_EQ(names[0], "take");
    EXPECT_EQ(names[3], "take#4");
    EXPECT_EQ(names[45], "take#46");
    EXPECT_EQ(names[46], longName);
    EXPECT_EQ(names[47], longName.substr(0, 28) + "#2");
    EXPECT_EQ(names[48], "Tak\x8E#47");
    EXPECT_EQ(names[49], "solo");
    // The name "take#4" given to region 3 then meets the original "take#4" later on.
    EXPECT_EQ(names[50], "take#4#2");
}
