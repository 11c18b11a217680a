#pragma once
// Wide text is UTF-16 on every platform so that rules counted in code units behave alike.
// Here the code unit is char16_t; on Windows it is wchar_t, which the system calls take directly.
using WChar = char16_t;
#define DESK_W(s) u##s
