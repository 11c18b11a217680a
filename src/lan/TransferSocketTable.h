#pragma once
// The sockets of incoming transfers (fetches and received pushes) by transfer id, the ids the
// page cancelled, and the part files in use. One per process, shared by every thread that
// uses it (transferSockets() hands out shared ownership, so it outlives its last user).
#include <filesystem>
#include <memory>
#include <shared_mutex>
#include <string>
#include <utility>
#include <vector>

class LanChannel;

class TransferSocketTable {
 public:
  // False when the id is cancelled: the caller gives up at once. The socket must be
  // unregistered before it is closed.
  bool registerTransferSocket(const std::string& id, const LanChannel* socket);
  void unregisterTransferSocket(const std::string& id, const LanChannel* socket);
  void clearCancelledTransfer(const std::string& id);
  // Marks the id cancelled and shuts down every socket registered under it.
  void cancelTransfer(const std::string& id);
  bool isCancelled(const std::string& id) const;

  // One transfer at a time per part file: a second claim of a claimed path fails.
  bool claimPartFile(const std::filesystem::path& path);
  void releasePartFile(const std::filesystem::path& path);

 private:
  mutable std::shared_mutex lock_;
  std::vector<std::pair<std::string, const LanChannel*>> entries_;
  std::vector<std::string> cancelled_;
  std::vector<std::filesystem::path> claimed_;
};

std::shared_ptr<TransferSocketTable> transferSockets();

// Holds a part-file claim and gives it back when destroyed (or released early).
class PartFileClaim {
 public:
  PartFileClaim() = default;
  // Empty (owns() false) when the path is already claimed.
  static PartFileClaim take(std::shared_ptr<TransferSocketTable> table, std::filesystem::path path);
  ~PartFileClaim() { release(); }
  PartFileClaim(PartFileClaim&& other) noexcept { *this = std::move(other); }
  PartFileClaim& operator=(PartFileClaim&& other) noexcept;
  PartFileClaim(const PartFileClaim&) = delete;
  PartFileClaim& operator=(const PartFileClaim&) = delete;
  bool owns() const { return table_ != nullptr; }
  void release();

 private:
  std::shared_ptr<TransferSocketTable> table_;
  std::filesystem::path path_;
};
