#!/usr/bin/env bash
# The Debian package on this machine: built, installed with apt, checked, used by
# an ordinary user (created here) under a virtual display, removed with apt: none
# of its files left, the user's settings and cache kept. Root only; 77 (skipped) otherwise.
set -euo pipefail
source="$(cd "$(dirname "$0")/../.." && pwd)"
[ "$(id -u)" -eq 0 ] || { echo "skipped: installs a system package, so it runs as root only"; exit 77; }
! dpkg-query -W -f='${Status}' quillon 2>/dev/null | grep -q 'ok installed' ||
  { echo "skipped: a quillon package is installed already and is left alone"; exit 77; }

user=quillon-package-test installed=0
work="$(mktemp -d)"
cleanup() {
  [ "$installed" -eq 0 ] || apt-get remove -y -qq quillon >/dev/null 2>&1 || true
  ! id "$user" >/dev/null 2>&1 || userdel --remove "$user" 2>/dev/null || true
  rm -rf -- "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$source/scripts/package" >"$work/package.log" 2>&1 || { cat "$work/package.log"; fail "scripts/package"; }
deb="$(ls "$source"/build-package/quillon_*.deb)"
lintian --fail-on error,warning "$deb" || fail "lintian reports errors or warnings"
depends="$(dpkg-deb --field "$deb" Depends)"
for wanted in ffmpeg mp3gain libgtk-3-0 libwebkit2gtk-4.1-0 libsqlite3-0 'libcurl4 ' libcdio; do
  [[ "$depends" == *"$wanted"* ]] || fail "Depends lacks $wanted: $depends"; done

env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get install"; }
installed=1
dpkg -L quillon >"$work/files"
[ "$(readlink -f /usr/bin/quillon)" = /usr/lib/quillon/quillon ] || fail "/usr/bin/quillon is no link to /usr/lib/quillon/quillon"
[ ! -e /usr/lib/quillon/res/tmp ] || fail "the shared app folder has a res/tmp"
id="org.quillon.Quillon"
for file in /usr/lib/quillon/webext/libquillon-external.so /usr/lib/quillon/res/selectSong.html \
  "/usr/share/icons/hicolor/"{scalable/apps/$id.svg,48x48/apps/$id.png} /usr/share/{man/man1/quillon.1.gz,doc/quillon/copyright}; do
  [ -f "$file" ] || fail "$file is missing"; done
grep -qx 'Exec="/usr/bin/quillon" %f' "/usr/share/applications/$id.desktop" || fail "desktop entry's Exec"

# An ordinary user without a session bus makes a clip from the command line,
# taking the part the page suggests (Return), in a folder only that user can read.
useradd --create-home "$user"
home="$(getent passwd "$user" | cut -d: -f6)"
display=":$(for n in $(seq 90 199); do [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { echo "$n"; break; }; done)"
as_user=(setpriv --reuid="$user" --regid="$user" --init-groups env -i HOME="$home" PATH=/usr/bin:/bin
  DISPLAY="$display" QUILLON_CONSOLE=1 DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent)
pids=()
stop_all() { for pid in "${pids[@]}"; do kill -TERM -- "-$pid" 2>/dev/null || true; done; wait || true; pids=(); }
trap 'stop_all; cleanup' EXIT
setsid "${as_user[@]}" Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 & pids+=($!)
for _ in $(seq 50); do [ -S "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.2; done
"${as_user[@]}" ffmpeg -loglevel error -f lavfi -i sine=frequency=440:duration=3 -ac 2 "$home/song one.mp3"
log="$work/app.log"
state() {  # waits for the first state line of the log that matches $1 or is a failure
  for _ in $(seq 240); do line="$(grep -m1 "QUILLON state \($1\|failed\)" "$log" || true)"; [ -z "$line" ] || break; sleep 0.5; done
  [[ "$line" == *"state $1"* ]] || { cat "$log" >&2; fail "no '$1': ${line:-no answer}"; }
}
setsid "${as_user[@]}" /usr/bin/quillon "$home/song one.mp3" >"$log" 2>&1 & pids+=($!)
state part
window="$("${as_user[@]}" xdotool search --sync --onlyvisible --pid "$!" | head -1)"
"${as_user[@]}" xdotool windowfocus --sync "$window" key --clearmodifiers Return
state clip-ready
clip="${line#*clip-ready }"
tmp="$home/.cache/quillon/tmp"
[ "$(dirname "$clip")" = "$tmp" ] && [ -s "$clip" ] || fail "the clip $clip is not in $tmp or is empty"
[ "$(stat -c '%a %U' "$tmp")" = "700 $user" ] || fail "$tmp is not the user's alone: $(stat -c '%a %U' "$tmp")"
stop_all

env DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq quillon >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get remove"; }
installed=0
while IFS= read -r path; do  # folders may be shared with other packages
  [ -d "$path" ] && [ ! -L "$path" ] && continue; [ ! -e "$path" ] && [ ! -L "$path" ] || fail "$path is left after removal"
done <"$work/files"
for gone in /usr/lib/quillon /usr/share/doc/quillon; do [ ! -e "$gone" ] || fail "$gone is left after removal"; done
# The app sweeps its clips as it ends; the folder that held them is the user's.
[ -f "$home/.config/quillon/registry.sqlite3" ] && [ -d "$tmp" ] || fail "the user's settings or cache went with the package"
echo "package installed, used by $user, removed: $(basename "$deb")"
