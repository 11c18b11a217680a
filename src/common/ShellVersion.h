#pragma once
// This shell's version: what the page reads as deskShellVersion and what an update must exceed.
inline constexpr const char* kShellVersion = "1.3.0";
