#pragma once
// The private window messages: the one way from any thread to the main thread.
// A heap payload changes owner only with a successful post; a failed post leaves it with
// the sender, whose unique_ptr frees it. The main thread re-checks `closing` before acting.
#include <memory>

#include "common/text.h"

inline constexpr unsigned kWmApp = 0x8000;
inline constexpr unsigned WM_TRAY_NOTIFY = kWmApp + 1;
inline constexpr unsigned WM_SHOW_SHELL = kWmApp + 2;
inline constexpr unsigned WM_RESTART_WEB = kWmApp + 3;
inline constexpr unsigned WM_UPDATE_READY = kWmApp + 4;   // payload Carried<UpdateReady>
inline constexpr unsigned WM_UPDATE_STATE = kWmApp + 5;   // wParam 1 = up to date, else failed
inline constexpr unsigned WM_FILE_DONE = kWmApp + 6;      // payload Carried<FileJob>
inline constexpr unsigned WM_RUN_SCRIPT = kWmApp + 7;     // payload ScriptPayload

struct MessagePayload {
  virtual ~MessagePayload() = default;
};

struct ScriptPayload final : MessagePayload {
  explicit ScriptPayload(WString s) : script(std::move(s)) {}
  WString script;
};

// A worker's record (a finished save, a verified installer) on its way to the main thread.
template <class T>
struct Carried final : MessagePayload {
  explicit Carried(std::unique_ptr<T> v) : value(std::move(v)) {}
  std::unique_ptr<T> value;
};

using PayloadPtr = std::unique_ptr<MessagePayload>;
