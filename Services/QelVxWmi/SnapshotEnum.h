// An enumerator over a copy of a list taken when it was made (IEnumConnectionPoints,
// IEnumConnections): each item holds its own reference.
#pragma once
#include <ocidl.h>

#include <new>
#include <vector>

struct InterfaceItemPolicy {
  template <class T>
  static void Hold(T* p) { if (p) p->AddRef(); }
  template <class T>
  static void Drop(T* p) { if (p) p->Release(); }
};
struct ConnectDataPolicy {
  static void Hold(const CONNECTDATA& d) { if (d.pUnk) d.pUnk->AddRef(); }
  static void Drop(const CONNECTDATA& d) { if (d.pUnk) d.pUnk->Release(); }
};

template <class Enum, class Item, class Policy>
class SnapshotEnum : public Enum {
 public:
  // items: each already held once by this enumerator.
  static HRESULT Create(std::vector<Item> items, size_t position, Enum** out) {
    if (!out) return E_POINTER;
    auto* e = new (std::nothrow) SnapshotEnum(std::vector<Item>(), position);
    *out = e;
    if (!e) {
      for (auto& item : items) Policy::Drop(item);
      return E_OUTOFMEMORY;
    }
    e->items_ = std::move(items);
    return S_OK;
  }

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == __uuidof(Enum)) {
      *ppv = static_cast<Enum*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&ref_); }
  STDMETHODIMP_(ULONG) Release() override {
    LONG r = InterlockedDecrement(&ref_);
    if (r == 0) delete this;
    return r;
  }
  STDMETHODIMP Next(ULONG count, Item* out, ULONG* fetched) override {
    if (!out || (count > 1 && !fetched)) return E_POINTER;
    ULONG n = 0;
    while (n < count && pos_ < items_.size()) {
      out[n] = items_[pos_++];
      Policy::Hold(out[n]);
      ++n;
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override {
    size_t left = items_.size() - pos_;
    pos_ += count < left ? count : left;
    return count <= left ? S_OK : S_FALSE;
  }
  STDMETHODIMP Reset() override {
    pos_ = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(Enum** out) override {
    for (auto& item : items_) Policy::Hold(item);
    return Create(items_, pos_, out);
  }

 private:
  SnapshotEnum(std::vector<Item> items, size_t position) : items_(std::move(items)), pos_(position) {}
  virtual ~SnapshotEnum() {
    for (auto& item : items_) Policy::Drop(item);
  }
  std::vector<Item> items_;
  size_t pos_;
  LONG ref_ = 1;
};
