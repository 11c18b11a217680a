#!/usr/bin/env bash
# What the Windows shell costs while nothing happens, as far as Wine can show it: tamsel-desk.exe
# of the win64 build with the stand-in WebView2 runtime (tests/win32/standin, which rests when no
# test drives it) under Wine, on a private Xvfb display, in a Wine prefix and with a wineserver of
# its own, against a quiet page served on 127.0.0.1.
#
# After SETTLE seconds with the pointer still, MEASURE seconds of context switches of every thread
# of the shell's process (from /proc: Wine runs each Windows thread as a Linux thread), and apart
# from them those of Wine's own processes (wineserver, explorer.exe, services.exe...), which every
# Windows program under Wine has beside it. THREADS=1 lists the shell's threads one by one.
#
#   bench/bench_idle_wine.sh [WIN64_BUILD_DIR]     (defaults to build/win64)
#   SETTLE=10 MEASURE=20
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/win64}" && pwd)
program=$build/src/platform/win32/desktop/tamsel-desk.exe
standin=$build/tests/win32/WebView2Loader.dll
settle=${SETTLE:-10}
measure=${MEASURE:-20}
for file in "$program" "$standin"; do
  [[ -f $file ]] || { echo "bench_idle_wine: $file is missing: build the win64 preset first" >&2; exit 1; }
done
for tool in wine wineserver Xvfb xdotool python3; do
  command -v "$tool" >/dev/null || { echo "bench_idle_wine: $tool is missing (scripts/setup --test)" >&2; exit 1; }
done

name=bench-idle-wine
before_cleanup() { [[ -n ${WINEPREFIX:-} ]] && wineserver -k 2>/dev/null || true; }
source "$root/bench/idle_session.sh"
xdotool mousemove 200 200

mkdir -p "$work/site" "$work/home/Downloads" "$work/app"
printf '<!doctype html><title>quiet</title>\n' >"$work/site/_desk.html"
python3 -c '
import http.server, sys
class Page(http.server.SimpleHTTPRequestHandler):
    def __init__(self, *a, **k): super().__init__(*a, directory=sys.argv[1], **k)
    def log_message(self, *a): pass
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Page)
print(server.server_address[1], flush=True)
server.serve_forever()' "$work/site" >"$work/port" 2>"$work/server.log" &
pids+=($!)
for _ in $(seq 200); do [[ -s $work/port ]] && break; sleep 0.05; done
origin=http://127.0.0.1:$(head -1 "$work/port")

export WINEPREFIX=$work/prefix HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
export XDG_CACHE_HOME=$work/home/.cache WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export DBUS_SESSION_BUS_ADDRESS=disabled:
wineserver -p -f >"$work/wineserver.log" 2>&1 &
pids+=($!)
echo "bench_idle_wine: making the Wine prefix (a minute or so)"
wine wineboot -i >"$work/wineboot.log" 2>&1
cp "$program" "$work/app/tamsel-desk.exe"
cp "$standin" "$work/app/WebView2Loader.dll"
# exec keeps the pid: the wine launcher becomes the program's process.
wine "$work/app/tamsel-desk.exe" "--server=$origin" >"$work/shell.log" 2>&1 &
shell_pid=$!
pids+=($shell_pid)
for _ in $(seq 600); do [[ $(cat /proc/$shell_pid/comm 2>/dev/null) == tamsel-desk* ]] && break; sleep 0.05; done
sleep "$settle"
[[ -d /proc/$shell_pid ]] || { echo "bench_idle_wine: the shell ended (see below)" >&2; cat "$work/shell.log" >&2; exit 1; }

# Wine's processes of this prefix: those whose WINEPREFIX is ours, the shell apart.
wine_family() {
  local p
  for p in /proc/[0-9]*; do
    p=${p#/proc/}
    [[ $p == "$shell_pid" ]] && continue
    { tr '\0' '\n' <"/proc/$p/environ"; } 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && echo "$p"
  done
}
# Per thread: process, thread, context switches, voluntary ones (wake-ups).
threads() {
  local p t
  for p in "$@"; do
    for t in /proc/"$p"/task/*; do
      awk -v p="$p" -v t="${t##*/}" '/^voluntary_ctxt/ { v = $2 } /^nonvoluntary_ctxt/ { n = $2 }
        END { if (v != "") print p, t, v + n, v }' "$t"/status 2>/dev/null || true
    done
  done
}
mapfile -t others < <(wine_family)
threads "$shell_pid" "${others[@]}" >"$work/before.txt"
t0=$EPOCHREALTIME
sleep "$measure"
t1=$EPOCHREALTIME
threads "$shell_pid" "${others[@]}" >"$work/after.txt"
seconds=$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')

echo "idle after ${settle}s, measured over ${measure}s (pointer still, window shown), $DISPLAY, page $origin:"
printf '  %-22s %7s %8s %9s %9s\n' process pid threads "ctxsw/s" "wakeup/s"
for p in "$shell_pid" "${others[@]}"; do
  [[ -d /proc/$p ]] || continue
  awk -v p="$p" -v n="$(cat /proc/"$p"/comm)" -v d="$seconds" '
    $1 != p { next }
    FILENAME ~ /before/ { s[$2] = $3; w[$2] = $4; next }
    { sw += $3 - s[$2]; wk += $4 - w[$2]; ++k }
    END { printf "  %-22s %7d %8d %9.2f %9.2f\n", n, p, k, sw / d, wk / d }
  ' "$work/before.txt" "$work/after.txt"
done
if [[ ${THREADS:-0} == 1 ]]; then
  ps -o pid=,ppid=,nlwp=,args= -p "$shell_pid,$(IFS=,; echo "${others[*]}")" | sed 's/^/    /'
  awk -v p="$shell_pid" -v d="$seconds" '
    $1 != p { next }
    FILENAME ~ /before/ { w[$2] = $4; next }
    { printf "    thread %-8s wakeup/s %7.2f\n", $2, ($4 - w[$2]) / d }
  ' "$work/before.txt" "$work/after.txt"
fi
