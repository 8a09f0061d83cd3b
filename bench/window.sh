#!/usr/bin/env bash
# What the window costs a run: the same jobs run unattended by the window (AUTORUN and
# AUTOEXIT, on an Xvfb display, so the panel really paints ten times a second) and by
# quillmere-cli, taking turns round by round. Prints the median wall time of each, their
# ratio, and the peak memory of each.
#
#   bench/window.sh [--rounds N]      (default 5)
#
# Not a test: never register it in CTest.
set -euo pipefail
cd "$(dirname "$0")/.."

rounds=5
if [ "${1:-}" = "--rounds" ]; then rounds=$2; fi

bash scripts/setup.sh time
cmake --preset release >/dev/null
cmake --build --preset release --target quillmere quillmere-cli >/dev/null

app="$PWD/build/release/app/quillmere"
cli="$PWD/build/release/cli/quillmere-cli"
work="${BENCH_DIR:-${TMPDIR:-/tmp}/quillmere-window-bench}"
rm -rf -- "$work"
mkdir -p -- "$work"
trap 'rm -rf -- "$work"; [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null || true' EXIT

display=:${BENCH_DISPLAY:-79}
Xvfb "$display" -screen 0 1024x400x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
sleep 1

# (a) 20,000 small files in 200 folders; (b) eight 128 MiB files.
mkdir -p "$work/a/src" "$work/b/src"
for d in $(seq -w 0 199); do
  mkdir -p "$work/a/src/d$d"
  for f in $(seq -w 0 99); do printf '%s %s\n' "$d" "$f" > "$work/a/src/d$d/f$f.txt"; done
done
for i in $(seq 1 8); do head -c 128M /dev/zero > "$work/b/src/clip-$i.bin"; done

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

for job in a b; do
  printf 'AUTORUN=TRUE\nAUTOEXIT=TRUE\nCOPYFROM=%s\nCOPYTO=%s\n' \
      "$work/$job/src" "$work/$job/dst" > "$work/$job/cfg.txt"
  : > "$work/$job/window.times"
  : > "$work/$job/cli.times"
  for _ in $(seq "$rounds"); do
    for tool in window cli; do
      rm -rf -- "$work/$job/dst"
      mkdir -p -- "$work/$job/dst"
      sync
      if [ "$tool" = window ]; then
        cmd=(env DISPLAY="$display" XDG_CONFIG_HOME="$work/config" "$app" "$work/$job/cfg.txt")
      else
        cmd=("$cli" "$work/$job/cfg.txt")
      fi
      /usr/bin/time -f '%e %M' -o "$work/time.out" "${cmd[@]}" >/dev/null 2>&1
      cat "$work/time.out" >> "$work/$job/$tool.times"
    done
  done
  w=$(awk '{ print $1 }' "$work/$job/window.times" | median)
  c=$(awk '{ print $1 }' "$work/$job/cli.times" | median)
  wm=$(awk '{ print $2 }' "$work/$job/window.times" | sort -n | tail -1)
  cm=$(awk '{ print $2 }' "$work/$job/cli.times" | sort -n | tail -1)
  name=$([ "$job" = a ] && echo "20,000 small files" || echo "eight 128 MiB files")
  awk -v n="$name" -v w="$w" -v c="$c" -v wm="$wm" -v cm="$cm" -v r="$rounds" 'BEGIN {
    printf "%s, first copy, %d rounds: window %.2f s, quillmere-cli %.2f s, ratio %.2f; peak RSS window %.1f MiB, cli %.1f MiB\n",
           n, r, w, c, w / c, wm / 1024, cm / 1024 }'
done
