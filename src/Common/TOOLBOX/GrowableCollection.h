// Thread-safe growable arrays of trivially copyable items, held by value.
#pragma once
#include <windows.h>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "CriticalSection.h"
#include "Handles.h"
#include "LocalHeap.h"

// Items compare with their type's operator==, so records with padding compare by fields.
template <class T>
class GrowableThingCollection {
  static_assert(std::is_trivially_copyable<T>::value, "items are moved as bytes");

 public:
  using FindCallback = bool (*)(const T* item, UINT_PTR user);

  explicit GrowableThingCollection(int growth) : growth_(growth > 0 ? growth : 1) {}
  virtual ~GrowableThingCollection() {
    if (items_) ::LocalFree(items_);
  }
  GrowableThingCollection(const GrowableThingCollection&) = delete;
  GrowableThingCollection& operator=(const GrowableThingCollection&) = delete;

  virtual bool Add(const T& item) {
    CriticalSectionLock change(changeLock_);
    CriticalSectionLock items(itemLock_);
    if (freeze_ != 0 || !Grow()) return false;
    items_[count_++] = item;
    return true;
  }
  virtual bool InsertAt(const T& item, int index) {
    CriticalSectionLock change(changeLock_);
    CriticalSectionLock items(itemLock_);
    if (freeze_ != 0 || index < 0 || index > count_ || !Grow()) return false;
    std::memmove(items_ + index + 1, items_ + index, (count_ - index) * sizeof(T));
    items_[index] = item;
    ++count_;
    return true;
  }
  virtual bool RemoveAt(int index) {
    CriticalSectionLock change(changeLock_);
    CriticalSectionLock items(itemLock_);
    return RemoveIndex(index);
  }
  virtual bool Remove(const T& item) {
    CriticalSectionLock change(changeLock_);
    CriticalSectionLock items(itemLock_);
    return RemoveIndex(Find(item));
  }
  virtual bool RemoveAll() {
    CriticalSectionLock change(changeLock_);
    CriticalSectionLock items(itemLock_);
    if (freeze_ != 0) return false;
    count_ = 0;
    return true;
  }
  virtual bool Swap(int index1, int index2) {
    CriticalSectionLock change(changeLock_);
    CriticalSectionLock items(itemLock_);
    if (freeze_ != 0 || !Valid(index1) || !Valid(index2)) return false;
    T held = items_[index1];
    items_[index1] = items_[index2];
    items_[index2] = held;
    return true;
  }
  virtual int GetCount() {
    CriticalSectionLock items(itemLock_);
    return count_;
  }
  virtual bool Freeze() {
    CriticalSectionLock items(itemLock_);
    ++freeze_;
    return true;
  }
  // True once every Freeze has met its Unfreeze.
  virtual bool Unfreeze() {
    CriticalSectionLock items(itemLock_);
    if (freeze_ > 0) --freeze_;
    return freeze_ == 0;
  }
  // Holds the change lock until Unlock: other threads cannot add, remove or reorder.
  virtual bool Lock() { return changeLock_.Lock(); }
  virtual bool Unlock() { return changeLock_.Unlock(); }
  virtual T GetAt(int index) {
    CriticalSectionLock items(itemLock_);
    return Valid(index) ? items_[index] : T{};
  }
  // Replaces in place; allowed while frozen.
  virtual bool SetAt(const T& item, int index) {
    CriticalSectionLock items(itemLock_);
    if (!Valid(index)) return false;
    items_[index] = item;
    return true;
  }
  // The first equal item's index, or -1.
  virtual int Find(const T& item) {
    CriticalSectionLock items(itemLock_);
    for (int i = 0; i < count_; ++i)
      if (items_[i] == item) return i;
    return -1;
  }
  // Runs under the item lock: the callback must not change this collection's size or order.
  virtual int FindIf(FindCallback callback, UINT_PTR user) {
    CriticalSectionLock items(itemLock_);
    for (int i = 0; i < count_; ++i)
      if (callback(&items_[i], user)) return i;
    return -1;
  }
  // Addresses are handed out only while frozen, and stay valid until the last Unfreeze.
  virtual T* GetPtrAt(int index) {
    CriticalSectionLock items(itemLock_);
    return freeze_ != 0 && Valid(index) ? &items_[index] : nullptr;
  }
  // The last equal item's address while frozen, else NULL.
  virtual T* FindPtr(const T& item) {
    CriticalSectionLock items(itemLock_);
    if (freeze_ == 0) return nullptr;
    for (int i = count_ - 1; i >= 0; --i)
      if (items_[i] == item) return &items_[i];
    return nullptr;
  }
  // Room for one more item; the caller holds both locks.
  virtual bool Grow() {
    if (count_ != capacity_) return true;
    int64_t capacity = int64_t{capacity_} + growth_;
    if (capacity > INT32_MAX) return false;
    void* grown = items_ ? LocalBlockReAlloc(items_, static_cast<size_t>(capacity), sizeof(T))
                         : LocalBlockAlloc(static_cast<size_t>(capacity), sizeof(T));
    if (!grown) return false;
    items_ = static_cast<T*>(grown);
    capacity_ = static_cast<int>(capacity);
    return true;
  }

  int Capacity() {
    CriticalSectionLock items(itemLock_);
    return capacity_;
  }

 protected:
  bool Valid(int index) const { return index >= 0 && index < count_; }
  // Both locks held.
  bool RemoveIndex(int index) {
    if (freeze_ != 0 || !Valid(index)) return false;
    std::memmove(items_ + index, items_ + index + 1, (count_ - index - 1) * sizeof(T));
    --count_;
    return true;
  }

  CriticalSection itemLock_;    // items, count and freeze count
  CriticalSection changeLock_;  // taken before the item lock by every change of size or order

 private:
  T* items_ = nullptr;
  int count_ = 0;
  int capacity_ = 0;
  int growth_;
  int freeze_ = 0;
};

// A collection of borrowed pointers whose index-based removal, reordering and virtual
// reads are switched off; it reads through GetPointer and IndexOf instead.
template <class T>
class GrowablePointerCollection : public GrowableThingCollection<T*> {
  using Base = GrowableThingCollection<T*>;

 public:
  explicit GrowablePointerCollection(int growth)
      : Base(growth), event_(::CreateEventA(nullptr, FALSE, TRUE, nullptr)) {}

  bool RemoveAt(int) override { return false; }
  bool RemoveAll() override { return false; }
  bool Swap(int, int) override { return false; }
  T* GetAt(int) override { return nullptr; }
  int FindIf(typename Base::FindCallback, UINT_PTR) override { return -1; }
  T** GetPtrAt(int) override { return nullptr; }

  bool Add(T* item) { return Base::Add(item); }
  bool InsertAt(T* item, int index) { return Base::InsertAt(item, index); }
  // The pointer at index, NULL outside 0..count-1.
  T* GetPointer(int index) { return Base::GetAt(index); }
  // The first slot holding this very pointer, or -1.
  int IndexOf(const T* item) { return Base::Find(const_cast<T*>(item)); }

 private:
  int32_t flag_ = 0;          // carried, read by nobody
  UniqueKernelHandle event_;  // auto-reset, created signalled; read by nobody
};

extern template class GrowableThingCollection<char*>;
extern template class GrowableThingCollection<void*>;
extern template class GrowablePointerCollection<char>;
