#!/usr/bin/env bash
# The cut of 80 % of a ~1 GB MPEG-1 system stream against copies of the same
# number of bytes from the same place with dd (bs=16k and bs=1M), side by side
# in one run; also the tarvex10 cut command and, where installed, ffmpeg's
# stream copy and mpgtx on the same time range (mpgtx takes it as
# [MM:SS-MM:SS]: plain numbers are byte offsets to it).
#
# Then the same cut onto an existing output, as a re-cut replaces an earlier
# one: tvx_cut (its CutVideo empties the old file) and `tarvex10 cut --force`
# (writes a new file, renames it over the old one and removes the old one)
# against dd writing onto an existing file as a user types it (`dd of=OLD`:
# dd truncates it itself; conv=notrunc would not replace the file). Both pay
# for freeing the old file's blocks; rm-y times that freeing alone: the
# removal of the earlier output. Each of these runs
# finds a copy of an earlier cut at its output, put there and synced untimed.
# Last, the peak resident memory of one cut of each kind (/usr/bin/time -v;
# the target for the cutter is at most 12 MiB for this 1 GB cut).
#
#   bench/cut_vs_dd.sh [runs]        (default 5 runs of each)
#
# Each timed run starts with its output removed and a sync outside the
# timing, so that no command pays for the write-back of the one before; the
# commands alternate, their order turning by one each round. The whole set
# runs twice: output on the work folder's disk, then on tmpfs (/dev/shm),
# where no disk write-back interferes at all. For each command: min, median
# and max, and the ratios of medians and of minimums to both dd runs.
#
# Needs ffmpeg to build the input, /usr/bin/time (GNU time) for the memory,
# and the cutter's programs:
#   cmake --build build/release --target tvx_cut tarvex10_command
# Work files go to $TVX_BENCH_DIR (default /tmp/tvx_bench, about 3 GB), and
# up to 1 GB to /dev/shm while the tmpfs round runs.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
build=${TVX_BUILD_DIR:-build/release}
cutter=$build/bin/tvx_cut
command_line=$build/bin/tarvex10
dir=${TVX_BENCH_DIR:-/tmp/tvx_bench}
shm=/dev/shm/tvx_bench.$$
mkdir -p "$dir"
[ -x "$cutter" ] || { echo "build $cutter first" >&2; exit 1; }
[ -x "$command_line" ] || { echo "build $command_line first" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "ffmpeg is needed to build the input" >&2; exit 1; }
trap 'rm -rf "$shm"' EXIT

# The input: about 1 GB of MPEG-1 video and audio encoded and multiplexed by
# ffmpeg in one go (a few minutes, once), so that its group time codes run on
# as in any recording; 20 s encoded first tell the duration that fills 1 GB.
# (A loop by stream copy would restart the time codes every copy: the command
# then indexes the file in one pass before cutting, a cost of joined files
# and not of the cut.)
big="$dir/continuous.mpg"
if [ ! -s "$big" ]; then
  encode() { # $1: seconds, $2: output
    ffmpeg -hide_banner -loglevel error -y -f lavfi -i "testsrc2=size=640x480:rate=25:duration=$1" \
      -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=$1" \
      -c:v mpeg1video -b:v 8M -maxrate 8M -bufsize 2M -g 12 -bf 2 -c:a mp2 -b:a 192k -f mpeg "$2"
  }
  encode 20 "$dir/base.mpg"
  base=$(stat -c %s "$dir/base.mpg")
  rm -f "$dir/base.mpg"
  encode $(( 20 * (1024 * 1024 * 1024) / base )) "$big.part"
  mv "$big.part" "$big"
fi
size=$(stat -c %s "$big")
total=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$big" | cut -d. -f1)
from=$(( total / 10 ))
to=$(( total * 9 / 10 ))
clock() { printf '%02d:%02d' $(( $1 / 60 )) $(( $1 % 60 )); }

# The command's syntax changes over time: take the options its help offers.
# The command cuts as users run it, at the groups the stream's time codes
# place at FROM and TO: its part differs from tvx_cut's by less than a group
# at each end (see "bytes out").
help=$("$command_line" cut --help 2>&1 || true)
command_options=()
for option in --no-progress; do
  grep -q -- "$option\b" <<<"$help" && command_options+=("$option")
done

# One cut with tvx_cut, untimed, gives the range that dd copies.
"$cutter" "$big" "$dir/probe.mpg" "$from" "$to" "$total" > "$dir/cut.info" 2>/dev/null
start=$(awk '$1 == "startO" { print $2 }' "$dir/cut.info")
bytes=$(stat -c %s "$dir/probe.mpg")
rm -f "$dir/probe.mpg"
cat "$big" > /dev/null # into the page cache

# A cut's output, kept as the earlier result that the "onto an existing
# output" runs replace.
"$cutter" "$big" "$dir/existing.mpg" "$from" "$to" "$total" > /dev/null 2>&1

# Names ending in -y write onto an existing output.
tools=(cut command dd16k dd1M)
command -v ffmpeg >/dev/null && tools+=(ffmpeg)
have_mpgtx=0
command -v mpgtx >/dev/null && { tools+=(mpgtx); have_mpgtx=1; }
tools+=(cut-y command-y dd16k-y dd1M-y rm-y)

# Runs tool $1 writing into folder $2, under the command in ${measure[@]} if
# any.
measure=()
run_tool() {
  local out=$2
  case $1 in
    cut) "${measure[@]}" "$cutter" "$big" "$out/cut.mpg" "$from" "$to" "$total" ;;
    command) "${measure[@]}" "$command_line" cut "${command_options[@]}" "$big" "$out/command.mpg" "$from" "$to" "$total" ;;
    dd16k) "${measure[@]}" dd if="$big" of="$out/dd16k.out" bs=16k iflag=skip_bytes,count_bytes skip="$start" count="$bytes" status=none ;;
    dd1M) "${measure[@]}" dd if="$big" of="$out/dd1M.out" bs=1M iflag=skip_bytes,count_bytes skip="$start" count="$bytes" status=none ;;
    ffmpeg) "${measure[@]}" ffmpeg -nostdin -hide_banner -loglevel quiet -y -ss "$from" -to "$to" -i "$big" -c copy -f mpeg "$out/ffmpeg.mpg" ;;
    mpgtx) "${measure[@]}" mpgtx -s "$big" "[$(clock "$from")-$(clock "$to")]" -b "$out/mpgtx" || true ;;
    cut-y) "${measure[@]}" "$cutter" "$big" "$out/old.mpg" "$from" "$to" "$total" ;;
    command-y) "${measure[@]}" "$command_line" cut --force "${command_options[@]}" "$big" "$out/old.mpg" "$from" "$to" "$total" ;;
    dd16k-y) "${measure[@]}" dd if="$big" of="$out/old.mpg" bs=16k iflag=skip_bytes,count_bytes skip="$start" count="$bytes" status=none ;;
    dd1M-y) "${measure[@]}" dd if="$big" of="$out/old.mpg" bs=1M iflag=skip_bytes,count_bytes skip="$start" count="$bytes" status=none ;;
    rm-y) "${measure[@]}" rm "$out/old.mpg" ;;
  esac
}
outputs() { echo "$1/cut.mpg $1/command.mpg $1/dd16k.out $1/dd1M.out $1/ffmpeg.mpg $1/old.mpg $1/mpgtx"*; }

stats() { # min median max of the numbers on standard input
  sort -n | awk '{ v[NR] = $1 } END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2;
                                      printf "%.6f %.6f %.6f\n", v[1], m, v[NR] }'
}

bench() { # $1: label, $2: output folder
  local label=$1 out=$2 round tool k n=${#tools[@]}
  mkdir -p "$out"
  for tool in "${tools[@]}"; do : > "$dir/$tool.times"; done
  declare -A written
  for round in $(seq "$runs"); do
    for k in $(seq 0 $(( n - 1 ))); do
      tool=${tools[$(( (k + round) % n ))]}
      # shellcheck disable=SC2046
      rm -f $(outputs "$out")
      [ "${tool%-y}" = "$tool" ] || cp "$dir/existing.mpg" "$out/old.mpg"
      sync
      local t0=$EPOCHREALTIME
      run_tool "$tool" "$out" > /dev/null 2> "$dir/$tool.err" || { echo "$tool failed:" >&2; cat "$dir/$tool.err" >&2; exit 1; }
      local t1=$EPOCHREALTIME
      awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.6f\n", b - a }' >> "$dir/$tool.times"
      written[$tool]=$(find "$out" -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')
    done
  done
  # shellcheck disable=SC2046
  rm -f $(outputs "$out")
  read -r dd16_min dd16_med _ < <(stats < "$dir/dd16k.times")
  read -r dd1m_min dd1m_med _ < <(stats < "$dir/dd1M.times")
  echo
  echo "output on $label ($runs runs each, alternating, sync before each):"
  printf "  %-10s %9s %9s %9s %11s %11s %11s %11s %12s\n" "" min median max "med/dd16k" "min/dd16k" \
    "med/dd1M" "min/dd1M" "bytes out"
  for tool in "${tools[@]}"; do
    read -r lo med hi < <(stats < "$dir/$tool.times")
    awk -v t="$tool" -v lo="$lo" -v med="$med" -v hi="$hi" -v a="$dd16_med" -v b="$dd16_min" -v c="$dd1m_med" \
      -v d="$dd1m_min" -v w="${written[$tool]}" \
      'BEGIN { printf "  %-10s %9.3f %9.3f %9.3f %11.2f %11.2f %11.2f %11.2f %12s\n", t, lo, med, hi, med / a, lo / b,
               med / c, lo / d, w }'
  done
  for tool in cut-y command-y; do
    read -r lo med _ < <(stats < "$dir/$tool.times")
    for dd in dd16k-y dd1M-y; do
      read -r dd_lo dd_med _ < <(stats < "$dir/$dd.times")
      awk -v t="$tool" -v d="$dd" -v lo="$lo" -v med="$med" -v a="$dd_med" -v b="$dd_lo" \
        'BEGIN { printf "  onto an existing output: %s/%s %.2f (medians), %.2f (minimums)\n", t, d, med / a, lo / b }'
    done
  done
}

peak_memory() { # the peak resident memory of one run of each cutting tool
  local out=$dir/out tool kib
  echo
  echo "peak resident memory, one cut each, output on disk (target for the cutter: <= 12 MiB):"
  for tool in cut command ffmpeg mpgtx; do
    [ "$tool" != ffmpeg ] || command -v ffmpeg >/dev/null || continue
    [ "$tool" != mpgtx ] || [ "$have_mpgtx" = 1 ] || continue
    # shellcheck disable=SC2046
    rm -f $(outputs "$out")
    measure=(/usr/bin/time -v -o "$dir/time.out")
    run_tool "$tool" "$out" > /dev/null 2>&1 || { measure=(); echo "  $tool failed" >&2; continue; }
    measure=()
    kib=$(awk -F: '/Maximum resident set size/ { print $2 + 0 }' "$dir/time.out")
    awk -v t="$tool" -v k="$kib" 'BEGIN { printf "  %-14s %7.1f MiB\n", t, k / 1024 }'
  done
  # shellcheck disable=SC2046
  rm -f $(outputs "$out")
}

echo "input: $size bytes, $total s; cut from $from s to $to s (the cutter's time unit: seconds)"
echo "dd copies $bytes bytes from offset $start (the cut's output size, from its start offset)"
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
echo "tarvex10 cut options: ${command_options[*]:-(none)}; times given as FROM TO TOTAL in seconds"
[ "$have_mpgtx" = 1 ] || echo "mpgtx: not installed, skipped (it would get the range as [$(clock "$from")-$(clock "$to")])"
bench "disk ($dir)" "$dir/out"
bench "tmpfs (/dev/shm)" "$shm"
[ -x /usr/bin/time ] && peak_memory || echo "peak memory: /usr/bin/time not installed, skipped"
echo
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
