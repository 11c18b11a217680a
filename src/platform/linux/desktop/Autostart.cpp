#include "Autostart.h"

#include <glib.h>
#include <glib/gstdio.h>

#include <cerrno>
#include <system_error>

std::filesystem::path autostartEntryPath() {
  return std::filesystem::path(g_get_user_config_dir()) / "autostart" / "TamselDeskNative.desktop";
}

std::optional<std::string> desktopExecValue(const std::string& program) {
  std::string quoted = "\"";
  for (const char c : program) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) return std::nullopt;
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    quoted += c;
  }
  quoted += '"';
  std::string value;
  for (const char c : quoted) {
    if (c == '\\') {
      value += "\\\\";
    } else if (c == '%') {
      value += "%%";
    } else {
      value += c;
    }
  }
  return value;
}

std::optional<std::string> autostartEntryText(const std::string& program) {
  const auto exec = desktopExecValue(program);
  if (!exec) return std::nullopt;
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=在线Tamsel桌面小屋\n"
         "Exec=" + *exec + "\n"
         "Icon=tamsel-desk\n"
         "Terminal=false\n"
         "X-GNOME-Autostart-enabled=true\n";
}

bool autostartEntryPresent(const std::filesystem::path& entry) {
  std::error_code error;
  return std::filesystem::is_regular_file(entry, error);
}

bool applyAutostart(const std::filesystem::path& entry, bool enable, const std::string& program) {
  if (!enable) {
    if (g_unlink(entry.c_str()) == 0 || errno == ENOENT) return true;
    return false;
  }
  const auto text = autostartEntryText(program);
  if (!text) return false;
  if (g_mkdir_with_parents(entry.parent_path().c_str(), 0700) != 0) return false;
  return g_file_set_contents(entry.c_str(), text->data(), static_cast<gssize>(text->size()), nullptr);
}
