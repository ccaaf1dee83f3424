// Owning types for COM: interface pointers, the apartment, BSTRs and VARIANTs.
#pragma once
#include <objbase.h>
#include <oleauto.h>

#include <utility>

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  explicit ComPtr(T* p) : p_(p) {  // takes a new reference
    if (p_) p_->AddRef();
  }
  ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
  ComPtr(ComPtr&& o) noexcept : p_(o.Detach()) {}
  ComPtr& operator=(const ComPtr& o) {
    ComPtr(o).Swap(*this);
    return *this;
  }
  ComPtr& operator=(ComPtr&& o) noexcept {
    ComPtr(std::move(o)).Swap(*this);
    return *this;
  }
  ~ComPtr() { Reset(); }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For out parameters: releases what is held and returns the slot.
  T** put() {
    Reset();
    return &p_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }
  void Attach(T* p) {  // takes over an existing reference
    Reset();
    p_ = p;
  }
  T* Detach() {
    T* p = p_;
    p_ = nullptr;
    return p;
  }
  void Reset() {
    if (p_) {
      T* p = p_;
      p_ = nullptr;
      p->Release();
    }
  }
  void Swap(ComPtr& o) noexcept { std::swap(p_, o.p_); }
  template <class U>
  HRESULT As(ComPtr<U>* out) const {
    if (!p_) return E_POINTER;
    return p_->QueryInterface(__uuidof(U), out->put_void());
  }
  HRESULT CopyTo(T** out) const {
    if (!out) return E_POINTER;
    *out = p_;
    if (p_) p_->AddRef();
    return S_OK;
  }

 private:
  T* p_ = nullptr;
};

// Joins the thread to a single-threaded apartment; the destructor undoes exactly what the
// constructor did, on the same thread.
class ComApartment {
 public:
  explicit ComApartment(DWORD model = COINIT_APARTMENTTHREADED) : hr_(CoInitializeEx(nullptr, model)) {}
  ~ComApartment() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  HRESULT result() const { return hr_; }
  bool ok() const { return SUCCEEDED(hr_); }

 private:
  HRESULT hr_;
};

class UniqueBstr {
 public:
  UniqueBstr() = default;
  explicit UniqueBstr(const wchar_t* text) : b_(SysAllocString(text)) {}
  UniqueBstr(UniqueBstr&& o) noexcept : b_(o.release()) {}
  UniqueBstr& operator=(UniqueBstr&& o) noexcept {
    reset(o.release());
    return *this;
  }
  UniqueBstr(const UniqueBstr&) = delete;
  UniqueBstr& operator=(const UniqueBstr&) = delete;
  ~UniqueBstr() { reset(); }
  BSTR get() const { return b_; }
  BSTR* put() {
    reset();
    return &b_;
  }
  BSTR release() {
    BSTR b = b_;
    b_ = nullptr;
    return b;
  }
  void reset(BSTR b = nullptr) {
    if (b_) SysFreeString(b_);
    b_ = b;
  }

 private:
  BSTR b_ = nullptr;
};

class UniqueVariant {
 public:
  UniqueVariant() { VariantInit(&v_); }
  ~UniqueVariant() { VariantClear(&v_); }
  UniqueVariant(const UniqueVariant&) = delete;
  UniqueVariant& operator=(const UniqueVariant&) = delete;
  VARIANT* get() { return &v_; }
  const VARIANT* get() const { return &v_; }
  VARIANT* operator->() { return &v_; }
  // Clears what is held and returns the variant for an out parameter.
  VARIANT* put() {
    VariantClear(&v_);
    return &v_;
  }

 private:
  VARIANT v_;
};
