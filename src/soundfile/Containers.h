#pragma once
// The engine's root class and containers: CObject with its dependents, CList (a singly
// linked list that owns its items, indexed from 0) and CLongList (a growable array of 32-bit
// values, positions from 1) with its typed views CObjectList and CHandleList and iterators.

#include <cstdint>
#include <functional>
#include <memory>

#include "soundfile/Memory.h"
#include "soundfile/Status.h"

class CObjectList;

class CObject {
  public:
    CObject();
    virtual ~CObject();
    CObject(const CObject&) = delete;
    CObject& operator=(const CObject&) = delete;

    // Hooks for subclasses; they do nothing here.
    virtual void Notification(CObject* sender, std::uint32_t message);
    virtual void DoIdle();

    // Deletes the object through its virtual destructor. Only for objects created with new
    // that nobody else owns.
    void Dispose();

    [[nodiscard]] Status MakeDependent(CObject* dependent);
    void RemoveDependent(CObject* dependent);
    // Calls Notification(this, message) on each dependent, first to last.
    void Notify(std::uint32_t message);

  protected:
    std::unique_ptr<CObjectList> dependents; // null until the first MakeDependent
};

// Deletes `object`; nothing happens for null.
void DisposeObject(CObject* object);

// One link of a CList. A link owns its item.
class CLink : public CObject {
  public:
    CLink() = default;
    ~CLink() override;
    void ILink(CObject* item);

    CLink* GetNext() const { return next.get(); }
    // Replaces the following chain; the old one is deleted.
    void SetNext(std::unique_ptr<CLink> link) { next = std::move(link); }
    std::unique_ptr<CLink> ReleaseNext() { return std::move(next); }
    CObject* GetLinkItem() const { return item.get(); }
    // Takes ownership of `newItem`; the old item is deleted.
    void SetLinkItem(CObject* newItem) { item.reset(newItem); }
    CObject* ReleaseLinkItem() { return item.release(); }

  private:
    friend class CList;
    std::unique_ptr<CObject> item;
    std::unique_ptr<CLink> next;
};

// Deletes `link` together with its item; nothing happens for null.
void DisposeLink(CLink* link);

class CList : public CObject {
  public:
    CList() = default;
    ~CList() override; // deletes every link and every item

    std::int16_t GetNumItems() const { return count; }
    // The list takes ownership of `item`. kErrMemoryFull (and `item` deleted) when no link
    // could be allocated or the list holds INT16_MAX items already.
    [[nodiscard]] Status AddItem(CObject* item);
    // `item` ends up at position `index` (0 = first); an index past the end appends.
    [[nodiscard]] Status AddItemBeforeIndex(std::int16_t index, CObject* item);
    // `item` goes right after `previous`, a link of this list (null: to the front).
    [[nodiscard]] Status AddItemAfterLink(CLink* previous, CObject* item);
    CObject* GetIndItem(std::int16_t index) const;
    CLink* GetIndLink(std::int16_t index) const;
    // Takes out the first link holding `item` and deletes it with the item.
    void RemoveItem(CObject* item);
    // Deletes every item for which `which` is true, in one walk.
    void RemoveItems(const std::function<bool(const CObject*)>& which);
    // As RemoveItem, but the caller owns the item afterwards.
    void UnlinkItem(CObject* item);
    void DoToEach(void (*fn)(void*, std::int32_t), std::int32_t arg);
    // Deletes every item and then the list itself (the list must have been made with new).
    void DisposeLinks();

    // Links walked by the lists of this thread so far (a measure of work for tests).
    static std::uint64_t LinkSteps();
    // For walks made outside the list's own operations.
    static void CountLinkSteps(std::uint64_t steps);

  private:
    std::unique_ptr<CLink> TakeLink(CObject* item);
    void Clear();
    void Forget() const; // drops the remembered position after a change

    std::unique_ptr<CLink> first;
    CLink* last = nullptr;
    std::int16_t count = 0;
    // The link last reached by index: an in-order walk by index costs one step per item.
    mutable CLink* cursorLink = nullptr;
    mutable std::int16_t cursorIndex = 0;
};

// A growable array reached by 1-based position. Every operation that can allocate returns a
// status; a failed growth leaves the list as it was.
class CLongList {
  public:
    CLongList();
    virtual ~CLongList();
    CLongList(const CLongList&) = delete;
    CLongList& operator=(const CLongList&) = delete;

    [[nodiscard]] Status AddLong(std::int32_t value);
    // Below 1 or above the count: the same as AddLong.
    [[nodiscard]] Status AddLongAt(std::int32_t value, std::int32_t position);
    std::int32_t At(std::int32_t position) const;    // 0 outside 1..count
    std::int32_t FindLong(std::int32_t value) const; // 0 when absent
    void RemoveLocation(std::int32_t position);
    void RemoveLong(std::int32_t value);
    [[nodiscard]] Status GrowArray();
    void ShrinkArray();

    std::int32_t GetCount() const { return count; }
    std::int32_t GetCapacity() const { return capacity; }

  protected:
    explicit CLongList(std::int32_t elementSize);

    // The same operations on elements of elementSize bytes, for the typed views.
    [[nodiscard]] Status AddElement(const void* element);
    [[nodiscard]] Status AddElementAt(const void* element, std::int32_t position);
    bool ElementAt(std::int32_t position, void* element) const;
    std::int32_t FindElement(const void* element) const;
    void RemoveElement(const void* element);

    MemBlock data;
    std::int32_t capacity = 0;
    std::int32_t count = 0;
    std::int32_t growStep = 16;
    std::int32_t elementSize = 4;
};

// A CLongList of object pointers (not owned).
class CObjectList : protected CLongList {
  public:
    CObjectList();
    [[nodiscard]] Status AddObject(CObject* object);
    void RemoveObject(CObject* object);
    std::int32_t FindObject(CObject* object) const;
    CObject* AtObject(std::int32_t position) const;
    using CLongList::GetCapacity;
    using CLongList::GetCount;
    using CLongList::RemoveLocation;
};

// A CLongList of opaque block pointers (not owned).
class CHandleList : protected CLongList {
  public:
    CHandleList();
    [[nodiscard]] Status AddHandle(void* handle);
    [[nodiscard]] Status AddHandleAt(void* handle, std::int32_t position);
    void RemoveHandle(void* handle);
    std::int32_t FindHandle(void* handle) const;
    void* AtHandle(std::int32_t position) const;
    using CLongList::GetCapacity;
    using CLongList::GetCount;
    using CLongList::RemoveLocation;
};

// Walks a list: v = FirstLong(); while (More()) { use v; v = NextLong(); }
class CLongListIterator {
  public:
    CLongListIterator() = default;
    explicit CLongListIterator(CLongList* list) { IListIterator(list); }
    void IListIterator(CLongList* list);
    std::int32_t FirstLong();
    std::int32_t NextLong();
    std::int32_t PreviousLong();
    std::int32_t LastLong();
    bool More() const;
    bool MorePrev() const { return index > 0; }

  protected:
    std::int32_t index = 0;
    CLongList* list = nullptr;
};

class CObjectListIterator {
  public:
    CObjectListIterator() = default;
    explicit CObjectListIterator(CObjectList* list) { IObjectListIterator(list); }
    void IObjectListIterator(CObjectList* list);
    CObject* FirstObject();
    CObject* NextObject();
    bool More() const;
    bool MorePrev() const { return index > 0; }

  private:
    std::int32_t index = 0;
    CObjectList* list = nullptr;
};

class CHandleListIterator {
  public:
    CHandleListIterator() = default;
    explicit CHandleListIterator(CHandleList* list) { IHandleListIterator(list); }
    void IHandleListIterator(CHandleList* list);
    void* FirstHandle();
    void* NextHandle();
    bool More() const;
    bool MorePrev() const { return index > 0; }

  private:
    std::int32_t index = 0;
    CHandleList* list = nullptr;
};
