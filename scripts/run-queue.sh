#!/bin/sh
# The main job: an unattended queue run. Makes five short test sources, writes a job list file of
# five jobs (a film source in one pass, which gets the 2:3 pulldown pass; a 25 fps source by the
# two-part method; a 29.97 fps source at constant bitrate; a 15 fps webcam-like MP4, encoded at
# 25 fps; a 640x480 29.97 phone-sized MP4, fitted to a 720x480 DVD frame), runs
#   vantaq -clear -source:jobs.txt -start -minimize -exit
# without a display on a fresh store, and shows what came out.
set -e
build=${1:-build}
bin="$build/bin"
work=${VANTAQ_DEMO_DIR:-out/demo}
rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
export VANTAQ_STORE="$work/store.sqlite"

echo "== sources in $work"
ffmpeg -v error -f lavfi -i testsrc2=size=720x480:rate=24000/1001 -t 4 -c:v mjpeg -q:v 3 \
    "$work/film.avi"
ffmpeg -v error -f lavfi -i testsrc2=size=720x576:rate=25 -f lavfi -i sine=frequency=440 \
    -t 3 -c:v mjpeg -q:v 3 -c:a pcm_s16le "$work/pal.avi"
ffmpeg -v error -f lavfi -i testsrc2=size=720x480:rate=30000/1001 -t 3 -c:v mjpeg -q:v 3 \
    "$work/ntsc.avi"
ffmpeg -v error -f lavfi -i testsrc2=size=720x576:rate=15 -t 3 -c:v libx264 -pix_fmt yuv420p \
    "$work/webcam.mp4"
ffmpeg -v error -f lavfi -i testsrc2=size=640x480:rate=30000/1001 -t 3 -c:v libx264 \
    -pix_fmt yuv420p "$work/phone.mp4"

{
    printf 'Windows Registry Editor Version 5.00\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\Software\\Pellmoor\\Vantaq]\r\n'
    printf '"EnableLogging"=dword:00000001\r\n"OutputSameDir"=dword:00000001\r\n'
    printf '"OutputDirectory"=""\r\n"DeleteMPV"=dword:00000000\r\n"AutoBias"=dword:00000000\r\n'
    printf '"CCEPriority"=dword:00000001\r\n"HideCCEWindow"=dword:00000000\r\n'
} > "$work/settings.reg"
"$bin/vantaq-reg" import "$work/settings.reg"

# The job list: ignored number, source, min/max/avg kbit/s, template position (0 two-part,
# 2 one pass, 3 constant bitrate), passes, bias, quality, first/last frame, aspect (1 = 16:9), alternate scan,
# progressive, top field first, chapter points.
{
    printf '; 1.0.1.5\r\n'
    printf '0,%s,0,8000,4000,2,1,-1,-1,0,96,1,0,1,1,0,48\r\n' "$work/film.avi"
    printf '0,%s,0,8000,4000,0,2,-1,-1,-1,0,0,0,1,1\r\n' "$work/pal.avi"
    printf '0,%s,0,6000,3000,3,1,-1,-1,-1,0,0,0,0,1\r\n' "$work/ntsc.avi"
    printf '0,%s,0,8000,4000,2,1,-1,-1,-1,0,0,0,1,1\r\n' "$work/webcam.mp4"
    printf '0,%s,0,8000,4000,2,1,-1,-1,-1,0,0,0,1,1\r\n' "$work/phone.mp4"
} > "$work/jobs.txt"

echo "== vantaq -clear -source:$work/jobs.txt -start -minimize -exit"
rm -f "$bin/vantaq.log"
QT_QPA_PLATFORM=offscreen timeout 600 "$bin/vantaq" -clear "-source:$work/jobs.txt" -start \
    -minimize -exit
echo "== log ($bin/vantaq.log)"
cat "$bin/vantaq.log" | tr -d '\r'

echo "== job statuses"
"$bin/vantaq-reg" export 'Software\Pellmoor\Vantaq\Jobs' | tr -d '\r' | grep -E '^\[|"(Name|Status)"'
echo "== streams"
for f in "$work"/*.mpv "$work"/*.m2v; do
    [ -e "$f" ] || continue
    printf '%s: ' "$(basename "$f")"
    ffprobe -v error -select_streams v:0 -count_frames \
        -show_entries stream=codec_name,width,height,r_frame_rate,nb_read_frames \
        -of csv=p=0 "$f" | head -n 1
done
echo "== DVD-Video verdicts (vantaq-probe)"
for f in "$work"/*.mpv "$work"/*.m2v; do
    # A stream that had the 2:3 pass is judged as the pass left it.
    [ -e "$f" ] && [ ! -e "$f.m2v" ] || continue
    printf '%s: ' "$(basename "$f")"
    "$bin/vantaq-probe" "$f" | tr -d '\r' | grep -o 'DVD-Video: .*' | head -n 1 || true
done
