#include "Autostart.h"

#include <windows.h>

#include <string>

namespace {

constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kValueName[] = L"TamselDeskNative";
// Where Task Manager and Settings keep the user's own switch for each Run entry: a binary value
// whose first byte is odd while the entry is switched off.
constexpr wchar_t kApprovedKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";

class RegKey {
 public:
  RegKey() = default;
  ~RegKey() {
    if (key_) RegCloseKey(key_);
  }
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  HKEY* put() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

}  // namespace

bool autostartValuePresent() {
  DWORD size = 0;
  if (RegGetValueW(HKEY_CURRENT_USER, kRunKey, kValueName, RRF_RT_REG_SZ, nullptr, nullptr, &size) != ERROR_SUCCESS)
    return false;
  BYTE approved[16] = {};
  DWORD approvedSize = sizeof approved;
  const LSTATUS status = RegGetValueW(HKEY_CURRENT_USER, kApprovedKey, kValueName, RRF_RT_REG_BINARY, nullptr,
                                      approved, &approvedSize);
  return !(status == ERROR_SUCCESS && approvedSize > 0 && (approved[0] & 1));
}

bool applyAutostart(bool enable, const std::filesystem::path& program) {
  RegKey key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                      key.put(), nullptr) != ERROR_SUCCESS) {
    return false;
  }
  LSTATUS status = ERROR_SUCCESS;
  if (enable) {
    const std::wstring data = L"\"" + program.wstring() + L"\"";
    status = RegSetValueExW(key.get(), kValueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                            static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    // Turned on here, it is on: the user's earlier "off" in Task Manager no longer holds.
    if (status == ERROR_SUCCESS) RegDeleteKeyValueW(HKEY_CURRENT_USER, kApprovedKey, kValueName);
  } else {
    status = RegDeleteValueW(key.get(), kValueName);
  }
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}
