// desk-sign keygen KEYFILE
// desk-sign manifest --key KEYFILE --version V --file INSTALLER [--name NAME]
//
// A release signs one manifest per installer, with the same key: TamselDesk-<V>.run for the
// Linux shell (published as /desk-update-linux.json) and TamselDesk-<V>.exe for the Windows one
// (/desk-update.json), each installer at /download/NAME.
#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>

#include "DeskSign.h"

namespace {

int usage() {
  std::cerr << "usage: desk-sign keygen KEYFILE\n"
               "       desk-sign manifest --key KEYFILE --version V --file INSTALLER [--name NAME]\n"
               "The manifest of TamselDesk-V.run goes to /desk-update-linux.json, that of TamselDesk-V.exe\n"
               "to /desk-update.json; the installer to /download/NAME (NAME: the installer's file name).\n";
  return 2;
}

int fail(const std::string& error) {
  std::cerr << "desk-sign: " << error << "\n";
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  const std::string_view command = argv[1];
  std::string error;
  if (command == "keygen") {
    if (argc != 3) return usage();
    auto pub = desksign::generateKeyFile(argv[2], error);
    if (!pub) return fail(error);
    std::cout << "x=" << pub->x << "\ny=" << pub->y << "\n";
    return 0;
  }
  if (command == "manifest") {
    std::string key, version, file, name;
    bool haveName = false;
    for (int i = 2; i < argc; i += 2) {
      const std::string_view option = argv[i];
      if (i + 1 >= argc) return usage();
      const std::string value = argv[i + 1];
      if (option == "--key") key = value;
      else if (option == "--version") version = value;
      else if (option == "--file") file = value;
      else if (option == "--name") name = value, haveName = true;
      else return usage();
    }
    if (key.empty() || version.empty() || file.empty()) return usage();
    if (!haveName) name = std::filesystem::path(file).filename().string();
    auto manifest = desksign::makeManifest(key, version, file, name, error);
    if (!manifest) return fail(error);
    std::cout << *manifest << "\n";
    return 0;
  }
  return usage();
}
