#!/usr/bin/env bash
# Makes the small real MPEG-1 files that the tests read, with real encoders
# and multiplexers from Debian's packages (ffmpeg, mjpegtools). The files are
# committed; run this again only to remake them.
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

video="testsrc2=size=320x240:rate=25"
audio="sine=frequency=440:sample_rate=44100"
quiet=(-hide_banner -loglevel error -y)

# System stream, MPEG-1 video and MPEG-1 layer II audio, ffmpeg's program-stream muxer.
ffmpeg "${quiet[@]}" -f lavfi -i "$video:duration=6" -f lavfi -i "$audio:duration=6" \
  -c:v mpeg1video -b:v 400k -g 12 -bf 2 -c:a mp2 -b:a 64k -f mpeg system_ffmpeg.mpg

# VCD-style system stream from ffmpeg's VCD muxer (352x288 at 25 fps, 2324-byte packs).
ffmpeg "${quiet[@]}" -f lavfi -i "testsrc2=size=352x288:rate=25:duration=4" -f lavfi -i "$audio:duration=4" \
  -target pal-vcd -f vcd system_vcd.mpg

# Video elementary stream from ffmpeg, 29.97 fps.
ffmpeg "${quiet[@]}" -f lavfi -i "testsrc2=size=176x144:rate=30000/1001:duration=5" \
  -c:v mpeg1video -b:v 200k -g 15 -f mpeg1video elementary_ffmpeg.m1v

# Video elementary stream from mjpegtools' encoder (MPEG-1, format 0), then a
# VCD-style system stream from its multiplexer.
ffmpeg "${quiet[@]}" -f lavfi -i "testsrc2=size=352x288:rate=25:duration=4" -pix_fmt yuv420p \
  -f yuv4mpegpipe "$tmp/in.y4m"
mpeg2enc -f 0 -b 600 -q 8 -o elementary_mpeg2enc.m1v < "$tmp/in.y4m" 2>/dev/null
ffmpeg "${quiet[@]}" -f lavfi -i "$audio:duration=4" -c:a mp2 -b:a 128k -f mp2 "$tmp/audio.mp2"
mplex -f 1 -o system_mplex.mpg elementary_mpeg2enc.m1v "$tmp/audio.mp2" 2>/dev/null

ls -l *.mpg *.m1v
