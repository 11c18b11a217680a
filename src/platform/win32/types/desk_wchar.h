#pragma once
// Wide text is UTF-16 on every platform; on Windows the code unit is wchar_t, as every W call takes it.
using WChar = wchar_t;
#define DESK_W(s) L##s
