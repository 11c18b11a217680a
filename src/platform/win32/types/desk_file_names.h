#pragma once
// How this platform's file systems count the length of a name.
// NTFS allows 255 UTF-16 units, which the shell's 120-unit names never reach.
inline constexpr bool kFileNamesCountBytes = false;
