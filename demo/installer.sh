#!/bin/sh
# The demo server's update installer. A real one installs the new version; this one writes down
# how the shell started it and starts the same shell again, so the update path can be tried to
# its end. It learns where from the environment the shell passes on (scripts/run-demo sets it):
#   TAMSEL_DEMO_WORK    the folder the demo server serves its note from
#   TAMSEL_DEMO_SHELL   the shell program, started again with --server=$TAMSEL_DEMO_ORIGIN
work=${TAMSEL_DEMO_WORK:-}
if [ -n "$work" ]; then
  printf '%s\n' "$*" > "$work/demo-installer.txt.new" && mv -f "$work/demo-installer.txt.new" "$work/demo-installer.txt"
fi
echo "demo installer: started with \"$*\"" >&2
[ -n "${TAMSEL_DEMO_SHELL:-}" ] || exit 0

# The shell closes right after starting this. Started before it is gone, the new one would only
# show the old one, so wait (a few seconds at most) until no shell of this session is left.
session_shell_left() {
  for p in /proc/[0-9]*; do
    [ "$(readlink "$p/exe" 2>/dev/null)" = "$TAMSEL_DEMO_SHELL" ] || continue
    tr '\0' '\n' < "$p/environ" 2>/dev/null | grep -qx "DISPLAY=${DISPLAY:-}" && return 0
  done
  return 1
}
tries=0
while session_shell_left && [ $tries -lt 50 ]; do
  sleep 0.2
  tries=$((tries + 1))
done
"$TAMSEL_DEMO_SHELL" --server="$TAMSEL_DEMO_ORIGIN" &
[ -n "$work" ] && echo $! > "$work/shell.pid"
exit 0
