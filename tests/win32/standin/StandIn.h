#pragma once
// The stand-in runtime's shared pieces: the record of calls, the queue of work for the main
// thread, and the small COM object base every stand-in object is built on.
//
// Left alone it behaves like a healthy WebView2 runtime: every creation completes successfully,
// every navigation completes, scripts "run" (they are recorded). Driven by a test it does more:
//   DESK_STANDIN_DIR   a folder; calls.log there receives one line per call the shell makes,
//                      and commands.txt there is read line by line for events to raise.
//   DESK_STANDIN_FAIL  one of version, environment-refused, environment, controller-refused,
//                      controller, controller2, script: that step of the start fails.
// Completions and events are delivered on the thread that created the environment, from a
// thread timer, so they arrive through the shell's own message loop as WebView2's do.
//
// Every object implements the SDK's interfaces (WebView2.h, through the Stubs.h made from it):
// what the shell does not call answers E_NOTIMPL.
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>

#include "Stubs.h"

namespace standin {

std::string narrow(const wchar_t* text);
std::wstring wide(const std::string& text);
// One line in calls.log (line breaks in the text are written as \n).
void record(const std::string& line);
bool failing(const char* step);
// Runs fn on the main thread at the next timer tick.
void later(std::function<void()> fn);
void startTimer();
// Copies text into memory the caller frees with CoTaskMemFree.
LPWSTR taskText(const std::wstring& text);

// Reference counting and QueryInterface for an object whose interfaces form one chain ending in
// Top; offers(iid) names the members of the chain it answers to.
template <typename Top>
class Object : public Stubs<Top> {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !offers(iid)) return E_NOINTERFACE;
    *out = static_cast<Top*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++count_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --count_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  virtual ~Object() = default;
  virtual bool offers(REFIID iid) const = 0;

 private:
  std::atomic<ULONG> count_{1};
};

}  // namespace standin
