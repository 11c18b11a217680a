#include "app/TrayClicks.h"

TrayEvent TrayClicks::accept(TrayNotice notice, std::uint64_t tickMs) {
  switch (notice) {
    case TrayNotice::LeftButtonUp:
      return version4_ ? TrayEvent::Other : TrayEvent::Select;
    case TrayNotice::RightButtonUp:
      return version4_ ? TrayEvent::Other : TrayEvent::RightButtonUp;
    case TrayNotice::ContextMenu:
      return version4_ ? TrayEvent::ContextMenu : TrayEvent::Other;
    case TrayNotice::Select:
      return TrayEvent::Select;
    case TrayNotice::KeySelect:
      if (keySelected_ && tickMs - keySelectAt_ < kTrayKeyRepeatMs) return TrayEvent::Other;
      keySelected_ = true;
      keySelectAt_ = tickMs;
      return TrayEvent::KeySelect;
    case TrayNotice::Other:
      break;
  }
  return TrayEvent::Other;
}
