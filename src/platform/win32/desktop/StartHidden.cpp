#include "StartHidden.h"

#include <windows.h>

#include <shellapi.h>

namespace {

// The quoting that CommandLineToArgvW and the C runtime undo: backslashes count only before a
// quote, so those are doubled, and the quote itself is escaped.
WString quoted(const WString& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == WString::npos) return arg;
  WString out = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  out += L'"';
  return out;
}

}  // namespace

WString joinCommandLine(const std::vector<WString>& args) {
  WString line;
  for (const auto& arg : args) {
    if (!line.empty()) line += L' ';
    line += quoted(arg);
  }
  return line;
}

bool shellStartHidden(const std::filesystem::path& program, const std::vector<WString>& args) {
  const WString parameters = joinCommandLine(args);
  const auto result = reinterpret_cast<INT_PTR>(
      ::ShellExecuteW(nullptr, L"open", program.c_str(), parameters.empty() ? nullptr : parameters.c_str(), nullptr,
                      SW_HIDE));
  return result > 32;
}
