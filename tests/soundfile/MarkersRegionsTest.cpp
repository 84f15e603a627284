// The marker and region lists of a sound file: order, identities, names and their repair.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "support/MemorySoundFile.h"

namespace {

// Records hold 31 name bytes; a longer length byte (as a caller may pass) names only those.
template <class Record> Record Named(Record record, const std::string& text) {
    record.name[0] = static_cast<unsigned char>(text.size());
    std::memcpy(record.name + 1, text.data(), std::min<std::size_t>(text.size(), kSFTMaxNameLength));
    return record;
}

std::string NameOf(const unsigned char* name) {
    return std::string(reinterpret_cast<const char*>(name + 1), name[0]);
}

SFTMarker Marker(std::int32_t id, std::int32_t position, const std::string& name = "m") {
    SFTMarker m{};
    m.id = id;
    m.position = position;
    m.type = kMarkerTypeOrdinary;
    m.number = -1;
    return Named(m, name);
}

SFTRegion Region(std::int32_t start, std::int32_t end, const std::string& name, std::int32_t id = 0) {
    SFTRegion r{};
    r.id = id;
    r.start = r.sync = start;
    r.end = end;
    return Named(r, name);
}

class SoundFileLists : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(file.ISoundFile(nullptr), kNoErr);
        file.SetNumFrames(1000);
    }
    std::vector<std::int32_t> MarkerIDs() {
        std::vector<std::int32_t> ids;
        SFTMarker m;
        for (std::int16_t k = 0; file.GetIndMarker(k, &m) == kNoErr; ++k) ids.push_back(m.id);
        return ids;
    }
    std::vector<std::string> RegionNames() {
        std::vector<std::string> names;
        SFTRegion r;
        for (std::int16_t k = 0; file.GetIndRegion(k, &r) == kNoErr; ++k) names.push_back(NameOf(r.name));
        return names;
    }
    void Add(SFTRegion r) { ASSERT_EQ(file.AddRegion(&r), kNoErr); }
    // `count` regions of one name, at frames 0, 1, ...
    void AddRegions(int count, const std::string& name) {
        for (int k = 0; k < count; ++k) Add(Region(k, k + 1, name, k));
    }
    MemorySoundFile file;
};

struct MarkerIDCase {
    std::vector<std::int32_t> existing;
    std::int32_t added, id;
    std::vector<std::int32_t> expected;
};

class MarkerIDOrder : public SoundFileLists, public ::testing::WithParamInterface<MarkerIDCase> {};

// Markers stay sorted by ID; a taken ID becomes the greatest ID plus one, in the list and in
// the caller's record.
TEST_P(MarkerIDOrder, StaySortedAndTakenOnesAreRenumbered) {
    for (std::int32_t id : GetParam().existing) {
        SFTMarker m = Marker(id, id * 10);
        ASSERT_EQ(file.AddMarker(&m), kNoErr);
    }
    SFTMarker m = Marker(GetParam().added, 77, "new");
    ASSERT_EQ(file.AddMarker(&m), kNoErr);
    EXPECT_EQ(m.id, GetParam().id);
    EXPECT_EQ(MarkerIDs(), GetParam().expected);
    ASSERT_EQ(file.GetMarkerByID(GetParam().id, &m), kNoErr);
    EXPECT_EQ(m.position, 77);
}

INSTANTIATE_TEST_SUITE_P(Cases, MarkerIDOrder,
                         ::testing::Values(MarkerIDCase{{1, 3, 2}, 0, 0, {0, 1, 2, 3}},
                                           MarkerIDCase{{1, 3}, 3, 4, {1, 3, 4}},
                                           MarkerIDCase{{3, 5}, 3, 6, {3, 5, 6}},
                                           MarkerIDCase{{1, 2, 3}, 2, 4, {1, 2, 3, 4}}));

// A marker is found by its ID, and removed when ID, position and name match (type and
// number do not take part).
TEST_F(SoundFileLists, MarkerLookupsAndRemoval) {
    SFTMarker numbered = Marker(7, 100, "#3");
    numbered.type = kMarkerTypeNumbered;
    numbered.number = 3;
    ASSERT_EQ(file.AddMarker(&numbered), kNoErr);
    EXPECT_EQ(file.GetMarkerByID(8, &numbered), kErrNoSuchMarker);
    SFTMarker other = Marker(7, 100, "#4");
    EXPECT_EQ(file.RemoveMarker(&other), kErrNoSuchMarker);
    other = Marker(7, 100, "#3");
    EXPECT_EQ(file.RemoveMarker(&other), kNoErr);
    EXPECT_EQ(file.GetNumMarkers(), 0);
}

// Names are cut to 31 bytes in the list and in the caller's record; regions to the file.
TEST_F(SoundFileLists, NamesAreCutAndRegionsClampedToTheFile) {
    SFTMarker m = Marker(1, 0, std::string(40, 'x'));
    ASSERT_EQ(file.AddMarker(&m), kNoErr);
    EXPECT_EQ(m.name[0], 31);
    ASSERT_EQ(file.GetIndMarker(0, &m), kNoErr);
    EXPECT_EQ(NameOf(m.name), std::string(31, 'x'));
    SFTRegion r = Region(-5, 5000, std::string(35, 'n'));
    ASSERT_EQ(file.AddRegion(&r), kNoErr);
    EXPECT_EQ(r.start, 0);
    EXPECT_EQ(r.end, 1000);
    EXPECT_EQ(r.name[0], 31);
    ASSERT_EQ(file.GetIndRegion(0, &r), kNoErr);
    EXPECT_EQ(r.end, 1000);
}

TEST_F(SoundFileLists, RegionsStaySortedByStartInOrderOfAdding) {
    for (auto [start, name] : {std::pair{300, "c"}, {100, "a"}, {300, "d"}, {200, "b"}, {100, "a2"},
                               {0, "z"}})
        Add(Region(start, start + 50, name));
    EXPECT_EQ(RegionNames(), (std::vector<std::string>{"z", "a", "a2", "b", "c", "d"}));
}

// Up to 50 regions keep their names; from 51 on, repeated names are numbered in order, the
// number replacing the end of a long name.
TEST_F(SoundFileLists, DuplicateRegionNamesAreNumberedFrom51Regions) {
    const std::string name(31, 'q');
    AddRegions(50, name);
    ASSERT_EQ(file.KillDuplicateRegionNames(), kNoErr);
    EXPECT_EQ(RegionNames(), std::vector<std::string>(50, name));
    Add(Region(50, 51, name, 50));
    ASSERT_EQ(file.KillDuplicateRegionNames(), kNoErr);
    const std::vector<std::string> names = RegionNames();
    EXPECT_EQ(names[0], name);
    EXPECT_EQ(names[1], name.substr(0, 28) + "#2");
    EXPECT_EQ(names[50], name.substr(0, 28) + "#51");
}

TEST_F(SoundFileLists, RepairedNamesIgnoreCaseAndAccentsAndStayUnique) {
    AddRegions(48, "take");
    // Case and accents do not make a name different ("\x8E" is e-acute in Mac Roman).
    Add(Region(60, 61, "Tak\x8E", 60));
    Add(Region(70, 71, "solo", 70));
    Add(Region(80, 81, "take#4", 80));
    ASSERT_EQ(file.KillDuplicateRegionNames(), kNoErr);
    std::vector<std::string> names = RegionNames();
    ASSERT_EQ(names.size(), 51u);
    EXPECT_EQ(names[0], "take");
    EXPECT_EQ(names[3], "take#4");
    EXPECT_EQ(names[47], "take#48");
    EXPECT_EQ(names[48], "Tak\x8E#49");
    EXPECT_EQ(names[49], "solo");
    // The name "take#4" given to region 3 then meets the original "take#4" later on.
    EXPECT_EQ(names[50], "take#4#2");
}

} // namespace
