#!/usr/bin/env bash
# Sets everything up, builds, and runs Quillmere on the bundled example job.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release --target quillmere-cli

cli="$PWD/build/release/cli/quillmere-cli"
work="$PWD/build/example"
# A fresh copy of the job each time, so the first run always has work to do.
rm -rf -- "$work"
mkdir -p -- "$work"
cp -r -- examples/job/. "$work/"
mkdir -p -- "$work/destination/everything" "$work/destination/notes-only-text"
cd "$work"

echo
echo "=== First run: $work"
"$cli" QuillmereCfg.txt
echo "--- QuillmereLog.txt"
tr -d '\r' < QuillmereLog.txt

echo
echo "=== Changing source/notes/todo.txt, then running again"
sleep 1
echo "Book the ferry" >> source/notes/todo.txt
"$cli" QuillmereCfg.txt
echo "--- QuillmereLog.txt"
tr -d '\r' < QuillmereLog.txt

echo
echo "=== What the destination holds now"
find destination -type f | sort
