// Record buffers straight from VirtualAlloc: page-aligned, and returned to the system when freed.
#include <windows.h>

#include "lan/RecordPipe.h"

void* allocatePages(std::size_t bytes) {
  return ::VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

void freePages(void* pages, std::size_t) { ::VirtualFree(pages, 0, MEM_RELEASE); }
