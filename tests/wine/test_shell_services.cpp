// The Windows shell services that have no Linux counterpart to share a table with: the
// installer's command line, starting it, and the folders the shell asks Windows for.
#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>

#include <chrono>
#include <thread>

#include "files/FilePlatform.h"
#include "platform/win32/common/LongPath.h"
#include "platform/win32/desktop/ShellFolders.h"
#include "platform/win32/desktop/StartHidden.h"
#include "support/TempDir.h"

namespace {

// What the started program's own parser makes of the command line.
std::vector<WString> splitAgain(const WString& line) {
  int count = 0;
  LPWSTR* argv = ::CommandLineToArgvW((L"program.exe " + line).c_str(), &count);
  std::vector<WString> out;
  for (int i = 1; argv && i < count; ++i) out.emplace_back(argv[i]);
  ::LocalFree(argv);
  return out;
}

TEST(StartHidden, CommandLinesSplitBackIntoTheirArguments) {
  EXPECT_EQ(joinCommandLine({L"/S", L"/UPDATE"}), L"/S /UPDATE");
  const std::vector<std::vector<WString>> rows = {
      {L"/S", L"/UPDATE"},
      {L"C:\\Program Files\\Tamsel\\x.exe", L""},
      {L"say \"hi\"", L"back\\slash", L"ends in\\", L"two\\\\\"quoted"},
  };
  for (const auto& args : rows) EXPECT_EQ(splitAgain(joinCommandLine(args)), args);
}

TEST(StartHidden, StartsTheProgramOrSaysItCouldNot) {
  TempDir dir("start");
  const auto marker = dir / "started";
  wchar_t system[MAX_PATH];
  ASSERT_GT(::GetSystemDirectoryW(system, MAX_PATH), 0u);
  const auto cmd = std::filesystem::path(system) / "cmd.exe";
  ASSERT_TRUE(shellStartHidden(cmd, {L"/c", L"echo", L"started", L">", marker.native()}));
  for (int i = 0; i < 500 && !std::filesystem::exists(marker); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_TRUE(std::filesystem::exists(marker));
  EXPECT_FALSE(shellStartHidden(dir / "no-such-installer.exe", {L"/S", L"/UPDATE"}));
}

TEST(ShellFolders, AreFoldersOfThisUser) {
  const auto local = knownLocalAppDataFolder();
  const auto downloads = knownDownloadsFolder();
  ASSERT_TRUE(local);
  ASSERT_TRUE(downloads);
  for (const auto& folder : {*local, *downloads, temporaryFolder()}) {
    SCOPED_TRACE(folder.string());
    EXPECT_TRUE(folder.is_absolute());
    EXPECT_TRUE(createFolders(folder));
  }
  TempDir dir("folders");
  EXPECT_TRUE(createFolders(dir / "a" / "b"));
  EXPECT_TRUE(std::filesystem::is_directory(dir / "a" / "b"));
}

TEST(LongPath, FormsForTheWideCallsAndForTheShell) {
  EXPECT_EQ(extendedPath(L"C:/a/./b/../c"), L"\\\\?\\C:\\a\\c");
  EXPECT_EQ(extendedPath(L"\\\\host\\share\\f"), L"\\\\?\\UNC\\host\\share\\f");
  EXPECT_EQ(extendedPath(L"\\\\?\\C:\\x"), L"\\\\?\\C:\\x");
  EXPECT_EQ(plainPath(L"\\\\?\\UNC\\host\\share\\f"), L"\\\\host\\share\\f");
  EXPECT_EQ(shellPath(L"C:\\short.txt"), L"C:\\short.txt");
  EXPECT_EQ(shellPath(L"C:\\" + std::wstring(300, L'n')), L"");  // nothing there: no short form
}

}  // namespace
