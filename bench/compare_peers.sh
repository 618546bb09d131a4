#!/bin/sh
# Times `velmor-dump pixels FILE OUT` against the peer decoders (dcmdjpeg,
# dcmdjpls or dcmdrle, and gdcmconv --raw), whole process, on the benchmark
# files that make_bench_data.py and make_codec_bench_data.py make from real
# samples. Each command runs RUNS times,
# interleaved with the others so that a change in the machine's load touches
# all of them alike; the table gives the median and the spread (min-max) in
# milliseconds, the ratio Velmor / fastest peer (target <= 0.80), and the peak
# resident memory of one run of each under /usr/bin/time -v, with Velmor's
# budget: decoded image + largest fragment + 16 MiB. The multi-frame files
# (512 x 512, 100 and 300 frames) are decoded on every core. A last table
# times frame 1 of 1- and 300-frame files as a picture against dcm2pnm or
# dcmj2pnm. The first-picture table times the default 256 x 256 picture
# of 2048 x 2048 JPEG 2000 (lossless, lossy) and baseline JPEG files, made
# from a reduced-resolution decode, against --size full (target <= 0.25),
# dcmj2pnm +on --scale-x-size 256 (baseline JPEG, target <= 0.20) and
# opj_decompress -r 3 on the bare codestream (JPEG 2000, target <= 1.20);
# FIRST_PICTURE_ONLY=1 prints that table alone. The last table: 2048 x 2048
# JPEG XL frames against djxl on the same codestream
# (make_jpegxl_bench_data.py). The video table: frame 151 of a 300-frame
# 1920 x 1080 H.264 file as a picture against ffmpeg decoding the stream up
# to it (target <= 0.50); VIDEO_ONLY=1 prints that table alone, JPEGXL_ONLY=1
# the JPEG XL one.
#
# Before any timing, Velmor's pixel bytes must equal the uncompressed source's
# and the peer's (lossy files: lie within 2 of the specific peer's).
#
# Every command writes over the file its previous run wrote, as when a
# conversion is run again; FRESH=1 times new files instead (the output
# removed before each run).
#
# usage: [FRESH=1] bench/compare_peers.sh [BUILD_DIR] [RUNS]
set -eu

BUILD=${1:-build}
case $BUILD in /*) ;; *) BUILD=$PWD/$BUILD ;; esac
RUNS=${2:-7}
PY=/usr/bin/python3
HERE=$(cd "$(dirname "$0")" && pwd)
DUMP=$BUILD/bin/velmor-dump
DATA=${VELMOR_BENCH_DATA:-$BUILD/bench-data}
case $DATA in /*) ;; *) DATA=$PWD/$DATA ;; esac
WORK=$(mktemp -d "${TMPDIR:-/tmp}/velmor_peers.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

[ -x "$DUMP" ] || { echo "no $DUMP: build velmor-dump first" >&2; exit 1; }
$PY "$HERE/make_bench_data.py" "$DATA"

(cd "$HERE" && $PY make_codec_bench_data.py "$DATA")
$PY "$HERE/make_jpegxl_bench_data.py" "$DATA"

# The first picture of a large compressed file: compressed file : peer
# (dcmj2pnm scaled, or opj_decompress reduced on the codestream)
FIRST_PICTURES="j2k_ct12_2048:opj_decompress
j2k_ct12_2048_r10:opj_decompress
jpeg_gray8_2048:dcmj2pnm"

# compressed file : uncompressed source : specific peer : lossy (compared with
# the peer's decoding within 2 on every sample, 1 on 99.9 %, not the source)
CASES="ljpeg_ct12_2048_sv1:ct12_2048:dcmdjpeg:
ljpeg_ct12_2048_sv7:ct12_2048:dcmdjpeg:
ljpeg_ct16_4096_sv1:ct16_4096:dcmdjpeg:
ljpeg_gray8_2048_sv1:gray8_2048:dcmdjpeg:
ljpeg_rgb8_1024_sv1:rgb8_1024:dcmdjpeg:
rle_ct12_2048:ct12_2048:dcmdrle:
rle_rgb8_1024:rgb8_1024:dcmdrle:
jpeg_gray8_2048:gray8_2048:dcmdjpeg:lossy
jpeg_rgb8_2048:rgb8_2048:dcmdjpeg:lossy
jls_ct12_2048:ct12_2048:dcmdjpls:
jls_gray8_2048_near:gray8_2048:dcmdjpls:lossy
j2k_ct12_2048:ct12_2048:gdcmconv --raw:
j2k_rgb8_2048_r10:rgb8_2048:gdcmconv --raw:lossy
ljpeg_ct12_512x100_sv1:ct12_512x100:dcmdjpeg:
ljpeg_ct12_512x300_sv1:ct12_512x300:dcmdjpeg:
rle_ct12_512x100:ct12_512x100:dcmdrle:
rle_ct12_512x300:ct12_512x300:dcmdrle:"

# JPEG XL against djxl on the same codestream: file : djxl's output : the
# uncompressed source (lossless; djxl 0.7 writes 12-bit samples scaled to 16
# bits) or nothing (lossy: compared with djxl's samples)
JPEGXL="jxl_ct12_2048:pgm:ct12_2048
jxl_rgb8_2048:ppm:"

# Frame 1 as a picture: compressed file : peer picture tool
PICTURES="ljpeg_ct12_512x1_sv1:dcmj2pnm
ljpeg_ct12_512x300_sv1:dcmj2pnm
rle_ct12_512x1:dcm2pnm
rle_ct12_512x300:dcm2pnm"

# Whether two raw sample files of WIDTH-byte samples lie within the lossy
# tolerance of each other.
near() {
    $PY - "$1" "$2" "$3" <<'EOF'
import sys
import numpy as np
width = int(sys.argv[3])
a, b = (np.fromfile(f, dtype=f"<u{width}").astype(np.int64) for f in sys.argv[1:3])
d = np.abs(a - b) if a.size == b.size else np.array([99])
sys.exit(0 if d.max() <= 2 and (d > 1).mean() <= 0.001 else 1)
EOF
}

# Pixel bytes of an uncompressed DICOM file, colour by pixel.
pixels_of() {
    $PY - "$1" <<'EOF'
import sys, pydicom
ds = pydicom.dcmread(sys.argv[1])
if int(ds.get("SamplesPerPixel", 1)) > 1 and int(ds.get("PlanarConfiguration", 0)) == 1:
    sys.stdout.buffer.write(ds.pixel_array.tobytes())  # by plane -> by pixel
else:
    sys.stdout.buffer.write(ds.PixelData)
EOF
}

# Whether the samples of a binary PGM/PPM that djxl wrote (big-endian above
# 8 bits) equal a raw file of host-order samples.
same_as_pnm() {
    $PY - "$1" "$2" <<'EOF'
import sys
import numpy as np
kind, size, maxval, body = open(sys.argv[1], "rb").read().split(b"\n", 3)
samples = np.frombuffer(body, ">u2").astype("<u2").tobytes() if int(maxval) > 255 else body
sys.exit(0 if samples == open(sys.argv[2], "rb").read() else 1)
EOF
}

# Length of the largest fragment of an encapsulated file.
largest_fragment() {
    $PY - "$1" <<'EOF'
import sys, pydicom
from pydicom.encaps import generate_pixel_data_fragment
from pydicom.filebase import DicomBytesIO
ds = pydicom.dcmread(sys.argv[1])
fp = DicomBytesIO(ds.PixelData)
fp.is_little_endian = True
print(max(len(f) for f in generate_pixel_data_fragment(fp)))
EOF
}

now_us() { echo $(( $(date +%s%N) / 1000 )); }

# Appends the wall time in microseconds of one run of a command to a file.
# With FRESH=1 the command's output (its last argument) is removed first, so
# that it writes a new file rather than over the previous run's.
time_once() {
    out=$1; shift
    if [ "${FRESH:-0}" = 1 ]; then
        for last in "$@"; do :; done
        case $last in "$WORK"/*) rm -f "$last" ;; esac
    fi
    start=$(now_us)
    "$@" > /dev/null 2>&1
    end=$(now_us)
    echo $((end - start)) >> "$out"
}

# "median min max" in milliseconds of the times in a file.
summary() {
    sort -n "$1" | awk '{ t[NR] = $1 } END {
        m = (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2
        printf "%.1f %.1f %.1f\n", m / 1000, t[1] / 1000, t[NR] / 1000 }'
}

# Peak resident set size in KiB of one run.
peak_kib() {
    /usr/bin/time -v "$@" 2>&1 >/dev/null | awk -F: '/Maximum resident set size/ { gsub(/ /, "", $2); print $2 }'
}

# The bare codestream of a one-frame encapsulated file.
codestream_of() {
    $PY - "$1" "$2" <<'EOF'
import sys, pydicom
from pydicom.encaps import generate_pixel_data_frame
ds = pydicom.dcmread(sys.argv[1])
open(sys.argv[2], "wb").write(next(generate_pixel_data_frame(ds.PixelData)))
EOF
}

first_pictures() {
    echo "first picture, whole process: velmor-dump picture (256 x 256, reduced decode) against --size full"
    echo "(target <= 0.25) and the peer (dcmj2pnm +on --scale-x-size 256: <= 0.20; opj_decompress -r 3: <= 1.20)"
    printf '%-20s %-20s %-20s %-20s %-16s %7s %7s %s\n' file "velmor ms" "full ms" "peer ms" peer "/full" "/peer" targets
    echo "$FIRST_PICTURES" | while IFS=: read -r name peer; do
        f="$DATA/$name.dcm"
        case $peer in
        opj_decompress)
            codestream_of "$f" "$WORK/frame.j2k"
            set -- opj_decompress -i "$WORK/frame.j2k" -r 3 -o "$WORK/peer.pgm"
            peer_target=1.20 ;;
        *)
            set -- dcmj2pnm +on --scale-x-size 256 "$f" "$WORK/peer.pgm"
            peer_target=0.20 ;;
        esac
        : > "$WORK/t_v"; : > "$WORK/t_f"; : > "$WORK/t_p"
        i=0
        while [ $i -lt "$RUNS" ]; do
            time_once "$WORK/t_v" "$DUMP" picture "$f" "$WORK/first.pgm"
            time_once "$WORK/t_f" "$DUMP" picture "$f" "$WORK/full.pgm" --size full
            time_once "$WORK/t_p" "$@"
            i=$((i + 1))
        done
        v=$(summary "$WORK/t_v") full=$(summary "$WORK/t_f") p=$(summary "$WORK/t_p")
        awk -v name="$name" -v v="$v" -v full="$full" -v p="$p" -v peer="$peer" -v pt="$peer_target" 'BEGIN {
            split(v, a, " "); split(full, b, " "); split(p, c, " ")
            rf = a[1] / b[1]; rp = a[1] / c[1]
            printf "%-20s %-20s %-20s %-20s %-16s %7.2f %7.2f %s/%s\n", name,
                a[1] " (" a[2] "-" a[3] ")", b[1] " (" b[2] "-" b[3] ")", c[1] " (" c[2] "-" c[3] ")", peer,
                rf, rp, (rf <= 0.25) ? "met" : "MISS", (rp <= pt) ? "met" : "MISS" }'
    done
    echo "runs per figure: $RUNS, interleaved; load average: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores"
}

# Frame 151 of a 300-frame 1920 x 1080 H.264 file with a key frame every 30
# frames (make_video_bench_data.py) as a picture, against ffmpeg decoding the
# bare stream up to that frame. Checked first: the frame at full size within 1
# of ffmpeg's frame 150 in RGB.
video_table() {
    $PY "$HERE/make_video_bench_data.py" "$DATA"
    f="$DATA/h264_1080p.dcm" stream="$DATA/h264_1080p.h264"
    echo "video, whole process: velmor-dump picture FILE OUT --frame 151 against"
    echo "ffmpeg -i STREAM -vf 'select=eq(n\,150)' -vsync 0 -frames:v 1 -f null - (target <= 0.50)"
    printf '%-16s %-20s %-20s %6s %4s %10s %10s  %s\n' file "velmor ms" "ffmpeg ms" ratio tgt "velmor KiB" "ffmpeg KiB" check
    "$DUMP" picture "$f" "$WORK/video.ppm" --frame 151 --size full > /dev/null 2>&1 || echo "velmor-dump failed" >&2
    ffmpeg -v error -y -i "$stream" -vf "select=eq(n\,150)" -vsync 0 -frames:v 1 -pix_fmt rgb24 -f rawvideo \
        "$WORK/peer.rgb"
    check=$($PY - "$WORK/video.ppm" "$WORK/peer.rgb" <<'EOF'
import sys
import numpy as np
with open(sys.argv[1], "rb") as f:
    picture = np.frombuffer(f.read().split(maxsplit=4)[4], np.uint8).astype(int)
peer = np.fromfile(sys.argv[2], np.uint8).astype(int)
print("within-1-of-ffmpeg" if picture.size == peer.size and np.abs(picture - peer).max() <= 1 else "VELMOR-DIFFERS")
EOF
)
    : > "$WORK/t_v"; : > "$WORK/t_p"
    i=0
    while [ $i -lt "$RUNS" ]; do
        time_once "$WORK/t_v" "$DUMP" picture "$f" "$WORK/video.ppm" --frame 151
        time_once "$WORK/t_p" ffmpeg -v error -i "$stream" -vf "select=eq(n\,150)" -vsync 0 -frames:v 1 -f null -
        i=$((i + 1))
    done
    set -- $(summary "$WORK/t_v") $(summary "$WORK/t_p")
    ratio=$(awk -v v="$1" -v p="$4" 'BEGIN { printf "%.2f", v / p }')
    target=$(awk -v r="$ratio" 'BEGIN { print (r <= 0.5) ? "met" : "MISS" }')
    mv=$(peak_kib "$DUMP" picture "$f" "$WORK/video.ppm" --frame 151)
    mp=$(peak_kib ffmpeg -v error -i "$stream" -vf "select=eq(n\,150)" -vsync 0 -frames:v 1 -f null -)
    printf '%-16s %-20s %-20s %6s %4s %10s %10s  %s\n' h264_1080p "$1 ($2-$3)" "$4 ($5-$6)" "$ratio" "$target" \
        "$mv" "$mp" "$check"
    echo "runs per figure: $RUNS, interleaved; load average: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores"
}

jpegxl_table() {
    echo "JPEG XL, whole process: velmor-dump pixels FILE.dcm against djxl FILE.jxl (target <= 1.10)"
    printf '%-22s %-20s %-20s %6s %4s %10s %10s  %s\n' file "velmor ms" "djxl ms" ratio tgt "velmor KiB" "djxl KiB" check
    echo "$JPEGXL" | while IFS=: read -r name kind source; do
        "$DUMP" pixels "$DATA/$name.dcm" "$WORK/velmor.raw" > /dev/null 2>&1 || echo "velmor-dump failed on $name" >&2
        djxl "$DATA/$name.jxl" "$WORK/djxl.$kind" > /dev/null 2>&1
        if [ -n "$source" ]; then
            check=same-as-source
            pixels_of "$DATA/$source.dcm" | cmp -s "$WORK/velmor.raw" - || check=VELMOR-DIFFERS
        else
            check=same-as-djxl
            same_as_pnm "$WORK/djxl.$kind" "$WORK/velmor.raw" || check=VELMOR-DIFFERS
        fi
        : > "$WORK/t_v"; : > "$WORK/t_p"
        i=0
        while [ $i -lt "$RUNS" ]; do
            time_once "$WORK/t_v" "$DUMP" pixels "$DATA/$name.dcm" "$WORK/velmor.raw"
            time_once "$WORK/t_p" djxl "$DATA/$name.jxl" "$WORK/djxl.$kind"
            i=$((i + 1))
        done
        set -- $(summary "$WORK/t_v") $(summary "$WORK/t_p")
        ratio=$(awk -v v="$1" -v p="$4" 'BEGIN { printf "%.2f", v / p }')
        target=$(awk -v r="$ratio" 'BEGIN { print (r <= 1.1) ? "met" : "MISS" }')
        mv=$(peak_kib "$DUMP" pixels "$DATA/$name.dcm" "$WORK/velmor.raw")
        mp=$(peak_kib djxl "$DATA/$name.jxl" "$WORK/djxl.$kind")
        printf '%-22s %-20s %-20s %6s %4s %10s %10s  %s\n' "$name" "$1 ($2-$3)" "$4 ($5-$6)" "$ratio" "$target" \
            "$mv" "$mp" "$check"
    done
}

if [ "${FIRST_PICTURE_ONLY:-0}" = 1 ]; then
    first_pictures
    exit 0
fi
if [ "${VIDEO_ONLY:-0}" = 1 ]; then
    video_table
    exit 0
fi
if [ "${JPEGXL_ONLY:-0}" = 1 ]; then
    jpegxl_table
    exit 0
fi

printf '%-22s %-20s %-20s %-20s %6s %4s  %s\n' file "velmor ms" "dcmd* ms" "gdcmconv ms" ratio tgt check
: > "$WORK/memory"
: > "$WORK/ratios"
echo "$CASES" | while IFS=: read -r name source peer lossy; do
    f="$DATA/$name.dcm"
    pixels_of "$DATA/$source.dcm" > "$WORK/source.raw"

    # Correctness first: Velmor and both peers against the source, or for a
    # lossy file Velmor against the specific peer.
    "$DUMP" pixels "$f" "$WORK/velmor.raw" > /dev/null 2>&1 || echo "velmor-dump failed on $name" >&2
    $peer "$f" "$WORK/peer.dcm"
    gdcmconv --raw "$f" "$WORK/gdcm.dcm"
    check=same
    if [ -n "$lossy" ]; then
        check=near-peer
        pixels_of "$WORK/peer.dcm" > "$WORK/peer.raw"
        width=$($PY -c "import pydicom, sys; print(pydicom.dcmread(sys.argv[1]).BitsAllocated // 8)" "$f")
        near "$WORK/velmor.raw" "$WORK/peer.raw" "$width" || check=VELMOR-DIFFERS
    else
        cmp -s "$WORK/source.raw" "$WORK/velmor.raw" || check=VELMOR-DIFFERS
        pixels_of "$WORK/peer.dcm" | cmp -s "$WORK/source.raw" - || check="$check,$peer-differs"
        pixels_of "$WORK/gdcm.dcm" | cmp -s "$WORK/source.raw" - || check="$check,gdcm-differs"
    fi

    : > "$WORK/t_v"; : > "$WORK/t_p"; : > "$WORK/t_g"
    i=0
    while [ $i -lt "$RUNS" ]; do
        time_once "$WORK/t_v" "$DUMP" pixels "$f" "$WORK/velmor.raw"
        time_once "$WORK/t_p" $peer "$f" "$WORK/peer.dcm"
        time_once "$WORK/t_g" gdcmconv --raw "$f" "$WORK/gdcm.dcm"
        i=$((i + 1))
    done
    set -- $(summary "$WORK/t_v") $(summary "$WORK/t_p") $(summary "$WORK/t_g")
    v=$1 vlo=$2 vhi=$3 p=$4 plo=$5 phi=$6 g=$7 glo=$8 ghi=$9
    ratio=$(awk -v v="$v" -v p="$p" -v g="$g" 'BEGIN { b = p < g ? p : g; printf "%.2f", v / b }')
    target=$(awk -v r="$ratio" 'BEGIN { print (r <= 0.8) ? "met" : "MISS" }')
    printf '%-22s %-20s %-20s %-20s %6s %4s  %s\n' "$name" \
        "$v ($vlo-$vhi)" "$p ($plo-$phi)" "$g ($glo-$ghi)" "$ratio" "$target" "$check"

    image=$(stat -c %s "$WORK/source.raw")
    fragment=$(largest_fragment "$f")
    budget=$(( (image + fragment) / 1024 + 16384 ))
    mv=$(peak_kib "$DUMP" pixels "$f" "$WORK/velmor.raw")
    mp=$(peak_kib $peer "$f" "$WORK/peer.dcm")
    mg=$(peak_kib gdcmconv --raw "$f" "$WORK/gdcm.dcm")
    printf '%-22s %10s %10s %10s %10s %s\n' "$name" "$mv" "$budget" "$mp" "$mg" \
        "$( [ "$mv" -le "$budget" ] && echo met || echo MISS )" >> "$WORK/memory"
done

echo
echo "peak resident memory, KiB (one run each, /usr/bin/time -v)"
printf '%-22s %10s %10s %10s %10s %s\n' file velmor budget "dcmd*" gdcmconv target
cat "$WORK/memory"
echo
echo "frame 1 as a picture, whole process: velmor-dump picture --frame 1 against the peer (target <= 0.50)"
printf '%-24s %-20s %-20s %6s %10s %10s\n' file "velmor ms" "peer ms" ratio "velmor KiB" "peer KiB"
echo "$PICTURES" | while IFS=: read -r name peer; do
    f="$DATA/$name.dcm"
    if ! "$DUMP" picture "$f" "$WORK/frame.pgm" --frame 1 > /dev/null 2>&1; then
        printf '%-24s velmor-dump picture --frame is not available\n' "$name"
        continue
    fi
    : > "$WORK/t_v"; : > "$WORK/t_p"
    i=0
    while [ $i -lt "$RUNS" ]; do
        time_once "$WORK/t_v" "$DUMP" picture "$f" "$WORK/frame.pgm" --frame 1
        time_once "$WORK/t_p" $peer +on --frame 1 "$f" "$WORK/peer.pgm"
        i=$((i + 1))
    done
    set -- $(summary "$WORK/t_v") $(summary "$WORK/t_p")
    ratio=$(awk -v v="$1" -v p="$4" 'BEGIN { printf "%.2f", v / p }')
    mv=$(peak_kib "$DUMP" picture "$f" "$WORK/frame.pgm" --frame 1)
    mp=$(peak_kib $peer +on --frame 1 "$f" "$WORK/peer.pgm")
    printf '%-24s %-20s %-20s %6s %10s %10s\n' "$name" "$1 ($2-$3)" "$4 ($5-$6)" "$ratio" "$mv" "$mp"
done

echo
first_pictures
echo
jpegxl_table

echo
video_table
echo
echo "runs per figure: $RUNS, interleaved; median (min-max) of whole-process wall time;"
echo "outputs: $([ "${FRESH:-0}" = 1 ] && echo "new files (FRESH=1)" || echo "written over the previous run's")"
echo "ratio = velmor / fastest peer median; load average: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores"
