#pragma once
// Which of the notification area's reports the shell acts on. With version-4 behaviour one
// right click brings WM_RBUTTONUP and then WM_CONTEXTMENU, one left click WM_LBUTTONUP and then
// NIN_SELECT, and Enter NIN_KEYSELECT twice; each gesture counts once. Where the shell could not
// get version 4, only the plain mouse messages come, and they count.
#include <cstdint>

#include "app/DesktopEvents.h"

enum class TrayNotice { LeftButtonUp, RightButtonUp, ContextMenu, Select, KeySelect, Other };

class TrayClicks {
 public:
  void setVersion4(bool on) { version4_ = on; }
  // The event to act on for a report at tickMs; Other when it repeats a gesture already told.
  TrayEvent accept(TrayNotice notice, std::uint64_t tickMs);

 private:
  bool version4_ = true;
  bool keySelected_ = false;
  std::uint64_t keySelectAt_ = 0;
};

// Reports this close to a key selection belong to the same key press.
inline constexpr std::uint64_t kTrayKeyRepeatMs = 500;
