#pragma once
// What a desktop backend tells the core: the window procedure's cases, the timers' ticks, the
// tray's clicks and the private messages, all on the main thread. The core registers one
// receiver with Desktop::setEvents while it exists; a backend holds nothing else of it.
#include <cstdint>

#include "app/messages.h"

enum class TrayEvent { Select, KeySelect, RightButtonUp, ContextMenu, Other };

class DesktopEvents {
 public:
  virtual ~DesktopEvents() = default;
  virtual void onTaskbarCreated() = 0;      // the shell's taskbar (tray host) came back
  virtual void onDestroy() = 0;             // the window is being destroyed; from inside destroyWindow()
  virtual void onSize() = 0;                // client size changed
  virtual void onSetFocus() = 0;            // the window got the keyboard focus
  virtual void onClose() = 0;               // a close request
  virtual void onWorkAreaChanged() = 0;     // only for a work-area change, not other settings
  virtual void onDisplayChanged() = 0;      // monitors added, removed or resized
  virtual void onDpiChanged() = 0;          // the window's scale changed
  virtual void onCompositionChanged() = 0;  // the compositor restarted
  virtual void onTimer(int id) = 0;         // a tick of a timer started with Desktop::startTimer
  virtual void onSessionChange(bool locked) = 0;
  virtual void onTrayEvent(TrayEvent event) = 0;
  // An item of the menu handed out with Desktop::setTrayMenu was picked. shownVisible: that
  // menu's windowVisible, so the item does what it said even if the window changed meanwhile.
  virtual void onTrayMenuChoice(int id, bool shownVisible) = 0;
  // A post()ed message, on the loop's next turn.
  virtual void onPrivateMessage(unsigned message, std::uintptr_t wParam, PayloadPtr payload) = 0;
};
