#pragma once
// The payloads of posted messages, held by number until the main thread takes them.
//
// A window message's parameters are plain numbers that any program on the desktop can send, so
// a payload never travels as a pointer: the sender files it here and posts its number, and the
// receiver takes out only what is still filed under that number. A number nobody filed, or one
// already taken, gives nothing. Whatever is never taken (a post that failed, messages left in
// the queue when the loop ends) is freed with the box.
#include <cstdint>
#include <map>
#include <mutex>

#include "app/messages.h"

class PostBox {
 public:
  // Files the payload (which may be empty) and returns its number, never 0.
  std::uintptr_t file(PayloadPtr payload);
  // The payload filed under number, removed from the box; nothing when there is none.
  PayloadPtr take(std::uintptr_t number);
  void clear();

 private:
  std::mutex lock_;
  std::uintptr_t next_ = 0;
  std::map<std::uintptr_t, PayloadPtr> filed_;
};
