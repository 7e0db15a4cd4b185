#!/bin/sh
# The whole test run: set-up, the three builds, then the Windows tests under
# Wine and the native tests with sanitizers.
set -eu
cd "$(dirname "$0")/.."
sh scripts/setup.sh

JOBS="$(nproc 2>/dev/null || echo 2)"
for preset in win64 win32 native; do
  echo "== build $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$JOBS"
done

. scripts/winenv.sh
trap winenv_stop EXIT INT TERM
winenv_start

status=0
echo "== test win64 (under Wine)"
ctest --preset win64 -j "$JOBS" || status=1
echo "== test native"
ctest --preset native -j "$JOBS" || status=1
exit $status
