#pragma once
// Handler<Interface, Args...>: the COM object through which every WebView2 callback reaches the
// shell. It implements one callback interface whose single method is Invoke(Args...) and
// carries the work as a callable. No exception leaves Invoke: any becomes E_FAIL.
//
// A handler is born with one reference, the creator's; the WebView2 call it is handed to takes
// its own, and makeHandler's ComRef gives the creator's back when it goes.
#include <atomic>
#include <functional>
#include <utility>

#include "ComRef.h"

template <typename Interface, typename... Args>
class Handler final : public Interface {
 public:
  using Callable = std::function<HRESULT(Args...)>;

  explicit Handler(Callable callable) : callable_(std::move(callable)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, iidOf<Interface>())) {
      *out = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    return E_NOINTERFACE;
  }

  ULONG STDMETHODCALLTYPE AddRef() override { return ++count_; }

  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --count_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE Invoke(Args... args) override {
    try {
      return callable_(args...);
    } catch (...) {
      return E_FAIL;
    }
  }

 private:
  ~Handler() = default;

  std::atomic<ULONG> count_{1};
  Callable callable_;
};

// A new handler for Interface, whose Invoke takes Args..., holding the creator's reference.
template <typename Interface, typename... Args, typename F>
ComRef<Interface> makeHandler(F&& work) {
  return ComRef<Interface>::adopt(new Handler<Interface, Args...>(std::forward<F>(work)));
}
