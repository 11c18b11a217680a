#pragma once
// A kernel handle that closes itself, and a write that finishes what it starts.
#include <windows.h>

#include <algorithm>
#include <cstddef>

class UniqueHandle {
 public:
  UniqueHandle() = default;
  // File functions report failure as INVALID_HANDLE_VALUE, others as null: both are "none".
  explicit UniqueHandle(HANDLE handle) : handle_(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
  ~UniqueHandle() { close(); }
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      close();
      handle_ = other.handle_;
      other.handle_ = nullptr;
    }
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != nullptr; }
  // Closes now and reports whether the close succeeded.
  bool close() {
    const HANDLE handle = handle_;
    handle_ = nullptr;
    return handle == nullptr || ::CloseHandle(handle) != 0;
  }

 private:
  HANDLE handle_ = nullptr;
};

// Writes every byte in pieces a DWORD can count; false on any error.
inline bool writeAll(HANDLE file, const char* data, std::size_t size) {
  while (size > 0) {
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    DWORD written = 0;
    if (!::WriteFile(file, data, piece, &written, nullptr) || written == 0) return false;
    data += written;
    size -= written;
  }
  return true;
}
