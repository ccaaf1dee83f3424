// Owning types for kernel handles, registry keys and LocalAlloc blocks.
#pragma once
#include <windows.h>
#include <utility>

template <class Traits>
class UniqueHandle {
 public:
  using Type = typename Traits::Type;
  explicit UniqueHandle(Type h = Traits::Invalid()) : h_(h) {}
  UniqueHandle(UniqueHandle&& o) noexcept : h_(o.release()) {}
  UniqueHandle& operator=(UniqueHandle&& o) noexcept {
    reset(o.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { reset(); }

  Type get() const { return h_; }
  Type* put() {
    reset();
    return &h_;
  }
  Type release() {
    Type h = h_;
    h_ = Traits::Invalid();
    return h;
  }
  void reset(Type h = Traits::Invalid()) {
    if (h_ != Traits::Invalid()) Traits::Close(h_);
    h_ = h;
  }
  explicit operator bool() const { return h_ != Traits::Invalid(); }

 private:
  Type h_;
};

struct KernelHandleTraits {
  using Type = HANDLE;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { ::CloseHandle(h); }
};
struct FileHandleTraits {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) { ::CloseHandle(h); }
};
struct RegKeyTraits {
  using Type = HKEY;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { ::RegCloseKey(h); }
};
struct LibraryTraits {
  using Type = HMODULE;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { ::FreeLibrary(h); }
};

struct ScHandleTraits {
  using Type = SC_HANDLE;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { ::CloseServiceHandle(h); }
};

using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;  // events, threads, processes
using UniqueFile = UniqueHandle<FileHandleTraits>;
using UniqueRegKey = UniqueHandle<RegKeyTraits>;
using UniqueLibrary = UniqueHandle<LibraryTraits>;
using UniqueScHandle = UniqueHandle<ScHandleTraits>;  // the service manager and its services

// One buffer from LocalAlloc (or none), freed with LocalFree.
template <class T>
class LocalAllocPtr {
 public:
  LocalAllocPtr() = default;
  explicit LocalAllocPtr(T* p) : p_(p) {}
  LocalAllocPtr(LocalAllocPtr&& o) noexcept : p_(o.release()) {}
  LocalAllocPtr& operator=(LocalAllocPtr&& o) noexcept {
    reset(o.release());
    return *this;
  }
  LocalAllocPtr(const LocalAllocPtr&) = delete;
  LocalAllocPtr& operator=(const LocalAllocPtr&) = delete;
  ~LocalAllocPtr() { reset(); }

  // Allocates count elements (LMEM_FIXED); empty on failure.
  static LocalAllocPtr Allocate(size_t count) {
    return LocalAllocPtr(static_cast<T*>(::LocalAlloc(LMEM_FIXED, count * sizeof(T))));
  }
  T* get() const { return p_; }
  T* release() {
    T* p = p_;
    p_ = nullptr;
    return p;
  }
  void reset(T* p = nullptr) {
    if (p_) ::LocalFree(p_);
    p_ = p;
  }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};
