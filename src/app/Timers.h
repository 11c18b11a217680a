#pragma once
// The main window's timers: their ids and intervals.
#include <cstdint>

inline constexpr int kTimerPointer = 1;
inline constexpr int kTimerIdle = 2;
inline constexpr int kTimerActivity = 3;
inline constexpr int kTimerUpdate = 4;
inline constexpr int kTimerFirstUpdate = 5;
inline constexpr std::uint32_t kPointerIntervalMs = 33;
inline constexpr std::uint32_t kIdleIntervalMs = 5000;
inline constexpr std::uint32_t kActivityIntervalMs = 2000;
inline constexpr std::uint32_t kUpdateIntervalMs = 7200000;
inline constexpr std::uint32_t kFirstUpdateDelayMs = 20000;
