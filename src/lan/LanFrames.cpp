#include "lan/LanFrames.h"

#include <algorithm>
#include <system_error>

#include "lan/LanProtocol.h"

namespace {

constexpr auto kReadWrite = std::ios::in | std::ios::out | std::ios::binary;
constexpr std::size_t kWritePiece = 65536;

std::uint32_t readLength(const unsigned char* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         std::uint32_t{p[3]};
}

bool lengthOk(std::uint32_t length) {
  return length >= kMinRecordLength && length <= kMaxRecordLength;
}

}  // namespace

LanFrames::LanFrames(std::string_view keyHex, std::filesystem::path path, std::uint64_t totalBytes)
    : partPath(std::move(path)), total(totalBytes) {
  if (total == 0) return;
  key = openGcmKey(keyHex);
  if (!key) return;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(partPath, ec)) {
    std::ofstream create(partPath, std::ios::binary);
  }
  std::uint64_t existing = std::filesystem::file_size(partPath, ec);
  if (ec) existing = 0;
  std::uint64_t keep = 0;
  if (existing < total) {
    keep = existing / kLanRecordPlain * kLanRecordPlain;
    nextIndex = static_cast<std::uint32_t>(existing / kLanRecordPlain);
  } else {
    keep = total;
    nextIndex = static_cast<std::uint32_t>(lanRecordCount(total));
  }
  // Only when something must go: on ext4 a truncation to zero makes the later close start
  // write-back of the whole file, which the transfer would then wait for.
  if (existing != keep) std::filesystem::resize_file(partPath, keep, ec);
  file.open(partPath, kReadWrite);
  file.seekp(0, std::ios::end);
  ready = !file.fail() && !file.bad() && pipe_.valid();
  received = keep;
  takeBuffer();
}

LanFrames::~LanFrames() {
  // What was received still reaches the file, even when nobody closed it.
  pipe_.end();
  if (writer_.joinable()) writer_.join();
}

void LanFrames::takeBuffer() {
  buffer_ = pipe_.takeEmpty();
  pending = buffer_ ? std::span<char>(reinterpret_cast<char*>(buffer_->record()), kLanRecordSpan)
                    : std::span<char>();
}

void LanFrames::writeRecord(const RecordBuffer& buffer) {
  // After a refusal nothing more is written: the part file keeps only records in order.
  if (refused_.load()) return;
  const char* plain = reinterpret_cast<const char*>(buffer.payload());
  // In pieces the size of a cache's worth, each starting on a page boundary: the page cache
  // takes them faster than one big copy.
  for (std::size_t at = 0; at < buffer.bytes && file; at += kWritePiece) {
    file.write(plain + at, static_cast<std::streamsize>(std::min(kWritePiece, buffer.bytes - at)));
  }
  // A short last piece would otherwise wait in the stream's buffer, and a disk that refuses it
  // would only say so at the close.
  if (file) file.flush();
  if (!file) refused_.store(true);
}

void LanFrames::writeRecords() {
  try {
    while (RecordBuffer* buffer = pipe_.takeFull()) {
      writeRecord(*buffer);
      pipe_.giveBack(buffer);
    }
  } catch (...) {
    // Nothing leaves the thread; the receiving side stops at its next record.
    refused_.store(true);
    try {
      pipe_.close();
    } catch (...) {
    }
  }
}

bool LanFrames::openOne(unsigned char* record, std::uint32_t length) {
  const std::size_t n = length - kRecordOverhead;
  // Every record but the last is full, and none goes past the stated total: anything else
  // would leave a part file whose whole-record count no longer names the resume point.
  if (received + n > total || (n != kMaxRecordPlain && received + n != total)) return false;
  const unsigned char* nonce = record + 4;
  unsigned char* cipher = record + 4 + kGcmNonceBytes;
  const unsigned char* tag = cipher + n;
  // Opened in place: the plaintext takes the ciphertext's bytes, so one record-sized buffer
  // is all a transfer holds.
  if (!key || !openRecord(*key, nextIndex, nonce, cipher, n, tag, cipher)) return false;
  if (refused_.load()) {
    writeFailed = true;
    return false;
  }
  buffer_->bytes = n;
  if (!writer_.joinable()) {
    try {
      writer_ = std::thread([this] { writeRecords(); });
    } catch (...) {
    }
  }
  if (writer_.joinable()) {
    pipe_.passFull(buffer_);
    takeBuffer();
  } else {
    // No thread to spare: the record is written here and now.
    writeRecord(*buffer_);
    if (refused_.load()) {
      writeFailed = true;
      return false;
    }
  }
  received += n;
  ++nextIndex;
  return true;
}

std::span<char> LanFrames::receiveSpace() {
  // Until the length is known, no more than the shortest record (4 + 29 bytes) can be asked for.
  std::size_t end = 4 + kMinRecordLength;
  if (pendingBytes >= 4) {
    end = std::size_t{readLength(reinterpret_cast<const unsigned char*>(pending.data()))} + 4;
  }
  if (end > pending.size() || end <= pendingBytes) return {};
  return std::span<char>(pending.data() + pendingBytes, end - pendingBytes);
}

bool LanFrames::commit(std::size_t bytes) {
  const std::size_t before = pendingBytes;
  pendingBytes += bytes;
  if (pendingBytes < 4) return true;
  auto* head = reinterpret_cast<unsigned char*>(pending.data());
  const std::uint32_t length = readLength(head);
  if (before < 4 && !lengthOk(length)) return false;
  if (pendingBytes < std::size_t{length} + 4) return true;
  pendingBytes = 0;
  return openOne(head, length);
}

bool LanFrames::feed(std::string_view chunk) {
  while (!chunk.empty()) {
    const std::span<char> space = receiveSpace();
    if (space.empty()) return false;
    const std::size_t n = std::min(space.size(), chunk.size());
    std::copy_n(chunk.data(), n, space.data());
    chunk.remove_prefix(n);
    if (!commit(n)) return false;
  }
  return true;
}

bool LanFrames::flushWrites() {
  pipe_.waitDrained();
  if (refused_.load()) writeFailed = true;
  return !writeFailed;
}

void LanFrames::restart() {
  pipe_.waitDrained();
  refused_.store(false);
  file.close();
  std::error_code ec;
  std::filesystem::resize_file(partPath, 0, ec);
  file.clear();
  file.open(partPath, kReadWrite);
  nextIndex = 0;
  received = 0;
  pendingBytes = 0;
  writeFailed = false;
}

bool LanFrames::close() {
  flushWrites();
  if (!file.is_open()) return !writeFailed;
  file.flush();
  file.close();
  if (file.fail()) writeFailed = true;
  return !writeFailed;
}
