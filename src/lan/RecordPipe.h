#pragma once
// The two stages of one LAN transfer side hand record buffers to each other through a
// RecordPipe: the filling stage (file reads on the sender, received and opened records on the
// receiver) passes full buffers on, the draining stage (sealing and sending, or writing to
// disk) gives them back. A fixed number of buffers bounds the memory whatever the file size,
// and lets file work and crypto run on two cores at once.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

// The platform's page-aligned memory (zeroed, whole pages); nullptr when there is none left.
void* allocatePages(std::size_t bytes);
void freePages(void* pages, std::size_t bytes);

inline constexpr std::size_t kRecordHeadBytes = 16;  // length and nonce before the payload
inline constexpr std::size_t kLanPipeDepth = 4;

// Room for one whole record whose payload (plaintext or ciphertext) starts on a page boundary:
// the page cache copies from and to such a buffer at full speed, and sealing or opening in
// place keeps it there.
class RecordBuffer {
 public:
  RecordBuffer();
  ~RecordBuffer();
  RecordBuffer(const RecordBuffer&) = delete;
  RecordBuffer& operator=(const RecordBuffer&) = delete;

  bool valid() const { return base_ != nullptr; }
  unsigned char* record() const { return base_ + kPage - kRecordHeadBytes; }
  unsigned char* payload() const { return base_ + kPage; }

  // What the filling stage tells the draining one: the record's index and payload bytes.
  std::uint64_t index = 0;
  std::size_t bytes = 0;

 private:
  static constexpr std::size_t kPage = 4096;
  unsigned char* base_ = nullptr;
};

class RecordPipe {
 public:
  explicit RecordPipe(std::size_t depth = kLanPipeDepth);
  RecordPipe(const RecordPipe&) = delete;
  RecordPipe& operator=(const RecordPipe&) = delete;

  bool valid() const { return valid_; }

  // Filling side: an empty buffer (waits for one), nullptr once the pipe is closed.
  RecordBuffer* takeEmpty();
  void passFull(RecordBuffer* buffer);
  // No more full buffers come: takeFull answers nullptr once the passed ones are taken.
  void end();

  // Draining side: the next full buffer in order (waits), nullptr once closed or ended and
  // empty.
  RecordBuffer* takeFull();
  void giveBack(RecordBuffer* buffer);

  // Waits until every passed buffer was given back (or the pipe closed).
  void waitDrained();
  // Both sides stop: every wait ends at once.
  void close();

 private:
  std::mutex lock_;
  std::condition_variable wake_;
  std::vector<std::unique_ptr<RecordBuffer>> buffers_;
  std::vector<RecordBuffer*> empty_;
  std::deque<RecordBuffer*> full_;
  std::size_t passed_ = 0;  // passed on and not yet given back
  bool ended_ = false;
  bool closed_ = false;
  bool valid_ = true;
};
