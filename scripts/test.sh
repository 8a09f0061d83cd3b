#!/usr/bin/env bash
# Sets everything up, builds and runs every test. With no arguments it runs the
# release build and the build with AddressSanitizer and UndefinedBehaviorSanitizer;
# name presets to choose (release, debug, tsan), e.g. scripts/test.sh tsan
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(release debug)

for preset in "${presets[@]}"; do
  echo "=== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
