#!/usr/bin/env bash
# What the shell costs while nothing happens, and how fast it starts: the real tamsel-desk on a
# private Xvfb display with a compositor (xcompmgr) and a window manager (openbox), its own
# D-Bus, data folders and single-instance key, showing a quiet page served on 127.0.0.1.
#
# Start-up: STARTS starts one after another (the same data folder, as a user's would be), each
# timed from the exec to the window manager taking the window ("mapped") and to the page's load
# event reaching the server ("loaded"). Idle: one more start, SETTLE seconds to settle with the
# pointer still, then MEASURE seconds of CPU time and context switches (all threads, from /proc)
# of the shell and of each web-engine process it started, and their RSS and PSS at the end.
#
#   bench/bench_idle.sh [BUILD_DIR]     (BUILD_DIR defaults to build/ci)
#   SETTLE=20 MEASURE=60 STARTS=5       (seconds, seconds, count; shorter for quick looks)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/ci}" && pwd)
shell_exe=${TAMSEL_DESK_EXE:-$build/src/platform/linux/desktop/tamsel-desk}
settle=${SETTLE:-20}
measure=${MEASURE:-60}
starts=${STARTS:-5}
[[ -x $shell_exe ]] || { echo "bench_idle: build tamsel-desk first ($shell_exe)" >&2; exit 1; }
for tool in Xvfb xcompmgr openbox dbus-daemon xprop xdotool python3; do
  command -v "$tool" >/dev/null || { echo "bench_idle: $tool is missing (scripts/setup --test)" >&2; exit 1; }
done

name=bench-idle
shell_pid=
before_cleanup() { [[ -n $shell_pid ]] && kill "$shell_pid" 2>/dev/null || true; }
# ---- the session: display, bus, compositor, window manager ----
source "$root/bench/idle_session.sh"
exec {bfd}>"$work/bus"
dbus-daemon --session --nofork --print-address="$bfd" --address="unix:path=$work/bus.sock" >"$work/dbus.log" 2>&1 &
pids+=($!)
exec {bfd}>&-
for _ in $(seq 200); do [[ -s $work/bus ]] && break; sleep 0.05; done
export DBUS_SESSION_BUS_ADDRESS=$(head -1 "$work/bus")
xcompmgr >"$work/xcompmgr.log" 2>&1 &
pids+=($!)
openbox --sm-disable >"$work/openbox.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window && break; sleep 0.05; done
# The pointer rests away from the page for the whole run.
xdotool mousemove 200 200

# ---- a quiet page: one shape, no timers, no animation; its load event is written down ----
mkdir -p "$work/site"
cat >"$work/site/_desk.html" <<'EOF'
<!doctype html>
<html><head><meta charset="utf-8"><style>
html, body { margin: 0; background: transparent; }
#hut { position: fixed; right: 24px; bottom: 24px; width: 96px; height: 96px; background: #b86; border-radius: 12px; }
</style></head>
<body><div id="hut"></div><script>
addEventListener('load', () => {
  const r = document.getElementById('hut').getBoundingClientRect();
  const h = window.webkit && window.webkit.messageHandlers && window.webkit.messageHandlers.desk;
  if (h) h.postMessage({ t: 'hits', rects: [[r.x, r.y, r.width, r.height]], zone: [r.x - 24, r.y - 24, r.width + 48, r.height + 48] });
  fetch('/loaded', { method: 'POST' });
});
</script></body></html>
EOF
cat >"$work/serve.py" <<'EOF'
import http.server, sys, time
site, log = sys.argv[1], sys.argv[2]
class Page(http.server.SimpleHTTPRequestHandler):
    def __init__(self, *a, **k): super().__init__(*a, directory=site, **k)
    def do_POST(self):
        if self.path == '/loaded':
            with open(log, 'a') as f: f.write('%.6f\n' % time.time())
        self.send_response(204); self.end_headers()
    def log_message(self, *a): pass
server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), Page)
print(server.server_address[1], flush=True)
server.serve_forever()
EOF
python3 "$work/serve.py" "$work/site" "$work/loaded.txt" >"$work/port" 2>"$work/server.log" &
pids+=($!)
for _ in $(seq 200); do [[ -s $work/port ]] && break; sleep 0.05; done
origin=http://127.0.0.1:$(head -1 "$work/port")

home=$work/home
mkdir -p "$home"/{data,config,cache,run}
chmod 700 "$home/run"
shell_env=(HOME="$home" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" XDG_CACHE_HOME="$home/cache"
  XDG_RUNTIME_DIR="$home/run" NO_AT_BRIDGE=1 GDK_BACKEND=x11 TAMSEL_DESK_INSTANCE="bench-idle-$$")

# Every process the shell started, the shell first.
family() {
  local todo=("$1") p
  while ((${#todo[@]})); do
    p=${todo[0]}
    todo=("${todo[@]:1}")
    echo "$p"
    for c in /proc/"$p"/task/*/children; do todo+=($(cat "$c" 2>/dev/null)); done
  done
}
# Per thread: process, thread, nanoseconds on a CPU, context switches, voluntary ones (wake-ups).
threads() {
  local p t
  for p in "$@"; do
    for t in /proc/"$p"/task/*; do
      awk -v p="$p" -v t="${t##*/}" 'FILENAME ~ /schedstat$/ { ns = $1 } /^voluntary_ctxt/ { v = $2 }
        /^nonvoluntary_ctxt/ { n = $2 } END { if (ns != "") print p, t, ns, v + n, v }' "$t"/schedstat "$t"/status 2>/dev/null
    done
  done
}
memory_kib() { awk -v k="$2:" '$1 == k { print $2 }' /proc/"$1"/smaps_rollup 2>/dev/null; }
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

launch() {
  : >"$work/loaded.txt"
  : >"$work/mapped.txt"
  # The window manager lists the window in _NET_CLIENT_LIST when it takes it for mapping.
  (xprop -root -spy _NET_CLIENT_LIST 2>/dev/null | while read -r line; do
    [[ $line == *0x* ]] && { echo "$EPOCHREALTIME" >"$work/mapped.txt"; break; }
  done) &
  spy=$!
  start_time=$EPOCHREALTIME
  env "${shell_env[@]}" "$shell_exe" "--server=$origin" >>"$work/shell.log" 2>&1 &
  shell_pid=$!
  for _ in $(seq 600); do [[ -s $work/mapped.txt && -s $work/loaded.txt ]] && break; sleep 0.05; done
  kill "$spy" 2>/dev/null || true
  pkill -P "$spy" 2>/dev/null || true
  wait "$spy" 2>/dev/null || true
  [[ -s $work/mapped.txt && -s $work/loaded.txt ]] || { echo "bench_idle: the shell did not come up (see $work/shell.log)" >&2; cat "$work/shell.log" >&2; exit 1; }
  awk -v s="$start_time" -v m="$(head -1 "$work/mapped.txt")" -v l="$(head -1 "$work/loaded.txt")" \
    'BEGIN { printf "%.3f %.3f\n", m - s, l - s }' >>"$work/starts.txt"
}

stop_shell() {
  local family_pids
  family_pids=$(family "$shell_pid")
  kill "$shell_pid" 2>/dev/null || true
  wait "$shell_pid" 2>/dev/null || true
  for _ in $(seq 100); do
    local alive=0
    for p in $family_pids; do kill -0 "$p" 2>/dev/null && alive=1; done
    ((alive)) || break
    sleep 0.05
  done
  shell_pid=
}

echo "bench_idle: $shell_exe on $DISPLAY (xcompmgr, openbox), page $origin"
for ((n = 1; n <= starts; n++)); do
  launch
  sleep 1
  stop_shell
done
echo "start-up over $starts starts (seconds from exec; the first creates the data folder):"
awk '{ printf "  start %d: mapped %s  loaded %s\n", NR, $1, $2 }' "$work/starts.txt"
echo "  median: mapped $(cut -d' ' -f1 "$work/starts.txt" | median)  loaded $(cut -d' ' -f2 "$work/starts.txt" | median)"

launch
sleep "$settle"
mapfile -t members < <(family "$shell_pid")
threads "${members[@]}" >"$work/before.txt"
t0=$EPOCHREALTIME
sleep "$measure"
t1=$EPOCHREALTIME
threads "${members[@]}" >"$work/after.txt"
echo "idle after ${settle}s, measured over ${measure}s (pointer still, page quiet, window shown):"
printf '  %-24s %7s %6s %9s %9s %9s %9s\n' process pid "cpu%" "ctxsw/s" "wakeup/s" "RSS MiB" "PSS MiB"
for p in "${members[@]}"; do
  [[ -d /proc/$p ]] || continue
  # Threads that ended meanwhile are left out; threads that began count from zero.
  awk -v p="$p" -v n="$(cat /proc/"$p"/comm)" -v d="$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')" \
    -v rss="$(memory_kib "$p" Rss)" -v pss="$(memory_kib "$p" Pss)" '
    $1 != p { next }
    FILENAME ~ /before/ { c[$2] = $3; s[$2] = $4; w[$2] = $5; next }
    { cpu += $3 - c[$2]; sw += $4 - s[$2]; wk += $5 - w[$2] }
    END { printf "  %-24s %7d %6.3f %9.2f %9.2f %9.1f %9.1f\n", n, p, cpu / 1e7 / d, sw / d, wk / d, rss / 1024, pss / 1024 }
  ' "$work/before.txt" "$work/after.txt"
done
# THREADS=1: the shell's threads one by one, to see which of them wakes.
if [[ ${THREADS:-0} == 1 && -d /proc/$shell_pid ]]; then
  awk -v p="$shell_pid" -v d="$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')" '
    $1 != p { next }
    FILENAME ~ /before/ { c[$2] = $3; w[$2] = $5; next }
    { f = "/proc/" p "/task/" $2 "/comm"; name = ""; getline name < f; close(f)
      printf "    thread %-8s %-18s cpu%% %6.3f  wakeup/s %7.2f\n", $2, name, ($3 - c[$2]) / 1e7 / d, ($5 - w[$2]) / d }
  ' "$work/before.txt" "$work/after.txt"
fi
