# Sourced by the idle benchmarks: a work folder removed at the end with every process listed in
# `pids` (last first), and a private Xvfb display, exported as DISPLAY. The sourcing script
# sets `name` first and may define `before_cleanup` (run first, at the end).
work=$(mktemp -d "${TMPDIR:-/tmp}/$name.XXXXXX")
pids=()
cleanup() {
  declare -F before_cleanup >/dev/null && before_cleanup
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

exec {dfd}>"$work/display"
Xvfb -displayfd "$dfd" -screen 0 1280x800x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
pids+=($!)
exec {dfd}>&-
for _ in $(seq 200); do [[ -s $work/display ]] && break; sleep 0.05; done
[[ -s $work/display ]] || { echo "$name: Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$(head -1 "$work/display")
