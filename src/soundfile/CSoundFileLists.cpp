// Markers, loops and regions of CSoundFile: the sorted lists, their lookups and removals,
// the region walks and the two region-name repairs.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <new>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "shell/PascalString.h"
#include "soundfile/CSoundFile.h"

namespace {

void CutName(unsigned char* name) {
    if (name[0] > kSFTMaxNameLength) name[0] = kSFTMaxNameLength;
}

// The items of a list, first to last (for walks that do not change the list).
template <class Item> std::vector<Item*> Items(const CList* list) {
    std::vector<Item*> items;
    if (!list) return items;
    items.reserve(std::size_t(list->GetNumItems()));
    for (CLink* link = list->GetIndLink(0); link; link = link->GetNext())
        items.push_back(static_cast<Item*>(link->GetLinkItem()));
    CList::CountLinkSteps(items.size());
    return items;
}

// The last item whose record equals `record`, or null.
template <class Item, class Record>
Item* LastEqual(const CList* list, const Record* record,
                bool (*equal)(const Record*, const Record*)) {
    Item* found = nullptr;
    for (Item* item : Items<Item>(list)) {
        Record candidate;
        item->ToRecord(&candidate);
        if (equal(&candidate, record)) found = item;
    }
    return found;
}

template <class Item, class Record>
[[nodiscard]] Status GetIndRecord(const CList* list, std::int16_t index, Record* record,
                                  Status missing) {
    CObject* item = list ? list->GetIndItem(index) : nullptr;
    if (!item) return missing;
    static_cast<Item*>(item)->ToRecord(record);
    return kNoErr;
}

template <class Item, class Record>
[[nodiscard]] Status RemoveRecord(CList* list, const Record* record,
                                  bool (*equal)(const Record*, const Record*), Status missing) {
    Item* item = LastEqual<Item>(list, record, equal);
    if (!item) return missing;
    list->RemoveItem(item);
    return kNoErr;
}

// The text of `name` replaced as the bad-name pass wants it: ':' becomes '-', and an empty
// name becomes "\xA5\xA5\xA5 no name \xA5\xA5\xA5" (Mac Roman bullets).
void RepairedName(const unsigned char* name, unsigned char* repaired) {
    static const char kNoName[] = "\xA5\xA5\xA5 no name \xA5\xA5\xA5";
    if (name[0] == 0) {
        repaired[0] = static_cast<unsigned char>(sizeof kNoName - 1);
        std::memcpy(repaired + 1, kNoName, sizeof kNoName - 1);
        return;
    }
    std::memcpy(repaired, name, name[0] + 1);
    for (int k = 1; k <= repaired[0]; ++k)
        if (repaired[k] == ':') repaired[k] = '-';
}

// `name` cut to 28 characters followed by "#" and `number`.
void NumberedName(const unsigned char* name, std::int32_t number, unsigned char* result) {
    const int length = name[0] > 28 ? 28 : name[0];
    char suffix[16];
    const int suffixLength = std::snprintf(suffix, sizeof suffix, "#%d", int(number));
    std::memcpy(result + 1, name + 1, length);
    std::memcpy(result + 1 + length, suffix, suffixLength);
    result[0] = static_cast<unsigned char>(length + suffixLength);
}

} // namespace

CMarker* CSoundFile::MarkerAt(std::int16_t index) const {
    return markers ? static_cast<CMarker*>(markers->GetIndItem(index)) : nullptr;
}
CRegion* CSoundFile::RegionAt(std::int16_t index) const {
    return regions ? static_cast<CRegion*>(regions->GetIndItem(index)) : nullptr;
}

// --- markers ---

std::int16_t CSoundFile::GetNumMarkers() {
    return markers ? markers->GetNumItems() : 0;
}

Status CSoundFile::GetIndMarker(std::int16_t index, SFTMarker* marker) {
    return GetIndRecord<CMarker>(markers.get(), index, marker, kErrNoSuchMarker);
}

Status CSoundFile::GetMarkerByID(std::int32_t id, SFTMarker* marker) {
    const std::vector<CMarker*> items = Items<CMarker>(markers.get());
    for (auto it = items.rbegin(); it != items.rend(); ++it) {
        if ((*it)->GetID() == id) {
            (*it)->ToRecord(marker);
            return kNoErr;
        }
    }
    return kErrNoSuchMarker;
}

namespace {

// Adds `items`, ordered by `before`, to `list`, ordered the same way: each goes behind every
// item already listed that it does not come before, and behind the new items ahead of it. One
// walk for all. On a failure the items not yet added are deleted.
template <class Item, class Before>
[[nodiscard]] Status MergeItems(CList* list, std::vector<Item*>& items, Before before) {
    CLink* previous = nullptr;
    CLink* next = list->GetIndLink(0);
    for (std::size_t k = 0; k < items.size(); ++k) {
        for (; next && !before(items[k], static_cast<Item*>(next->GetLinkItem()));
             next = next->GetNext()) {
            previous = next;
            CList::CountLinkSteps(1);
        }
        const Status status = list->AddItemAfterLink(previous, items[k]);
        if (status != kNoErr) {
            for (std::size_t rest = k + 1; rest < items.size(); ++rest)
                delete items[rest];
            return status;
        }
        previous = previous ? previous->GetNext() : list->GetIndLink(0);
    }
    return kNoErr;
}

CMarker* NewMarker(SFTMarker* marker) {
    CutName(marker->name);
    CMarker* item = new (std::nothrow) CMarker;
    if (!item) return nullptr;
    item->IMarker(marker->id, marker->position, marker->name);
    item->SetType(marker->type);
    item->SetNumber(marker->number);
    return item;
}

// Clamps the region to the file as AddRegion does, in the caller's record too.
CRegion* NewRegion(SFTRegion* region, std::int32_t numFrames) {
    CutName(region->name);
    if (region->start < 0) region->start = 0;
    if (region->end > numFrames) region->end = numFrames;
    CRegion* item = new (std::nothrow) CRegion;
    if (!item) return nullptr;
    item->IRegion(region->id, region->start, region->end, region->sync, region->timeStampLS,
                  region->name);
    return item;
}

bool StartsBefore(const CRegion* a, const CRegion* b) {
    return a->GetStart() < b->GetStart();
}

bool EnsureList(std::unique_ptr<CList>& list) {
    if (!list) list.reset(new (std::nothrow) CList);
    return list != nullptr;
}

} // namespace

Status CSoundFile::AddMarker(SFTMarker* marker) {
    if (!EnsureList(markers)) return kErrMemoryFull;
    CMarker* item = NewMarker(marker);
    if (!item) return kErrMemoryFull;
    // Kept sorted by ID; a taken ID is replaced by the greatest ID plus one.
    const std::int16_t n = markers->GetNumItems();
    if (n == 0 || MarkerAt(n - 1)->GetID() < marker->id) return markers->AddItem(item);
    const std::vector<CMarker*> items = Items<CMarker>(markers.get());
    for (std::size_t index = 0; index < items.size(); ++index) {
        if (items[index]->GetID() > marker->id)
            return markers->AddItemBeforeIndex(std::int16_t(index), item);
        if (items[index]->GetID() == marker->id) {
            const std::int32_t newID =
                static_cast<std::int32_t>(std::uint32_t(items.back()->GetID()) + 1u);
            item->SetID(newID);
            marker->id = newID;
            break;
        }
    }
    return markers->AddItem(item);
}

Status CSoundFile::AddMarkers(std::vector<SFTMarker>& records) {
    if (!EnsureList(markers)) return kErrMemoryFull;
    // The list is sorted by unique IDs, so the IDs decide the final order: a taken ID becomes
    // the greatest so far plus one. Near the top of the ID range, one at a time.
    std::set<std::int32_t> ids;
    for (const CMarker* item : Items<CMarker>(markers.get()))
        ids.insert(item->GetID());
    std::vector<CMarker*> items;
    items.reserve(records.size());
    Status status = kNoErr;
    std::size_t k = 0;
    for (; k < records.size(); ++k) {
        SFTMarker& record = records[k];
        if (!ids.empty() && *ids.rbegin() == std::numeric_limits<std::int32_t>::max()) break;
        if (!ids.insert(record.id).second) {
            record.id = *ids.rbegin() + 1;
            ids.insert(record.id);
        }
        CMarker* item = NewMarker(&record);
        if (!item) {
            status = kErrMemoryFull;
            break;
        }
        items.push_back(item);
    }
    std::sort(items.begin(), items.end(),
              [](const CMarker* a, const CMarker* b) { return a->GetID() < b->GetID(); });
    const Status merged = MergeItems(markers.get(), items, [](const CMarker* a, const CMarker* b) {
        return a->GetID() < b->GetID();
    });
    if (status == kNoErr) status = merged;
    for (; status == kNoErr && k < records.size(); ++k)
        status = AddMarker(&records[k]);
    return status;
}

Status CSoundFile::RemoveMarker(SFTMarker* marker) {
    return RemoveRecord<CMarker>(markers.get(), marker, EqualMarker, kErrNoSuchMarker);
}

// --- loops ---

std::int16_t CSoundFile::GetNumLoops() {
    return loops ? loops->GetNumItems() : 0;
}

Status CSoundFile::GetIndLoop(std::int16_t index, SFTLoop* loop) {
    return GetIndRecord<CLoop>(loops.get(), index, loop, kErrNoSuchLoop);
}

Status CSoundFile::AddLoop(SFTLoop* loop) {
    if (!loops) {
        loops.reset(new (std::nothrow) CList);
        if (!loops) return kErrMemoryFull;
    }
    CLoop* item = new (std::nothrow) CLoop;
    if (!item) return kErrMemoryFull;
    item->ILoop(loop->id, loop->start, loop->end, loop->type);
    return loops->AddItem(item);
}

Status CSoundFile::RemoveLoop(SFTLoop* loop) {
    return RemoveRecord<CLoop>(loops.get(), loop, EqualLoop, kErrNoSuchLoop);
}

// --- regions ---

std::int16_t CSoundFile::GetNumRegions() {
    return regions ? regions->GetNumItems() : 0;
}

Status CSoundFile::GetIndRegion(std::int16_t index, SFTRegion* region) {
    return GetIndRecord<CRegion>(regions.get(), index, region, kErrNoSuchRegion);
}

Status CSoundFile::AddRegion(SFTRegion* region) {
    if (!EnsureList(regions)) return kErrMemoryFull;
    CRegion* item = NewRegion(region, numFrames);
    if (!item) return kErrMemoryFull;
    const std::int16_t n = regions->GetNumItems();
    if (n == 0 || RegionAt(n - 1)->GetStart() <= region->start) return regions->AddItem(item);
    std::vector<CRegion*> one{item};
    return MergeItems(regions.get(), one, StartsBefore);
}

Status CSoundFile::AddRegions(std::vector<SFTRegion>& records) {
    if (!EnsureList(regions)) return kErrMemoryFull;
    std::vector<CRegion*> items;
    items.reserve(records.size());
    Status status = kNoErr;
    for (SFTRegion& record : records) {
        CRegion* item = NewRegion(&record, numFrames);
        if (!item) {
            status = kErrMemoryFull;
            break;
        }
        items.push_back(item);
    }
    // Kept sorted by start; equal starts in the order they were added.
    std::stable_sort(items.begin(), items.end(), StartsBefore);
    const Status merged = MergeItems(regions.get(), items, StartsBefore);
    return status != kNoErr ? status : merged;
}

Status CSoundFile::RemoveRegion(SFTRegion* region) {
    return RemoveRecord<CRegion>(regions.get(), region, EqualRegion, kErrNoSuchRegion);
}

Status CSoundFile::GetNextBlock(std::int32_t pos, std::int32_t* start, std::int32_t* end) {
    *end = 0;
    const std::vector<CRegion*> items = Items<CRegion>(regions.get());
    std::size_t k = 0;
    while (k < items.size() && items[k]->GetStart() < pos)
        ++k;
    if (k == items.size()) return kErrNoFurtherBlock;
    *start = items[k]->GetStart();
    *end = items[k]->GetEnd();
    // Join the following regions that start inside the block (touching ones are not joined).
    for (++k; k < items.size() && items[k]->GetStart() < *end; ++k)
        if (items[k]->GetEnd() > *end) *end = items[k]->GetEnd();
    return kNoErr;
}

// A region counts as "after pos" when it starts strictly after it, so that a caller who
// passes the start of the region it has just done as `pos` moves on. `previous` may be null.
Status CSoundFile::FindNextRegion(std::int32_t pos, SFTRegion* next, SFTRegion* previous) {
    const std::vector<CRegion*> items = Items<CRegion>(regions.get());
    if (items.empty()) return kErrNoFurtherRegion;
    if (previous) {
        for (std::size_t p = items.size(); p-- > 0;) {
            SFTRegion candidate;
            items[p]->ToRecord(&candidate);
            if (!EqualRegion(&candidate, previous)) continue;
            for (std::size_t q = p + 1; q < items.size(); ++q) {
                if (items[q]->GetStart() == previous->start) {
                    items[q]->ToRecord(next);
                    return kNoErr;
                }
            }
            break;
        }
    }
    const CRegion* best = nullptr;
    for (const CRegion* item : items)
        if (item->GetStart() > pos && (!best || item->GetStart() < best->GetStart())) best = item;
    if (!best) return kErrNoFurtherRegion;
    best->ToRecord(next);
    return kNoErr;
}

namespace {

// A name as the repairs compare it: without diacritical marks, and without case when asked.
std::string NameKey(const unsigned char* name, bool ignoreCase) {
    std::string key(name[0], '\0');
    for (int k = 1; k <= name[0]; ++k) {
        unsigned char c = MacRomanWithoutMark(name[k]);
        key[std::size_t(k - 1)] = char(ignoreCase ? MacRomanLowerCase(c) : c);
    }
    return key;
}

// Takes the regions in `renamed` (in the order they were renamed) out of the list and adds
// them again with their new names: each goes behind the regions of its start, as removing it
// and adding it again one at a time would put it.
[[nodiscard]] Status ReAddRegions(CSoundFile* file, CList* list,
                                  const std::unordered_set<const CObject*>& items,
                                  std::vector<SFTRegion>& renamed) {
    list->RemoveItems([&](const CObject* item) { return items.count(item) != 0; });
    return file->AddRegions(renamed);
}

} // namespace

Status CSoundFile::KillBadRegionNames() {
    if (GetNumRegions() <= 100) return kNoErr;
    std::unordered_set<const CObject*> items;
    std::vector<SFTRegion> renamed;
    for (const CRegion* item : Items<CRegion>(regions.get())) {
        SFTRegion record;
        item->ToRecord(&record);
        unsigned char repaired[kSFTMaxNameLength + 1];
        RepairedName(record.name, repaired);
        if (pstrcmp(repaired, record.name)) continue;
        std::memcpy(record.name, repaired, repaired[0] + 1);
        items.insert(item);
        renamed.push_back(record);
    }
    if (renamed.empty()) return kNoErr;
    return ReAddRegions(this, regions.get(), items, renamed);
}

namespace {

// The regions of a file by place in the list and by name, while duplicates are renamed. A
// place is (start, sequence); a renamed region takes a new, higher sequence number.
struct RegionNames {
    using Place = std::pair<std::int32_t, std::int64_t>;
    struct Entry {
        SFTRegion record;
        const CObject* item;
        std::int64_t sequence;
    };
    std::vector<Entry> entries;
    std::map<Place, std::size_t> order;                            // list order -> entry
    std::unordered_map<std::string, std::set<Place>> byFoldedName; // ignoring case and marks
    std::unordered_map<std::string, std::set<Place>> byName;       // ignoring marks

    static Place PlaceOf(const Entry& e) { return Place{e.record.start, e.sequence}; }
    void Enter(std::size_t e) {
        const Place place = PlaceOf(entries[e]);
        order[place] = e;
        byFoldedName[NameKey(entries[e].record.name, true)].insert(place);
        byName[NameKey(entries[e].record.name, false)].insert(place);
    }
    void Leave(std::size_t e) {
        const Place place = PlaceOf(entries[e]);
        order.erase(place);
        byFoldedName[NameKey(entries[e].record.name, true)].erase(place);
        byName[NameKey(entries[e].record.name, false)].erase(place);
    }
    // Into `candidate`, the name of `entry` numbered from *counter + 1 on that no region in
    // front of `place` carries; *counter becomes that number. False when `budget` runs out.
    bool FreeName(const Entry& entry, const Place& place, std::int32_t* counter,
                  std::int64_t* budget, unsigned char* candidate) const {
        for (std::int32_t k = 0;; ++k) {
            if (--*budget < 0 || *counter + 1 + k == std::numeric_limits<std::int32_t>::max())
                return false;
            unsigned char numbered[kSFTMaxNameLength + 8];
            NumberedName(entry.record.name, *counter + 1 + k, numbered);
            CopyRecordName(numbered, candidate);
            const auto holders = byName.find(NameKey(candidate, false));
            const bool taken = holders != byName.end() && !holders->second.empty() &&
                               *holders->second.begin() < place;
            if (!taken) {
                *counter += k + 1;
                return true;
            }
        }
    }
};

} // namespace

// Each region i, in list order, gives the regions after it that carry its name (ignoring case
// and marks) the name followed by "#" and a number: the next number not carried by a region
// in front of the one renamed. A renamed region moves behind the regions of its start, so the
// regions up to i keep their places. Places are kept as (start, sequence) pairs, a moved
// region taking a new, higher sequence number, so that every step is a lookup instead of a
// walk of the list.
Status CSoundFile::KillDuplicateRegionNames() {
    Status status = KillBadRegionNames();
    if (status != kNoErr) return status;
    if (GetNumRegions() <= 50) return kNoErr;

    RegionNames names;
    for (const CRegion* item : Items<CRegion>(regions.get())) {
        names.entries.push_back({SFTRegion{}, item, std::int64_t(names.entries.size())});
        item->ToRecord(&names.entries.back().record);
        names.Enter(names.entries.size() - 1);
    }
    std::int64_t nextSequence = std::int64_t(names.entries.size());
    std::unordered_set<const CObject*> moved;
    // Cut names can make the numbered names repeat: then a free one may never come. The
    // search for free numbers gets a budget in proportion to the regions, which an honest
    // file stays far below.
    std::int64_t budget = 64 * std::int64_t(names.entries.size()) + 10000;

    for (auto here = names.order.begin(); here != names.order.end(); ++here) {
        const std::string folded = NameKey(names.entries[here->second].record.name, true);
        const std::set<RegionNames::Place>& same = names.byFoldedName[folded];
        const std::vector<RegionNames::Place> later(same.upper_bound(here->first), same.end());
        std::int32_t counter = 1;
        for (const RegionNames::Place& place : later) {
            const std::size_t e = names.order.at(place);
            RegionNames::Entry& entry = names.entries[e];
            unsigned char candidate[kSFTMaxNameLength + 1];
            if (!names.FreeName(entry, place, &counter, &budget, candidate))
                return kErrMalformedFile;
            names.Leave(e);
            std::memcpy(entry.record.name, candidate, std::size_t(candidate[0]) + 1);
            if (entry.record.end > numFrames) entry.record.end = numFrames; // as AddRegion does
            entry.sequence = nextSequence++;
            names.Enter(e);
            moved.insert(entry.item);
        }
    }
    if (moved.empty()) return kNoErr;
    std::vector<SFTRegion> renamed;
    for (const auto& [place, e] : names.order)
        if (moved.count(names.entries[e].item)) renamed.push_back(names.entries[e].record);
    return ReAddRegions(this, regions.get(), moved, renamed);
}

// --- all lists ---

namespace {

// Removes one of a pair of equal entries and starts again until no pair is left.
template <class Item, class Record, class Remove>
[[nodiscard]] Status RemoveEqualPairs(const std::unique_ptr<CList>& list,
                                      bool (*equal)(const Record*, const Record*), Remove remove) {
    for (bool removed = true; removed;) {
        removed = false;
        const std::vector<Item*> items = Items<Item>(list.get());
        for (std::size_t i = 0; i < items.size() && !removed; ++i) {
            Record a;
            items[i]->ToRecord(&a);
            for (std::size_t j = 0; j < items.size() && !removed; ++j) {
                Record b;
                items[j]->ToRecord(&b);
                if (i == j || !equal(&a, &b)) continue;
                const Status status = remove(&a);
                if (status != kNoErr) return status;
                removed = true;
            }
        }
    }
    return kNoErr;
}

} // namespace

// Equal regions are left alone: only markers and loops are made unique.
Status CSoundFile::RemoveDuplicates() {
    const Status status = RemoveEqualPairs<CMarker>(
        markers, EqualMarker, [this](SFTMarker* m) { return RemoveMarker(m); });
    if (status != kNoErr) return status;
    return RemoveEqualPairs<CLoop>(loops, EqualLoop, [this](SFTLoop* l) { return RemoveLoop(l); });
}
