#!/usr/bin/env bash
# Takes the README's two screenshots of the window under Xvfb: one in the middle of a
# copy, one after the run. Writes docs/window-copying.png and docs/window-done.png.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh imagemagick openbox x11-utils
cmake --preset release >/dev/null
cmake --build --preset release --target quillmere

app="$PWD/build/release/app/quillmere"
docs="$PWD/docs"
work="$PWD/build/screenshots"
rm -rf -- "$work"
mkdir -p -- "$work/Photos/2026" "$work/Backup/Photos"
# Enough data that the copy lasts a moment.
for i in $(seq -w 1 24); do
  head -c 96M /dev/zero > "$work/Photos/2026/IMG_00$i.raw"
done
printf 'AUTORUN=TRUE\nCOPYFROM=Photos\nCOPYTO=Backup/Photos\n' > "$work/QuillmereCfg.txt"

display=:77
Xvfb "$display" -screen 0 1024x400x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
app_pid=
cleanup() {
  [ -n "$app_pid" ] && kill -CONT "$app_pid" 2>/dev/null && kill "$app_pid" 2>/dev/null
  kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
export DISPLAY=$display
sleep 1
openbox >/dev/null 2>&1 &
sleep 1  # a window mapped before the window manager is up stays unmapped

# The window with its frame and title bar.
shoot() {
  local id geometry extents
  id=$(xwininfo -root -tree | awk '/"Quillmere"/ && !id { id = $1 } END { print id }')
  geometry=$(xwininfo -id "$id" | awk '
      /Absolute upper-left X/ { x = $4 } /Absolute upper-left Y/ { y = $4 }
      /Width:/ { w = $2 } /Height:/ { h = $2 } END { print x, y, w, h }')
  extents=$(xprop -id "$id" _NET_FRAME_EXTENTS | tr -d ',' | awk '{ print $3, $4, $5, $6 }')
  read -r x y w h <<< "$geometry"
  read -r left right top bottom <<< "${extents:-0 0 0 0}"
  import -silent -window root \
      -crop "$((w + left + right))x$((h + top + bottom))+$((x - left))+$((y - top))" +repage "$1"
}

cd "$work"
XDG_CONFIG_HOME="$work/config" "$app" QuillmereCfg.txt &
app_pid=$!

# Freeze the program in the middle of the copy; the screen keeps its last picture.
until [ "$(find Backup/Photos -name '*.raw' | wc -l)" -ge 6 ]; do sleep 0.02; done
kill -STOP "$app_pid"
sleep 0.3
shoot "$docs/window-copying.png"
kill -CONT "$app_pid"

until [ "$(find Backup/Photos -name '*.raw' | wc -l)" -ge 24 ]; do sleep 0.1; done
sleep 0.5
shoot "$docs/window-done.png"
echo "Wrote docs/window-copying.png and docs/window-done.png"
