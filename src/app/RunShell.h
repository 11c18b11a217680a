#pragma once
// Process entry shared by every backend: single instance, then App::run, with the exit codes
// and the start-up failure box. Never throws.
#include <cstdint>

class Desktop;
class WebHost;

int runShell(Desktop& desktop, WebHost& web);

// How long the end of a shell waits for its LAN workers, and then for any worker, after the
// window is gone: the process ends within a second whatever they are doing (an installer may
// be waiting to replace its files).
inline constexpr std::uint64_t kWorkerWaitMs = 300;
