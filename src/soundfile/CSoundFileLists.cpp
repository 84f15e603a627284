// Markers, loops and regions of CSoundFile: the sorted lists, their lookups and removals,
// the region walks and the two region-name repairs.

#include <cstdio>
#include <cstring>
#include <new>
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
    return items;
}

// The last item whose record equals `record`, or null.
template <class Item, class Record>
Item* LastEqual(const CList* list, const Record* record, bool (*equal)(const Record*, const Record*)) {
    Item* found = nullptr;
    for (Item* item : Items<Item>(list)) {
        Record candidate;
        item->ToRecord(&candidate);
        if (equal(&candidate, record)) found = item;
    }
    return found;
}

template <class Item, class Record>
Status GetIndRecord(const CList* list, std::int16_t index, Record* record, Status missing) {
    CObject* item = list ? list->GetIndItem(index) : nullptr;
    if (!item) return missing;
    static_cast<Item*>(item)->ToRecord(record);
    return kNoErr;
}

template <class Item, class Record>
Status RemoveRecord(CList* list, const Record* record,
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
CLoop* CSoundFile::LoopAt(std::int16_t index) const {
    return loops ? static_cast<CLoop*>(loops->GetIndItem(index)) : nullptr;
}
CRegion* CSoundFile::RegionAt(std::int16_t index) const {
    return regions ? static_cast<CRegion*>(regions->GetIndItem(index)) : nullptr;
}

// --- markers ---

std::int16_t CSoundFile::GetNumMarkers() { return markers ? markers->GetNumItems() : 0; }

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

Status CSoundFile::AddMarker(SFTMarker* marker) {
    CutName(marker->name);
    if (!markers) {
        markers.reset(new (std::nothrow) CList);
        if (!markers) return kErrMemoryFull;
    }
    CMarker* item = new (std::nothrow) CMarker;
    if (!item) return kErrMemoryFull;
    item->IMarker(marker->id, marker->position, marker->name);
    item->SetType(marker->type);
    item->SetNumber(marker->number);

    // Kept sorted by ID; a taken ID is replaced by the greatest ID plus one.
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

Status CSoundFile::RemoveMarker(SFTMarker* marker) {
    return RemoveRecord<CMarker>(markers.get(), marker, EqualMarker, kErrNoSuchMarker);
}

// --- loops ---

std::int16_t CSoundFile::GetNumLoops() { return loops ? loops->GetNumItems() : 0; }

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

std::int16_t CSoundFile::GetNumRegions() { return regions ? regions->GetNumItems() : 0; }

Status CSoundFile::GetIndRegion(std::int16_t index, SFTRegion* region) {
    return GetIndRecord<CRegion>(regions.get(), index, region, kErrNoSuchRegion);
}

Status CSoundFile::AddRegion(SFTRegion* region) {
    CutName(region->name);
    if (region->start < 0) region->start = 0;
    if (region->end > numFrames) region->end = numFrames;
    if (!regions) {
        regions.reset(new (std::nothrow) CList);
        if (!regions) return kErrMemoryFull;
    }
    CRegion* item = new (std::nothrow) CRegion;
    if (!item) return kErrMemoryFull;
    item->IRegion(region->id, region->start, region->end, region->sync, region->timeStampLS,
                  region->name);

    // Kept sorted by start; equal starts in the order they were added.
    const std::vector<CRegion*> items = Items<CRegion>(regions.get());
    if (items.empty() || items.back()->GetStart() <= region->start)
        return regions->AddItem(item);
    std::size_t index = 0;
    while (index < items.size() && items[index]->GetStart() <= region->start) ++index;
    return regions->AddItemBeforeIndex(std::int16_t(index), item);
}

Status CSoundFile::RemoveRegion(SFTRegion* region) {
    return RemoveRecord<CRegion>(regions.get(), region, EqualRegion, kErrNoSuchRegion);
}

Status CSoundFile::GetNextBlock(std::int32_t pos, std::int32_t* start, std::int32_t* end) {
    *end = 0;
    const std::vector<CRegion*> items = Items<CRegion>(regions.get());
    std::size_t k = 0;
    while (k < items.size() && items[k]->GetStart() < pos) ++k;
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

Status CSoundFile::KillBadRegionNames() {
    if (GetNumRegions() <= 100) return kNoErr;
    // Each region is repaired once, in list order, even though a repaired region moves.
    std::vector<SFTRegion> records;
    for (const CRegion* item : Items<CRegion>(regions.get())) {
        SFTRegion record;
        item->ToRecord(&record);
        records.push_back(record);
    }
    for (SFTRegion& record : records) {
        unsigned char repaired[kSFTMaxNameLength + 1];
        RepairedName(record.name, repaired);
        if (pstrcmp(repaired, record.name)) continue;
        Status status = RemoveRegion(&record);
        if (status != kNoErr) return status;
        std::memcpy(record.name, repaired, repaired[0] + 1);
        status = AddRegion(&record);
        if (status != kNoErr) return status;
    }
    return kNoErr;
}

Status CSoundFile::KillDuplicateRegionNames() {
    Status status = KillBadRegionNames();
    if (status != kNoErr) return status;
    if (GetNumRegions() <= 50) return kNoErr;

    // Regions at or before position i never move while the regions after it are renamed: a
    // renamed region is added again behind every region with the same or an earlier start.
    for (std::int16_t i = 0; i < GetNumRegions() && status == kNoErr; ++i) {
        unsigned char name[kSFTMaxNameLength + 1];
        RegionAt(i)->GetName(name);
        std::int32_t counter = 1;
        // The regions after i as they are now; each is looked at once.
        std::vector<SFTRegion> later;
        for (std::int16_t j = i + 1; j < GetNumRegions(); ++j) {
            SFTRegion record;
            RegionAt(j)->ToRecord(&record);
            later.push_back(record);
        }
        for (SFTRegion& record : later) {
            if (status != kNoErr) break;
            if (!EqualNamesIgnoringMarks(record.name, name, true)) continue;
            // Its position now: the regions in front of it are the ones a new name must avoid.
            const std::vector<CRegion*> items = Items<CRegion>(regions.get());
            CRegion* target = LastEqual<CRegion>(regions.get(), &record, EqualRegion);
            std::size_t j = 0;
            while (j < items.size() && items[j] != target) ++j;
            status = RemoveRegion(&record);
            if (status != kNoErr) break;
            unsigned char candidate[kSFTMaxNameLength + 8];
            for (std::int32_t k = 0;; ++k) {
                NumberedName(record.name, counter + 1 + k, candidate);
                bool taken = false;
                for (std::size_t p = 0; p < j && !taken; ++p) {
                    unsigned char other[kSFTMaxNameLength + 1];
                    items[p]->GetName(other);
                    unsigned char cut[kSFTMaxNameLength + 1];
                    CopyRecordName(candidate, cut);
                    taken = EqualNamesIgnoringMarks(other, cut, false);
                }
                if (!taken) {
                    counter += k + 1;
                    break;
                }
            }
            CopyRecordName(candidate, record.name);
            status = AddRegion(&record);
        }
    }
    return status;
}

// --- all lists ---

namespace {

// Removes one of a pair of equal entries and starts again until no pair is left.
template <class Item, class Record, class Remove>
Status RemoveEqualPairs(const std::unique_ptr<CList>& list,
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
