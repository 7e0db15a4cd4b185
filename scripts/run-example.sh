#!/bin/sh
# The main job: our command-line host plays an arpeggio on our example
# instrument through the bridge process, sends the result through our example
# echo (a second bridge), and draws both steps. Builds what it needs, runs
# under Wine, leaves WAV and PNG files in build/win64/example/.
set -eu
cd "$(dirname "$0")/.."
sh scripts/setup.sh
JOBS="$(nproc 2>/dev/null || echo 2)"
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "$JOBS" --target pelorin pelorin-host ExampleSynth ExampleEcho

. scripts/winenv.sh
trap winenv_stop EXIT INT TERM
winenv_start

BUILD="$(pwd)/build/win64"
OUT="$BUILD/example"
mkdir -p "$OUT"
HOST="$BUILD/dist/64bit/pelorin-host.exe"

echo "== 1. the example instrument plays examples/arpeggio.txt"
/usr/lib/wine/wine64 "$HOST" --midi "Z:$(pwd)/examples/arpeggio.txt" --block 256 \
    --out "Z:$OUT/1-synth.wav" --plot "Z:$OUT/1-synth.png" "Z:$BUILD/examples/ExampleSynth.dll"

echo
echo "== 2. its output through the example echo, the echo's state saved"
/usr/lib/wine/wine64 "$HOST" --in "Z:$OUT/1-synth.wav" --block 512 \
    --out "Z:$OUT/2-echo.wav" --plot "Z:$OUT/2-echo.png" --save-state "Z:$OUT/2-echo-state.bin" \
    "Z:$BUILD/examples/ExampleEcho.dll"

echo
echo "== listen to the WAV files, look at the PNG files:"
ls -l "$OUT"
