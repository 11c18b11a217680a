#include "files/ReservedPath.h"

#include <mutex>
#include <new>
#include <set>
#include <string>
#include <utility>

namespace {

using Native = std::filesystem::path::string_type;

struct Registry {
  std::mutex mutex;
  std::set<Native> finals;
  std::set<Native> names;  // every held final path and its ".part" twin
};

// Detached workers may still hold names while the process exits; the registry therefore
// outlives every static destructor.
Registry& registry() {
  alignas(Registry) static unsigned char storage[sizeof(Registry)];
  static Registry* const instance = ::new (storage) Registry();
  return *instance;
}

Native partOf(const std::filesystem::path& path) { return path.native() + std::filesystem::path(".part").native(); }

bool hold(const std::filesystem::path& path) {
  Registry& r = registry();
  const Native final = path.native();
  const Native part = partOf(path);
  std::lock_guard lock(r.mutex);
  if (r.names.count(final) || r.names.count(part)) return false;
  r.names.insert(final);
  r.names.insert(part);
  r.finals.insert(final);
  return true;
}

void drop(const std::filesystem::path& path) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  if (!r.finals.erase(path.native())) return;
  r.names.erase(path.native());
  r.names.erase(partOf(path));
}

}  // namespace

WString numberedName(WStringView name, std::uint64_t n) {
  if (n == 0) return WString(name);
  const std::size_t dot = name.rfind(WChar('.'));
  const bool hasExtension = dot != WStringView::npos && dot != 0;
  WString out(hasExtension ? name.substr(0, dot) : name);
  out += toWide(" (" + std::to_string(n) + ")");
  if (hasExtension) out += name.substr(dot);
  return out;
}

ReservedPath reserveFreePath(const std::filesystem::path& folder, WStringView name, std::uint64_t from,
                             FolderModel& folders) {
  ReservedPath out;
  if (name.empty()) return out;
  for (std::uint64_t n = from; n <= kLastSaveNumber; ++n) {
    const std::filesystem::path candidate = folder / widePath(numberedName(name, n));
    // Held first, looked at second: a name is never handed out twice, and no lock is kept
    // across the file-system lookups.
    if (!hold(candidate)) continue;
    if (folders.exists(candidate) || folders.exists(std::filesystem::path(partOf(candidate)))) {
      drop(candidate);
      continue;
    }
    out.folders_ = &folders;
    out.folder_ = folder;
    out.name_ = WString(name);
    out.number_ = n;
    out.path_ = candidate;
    return out;
  }
  return out;
}

ReservedPath::~ReservedPath() { release(); }

ReservedPath::ReservedPath(ReservedPath&& other) noexcept
    : folders_(other.folders_),
      folder_(std::move(other.folder_)),
      name_(std::move(other.name_)),
      number_(other.number_),
      path_(std::exchange(other.path_, {})) {}

ReservedPath& ReservedPath::operator=(ReservedPath&& other) noexcept {
  if (this != &other) {
    release();
    folders_ = other.folders_;
    folder_ = std::move(other.folder_);
    name_ = std::move(other.name_);
    number_ = other.number_;
    path_ = std::exchange(other.path_, {});
  }
  return *this;
}

ReservedPath ReservedPath::next() const {
  if (empty()) return {};
  return reserveFreePath(folder_, name_, number_ + 1, *folders_);
}

void ReservedPath::release() {
  if (path_.empty()) return;
  drop(path_);
  path_.clear();
}

std::size_t reservedPathCount() {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  return r.finals.size();
}

bool isPathReserved(const std::filesystem::path& path) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  return r.finals.count(path.native()) != 0;
}
