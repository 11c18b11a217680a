#pragma once
// What the Windows SDK declares and MinGW-w64 10's headers do not. Each entry is guarded, so a
// MinGW that has learnt it keeps its own. The values are the documented ones.
#include <windows.h>

#include <bcrypt.h>

#ifndef BCRYPT_SHA256_ALG_HANDLE
// Windows 10's SHA-256 pseudo-handle: hashing without opening a provider first.
#define BCRYPT_SHA256_ALG_HANDLE (reinterpret_cast<BCRYPT_ALG_HANDLE>(0x00000041))
#endif
