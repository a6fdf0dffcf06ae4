#!/usr/bin/env bash
# Cuts a ~1 GB MPEG-1 system stream with the cutter and copies the same
# number of bytes from the same place with dd bs=16k, alternately, in one
# run; where installed, also ffmpeg's stream copy and mpgtx on the same time
# range. Prints the median of each and the ratios to dd.
#
#   bench/cut_vs_dd.sh [runs]        (default 5 runs of each)
#
# Needs ffmpeg to build the input, and build/release/bin/tvx_cut:
#   cmake --build --preset release --target tvx_cut
# Work files go to $TVX_BENCH_DIR (default /tmp/tvx_bench, about 4 GB).
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
cutter=build/release/bin/tvx_cut
dir=${TVX_BENCH_DIR:-/tmp/tvx_bench}
mkdir -p "$dir"
[ -x "$cutter" ] || { echo "build $cutter first" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "ffmpeg is needed to build the input" >&2; exit 1; }

# The input: 20 s of real MPEG-1 video and audio, multiplexed by ffmpeg,
# then looped by a stream copy to about 1 GB with continuous time stamps.
big="$dir/input.mpg"
if [ ! -s "$big" ]; then
  ffmpeg -hide_banner -loglevel error -y -f lavfi -i "testsrc2=size=640x480:rate=25:duration=20" \
    -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=20" \
    -c:v mpeg1video -b:v 8M -maxrate 8M -bufsize 2M -g 12 -bf 2 -c:a mp2 -b:a 192k -f mpeg "$dir/base.mpg"
  base=$(stat -c %s "$dir/base.mpg")
  loops=$(( (1024 * 1024 * 1024) / base ))
  ffmpeg -hide_banner -loglevel error -y -stream_loop "$loops" -i "$dir/base.mpg" -c copy -f mpeg "$big"
  rm -f "$dir/base.mpg"
fi
size=$(stat -c %s "$big")
total=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$big" | cut -d. -f1)
from=$(( total / 10 ))
to=$(( total * 9 / 10 ))
echo "input: $size bytes, $total s; cut from $from s to $to s (the cutter's time unit: seconds)"
cat "$big" > /dev/null # into the page cache

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.6f\n", b - a }'; }
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

: > "$dir/cut.times"; : > "$dir/dd.times"; : > "$dir/ffmpeg.times"; : > "$dir/mpgtx.times"
for run in $(seq "$runs"); do
  rm -f "$dir/cut.mpg" "$dir/dd.out"
  t0=$(now)
  "$cutter" "$big" "$dir/cut.mpg" "$from" "$to" "$total" > "$dir/cut.info" 2>/dev/null
  t1=$(now)
  elapsed "$t0" "$t1" >> "$dir/cut.times"
  start=$(awk '$1 == "startO" { print $2 }' "$dir/cut.info")
  bytes=$(stat -c %s "$dir/cut.mpg")
  t0=$(now)
  dd if="$big" of="$dir/dd.out" bs=16k iflag=skip_bytes,count_bytes skip="$start" count="$bytes" status=none
  t1=$(now)
  elapsed "$t0" "$t1" >> "$dir/dd.times"
  if command -v ffmpeg >/dev/null; then
    rm -f "$dir/ffmpeg.mpg"
    t0=$(now)
    ffmpeg -hide_banner -loglevel quiet -y -ss "$from" -to "$to" -i "$big" -c copy -f mpeg "$dir/ffmpeg.mpg"
    t1=$(now)
    elapsed "$t0" "$t1" >> "$dir/ffmpeg.times"
  fi
  if command -v mpgtx >/dev/null; then
    rm -f "$dir"/mpgtx*
    t0=$(now)
    mpgtx -s "$big" "[${from}-${to}]" -b "$dir/mpgtx" > /dev/null 2>&1 || true
    t1=$(now)
    elapsed "$t0" "$t1" >> "$dir/mpgtx.times"
  fi
done

echo "output: $bytes bytes from offset $start; $runs runs each, alternating"
dd_median=$(median < "$dir/dd.times")
printf "%-8s median %8.3f s\n" dd "$dd_median"
for tool in cut ffmpeg mpgtx; do
  [ -s "$dir/$tool.times" ] || { printf "%-8s not installed\n" "$tool"; continue; }
  m=$(median < "$dir/$tool.times")
  printf "%-8s median %8.3f s   ratio to dd %5.2f\n" "$tool" "$m" "$(awk -v a="$m" -v b="$dd_median" 'BEGIN { print a / b }')"
done
rm -f "$dir/cut.mpg" "$dir/dd.out" "$dir/ffmpeg.mpg" "$dir"/mpgtx*
