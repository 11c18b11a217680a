#!/bin/sh
# TamselDesk-@VERSION@.run: installs the Tamsel desk companion @VERSION@ for the user who runs it
# and starts it. A compressed copy of the program follows this script.
#
#   TamselDesk-@VERSION@.run [/S] [/UPDATE]
#
# The shell starts a verified update as "TamselDesk-<version>.run /S /UPDATE" and closes.
#   /S        silent: no questions (there are none), messages only on standard error
#   /UPDATE   the shell that started it is closing: wait until no shell of this display is
#             left, then start the new one
# What it changes, all under the user's home (root is never needed):
#   ~/.local/lib/tamsel-desk/       the program, and server.json when this build names an origin
#                                   (else the one already there, or the system package's, is kept)
#   ~/.local/bin/tamsel-desk        a link to the program
#   ~/.local/share/applications/, icons/, metainfo/   the menu entry (pointing at the program), icon,
#                                   AppStream data; they take precedence over a system-wide install
#   ~/.config/autostart/TamselDeskNative.desktop      if present, made to start the new program
# The data folder (~/.local/share/TamselDeskNative: config.json, the chosen screen, the web profile)
# is left as it is. It ends with 0 once installed; 1, with the reason, if it could not install.
set -eu
version=@VERSION@
update=0
for arg in "$@"; do
  case $arg in
    /UPDATE) update=1 ;;
    /S) ;;
    *) echo "TamselDesk-$version.run: unknown argument $arg (only /S and /UPDATE)" >&2; exit 2 ;;
  esac
done

fail() {
  echo "TamselDesk-$version.run: $*" >&2
  exit 1
}

prefix=${HOME:?}/.local
data=${XDG_DATA_HOME:-$prefix/share}
config=${XDG_CONFIG_HOME:-$HOME/.config}
libdir=$prefix/lib/tamsel-desk
program=$libdir/tamsel-desk

unpacked=$(mktemp -d) || fail "cannot make a temporary folder"
trap 'rm -rf "$unpacked"' EXIT
start=$(awk '/^__PAYLOAD__$/ { print NR + 1; exit }' "$0")
tail -n +"$start" "$0" | tar -xzf - -C "$unpacked" || fail "the file is damaged (cannot unpack it)"
usr=$unpacked/usr
[ -x "$usr/lib/tamsel-desk/tamsel-desk" ] || fail "the file is damaged (no program in it)"

mkdir -p "$libdir" "$prefix/bin" "$data/applications" "$data/icons/hicolor/scalable/apps" "$data/metainfo" \
  || fail "cannot create the folders under $prefix"
# Renamed into place, so a shell still running keeps its own copy until it ends.
cp "$usr/lib/tamsel-desk/tamsel-desk" "$program.new" && mv -f "$program.new" "$program" \
  || fail "cannot write $program"
if [ -f "$usr/lib/tamsel-desk/server.json" ]; then
  cp "$usr/lib/tamsel-desk/server.json" "$libdir/server.json" || fail "cannot write $libdir/server.json"
elif [ ! -f "$libdir/server.json" ] && [ -f /usr/lib/tamsel-desk/server.json ]; then
  cp /usr/lib/tamsel-desk/server.json "$libdir/server.json" || fail "cannot write $libdir/server.json"
fi
ln -sfn "$program" "$prefix/bin/tamsel-desk" || fail "cannot link $prefix/bin/tamsel-desk"

# A desktop entry names its program in double quotes with \ " ` $ escaped, then every \ doubled
# for the file itself, and % doubled; the result is escaped once more for sed's replacement.
exec_value=$(printf '%s' "$program" | sed -e 's/[\\"`$]/\\&/g' -e 's/\\/\\\\/g' -e 's/%/%%/g')
exec_sed="s|^Exec=.*|Exec=\"$(printf '%s' "$exec_value" | sed 's/[|&\\]/\\&/g')\"|"
sed "$exec_sed" "$usr/share/applications/tamsel-desk.desktop" > "$data/applications/tamsel-desk.desktop" \
  || fail "cannot write the menu entry"
cp "$usr/share/icons/hicolor/scalable/apps/tamsel-desk.svg" "$data/icons/hicolor/scalable/apps/" \
  && cp "$usr/share/metainfo/"*.metainfo.xml "$data/metainfo/" || fail "cannot write the icon"
autostart=$config/autostart/TamselDeskNative.desktop
if [ -f "$autostart" ]; then
  sed "$exec_sed" "$autostart" > "$autostart.new" \
    && mv -f "$autostart.new" "$autostart" || fail "cannot update $autostart"
fi
echo "TamselDesk-$version.run: installed $program" >&2

if [ "$update" = 1 ]; then
  # A shell started while the old one is still there would only show the old one.
  shell_left() {
    for p in /proc/[0-9]*; do
      exe=$(readlink "$p/exe" 2>/dev/null) || continue
      case ${exe% (deleted)} in */tamsel-desk) ;; *) continue ;; esac
      tr '\0' '\n' < "$p/environ" 2>/dev/null | grep -qx "DISPLAY=${DISPLAY:-}" && return 0
    done
    return 1
  }
  tries=0
  while shell_left && [ $tries -lt 100 ]; do
    sleep 0.1
    tries=$((tries + 1))
  done
fi
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  setsid "$program" >/dev/null 2>&1 < /dev/null &
fi
exit 0
__PAYLOAD__
