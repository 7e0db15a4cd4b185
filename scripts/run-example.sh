#!/bin/sh
# The main job: our command-line host loads example plugins through the
# bridge process and processes audio. Builds what it needs, runs under Wine,
# leaves its output in build/win64/example/.
set -eu
cd "$(dirname "$0")/.."
sh scripts/setup.sh
JOBS="$(nproc 2>/dev/null || echo 2)"
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "$JOBS" --target pelorin pelorin-host vst2_gain vst2_synth

. scripts/winenv.sh
trap winenv_stop EXIT INT TERM
winenv_start

BUILD="$(pwd)/build/win64"
OUT="$BUILD/example"
mkdir -p "$OUT"
HOST="$BUILD/dist/64bit/pelorin-host.exe"

echo "== a stereo gain effect: a generated two-second test tone, state saved"
/usr/lib/wine/wine64 "$HOST" --tone 2 --block 512 \
    --out "Z:$OUT/gain-out.wav" --save-state "Z:$OUT/gain-state.bin" \
    "Z:$BUILD/fixtures/vst2_gain.dll"

echo "== an instrument played from a MIDI text file"
/usr/lib/wine/wine64 "$HOST" --quiet --midi "Z:$(pwd)/examples/arpeggio.txt" --block 256 \
    --out "Z:$OUT/synth-out.wav" "Z:$BUILD/fixtures/vst2_synth.dll"

echo "== output in $OUT"
ls -l "$OUT"
