#pragma once
// How this platform's file systems count the length of a name.
// Linux file systems allow 255 bytes: a name is measured in UTF-8.
inline constexpr bool kFileNamesCountBytes = true;
