#!/bin/sh
# The main job: an unattended queue run. Makes two short test sources, puts three jobs in a
# fresh store (one pass, two-part, and one with the 2:3 pulldown pass), runs
#   vantaq -start -minimize -exit
# without a display, and shows what came out.
set -e
build=${1:-build}
bin="$build/bin"
work=${VANTAQ_DEMO_DIR:-out/demo}
rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
export VANTAQ_STORE="$work/store.sqlite"

echo "== sources in $work"
ffmpeg -v error -f lavfi -i testsrc2=size=320x240:rate=24000/1001 -t 4 -c:v mjpeg -q:v 3 \
    "$work/film.avi"
ffmpeg -v error -f lavfi -i testsrc2=size=320x240:rate=25 -f lavfi -i sine=frequency=440 \
    -t 3 -c:v mjpeg -q:v 3 -c:a pcm_s16le "$work/pal.avi"
cp "$work/film.avi" "$work/telecine.avi"

job() { # position name input template method telecide end-frame
    cat <<REG
[HKEY_CURRENT_USER\\Software\\Pellmoor\\Vantaq\\Jobs\\$1]
"Status"="Pending"
"Name"="$2"
"Input"="$3"
"Template"="$4"
"Method"=dword:0000000$5
"Telecide"=dword:0000000$6
"Aspect Ratio"=dword:00000002
"Bitrate (min)"=dword:00000000
"Bitrate (max)"=dword:00001f40
"Bitrate (avg)"=dword:00000fa0
"Q factor"=dword:00000028
"Bias"=dword:0000001e
"Passes"=dword:00000002
"Quality"=dword:00000010
"StartFrame"=dword:00000000
"EndFrame"=dword:$7
"ConvertToFilm"=dword:00000000
"TopFieldFirst"=dword:00000001
"Progressive"=dword:00000001
"Alternate Scan"=dword:00000000
"Angle"=dword:00000000
"Chapters"="0,48"

REG
}

{
    printf 'Windows Registry Editor Version 5.00\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\Software\\Pellmoor\\Vantaq]\r\n'
    printf '"EnableLogging"=dword:00000001\r\n"OutputSameDir"=dword:00000001\r\n'
    printf '"OutputDirectory"=""\r\n"DeleteMPV"=dword:00000000\r\n"AutoBias"=dword:00000000\r\n'
    printf '"CCEPriority"=dword:00000001\r\n"HideCCEWindow"=dword:00000000\r\n\r\n'
    job 0 "Film one pass" "$work/film.avi" 2 2 0 00000060
    job 1 "PAL two part" "$work/pal.avi" 0 0 0 0000004b
    job 2 "Film pulldown" "$work/telecine.avi" 2 2 1 00000060
} > "$work/queue.reg"
"$bin/vantaq-reg" import "$work/queue.reg"

echo "== vantaq -start -minimize -exit"
rm -f "$bin/vantaq.log"
QT_QPA_PLATFORM=offscreen timeout 600 "$bin/vantaq" -start -minimize -exit
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
