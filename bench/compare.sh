#!/usr/bin/env bash
# Measures zembra-cli against ffmpeg (identical encoder settings) and HandBrakeCLI (closest
# settings) on generated inputs, and writes bench/RESULTS.md. Not run by the tests or CI.
#
#   bench/compare.sh            # all measurements (about 10-15 minutes on 2 cores)
#   RUNS=1 bench/compare.sh     # one run each, for a quick look
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
RUNS=${RUNS:-3}
WORK=${WORK:-$(mktemp -d /tmp/zembra-bench-XXXXXX)}
THREADS=${THREADS:-$(nproc)}

sudo_cmd=()
[[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
for package in time handbrake-cli; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q "$package" >/dev/null
done
make -s build >/dev/null
CLI=$ROOT/build/src/cli/zembra-cli

echo "Generating inputs in $WORK"
gen() { ffmpeg -nostdin -y -hide_banner -loglevel error "$@"; }
gen -f lavfi -i "testsrc2=size=1280x720:rate=25:duration=10" -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=10" \
  -c:v libx264 -preset veryfast -crf 18 -c:a aac -b:a 192k -ac 2 "$WORK/in720.mp4"
gen -f lavfi -i "testsrc2=size=1920x1080:rate=25:duration=30" -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=30" \
  -c:v libx264 -preset veryfast -crf 18 -c:a aac -b:a 192k -ac 2 "$WORK/in1080.mp4"
gen -f lavfi -i "testsrc2=size=1920x1080:rate=25:duration=60" -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=60" \
  -c:v libx264 -preset ultrafast -crf 18 -c:a aac -b:a 192k -ac 2 "$WORK/in1080-60.mp4"

# median wall seconds and peak kilobytes of RUNS runs of a command: "wall peak"
measure() {
  local walls=() peaks=() line
  for ((i = 0; i < RUNS; i++)); do
    line=$(/usr/bin/time -f "%e %M" "$@" 2>&1 >/dev/null | tail -n 1)
    walls+=("${line% *}")
    peaks+=("${line#* }")
  done
  local wall peak
  wall=$(printf '%s\n' "${walls[@]}" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
  peak=$(printf '%s\n' "${peaks[@]}" | sort -n | tail -n 1)
  echo "$wall $peak"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.3f", a / b; else print "-" }'; }

declare -A RESULT
encode_rows=""
for size in 720 1080; do
  in=$WORK/in$size.mp4
  echo "Encoding ${size}p"
  RESULT[z$size]=$(measure "$CLI" convert "$in" -o "$WORK/z$size.mp4" --threads "$THREADS" \
    --set crf=23 --set preset=medium --set ab=128000)
  RESULT[f$size]=$(measure ffmpeg -nostdin -y -loglevel error -threads "$THREADS" -i "$in" \
    -c:v libx264 -crf 23 -preset medium -threads "$THREADS" -c:a aac -b:a 128k "$WORK/f$size.mp4")
  RESULT[h$size]=$(measure HandBrakeCLI -i "$in" -o "$WORK/h$size.mp4" -e x264 -q 23 \
    --encoder-preset medium -E av_aac -B 128 --cfr 2>/dev/null || echo "0 0")
  read -r zw zm <<<"${RESULT[z$size]}"
  read -r fw fm <<<"${RESULT[f$size]}"
  read -r hw hm <<<"${RESULT[h$size]}"
  encode_rows+="| ${size}p H.264 CRF 23 medium + AAC 128k | $zw | $fw | $hw | $(ratio "$zw" "$fw") | $((zm / 1024)) | $((fm / 1024)) | $((hm / 1024)) |"$'\n'
done

echo "Remuxing"
read -r rz rzm <<<"$(measure "$CLI" convert "$WORK/in1080-60.mp4" -o "$WORK/remux.mkv" --copy)"
read -r rf rfm <<<"$(measure ffmpeg -nostdin -y -loglevel error -i "$WORK/in1080-60.mp4" -c copy "$WORK/remux-f.mkv")"

echo "Two at once"
parallel_pair() {
  "$CLI" convert "$WORK/in720.mp4" -o "$WORK/p1.mp4" --threads 1 --set crf=23 --set preset=medium &
  "$CLI" convert "$WORK/in720.mp4" -o "$WORK/p2.mp4" --threads 1 --set crf=23 --set preset=medium &
  wait
}
serial_pair() {
  "$CLI" convert "$WORK/in720.mp4" -o "$WORK/s1.mp4" --threads 1 --set crf=23 --set preset=medium
  "$CLI" convert "$WORK/in720.mp4" -o "$WORK/s2.mp4" --threads 1 --set crf=23 --set preset=medium
}
export -f parallel_pair serial_pair
export CLI WORK
read -r pw _ <<<"$(measure bash -c parallel_pair)"
read -r sw _ <<<"$(measure bash -c serial_pair)"

echo "Paused CPU and progress rate"
"$CLI" convert "$WORK/in1080.mp4" -o "$WORK/paused.mp4" --json > "$WORK/progress.jsonl" 2>/dev/null &
pid=$!
sleep 3
kill -USR1 "$pid"
sleep 1
cpu_before=$(awk '{print $14 + $15}' "/proc/$pid/stat")
sleep 5
cpu_after=$(awk '{print $14 + $15}' "/proc/$pid/stat")
kill -USR2 "$pid"
wait "$pid" || true
ticks=$(getconf CLK_TCK)
paused_cpu=$(awk -v a="$cpu_before" -v b="$cpu_after" -v t="$ticks" 'BEGIN { printf "%.2f", (b - a) / t / 5 * 100 }')
lines=$(grep -c '"progress"' "$WORK/progress.jsonl" || true)
read -r z1080 _ <<<"${RESULT[z1080]}"
rate=$(awk -v n="$lines" -v w="$z1080" 'BEGIN { if (w > 0) printf "%.1f", n / (w + 5); else print "-" }')

{
  echo "# Benchmark results"
  echo
  echo "Machine: $(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GiB", $2 / 1048576}' /proc/meminfo), $(uname -sr)."
  echo "Versions: $("$CLI" version | head -n 1); FFmpeg libraries $(ffmpeg -version | head -n 1 | awk '{print $3}'); HandBrakeCLI $(HandBrakeCLI --version 2>/dev/null | head -n 1 | awk '{print $2}')."
  echo "Median of $RUNS runs each, wall seconds; peak memory in MiB; threads: $THREADS. Generated inputs (testsrc2 + tone)."
  echo
  echo "| Job | zembra-cli | ffmpeg | HandBrakeCLI | zembra/ffmpeg | zembra MiB | ffmpeg MiB | HandBrake MiB |"
  echo "|---|---|---|---|---|---|---|---|"
  printf '%s' "$encode_rows"
  echo
  echo "| Other measure | zembra-cli | reference | ratio | goal |"
  echo "|---|---|---|---|---|"
  echo "| Remux 60 s 1080p (stream copy) | $rz s | ffmpeg -c copy $rf s | $(ratio "$rz" "$rf") | <= 1.10 |"
  echo "| Two 720p conversions at once, 1 thread each | $pw s | back to back $sw s | speed-up $(ratio "$sw" "$pw") | >= 1.8 |"
  echo "| CPU while paused for 5 s | $paused_cpu % of a core | | | < 1 % |"
  echo "| Progress notifications per second (JSON client) | $rate | | | about 20 at most |"
} > bench/RESULTS.md
cat bench/RESULTS.md
