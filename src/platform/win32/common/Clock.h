#pragma once
// The shell's millisecond tick: GetTickCount64 never wraps in practice (585 million years).
#include <windows.h>

#include <cstdint>

inline std::uint64_t systemTickMs() { return ::GetTickCount64(); }
