#include "soundfile/Containers.h"

#include <cstdint>
#include <cstring>
#include <new>

// --- CObject ---

CObject::CObject() = default;
CObject::~CObject() = default;

void CObject::Notification(CObject*, std::uint32_t) {}
void CObject::DoIdle() {}

void CObject::Dispose() {
    delete this;
}

void DisposeObject(CObject* object) {
    delete object;
}

Status CObject::MakeDependent(CObject* dependent) {
    if (!dependents) {
        dependents.reset(new (std::nothrow) CObjectList);
        if (!dependents) return kErrMemoryFull;
    }
    return dependents->AddObject(dependent);
}

void CObject::RemoveDependent(CObject* dependent) {
    if (dependents) dependents->RemoveObject(dependent);
}

void CObject::Notify(std::uint32_t message) {
    if (!dependents) return;
    for (std::int32_t position = 1; position <= dependents->GetCount(); ++position)
        if (CObject* dependent = dependents->AtObject(position))
            dependent->Notification(this, message);
}

// --- CLink ---

CLink::~CLink() {
    // Unlink the rest of the chain one link at a time so a long chain does not recurse.
    std::unique_ptr<CLink> rest = std::move(next);
    while (rest)
        rest = std::move(rest->next);
}

void CLink::ILink(CObject* newItem) {
    item.reset(newItem);
    next.reset();
}

void DisposeLink(CLink* link) {
    delete link;
}

// --- CList ---

namespace {
thread_local std::uint64_t linkSteps = 0;
} // namespace

std::uint64_t CList::LinkSteps() {
    return linkSteps;
}
void CList::CountLinkSteps(std::uint64_t steps) {
    linkSteps += steps;
}

CList::~CList() {
    Clear();
}

void CList::Clear() {
    first.reset(); // CLink's destructor walks the chain
    last = nullptr;
    count = 0;
    Forget();
}

void CList::Forget() const {
    cursorLink = nullptr;
    cursorIndex = 0;
}

Status CList::AddItem(CObject* item) {
    return AddItemBeforeIndex(count, item);
}

Status CList::AddItemBeforeIndex(std::int16_t index, CObject* item) {
    // After the link at index - 1, or after the last one (without a walk).
    CLink* previous = index <= 0 ? nullptr : index >= count ? last : GetIndLink(index - 1);
    return AddItemAfterLink(previous, item);
}

Status CList::AddItemAfterLink(CLink* previous, CObject* item) {
    std::unique_ptr<CLink> link(count < INT16_MAX ? new (std::nothrow) CLink : nullptr);
    if (!link) {
        delete item;
        return kErrMemoryFull;
    }
    link->ILink(item);
    CLink* added = link.get();
    if (previous) {
        link->SetNext(previous->ReleaseNext());
        previous->SetNext(std::move(link));
    } else {
        link->SetNext(std::move(first));
        first = std::move(link);
    }
    if (previous == last) last = added;
    ++count;
    Forget();
    return kNoErr;
}

// Walks from the remembered link when it lies at or before `index`, so that visiting the
// items in order costs one step per item.
CLink* CList::GetIndLink(std::int16_t index) const {
    if (index < 0 || index >= count) return nullptr;
    if (index == count - 1) return last;
    CLink* link = first.get();
    std::int16_t k = 0;
    if (cursorLink && cursorIndex <= index) {
        link = cursorLink;
        k = cursorIndex;
    }
    for (; link && k < index; ++k, ++linkSteps)
        link = link->GetNext();
    cursorLink = link;
    cursorIndex = index;
    return link;
}

CObject* CList::GetIndItem(std::int16_t index) const {
    CLink* link = GetIndLink(index);
    return link ? link->GetLinkItem() : nullptr;
}

std::unique_ptr<CLink> CList::TakeLink(CObject* item) {
    Forget();
    std::unique_ptr<CLink>* slot = &first;
    CLink* previous = nullptr;
    while (*slot && (*slot)->GetLinkItem() != item) {
        previous = slot->get();
        slot = &(*slot)->next;
        ++linkSteps;
    }
    if (!*slot) return nullptr;
    std::unique_ptr<CLink> found = std::move(*slot);
    *slot = std::move(found->next);
    if (last == found.get()) last = previous;
    --count;
    return found;
}

void CList::RemoveItem(CObject* item) {
    TakeLink(item);
}

void CList::RemoveItems(const std::function<bool(const CObject*)>& which) {
    Forget();
    std::unique_ptr<CLink>* slot = &first;
    CLink* previous = nullptr;
    while (*slot) {
        ++linkSteps;
        if (which((*slot)->GetLinkItem())) {
            std::unique_ptr<CLink> removed = std::move(*slot);
            *slot = std::move(removed->next);
            --count;
        } else {
            previous = slot->get();
            slot = &(*slot)->next;
        }
    }
    last = previous;
}

void CList::UnlinkItem(CObject* item) {
    std::unique_ptr<CLink> link = TakeLink(item);
    if (link) link->ReleaseLinkItem();
}

void CList::DoToEach(void (*fn)(void*, std::int32_t), std::int32_t arg) {
    for (CLink* link = first.get(); link; link = link->GetNext())
        fn(link->GetLinkItem(), arg);
}

void CList::DisposeLinks() {
    delete this;
}

// --- CLongList ---

CLongList::CLongList() = default;
CLongList::CLongList(std::int32_t size) : elementSize(size) {}
CLongList::~CLongList() = default;

Status CLongList::GrowArray() {
    if (!data) {
        const Status status = data.Allocate(std::size_t(growStep) * elementSize, false);
        if (status == kNoErr) capacity = growStep;
        return status;
    }
    const Status status = data.Resize(std::size_t(capacity + growStep) * elementSize);
    if (status == kNoErr) capacity += growStep;
    return status;
}

void CLongList::ShrinkArray() {
    if (capacity - count < growStep) return;
    if (data.Resize(std::size_t(capacity - growStep) * elementSize) == kNoErr) capacity -= growStep;
}

Status CLongList::AddElement(const void* element) {
    if (count == capacity) {
        const Status status = GrowArray();
        if (status != kNoErr) return status;
    }
    std::memcpy(data.Data() + std::size_t(count) * elementSize, element, elementSize);
    ++count;
    return kNoErr;
}

Status CLongList::AddElementAt(const void* element, std::int32_t position) {
    if (position < 1 || position > count) return AddElement(element);
    if (count == capacity) {
        const Status status = GrowArray();
        if (status != kNoErr) return status;
    }
    std::uint8_t* at = data.Data() + std::size_t(position - 1) * elementSize;
    std::memmove(at + elementSize, at, std::size_t(count - position + 1) * elementSize);
    std::memcpy(at, element, elementSize);
    ++count;
    return kNoErr;
}

bool CLongList::ElementAt(std::int32_t position, void* element) const {
    if (position < 1 || position > count) return false;
    std::memcpy(element, data.Data() + std::size_t(position - 1) * elementSize, elementSize);
    return true;
}

std::int32_t CLongList::FindElement(const void* element) const {
    for (std::int32_t position = 1; position <= count; ++position)
        if (std::memcmp(data.Data() + std::size_t(position - 1) * elementSize, element,
                        elementSize) == 0)
            return position;
    return 0;
}

void CLongList::RemoveElement(const void* element) {
    const std::int32_t position = FindElement(element);
    if (position != 0) RemoveLocation(position);
}

void CLongList::RemoveLocation(std::int32_t position) {
    if (position < 1 || position > count) return;
    std::uint8_t* at = data.Data() + std::size_t(position - 1) * elementSize;
    std::memmove(at, at + elementSize, std::size_t(count - position) * elementSize);
    --count;
    ShrinkArray();
}

Status CLongList::AddLong(std::int32_t value) {
    return AddElement(&value);
}
Status CLongList::AddLongAt(std::int32_t value, std::int32_t position) {
    return AddElementAt(&value, position);
}
std::int32_t CLongList::At(std::int32_t position) const {
    std::int32_t value = 0;
    return ElementAt(position, &value) ? value : 0;
}
std::int32_t CLongList::FindLong(std::int32_t value) const {
    return FindElement(&value);
}
void CLongList::RemoveLong(std::int32_t value) {
    RemoveElement(&value);
}

// --- typed views ---

CObjectList::CObjectList() : CLongList(sizeof(CObject*)) {}
Status CObjectList::AddObject(CObject* object) {
    return AddElement(&object);
}
void CObjectList::RemoveObject(CObject* object) {
    RemoveElement(&object);
}
std::int32_t CObjectList::FindObject(CObject* object) const {
    return FindElement(&object);
}
CObject* CObjectList::AtObject(std::int32_t position) const {
    CObject* object = nullptr;
    return ElementAt(position, &object) ? object : nullptr;
}

CHandleList::CHandleList() : CLongList(sizeof(void*)) {}
Status CHandleList::AddHandle(void* handle) {
    return AddElement(&handle);
}
Status CHandleList::AddHandleAt(void* handle, std::int32_t position) {
    return AddElementAt(&handle, position);
}
void CHandleList::RemoveHandle(void* handle) {
    RemoveElement(&handle);
}
std::int32_t CHandleList::FindHandle(void* handle) const {
    return FindElement(&handle);
}
void* CHandleList::AtHandle(std::int32_t position) const {
    void* handle = nullptr;
    return ElementAt(position, &handle) ? handle : nullptr;
}

// --- iterators ---

void CLongListIterator::IListIterator(CLongList* newList) {
    list = newList;
    index = list ? 1 : 0;
}
std::int32_t CLongListIterator::FirstLong() {
    index = 1;
    return list ? list->At(index) : 0;
}
std::int32_t CLongListIterator::NextLong() {
    ++index;
    return list ? list->At(index) : 0;
}
std::int32_t CLongListIterator::PreviousLong() {
    --index;
    return list ? list->At(index) : 0;
}
std::int32_t CLongListIterator::LastLong() {
    index = list ? list->GetCount() : 0;
    return list ? list->At(index) : 0;
}
bool CLongListIterator::More() const {
    return list && index <= list->GetCount();
}

void CObjectListIterator::IObjectListIterator(CObjectList* newList) {
    list = newList;
    index = list ? 1 : 0;
}
CObject* CObjectListIterator::FirstObject() {
    index = 1;
    return list ? list->AtObject(index) : nullptr;
}
CObject* CObjectListIterator::NextObject() {
    ++index;
    return list ? list->AtObject(index) : nullptr;
}
bool CObjectListIterator::More() const {
    return list && index <= list->GetCount();
}

void CHandleListIterator::IHandleListIterator(CHandleList* newList) {
    list = newList;
    index = list ? 1 : 0;
}
void* CHandleListIterator::FirstHandle() {
    index = 1;
    return list ? list->AtHandle(index) : nullptr;
}
void* CHandleListIterator::NextHandle() {
    ++index;
    return list ? list->AtHandle(index) : nullptr;
}
bool CHandleListIterator::More() const {
    return list && index <= list->GetCount();
}
