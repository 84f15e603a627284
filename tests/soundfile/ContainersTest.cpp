#include "soundfile/Containers.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

// An object that tells when it is deleted and records notifications.
class Probe : public CObject {
public:
    explicit Probe(int tag, std::vector<int>* deleted = nullptr) : tag(tag), deleted(deleted) {}
    ~Probe() override {
        if (deleted) deleted->push_back(tag);
    }
    void Notification(CObject* sender, std::uint32_t message) override {
        senders.push_back(sender);
        messages.push_back(message);
    }
    int tag;
    std::vector<int>* deleted;
    std::vector<CObject*> senders;
    std::vector<std::uint32_t> messages;
};

std::vector<int> Tags(const CList& list) {
    std::vector<int> tags;
    for (std::int16_t k = 0; k < list.GetNumItems(); ++k)
        tags.push_back(static_cast<Probe*>(list.GetIndItem(k))->tag);
    return tags;
}

// Makes every block allocation fail while it lives.
class RefuseAllocations {
public:
    RefuseAllocations() { SetAllocationHook([](std::size_t) { return true; }); }
    ~RefuseAllocations() {
        SetAllocationHook({});
        SetMemError(kNoErr);
    }
};

} // namespace

TEST(CLongList, GrowsAndShrinksInSteps) {
    CLongList list;
    EXPECT_EQ(list.GetCapacity(), 0);
    ASSERT_EQ(list.AddLong(1), kNoErr);
    EXPECT_EQ(list.GetCapacity(), 16);
    for (int v = 2; v <= 17; ++v) ASSERT_EQ(list.AddLong(v), kNoErr);
    EXPECT_EQ(list.GetCapacity(), 32);
    EXPECT_EQ(list.GetCount(), 17);

    list.RemoveLocation(1); // 16 in use, a whole step spare
    EXPECT_EQ(list.GetCapacity(), 16);
    list.RemoveLocation(1); // 15 in use, 1 spare
    EXPECT_EQ(list.GetCapacity(), 16);
    EXPECT_EQ(list.At(1), 3);
    EXPECT_EQ(list.At(15), 17);
    for (int v = 0; v < 2; ++v) list.AddLongAt(v, 1); // inserting into a full block grows it
    EXPECT_EQ(list.GetCapacity(), 32);
    EXPECT_EQ(list.At(17), 17);
}

TEST(CLongList, PositionsOutsideTheListGiveZero) {
    CLongList list;
    EXPECT_EQ(list.At(1), 0);
    for (int v : {10, 20, 30}) list.AddLong(v);
    EXPECT_EQ(list.At(0) + list.At(4) + list.FindLong(99), 0);
    list.RemoveLocation(0);
    list.RemoveLocation(4);
    list.RemoveLong(99);
    EXPECT_EQ(list.GetCount(), 3);
    list.RemoveLong(20);
    EXPECT_EQ(list.At(2), 30);
}

struct InsertCase {
    std::int32_t position;
    std::vector<std::int32_t> expected;
};

class CLongListInsert : public ::testing::TestWithParam<InsertCase> {};

TEST_P(CLongListInsert, PlacesTheValue) {
    CLongList list;
    for (int v : {1, 2, 3}) list.AddLong(v);
    ASSERT_EQ(list.AddLongAt(9, GetParam().position), kNoErr);
    std::vector<std::int32_t> values;
    for (std::int32_t p = 1; p <= list.GetCount(); ++p) values.push_back(list.At(p));
    EXPECT_EQ(values, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Positions, CLongListInsert,
                         ::testing::Values(InsertCase{1, {9, 1, 2, 3}}, InsertCase{3, {1, 2, 9, 3}},
                                           InsertCase{0, {1, 2, 3, 9}},
                                           InsertCase{-7, {1, 2, 3, 9}}));

TEST(CLongList, FailedGrowthLeavesTheListAsItWas) {
    CLongList list;
    for (int v = 1; v <= 16; ++v) list.AddLong(v);
    {
        RefuseAllocations refuse;
        EXPECT_EQ(list.AddLong(17), kErrMemoryFull);
        EXPECT_EQ(list.AddLongAt(17, 1), kErrMemoryFull);
    }
    EXPECT_EQ(list.GetCount(), 16);
    EXPECT_EQ(list.At(16), 16);
    CLongList empty;
    RefuseAllocations refuse;
    EXPECT_EQ(empty.AddLong(1), kErrMemoryFull);
    EXPECT_EQ(empty.GetCount(), 0);
}

TEST(CObjectList, HoldsFullWidthPointers) {
    std::vector<std::unique_ptr<Probe>> probes;
    CObjectList list;
    for (int k = 0; k < 20; ++k) {
        probes.push_back(std::make_unique<Probe>(k));
        ASSERT_EQ(list.AddObject(probes.back().get()), kNoErr);
    }
    EXPECT_EQ(list.AtObject(20), probes[19].get());
    EXPECT_EQ(list.FindObject(probes[5].get()), 6);
    list.RemoveObject(probes[5].get());
    EXPECT_EQ(list.FindObject(probes[5].get()), 0);
    EXPECT_EQ(list.AtObject(6), probes[6].get());

    CObjectListIterator it(&list);
    int visited = 0;
    for (it.FirstObject(); it.More(); it.NextObject()) ++visited;
    EXPECT_EQ(visited, 19);
}

struct BeforeIndexCase {
    std::int16_t index;
    std::vector<int> expected;
};

class CListAddBeforeIndex : public ::testing::TestWithParam<BeforeIndexCase> {};

TEST_P(CListAddBeforeIndex, PutsTheItemAtTheIndex) {
    CList list;
    for (int tag = 0; tag < 5; ++tag) list.AddItem(new Probe(tag));
    ASSERT_EQ(list.AddItemBeforeIndex(GetParam().index, new Probe(9)), kNoErr);
    EXPECT_EQ(Tags(list), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Indexes, CListAddBeforeIndex,
                         ::testing::Values(BeforeIndexCase{0, {9, 0, 1, 2, 3, 4}},
                                           BeforeIndexCase{2, {0, 1, 9, 2, 3, 4}},
                                           BeforeIndexCase{5, {0, 1, 2, 3, 4, 9}},
                                           BeforeIndexCase{9, {0, 1, 2, 3, 4, 9}}));

TEST(CList, OwnsItsItems) {
    std::vector<int> deleted;
    auto* kept = new Probe(1, &deleted);
    {
        CList list;
        for (Probe* item : {new Probe(0, &deleted), kept, new Probe(2, &deleted)})
            list.AddItem(item);
        EXPECT_EQ(list.GetIndItem(3), nullptr);

        Probe stranger(7);
        list.RemoveItem(&stranger); // not in the list: nothing changes
        EXPECT_EQ(list.GetNumItems(), 3);

        list.UnlinkItem(kept);
        list.RemoveItem(list.GetIndItem(0));
        EXPECT_EQ(deleted, (std::vector<int>{0}));
        EXPECT_EQ(Tags(list), (std::vector<int>{2}));
    }
    EXPECT_EQ(deleted, (std::vector<int>{0, 2}));
    delete kept;
}

TEST(CList, DeletesALongChainWithoutRecursing) {
    auto* list = new CList;
    for (int k = 0; k < 30000; ++k) list->AddItemBeforeIndex(0, new Probe(k));
    EXPECT_EQ(list->GetNumItems(), 30000);
    list->DisposeLinks();
}

TEST(CObject, NotifiesDependentsInOrder) {
    Probe source(0), first(1), second(2);
    source.Notify(5); // no dependents: nothing happens
    ASSERT_EQ(source.MakeDependent(&first), kNoErr);
    ASSERT_EQ(source.MakeDependent(&second), kNoErr);
    source.Notify(42);
    EXPECT_EQ(first.messages, (std::vector<std::uint32_t>{42}));
    EXPECT_EQ(second.senders, (std::vector<CObject*>{&source}));
    source.RemoveDependent(&first);
    source.RemoveDependent(&first); // a second removal changes nothing
    source.Notify(43);
    EXPECT_EQ(first.messages.size(), 1u);
    EXPECT_EQ(second.messages, (std::vector<std::uint32_t>{42, 43}));
}
