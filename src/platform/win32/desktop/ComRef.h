#pragma once
// One counted reference to a COM object, released when it goes.
#include <windows.h>
#include <unknwn.h>

#include <utility>

// The IID of interface T, for query() and Handler. Each interface names its own (WebView2Sdk.h),
// as MinGW's __uuidof knows only those its own headers register.
template <typename T>
const IID& iidOf();

template <typename T>
class ComRef {
 public:
  ComRef() = default;
  // Takes a new reference of its own to `object`.
  explicit ComRef(T* object) : object_(object) {
    if (object_) object_->AddRef();
  }
  ComRef(const ComRef& other) : ComRef(other.object_) {}
  ComRef(ComRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  ComRef& operator=(ComRef other) noexcept {
    std::swap(object_, other.object_);
    return *this;
  }
  ~ComRef() { reset(); }

  // Takes over a reference that the caller already owns (an out parameter, a new object).
  static ComRef adopt(T* object) {
    ComRef ref;
    ref.object_ = object;
    return ref;
  }

  void reset() {
    if (object_) std::exchange(object_, nullptr)->Release();
  }
  T* get() const { return object_; }
  T* operator->() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }
  // For out parameters: whatever was held is released first.
  T** put() {
    reset();
    return &object_;
  }

  // The object's other interface U, or an empty reference when it does not offer it.
  template <typename U>
  ComRef<U> query() const {
    ComRef<U> other;
    if (object_) object_->QueryInterface(iidOf<U>(), reinterpret_cast<void**>(other.put()));
    return other;
  }

 private:
  T* object_ = nullptr;
};
