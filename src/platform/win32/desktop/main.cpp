// The Windows program: the Win32 desktop and the WebView2 host behind App's seams, in a
// single-threaded COM apartment.
#include <windows.h>
#include <objbase.h>

#include "Win32Desktop.h"
#include "Win32WebHost.h"
#include "app/RunShell.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  Win32Desktop desktop(instance);
  // A second start only wakes the first; it needs no COM.
  if (desktop.acquireSingleInstance() == InstanceLock::AnotherRuns) {
    desktop.requestShowFromFirst();
    return 0;
  }
  // No DDE for ShellExecuteW's hand-offs from this thread: they would wait on other programs.
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) return 1;
  int code = 1;
  {
    Win32WebHost web(desktop);
    code = runShell(desktop, web);
  }
  CoUninitialize();
  return code;
}
