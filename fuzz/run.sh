#!/usr/bin/env bash
# Builds the libFuzzer targets under the address and undefined-behaviour
# sanitizers and runs each for SECONDS (default 60), one after the other:
#   fuzz/run.sh SECONDS [cutter|mci|invoke|convert ...]
# Corpora grow in build/fuzz/corpus/<target> (seeded from fuzz/seeds,
# tests/data and the regression inputs); crashing inputs land in
# build/fuzz/findings/<target>. Copy each into tests/fuzz/regressions/<target>
# once it is fixed: the ordinary test suite replays that folder.
# Exits non-zero when any target found something.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(cutter mci invoke convert)
# Absolute: the targets change their working folder.
build=$PWD/build/fuzz

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER="${TVX_FUZZ_CC:-clang-14}" -DCMAKE_CXX_COMPILER="${TVX_FUZZ_CXX:-clang++-14}" \
  -DTVX_FUZZ=ON -DTVX_SANITIZE=ON -DBUILD_TESTING=OFF -DTVX_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build "$build" -j2 --target "${targets[@]/#/tvx_fuzz_}"

# A 32-byte parameter block for the cutter's inputs: mode, three times, then
# offsets and marks for the scanner mode.
params() { printf "$1"; head -c 32 /dev/zero | tr '\0' '\t' | head -c "$2"; }

seed() {
  local target=$1 corpus=$build/corpus/$1
  mkdir -p "$corpus"
  [ -d "fuzz/seeds/$target" ] && cp -n fuzz/seeds/"$target"/* "$corpus"/ 2>/dev/null || true
  [ -d "tests/fuzz/regressions/$target" ] && cp -n tests/fuzz/regressions/"$target"/* "$corpus"/ 2>/dev/null || true
  case $target in
  cutter)
    for file in tests/data/*.mpg tests/data/*.m1v; do
      local name
      name=$(basename "$file")
      for size in 3000 20000 40000; do
        # Whole cut from 1 s to 4 s of 10; the steps one by one; scanners.
        { head -c $size "$file"; params '\000\003\006\014' 28; } >"$corpus/$name.$size.cut"
        { head -c $size "$file"; params '\001\003\006\014\000' 27; } >"$corpus/$name.$size.steps"
        { head -c $size "$file"; params '\002\003\000\100\000\000\010\000\020\000\000\000\011\000\100\000\000' 15; } \
          >"$corpus/$name.$size.scan"
      done
    done
    ;;
  mci)
    for file in tests/data/system_ffmpeg.mpg tests/data/elementary_ffmpeg.m1v; do
      { printf '\001'; head -c 40000 "$file"; } >"$corpus/file.$(basename "$file")"
    done
    ;;
  esac
}

status=0
passed=0
failed=0
for target in "${targets[@]}"; do
  seed "$target"
  findings=$build/findings/$target
  mkdir -p "$findings"
  options=(-max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1
    -artifact_prefix="$findings/")
  case $target in
  cutter) options+=(-max_len=65536) ;;
  mci) options+=(-max_len=8192 -dict="$PWD/fuzz/mci.dict") ;;
  invoke) options+=(-max_len=4096) ;;
  convert) options+=(-max_len=2048) ;;
  esac
  echo "== fuzzing $target for $seconds s"
  if ! "$build/bin/tvx_fuzz_$target" "${options[@]}" "$build/corpus/$target" 2>"$build/$target.log"; then
    status=1
    failed=$((failed + 1))
    echo "!! $target found a failure; the input is in $findings:" >&2
    grep -E "fuzz check failed|ERROR: |SUMMARY" "$build/$target.log" | head -5 >&2 || true
  else
    passed=$((passed + 1))
  fi
  grep -E "^stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb)" "$build/$target.log" || true
done
echo "fuzz: $passed passed, $failed failed"
exit $status
