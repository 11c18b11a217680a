// Record buffers straight from mmap: page-aligned, and returned to the system when freed.
#include <sys/mman.h>

#include "lan/RecordPipe.h"

void* allocatePages(std::size_t bytes) {
  void* pages = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return pages == MAP_FAILED ? nullptr : pages;
}

void freePages(void* pages, std::size_t bytes) { ::munmap(pages, bytes); }
