#include <cstdio>

#include "lan/LanFrames.h"
#include "lan/LanReceive.h"

void lanLog(const std::string& line) { std::fprintf(stderr, "tamsel-desk: LAN: %s\n", line.c_str()); }

std::string lanFramesFailure(const LanFrames& frames) {
  if (frames.total == 0) return "the size is 0";
  if (!frames.key) return "the key is not 64 hexadecimal digits";
  return "cannot write the part file " + frames.partPath.string();
}
