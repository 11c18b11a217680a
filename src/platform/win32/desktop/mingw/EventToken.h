#pragma once
// What MinGW-w64 lacks to compile the WebView2 SDK's WebView2.h, which finds this file through
// its own #include "EventToken.h": MinGW names that header in lower case, which a
// case-sensitive file system does not match. Older SDK headers also mark every method with
// DECLSPEC_XFGVIRT without defining it for a compiler that has no XFG.
#include <eventtoken.h>

#ifndef DECLSPEC_XFGVIRT
#define DECLSPEC_XFGVIRT(base, func)
#endif
