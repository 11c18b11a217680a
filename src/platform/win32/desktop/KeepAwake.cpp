#include "KeepAwake.h"

#include <windows.h>

namespace {
thread_local int awakeDepth = 0;
}

void keepSystemAwake(bool on) {
  if (on) {
    if (awakeDepth++ == 0) ::SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
  } else if (awakeDepth > 0 && --awakeDepth == 0) {
    ::SetThreadExecutionState(ES_CONTINUOUS);
  }
}
