#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs each for SECONDS (default 60), two at a time. The starting inputs in
# fuzz/corpus/<target> are copied to a scratch corpus, so the tree stays small.
# A crash or failed check stops with status 1 and leaves the input as
# build-fuzz/findings/<target>/crash-*. Usage: scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(fuzz_settings fuzz_filters fuzz_edges fuzz_symbols
                                     fuzz_recording fuzz_audio fuzz_vantry)

build=build-fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 -DSKELMAR_FUZZ=ON \
  -DSKELMAR_TESTS=OFF -DSKELMAR_BENCH=OFF -DSKELMAR_DESKTOP=OFF >/dev/null
cmake --build "$build" --target "${targets[@]}"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
run() {
  local t="$1" work="$build/corpus/$1" out="$build/findings/$1"
  mkdir -p "$work" "$out"
  cp -n fuzz/corpus/"$t"/* "$work"/ 2>/dev/null || true
  if "$build/fuzz/$t" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
       -max_len=65536 -print_final_stats=1 -artifact_prefix="$out/" "$work" \
       >"$build/findings/$t.log" 2>&1; then
    echo "$t: $(grep -E '^#[0-9]+[[:space:]]+DONE' "$build/findings/$t.log" | tail -1)"
  else
    echo "$t: FAILED (input and log in $out)"
    tail -40 "$build/findings/$t.log"
    return 1
  fi
}

status=0
for ((i = 0; i < ${#targets[@]}; i += 2)); do
  pids=()
  for t in "${targets[@]:i:2}"; do
    run "$t" & pids+=($!)
  done
  for p in "${pids[@]}"; do wait "$p" || status=1; done
done
exit $status
