// The lists under the marker, loop, region and gap lists: ownership of items, positions of
// insertion and what a failed growth leaves.
#include "soundfile/Containers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

// An item that records its deletion.
class Probe : public CObject {
public:
    explicit Probe(int tag, std::vector<int>* deleted = nullptr) : tag(tag), deleted(deleted) {}
    ~Probe() override {
        if (deleted) deleted->push_back(tag);
    }
    int tag;
    std::vector<int>* deleted;
};

std::vector<int> Tags(const CList& list) {
    std::vector<int> tags;
    for (std::int16_t k = 0; k < list.GetNumItems(); ++k)
        tags.push_back(static_cast<Probe*>(list.GetIndItem(k))->tag);
    return tags;
}

} // namespace

// Removed and remaining items are deleted, unlinked ones are not; an index past the end
// appends; a long chain is deleted without recursing through every link.
TEST(CList, OwnsItsItemsAndInsertsAtTheIndex) {
    std::vector<int> deleted;
    auto* kept = new Probe(1, &deleted);
    {
        CList list;
        for (Probe* item : {new Probe(0, &deleted), kept, new Probe(2, &deleted)})
            list.AddItem(item);
        ASSERT_EQ(list.AddItemBeforeIndex(1, new Probe(8, &deleted)), kNoErr);
        ASSERT_EQ(list.AddItemBeforeIndex(9, new Probe(9, &deleted)), kNoErr);
        EXPECT_EQ(Tags(list), (std::vector<int>{0, 8, 1, 2, 9}));
        list.UnlinkItem(kept);
        list.RemoveItem(list.GetIndItem(0));
        EXPECT_EQ(deleted, (std::vector<int>{0}));
        EXPECT_EQ(Tags(list), (std::vector<int>{8, 2, 9}));
    }
    std::sort(deleted.begin(), deleted.end());
    EXPECT_EQ(deleted, (std::vector<int>{0, 2, 8, 9}));
    delete kept;
    auto* chain = new CList;
    for (int k = 0; k < 30000; ++k) chain->AddItemBeforeIndex(0, new Probe(k));
    chain->DisposeLinks();
}

// Positions from 1; 0 or a negative position appends. A growth that cannot get memory
// reports it and leaves the list as it was.
TEST(CLongList, InsertsAtPositionsAndSurvivesAFailedGrowth) {
    CLongList list;
    for (int v = 1; v <= 14; ++v) list.AddLong(v);
    for (auto [value, position] : {std::pair{100, 1}, {300, 3}, {900, 0}, {700, -7}}) {
        if (list.GetCount() == 16) {
            SetAllocationHook([](std::size_t) { return true; });
            EXPECT_EQ(list.AddLongAt(value, position), kErrMemoryFull);
            EXPECT_EQ(list.AddLong(value), kErrMemoryFull);
            SetAllocationHook({});
            SetMemError(kNoErr);
        }
        ASSERT_EQ(list.AddLongAt(value, position), kNoErr);
    }
    std::vector<std::int32_t> values;
    for (std::int32_t p = 1; p <= list.GetCount(); ++p) values.push_back(list.At(p));
    EXPECT_EQ(values, (std::vector<std::int32_t>{100, 1, 300, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12,
                                                 13, 14, 900, 700}));
    EXPECT_EQ(list.At(0) + list.At(19), 0);
}
