#include "soundfile/SoundFileRecords.h"

#include <cstring>
#include <new>

namespace {

bool EqualNames(const unsigned char* a, const unsigned char* b) {
    return a[0] == b[0] && std::memcmp(a + 1, b + 1, a[0]) == 0;
}

template <class Record> std::unique_ptr<Record> NewRecord() {
    return std::unique_ptr<Record>(new (std::nothrow) Record{});
}

} // namespace

void CopyRecordName(const unsigned char* source, unsigned char* destination) {
    const unsigned char length = source[0] > kSFTMaxNameLength ? kSFTMaxNameLength : source[0];
    std::memmove(destination + 1, source + 1, length);
    destination[0] = length;
}

bool EqualMarker(const SFTMarker* a, const SFTMarker* b) {
    return a->id == b->id && a->position == b->position && EqualNames(a->name, b->name);
}

bool EqualLoop(const SFTLoop* a, const SFTLoop* b) {
    return a->id == b->id && a->start == b->start && a->end == b->end && a->type == b->type;
}

bool EqualRegion(const SFTRegion* a, const SFTRegion* b) {
    return a->id == b->id && a->start == b->start && a->end == b->end && a->sync == b->sync &&
           EqualNames(a->name, b->name);
}

std::unique_ptr<SFTMarker> NewMarkerHandle() {
    return NewRecord<SFTMarker>();
}
std::unique_ptr<SFTRegion> NewRegionHandle() {
    return NewRecord<SFTRegion>();
}
std::unique_ptr<SFTLoop> NewLoopHandle() {
    return NewRecord<SFTLoop>();
}
void DisposMarkerHandle(std::unique_ptr<SFTMarker>& marker) {
    marker.reset();
}
void DisposRegionHandle(std::unique_ptr<SFTRegion>& region) {
    region.reset();
}
void DisposLoopHandle(std::unique_ptr<SFTLoop>& loop) {
    loop.reset();
}

// --- CMarker ---

void CMarker::IMarker(std::int32_t newID, std::int32_t newPosition, const unsigned char* newName) {
    id = newID;
    position = newPosition;
    SetName(newName);
}

void CMarker::GetName(unsigned char* destination) const {
    CopyRecordName(name, destination);
}
void CMarker::SetName(const unsigned char* source) {
    CopyRecordName(source, name);
}

void CMarker::ToRecord(SFTMarker* record) const {
    record->id = id;
    record->position = position;
    GetName(record->name);
    record->type = type;
    record->number = number;
}

// --- CRegion ---

void CRegion::IRegion(std::int32_t newID, std::int32_t newStart, std::int32_t newEnd,
                      std::int32_t newSync, std::int32_t newTimeStamp,
                      const unsigned char* newName) {
    id = newID;
    start = newStart;
    end = newEnd;
    sync = newSync;
    timeStampLS = newTimeStamp;
    SetName(newName);
}

void CRegion::GetName(unsigned char* destination) const {
    CopyRecordName(name, destination);
}
void CRegion::SetName(const unsigned char* source) {
    CopyRecordName(source, name);
}

void CRegion::ToRecord(SFTRegion* record) const {
    record->id = id;
    record->start = start;
    record->end = end;
    record->sync = sync;
    record->timeStampLS = timeStampLS;
    GetName(record->name);
}

// --- CLoop ---

void CLoop::ILoop(std::int32_t newID, std::int32_t newStart, std::int32_t newEnd,
                  std::int16_t newType) {
    id = newID;
    start = newStart;
    end = newEnd;
    type = newType;
}

void CLoop::ToRecord(SFTLoop* record) const {
    record->id = id;
    record->start = start;
    record->end = end;
    record->type = type;
}
