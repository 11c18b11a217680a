// One pointer tick against the fake desktop with 0, 64 and 2,048 hit rects. The cursor moves
// every tick and lies outside every shape, so the whole list is walked each time. The
// "allocs/tick" counter counts heap allocations made inside the timed loop; it must stay 0.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "app/App.h"
#include "support/FakeDesktop.h"
#include "support/FakeWebHost.h"

namespace {
std::atomic<long> allocations{0};
}  // namespace

void* operator new(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
// GCC sees the replaced operator new inlined into a caller and then flags the matching delete.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

// range(0): hit rects; range(1): 1 while the page reports a screen drag (the cursor stays on the
// window's monitor, so no move is due).
static void BM_PointerTick(benchmark::State& state) {
  FakeDesktop desk;
  FakeWebHost web;
  App app{desk, web};
  desk.windowAlive = true;
  desk.visible = true;
  desk.windowRect = desk.monitors[0].workArea;
  web.environment = web.controller = web.webView = true;
  app.zoneValid = true;
  app.zoneRect = {1700, 900, 100, 100};
  app.screenDragging = state.range(1) != 0;
  desk.monitors.push_back(FakeDesktop::standardMonitor(2, 1920, "\\\\.\\DISPLAY2"));

  const auto count = static_cast<int>(state.range(0));
  for (int i = 0; i < count; ++i) {
    // A grid of small shapes in the upper part of the window, clear of the cursor below.
    app.hitRects.push_back({static_cast<double>((i % 64) * 28), static_cast<double>((i / 64) * 20), 20, 12});
  }

  int step = 0;
  const long before = allocations.load();
  for (auto _ : state) {
    desk.cursor = {400 + (step & 7), 900};
    ++step;
    app.pointerTick();
    benchmark::DoNotOptimize(app.clickThrough);
  }
  const long made = allocations.load() - before;
  state.counters["allocs/tick"] =
      benchmark::Counter(static_cast<double>(made) / static_cast<double>(state.iterations()));
  state.SetLabel(app.clickThrough ? "click-through" : "clickable");
}
BENCHMARK(BM_PointerTick)->ArgsProduct({{0, 64, 2048}, {0, 1}})->ArgNames({"rects", "drag"});

BENCHMARK_MAIN();
