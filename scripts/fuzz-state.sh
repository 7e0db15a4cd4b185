#!/bin/sh
# Fuzzes the VST2 state reader and the preset-file reader (fuzz/fuzz_vst2state,
# fuzz/fuzz_fxb) with libFuzzer, ASan and UBSan, each for a bounded time.
# Not part of the normal test run.
#
#   sh scripts/fuzz-state.sh [seconds per target, default 60] [build dir, default build/fuzz-state]
#
# Configures a clang tree with PELORIN_FUZZ=ON, builds the two targets, seeds
# each corpus with a few small well-formed inputs, and runs each target. A
# crash, leak or hang (-timeout, 10 s) stops the script with status 1 and
# leaves its input as <build dir>/findings/<target>-*; the corpus grows in
# <build dir>/corpus.
set -eu
cd "$(dirname "$0")/.."
TIME="${1:-60}"
BUILD="${2:-build/fuzz-state}"

cmake -S . -B "$BUILD" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELORIN_FUZZ=ON -DPELORIN_SANITIZE= >/dev/null
cmake --build "$BUILD" --target fuzz_vst2state fuzz_fxb

# Seeds. State inputs start with two bytes that choose the plugin model
# (see fuzz_vst2state.cpp): 0x04 0x0B is KeepEdits on, 3 parameters, 1 program.
seeds="$BUILD/corpus/vst2state"
mkdir -p "$seeds"
# version -9, flags, ChunkSize 0, Program 0, 3 values, 1 name
printf '\004\013\367\377\377\377\001\000\000\000\000\000\000\000\000\003\000\000\000\000\000\200\077\000\000\000\077\000\000\200\076\001\000\000\000Lead\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000' > "$seeds/v9-values"
# version -9 of a chunk plugin: ChunkSize 4, Program 0, chunk
printf '\001\013\367\377\377\377\010\004\000\000\000\000\000\000\000abcd' > "$seeds/v9-chunk"
# version 0: two values, no names; version -5 with a trailing program; the empty state
printf '\000\012\002\000\000\000\000\000\200\077\000\000\000\077' > "$seeds/v0"
printf '\000\012\373\377\377\377\000\000\000\000\001\000\000\000\000\000\200\077\000\000\000\000\000\000\000\000' > "$seeds/v5"
printf '\000\012\100\342\001\000' > "$seeds/empty"

seeds="$BUILD/corpus/fxb"
mkdir -p "$seeds"
# a program of one value, an opaque program of size 0, a bank of one program
printf 'CcnK\000\000\000\064FxCk\000\000\000\001PtPg\000\000\000\001\000\000\000\001Lead\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\077\200\000\000' > "$seeds/fxck"
printf 'CcnK\000\000\000\064FPCh\000\000\000\001PtCk\000\000\000\001\000\000\000\001Name\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000chunk' > "$seeds/fpch"
{
  printf 'CcnK\000\000\000\230FxBk\000\000\000\001PtPg\000\000\000\001\000\000\000\001'
  head -c 128 /dev/zero
  cat "$BUILD/corpus/fxb/fxck"
} > "$seeds/fxbk"

mkdir -p "$BUILD/findings"
for target in vst2state fxb; do
  echo "== fuzz_$target for $TIME s"
  "$BUILD/fuzz/fuzz_$target" -max_total_time="$TIME" -max_len=65536 -timeout=10 -rss_limit_mb=1024 \
    -print_final_stats=1 -artifact_prefix="$BUILD/findings/$target-" "$BUILD/corpus/$target"
done
