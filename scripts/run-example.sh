#!/usr/bin/env bash
# Sets everything up, builds, and runs Quillmere on the bundled example job: in its
# window when there is a display, else with quillmere-cli in the terminal.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release --target quillmere quillmere-cli

app="$PWD/build/release/app/quillmere"
cli="$PWD/build/release/cli/quillmere-cli"
work="$PWD/build/example"
# A fresh copy of the job each time, so the first run always has work to do.
rm -rf -- "$work"
mkdir -p -- "$work"
cp -r -- examples/job/. "$work/"
mkdir -p -- "$work/destination/everything" "$work/destination/notes-only-text"
# A few large files, made here rather than kept in the repository, so the copy lasts
# long enough to watch the progress bar.
mkdir -p -- "$work/source/media"
for i in 1 2 3 4; do
  head -c 128M /dev/zero > "$work/source/media/clip-$i.bin"
done
cd "$work"

show_log() {
  echo "--- QuillmereLog.txt"
  tr -d '\r' < QuillmereLog.txt
}

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo
  echo "=== Opening the window on $work"
  echo "The run starts by itself (AUTORUN in the example's configuration). Close the"
  echo "window once it shows the summary."
  if "$app" QuillmereCfg.txt; then
    show_log
    exit 0
  fi
  echo "The window could not be opened; running quillmere-cli instead."
fi

echo
echo "=== First run: $work"
"$cli" QuillmereCfg.txt
show_log

echo
echo "=== Changing source/notes/todo.txt, then running again"
sleep 1
echo "Book the ferry" >> source/notes/todo.txt
"$cli" QuillmereCfg.txt
show_log

echo
echo "=== What the destination holds now"
find destination -type f | sort
