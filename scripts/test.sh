#!/usr/bin/env bash
# Sets everything up, builds and runs every test. With no arguments it runs the
# release build, the build with AddressSanitizer and UndefinedBehaviorSanitizer, and
# the build with ThreadSanitizer; name presets to run fewer, e.g. scripts/test.sh release
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(release debug tsan)

for preset in "${presets[@]}"; do
  echo "=== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
