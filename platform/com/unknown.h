// The component object model's base: IUnknown (QueryInterface by GUID, AddRef, Release),
// IClassFactory, a reference count and a smart pointer for callers.
//
// Objects are created with a count of 1 and delete themselves when Release brings it to
// 0. Interfaces carry their identifier as `kIid`; QueryInterface answers S_OK with an
// added reference, or E_NOINTERFACE with *ppv null.
#pragma once

#include <atomic>
#include <utility>

#include "platform/com/guid.h"
#include "platform/com/hresult.h"

namespace platform {

class IUnknown {
 public:
  static constexpr GUID kIid = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

  virtual HRESULT QueryInterface(REFIID riid, void** ppv) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  virtual ~IUnknown() = default;
};

class IClassFactory : public IUnknown {
 public:
  static constexpr GUID kIid = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

  virtual HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) = 0;
  virtual HRESULT LockServer(bool lock) = 0;
};

inline constexpr const GUID& IID_IUnknown = IUnknown::kIid;
inline constexpr const GUID& IID_IClassFactory = IClassFactory::kIid;

// A thread-safe reference count that starts at 1.
class RefCount {
 public:
  ULONG Add() { return count_.fetch_add(1, std::memory_order_relaxed) + 1; }
  // The new count; the caller deletes the object at 0.
  ULONG Drop() { return count_.fetch_sub(1, std::memory_order_acq_rel) - 1; }
  ULONG Get() const { return count_.load(std::memory_order_relaxed); }

 private:
  std::atomic<ULONG> count_{1};
};

// An object that offers one interface (and IUnknown): its reference count and the three
// IUnknown methods. Derived classes keep their destructor private or protected and are
// deleted by the last Release.
template <class Interface>
class ComObject : public Interface {
 public:
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    if (riid == IUnknown::kIid || riid == Interface::kIid) {
      *ppv = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return refs_.Add(); }
  ULONG Release() override {
    const ULONG n = refs_.Drop();
    if (n == 0) delete this;
    return n;
  }

 private:
  RefCount refs_;
};

// Holds one reference to an interface and releases it when it goes.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Takes over a reference the caller owns.
  static ComPtr Attach(T* p) {
    ComPtr c;
    c.p_ = p;
    return c;
  }
  ComPtr(const ComPtr& other) : p_(other.p_) {
    if (p_ != nullptr) p_->AddRef();
  }
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr other) {
    std::swap(p_, other.p_);
    return *this;
  }
  ~ComPtr() { Reset(); }

  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

  void Reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  // Releases what is held and answers the address an out parameter fills.
  T** Put() {
    Reset();
    return &p_;
  }
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }

  // QueryInterface for another interface of the object.
  template <class U>
  HRESULT As(ComPtr<U>& out) const {
    if (p_ == nullptr) return E_POINTER;
    return p_->QueryInterface(U::kIid, out.PutVoid());
  }

 private:
  T* p_ = nullptr;
};

// The exported entry points of an in-process server.
using DllGetClassObjectFunction = HRESULT (*)(REFCLSID clsid, REFIID riid, void** ppv);
using DllCanUnloadNowFunction = HRESULT (*)();

}  // namespace platform
