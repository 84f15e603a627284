#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "support/MemorySoundFile.h"

namespace {

// Records hold 31 name bytes; a longer length byte (as a caller may pass) names only those.
void SetName(unsigned char* name, const std::string& text) {
    name[0] = static_cast<unsigned char>(text.size());
    std::memcpy(name + 1, text.data(), std::min<std::size_t>(text.size(), kSFTMaxNameLength));
}

std::string NameOf(const unsigned char* name) {
    return std::string(reinterpret_cast<const char*>(name + 1), name[0]);
}

SFTMarker Marker(std::int32_t id, std::int32_t position, const std::string& name = "m") {
    SFTMarker m{};
    m.id = id;
    m.position = position;
    SetName(m.name, name);
    m.type = kMarkerTypeOrdinary;
    m.number = -1;
    return m;
}

SFTRegion Region(std::int32_t start, std::int32_t end, const std::string& name = "r",
                 std::int32_t id = 0) {
    SFTRegion r{};
    r.id = id;
    r.start = start;
    r.end = end;
    r.sync = start;
    SetName(r.name, name);
    return r;
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
        for (std::int16_t k = 0; file.GetIndRegion(k, &r) == kNoErr; ++k)
            names.push_back(NameOf(r.name));
        return names;
    }
    void AddRegions(const std::vector<std::pair<int, std::string>>& regions, int length = 50) {
        for (auto [start, name] : regions) {
            SFTRegion r = Region(start, start + length, name);
            ASSERT_EQ(file.AddRegion(&r), kNoErr);
        }
    }
    void AddMarkers(const std::vector<std::int32_t>& ids) {
        for (std::int32_t id : ids) {
            SFTMarker m = Marker(id, id * 10);
            ASSERT_EQ(file.AddMarker(&m), kNoErr);
        }
    }
    MemorySoundFile file;
};

} // namespace

struct MarkerIDCase {
    std::vector<std::int32_t> existing;
    std::int32_t added, id;
    std::vector<std::int32_t> expected;
};

class MarkerIDOrder : public SoundFileLists, public ::testing::WithParamInterface<MarkerIDCase> {};

// Markers stay sorted by ID; a taken ID becomes the greatest ID plus one, in the list and in
// the caller's record.
TEST_P(MarkerIDOrder, StaySortedAndTakenOnesAreRenumbered) {
    AddMarkers(GetParam().existing);
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

TEST_F(SoundFileLists, MarkerLookupsAndRemoval) {
    SFTMarker numbered = Marker(7, 100, "#3");
    numbered.type = kMarkerTypeNumbered;
    numbered.number = 3;
    ASSERT_EQ(file.AddMarker(&numbered), kNoErr);
    EXPECT_EQ(file.GetMarkerByID(8, &numbered), kErrNoSuchMarker);

    SFTMarker other = Marker(7, 100, "#4");
    EXPECT_EQ(file.RemoveMarker(&other), kErrNoSuchMarker);
    other = Marker(7, 100, "#3"); // type and number do not take part
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
    AddRegions({{300, "c"}, {100, "a"}, {300, "d"}, {200, "b"}, {100, "a2"}, {0, "z"}});
    EXPECT_EQ(RegionNames(), (std::vector<std::string>{"z", "a", "a2", "b", "c", "d"}));
    SFTRegion b = Region(200, 250, "b");
    EXPECT_EQ(file.RemoveRegion(&b), kNoErr);
    EXPECT_EQ(file.RemoveRegion(&b), kErrNoSuchRegion);
}

struct BlockCase {
    std::vector<std::pair<int, int>> regions;
    std::int32_t pos;
    Status status;
    std::int32_t start, end;
};

class GetNextBlock : public SoundFileLists, public ::testing::WithParamInterface<BlockCase> {};

TEST_P(GetNextBlock, JoinsOverlappingRegions) {
    for (auto [start, end] : GetParam().regions) {
        SFTRegion r = Region(start, end);
        ASSERT_EQ(file.AddRegion(&r), kNoErr);
    }
    std::int32_t start = -1, end = -1;
    EXPECT_EQ(file.GetNextBlock(GetParam().pos, &start, &end), GetParam().status);
    if (GetParam().status == kNoErr) {
        EXPECT_EQ(start, GetParam().start);
        EXPECT_EQ(end, GetParam().end);
    } else {
        EXPECT_EQ(end, 0);
    }
}

const std::vector<std::pair<int, int>> kThree = {{0, 100}, {50, 200}, {300, 400}};
INSTANTIATE_TEST_SUITE_P(
    Cases, GetNextBlock,
    ::testing::Values(BlockCase{kThree, 0, kNoErr, 0, 200}, BlockCase{kThree, 1, kNoErr, 50, 200},
                      BlockCase{kThree, 51, kNoErr, 300, 400},
                      BlockCase{kThree, 301, kErrNoFurtherBlock, 0, 0},
                      BlockCase{{{0, 100}, {100, 200}}, 0, kNoErr, 0, 100},
                      BlockCase{{{0, 500}, {10, 20}, {30, 600}}, 0, kNoErr, 0, 600},
                      BlockCase{{}, 0, kErrNoFurtherBlock, 0, 0}));

// A caller that walks with FindNextRegion sees every region once, in order of start.
TEST_F(SoundFileLists, FindNextRegionWalksEveryRegionOnce) {
    SFTRegion previous = Region(-1, -1, "");
    SFTRegion next;
    EXPECT_EQ(file.FindNextRegion(0, &next, nullptr), kErrNoFurtherRegion);
    AddRegions({{0, "a"}, {100, "b"}, {100, "c"}, {200, "d"}}, 10);
    std::vector<std::string> seen;
    std::int32_t pos = -1;
    while (file.FindNextRegion(pos, &next, &previous) == kNoErr && seen.size() < 10) {
        seen.push_back(NameOf(next.name));
        previous = next;
        pos = next.start;
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"a", "b", "c", "d"}));
}

class RegionNameRepair : public SoundFileLists {
protected:
    void AddRegions(int count, const std::string& name) {
        for (int k = 0; k < count; ++k) {
            SFTRegion r = Region(k, k + 1, name, k);
            ASSERT_EQ(file.AddRegion(&r), kNoErr);
        }
    }
};

// Neither repair touches a file with regions up to its threshold.
TEST_F(RegionNameRepair, NamesStayUpToTheThresholds) {
    AddRegions(50, "a:b");
    ASSERT_EQ(file.KillDuplicateRegionNames(), kNoErr);
    AddRegions(50, "a:b");
    ASSERT_EQ(file.KillBadRegionNames(), kNoErr);
    EXPECT_EQ(RegionNames(), std::vector<std::string>(100, "a:b"));
}

// Long names are cut before the number.
TEST_F(RegionNameRepair, LongDuplicateNamesAreCutBeforeTheNumber) {
    AddRegions(51, std::string(31, 'q'));
    ASSERT_EQ(file.KillDuplicateRegionNames(), kNoErr);
    std::vector<std::string> names = RegionNames();
    EXPECT_EQ(names[1], std::string(28, 'q') + "#2");
    EXPECT_EQ(names[50], std::string(28, 'q') + "#51");
}

TEST_F(RegionNameRepair, BadNamesAreRepairedFrom101Regions) {
    AddRegions(100, "a:b");
    SFTRegion empty = Region(500, 501, "", 500);
    ASSERT_EQ(file.AddRegion(&empty), kNoErr);
    ASSERT_EQ(file.KillBadRegionNames(), kNoErr);
    std::vector<std::string> names = RegionNames();
    ASSERT_EQ(names.size(), 101u);
    EXPECT_EQ(names[0], "a-b");
    EXPECT_EQ(names[99], "a-b");
    EXPECT_EQ(names[100], "\xA5\xA5\xA5 no name \xA5\xA5\xA5");
}

TEST_F(RegionNameRepair, DuplicateNamesAreNumberedFrom51Regions) {
    AddRegions(48, "take");
    // Case and accents do not make a name different ("\x8E" is e-acute in Mac Roman).
    SFTRegion other = Region(60, 61, "Tak\x8E", 60);
    ASSERT_EQ(file.AddRegion(&other), kNoErr);
    SFTRegion single = Region(70, 71, "solo", 70);
    ASSERT_EQ(file.AddRegion(&single), kNoErr);
    SFTRegion taken = Region(80, 81, "take#4", 80);
    ASSERT_EQ(file.AddRegion(&taken), kNoErr);
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

TEST_F(SoundFileLists, RemoveDuplicatesKeepsOneOfEach) {
    AddMarkers({1, 2});
    SFTMarker again = Marker(1, 10);
    file.AddMarker(&again); // taken ID: becomes 3, so not equal
    SFTLoop l{1, 0, 10, 0};
    for (int k = 0; k < 3; ++k) file.AddLoop(&l);
    SFTLoop other{2, 0, 10, 0};
    file.AddLoop(&other);
    // Equal markers can only come in through the list itself (as a reader fills it).
    ASSERT_EQ(file.RemoveDuplicates(), kNoErr);
    EXPECT_EQ(file.GetNumMarkers(), 3);
    EXPECT_EQ(file.GetNumLoops(), 2);
}
