#pragma once
// CNG handles that close themselves. Every CNG call reports an NTSTATUS; success is >= 0.
#include <windows.h>

#include <bcrypt.h>

#include <memory>

#include "platform/win32/common/MingwGaps.h"

inline bool cngOk(NTSTATUS status) { return status >= 0; }

struct CngAlgorithmClose {
  void operator()(BCRYPT_ALG_HANDLE h) const { ::BCryptCloseAlgorithmProvider(h, 0); }
};
struct CngKeyDestroy {
  void operator()(BCRYPT_KEY_HANDLE h) const { ::BCryptDestroyKey(h); }
};
struct CngHashDestroy {
  void operator()(BCRYPT_HASH_HANDLE h) const { ::BCryptDestroyHash(h); }
};
using CngAlgorithm = std::unique_ptr<void, CngAlgorithmClose>;
using CngKey = std::unique_ptr<void, CngKeyDestroy>;
using CngHash = std::unique_ptr<void, CngHashDestroy>;

// A provider by name ("AES", "ECDSA_P256"); empty on failure.
inline CngAlgorithm openCngAlgorithm(const wchar_t* name) {
  BCRYPT_ALG_HANDLE handle = nullptr;
  if (!cngOk(::BCryptOpenAlgorithmProvider(&handle, name, nullptr, 0))) return nullptr;
  return CngAlgorithm(handle);
}
