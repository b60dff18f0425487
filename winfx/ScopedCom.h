// Scoped owners for COM: thread initialisation and interface pointers.
#pragma once

#include <objbase.h>
#include <ocidl.h>
#include <ole2.h>
#include <oleauto.h>

#include <utility>

#include "winfx/WidePath.h"

namespace winfx {

// CoInitialize for the scope of the object (single-threaded apartment).
class CoInitialization {
 public:
  CoInitialization() : hr_(::CoInitialize(nullptr)) {}
  ~CoInitialization() {
    if (SUCCEEDED(hr_)) ::CoUninitialize();
  }
  CoInitialization(const CoInitialization&) = delete;
  CoInitialization& operator=(const CoInitialization&) = delete;
  bool Succeeded() const { return SUCCEEDED(hr_); }

 private:
  HRESULT hr_;
};

// OleInitialize for the scope of the object; needed to host ActiveX controls.
class OleInitialization {
 public:
  OleInitialization() : hr_(::OleInitialize(nullptr)) {}
  ~OleInitialization() {
    if (SUCCEEDED(hr_)) ::OleUninitialize();
  }
  OleInitialization(const OleInitialization&) = delete;
  OleInitialization& operator=(const OleInitialization&) = delete;
  bool Succeeded() const { return SUCCEEDED(hr_); }

 private:
  HRESULT hr_;
};

// Holds one reference to a COM interface; move-only.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() { Reset(); }
  // Takes over the one reference a new object starts with (new T on a type whose count
  // begins at 1).
  static ComPtr Adopt(T* created) {
    ComPtr owner;
    owner.ptr_ = created;
    return owner;
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : ptr_(other.ptr_) { other.ptr_ = nullptr; }
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      Reset();
      ptr_ = other.ptr_;
      other.ptr_ = nullptr;
    }
    return *this;
  }

  T* Get() const { return ptr_; }
  T* operator->() const { return ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }

  // Releases what is held and returns the slot for an API that hands out a reference.
  T** Receive() {
    Reset();
    return &ptr_;
  }
  void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }

  void Reset() {
    if (ptr_ != nullptr) {
      ptr_->Release();
      ptr_ = nullptr;
    }
  }

  // Asks the held object for interface U; returns an empty pointer when it has none.
  template <typename U>
  ComPtr<U> QueryInterface(REFIID iid) const {
    ComPtr<U> other;
    if (ptr_ != nullptr) ptr_->QueryInterface(iid, other.ReceiveVoid());
    return other;
  }

 private:
  T* ptr_ = nullptr;
};

// A BSTR made from wide text, freed at scope exit.
class ScopedBstr {
 public:
  explicit ScopedBstr(const WideString& text) : bstr_(::SysAllocString(text.c_str())) {}
  ~ScopedBstr() { ::SysFreeString(bstr_); }
  ScopedBstr(const ScopedBstr&) = delete;
  ScopedBstr& operator=(const ScopedBstr&) = delete;
  BSTR Get() const { return bstr_; }

 private:
  BSTR bstr_;
};

// A sink connected to a connection point of an object (IConnectionPoint::Advise), cut off
// again (Unadvise) when this owner goes or is reset.
class ScopedAdvise {
 public:
  ScopedAdvise() = default;
  ~ScopedAdvise() { Reset(); }
  ScopedAdvise(const ScopedAdvise&) = delete;
  ScopedAdvise& operator=(const ScopedAdvise&) = delete;

  // Connects sink to the connection point of events that source offers; false (and
  // nothing connected) when source has none or refuses the sink.
  bool Advise(IUnknown* source, REFIID events, IUnknown* sink) {
    Reset();
    ComPtr<IConnectionPointContainer> container;
    if (source == nullptr ||
        FAILED(source->QueryInterface(IID_IConnectionPointContainer, container.ReceiveVoid())) ||
        FAILED(container->FindConnectionPoint(events, point_.Receive()))) {
      point_.Reset();
      return false;
    }
    if (FAILED(point_->Advise(sink, &cookie_))) {
      point_.Reset();
      return false;
    }
    return true;
  }

  bool IsConnected() const { return static_cast<bool>(point_); }

  void Reset() {
    if (point_) point_->Unadvise(cookie_);
    point_.Reset();
    cookie_ = 0;
  }

 private:
  ComPtr<IConnectionPoint> point_;
  DWORD cookie_ = 0;
};

// Memory handed out by the shell or COM (an item id list, say), freed with CoTaskMemFree.
template <typename T>
class ScopedCoMem {
 public:
  explicit ScopedCoMem(T* p = nullptr) : p_(p) {}
  ~ScopedCoMem() { ::CoTaskMemFree(p_); }
  ScopedCoMem(const ScopedCoMem&) = delete;
  ScopedCoMem& operator=(const ScopedCoMem&) = delete;
  T* Get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_;
};

}  // namespace winfx
