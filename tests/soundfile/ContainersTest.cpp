// The list under the marker, loop and region lists: ownership of items and positions of
// insertion.
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

// Removed and remaining items are deleted; an index past the end appends; a long chain is
// deleted without recursing through every link.
TEST(CList, OwnsItsItemsAndInsertsAtTheIndex) {
    std::vector<int> deleted;
    {
        CList list;
        for (int tag : {0, 1, 2}) list.AddItem(new Probe(tag, &deleted));
        ASSERT_EQ(list.AddItemBeforeIndex(1, new Probe(8, &deleted)), kNoErr);
        ASSERT_EQ(list.AddItemBeforeIndex(9, new Probe(9, &deleted)), kNoErr);
        EXPECT_EQ(Tags(list), (std::vector<int>{0, 8, 1, 2, 9}));
        list.RemoveItem(list.GetIndItem(2));
        EXPECT_EQ(deleted, (std::vector<int>{1}));
        EXPECT_EQ(Tags(list), (std::vector<int>{0, 8, 2, 9}));
    }
    std::sort(deleted.begin(), deleted.end());
    EXPECT_EQ(deleted, (std::vector<int>{0, 1, 2, 8, 9}));
    auto* chain = new CList;
    for (int k = 0; k < 30000; ++k) chain->AddItemBeforeIndex(0, new Probe(k));
    chain->DisposeLinks();
}
