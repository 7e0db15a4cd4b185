#!/bin/sh
# Fuzzes the PE walks of importprobe and importpatch (fuzz/fuzz_importprobe,
# fuzz/fuzz_importpatch) with libFuzzer, ASan and UBSan, each for a bounded time.
# Not part of the normal test run.
#
#   sh scripts/fuzz-pe.sh [seconds per target, default 60] [build dir, default build/fuzz-pe]
#
# Configures a clang tree with PELORIN_FUZZ=ON, builds the two targets, seeds
# each corpus with the small PE files of any build tree here (fixtures), and
# runs each target. A crash stops the script with status 1 and leaves its input
# as <build dir>/findings/<target>-crash-*; the corpus grows in <build dir>/corpus.
set -eu
cd "$(dirname "$0")/.."
TIME="${1:-60}"
BUILD="${2:-build/fuzz-pe}"

cmake -S . -B "$BUILD" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELORIN_FUZZ=ON -DPELORIN_SANITIZE= >/dev/null
cmake --build "$BUILD" --target fuzz_importprobe fuzz_importpatch

mkdir -p "$BUILD/findings"
for target in importprobe importpatch; do
  corpus="$BUILD/corpus/$target"
  mkdir -p "$corpus"
  for f in build/*/fixtures/*.dll build/*/fixtures/*.exe; do
    if [ -f "$f" ] && [ "$(stat -c %s "$f")" -le 65536 ]; then
      cp "$f" "$corpus/"
    fi
  done
  echo "== fuzz_$target for $TIME s"
  "$BUILD/fuzz/fuzz_$target" -max_total_time="$TIME" -max_len=65536 -print_final_stats=1 \
    -artifact_prefix="$BUILD/findings/$target-" "$corpus"
done
