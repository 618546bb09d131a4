#!/bin/sh
# Times Velmor's lossless JPEG decoding against the peer decoders dcmdjpeg and
# gdcmconv --raw, whole process, on the same synthetic files; prints the median
# of RUNS runs of each and the ratio Velmor / fastest peer (target: <= 0.8).
#
# usage: bench/compare_peers.sh [BUILD_DIR] [RUNS]
#
# Velmor is run as `velmor-dump pixels FILE OUT`; while that command cannot
# decode lossless JPEG yet, the fragment is decoded by the small driver
# ljpeg_decode_file (fopen, seek to the fragment, LosslessJpegDecode, write),
# which skips the DICOM header walk (a few hundred bytes, negligible here).
set -eu

BUILD=${1:-build}
RUNS=${2:-7}
PY=/usr/bin/python3
DUMP=$BUILD/bin/velmor-dump
DRIVER=$BUILD/bin/ljpeg_decode_file
WORK=$(mktemp -d "${TMPDIR:-/tmp}/velmor_peers.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

# Source images: smooth structure plus mild noise, like CT / MR / photographs.
$PY - "$WORK" <<'EOF'
import sys
import numpy as np
from pydicom.dataset import FileDataset, FileMetaDataset
from pydicom.uid import ExplicitVRLittleEndian, SecondaryCaptureImageStorage, generate_uid

work = sys.argv[1]

def write(name, size, bits, spp):
    rng = np.random.default_rng(bits * 10 + spp)
    y, x = np.mgrid[0:size, 0:size]
    top = (1 << bits) - 1
    noise = 1 << (bits - 9) if bits > 9 else 1
    planes = []
    for c in range(spp):
        smooth = 0.5 + 0.2 * np.sin(x * 0.013 + c) + 0.2 * np.cos(y * 0.021)
        plane = smooth * top + rng.integers(-noise, noise + 1, size=(size, size))
        planes.append(np.clip(plane, 0, top))
    image = np.stack(planes, axis=-1) if spp > 1 else planes[0]
    image = image.astype(np.uint16 if bits > 8 else np.uint8)
    meta = FileMetaDataset()
    meta.MediaStorageSOPClassUID = SecondaryCaptureImageStorage
    meta.MediaStorageSOPInstanceUID = generate_uid()
    meta.TransferSyntaxUID = ExplicitVRLittleEndian
    ds = FileDataset(name, {}, file_meta=meta, preamble=b"\0" * 128)
    ds.is_little_endian, ds.is_implicit_VR = True, False
    ds.SOPClassUID = meta.MediaStorageSOPClassUID
    ds.SOPInstanceUID = meta.MediaStorageSOPInstanceUID
    ds.Modality = "OT"
    ds.SamplesPerPixel = spp
    ds.PhotometricInterpretation = "RGB" if spp == 3 else "MONOCHROME2"
    if spp == 3:
        ds.PlanarConfiguration = 0
    ds.Rows = ds.Columns = size
    ds.BitsAllocated = 8 if bits <= 8 else 16
    ds.BitsStored = bits
    ds.HighBit = bits - 1
    ds.PixelRepresentation = 0
    ds.PixelData = image.tobytes()
    ds.save_as(f"{work}/{name}.dcm", write_like_original=False)

write("mono12_2048", 2048, 12, 1)
write("mono16_4096", 4096, 16, 1)
write("mono8_2048", 2048, 8, 1)
write("rgb8_1024", 1024, 8, 3)
EOF

CASES="mono12_2048:1 mono12_2048:7 mono16_4096:1 mono8_2048:1 rgb8_1024:1"
for c in $CASES; do
    src=${c%%:*}; sv=${c##*:}
    dcmcjpeg +el +sv "$sv" "$WORK/$src.dcm" "$WORK/${src}_sv$sv.dcm"
done

# "offset length depth columns rows" of the single fragment of a file.
fragment_of() {
    $PY - "$1" <<'EOF'
import struct, sys
import pydicom
ds = pydicom.dcmread(sys.argv[1])
data = ds.PixelData
pos, items = 0, []
while pos + 8 <= len(data):
    group, element, length = struct.unpack_from("<HHI", data, pos)
    if (group, element) != (0xFFFE, 0xE000):
        break
    items.append(data[pos + 8:pos + 8 + length])
    pos += 8 + length
raw = open(sys.argv[1], "rb").read()
print(raw.find(items[1]), len(items[1]), int(ds.SamplesPerPixel) * int(ds.BitsAllocated), ds.Columns, ds.Rows)
EOF
}

# Median wall time in milliseconds of RUNS runs of a command.
median_ms() {
    i=0
    : > "$WORK/times"
    while [ $i -lt "$RUNS" ]; do
        start=$(date +%s%N)
        "$@" > /dev/null 2>&1
        end=$(date +%s%N)
        echo $(( (end - start) / 1000 )) >> "$WORK/times"
        i=$((i + 1))
    done
    sort -n "$WORK/times" | awk '{ t[NR] = $1 } END {
        m = (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2
        printf "%.1f\n", m / 1000 }'
}

# Pixel bytes of a decoded (uncompressed) DICOM file.
pixels_of() {
    $PY -c 'import sys, pydicom; sys.stdout.buffer.write(pydicom.dcmread(sys.argv[1]).PixelData)' "$1"
}

use_dump=no
printf '%-16s %10s %10s %10s %8s  %s\n' file velmor_ms dcmdjpeg gdcmconv ratio check
for c in $CASES; do
    src=${c%%:*}; sv=${c##*:}
    f="$WORK/${src}_sv$sv.dcm"
    set -- $(fragment_of "$f")
    offset=$1 length=$2 depth=$3 cols=$4 rows=$5

    # Velmor's pixels must equal the peer's before its time counts.
    dcmdjpeg "$f" "$WORK/peer.dcm"
    pixels_of "$WORK/peer.dcm" > "$WORK/peer.raw"
    if [ -x "$DUMP" ] && "$DUMP" pixels "$f" "$WORK/velmor.raw" > /dev/null 2>&1; then
        use_dump=yes
        velmor="$DUMP pixels $f $WORK/velmor.raw"
    else
        velmor="$DRIVER $f $offset $length $depth $cols $rows $WORK/velmor.raw"
        $velmor
    fi
    if cmp -s "$WORK/peer.raw" "$WORK/velmor.raw"; then check=same; else check=DIFFERENT; fi

    v=$(median_ms $velmor)
    d=$(median_ms dcmdjpeg "$f" "$WORK/out_dcmdjpeg.dcm")
    g=$(median_ms gdcmconv --raw "$f" "$WORK/out_gdcm.dcm")
    ratio=$(awk -v v="$v" -v d="$d" -v g="$g" 'BEGIN { b = d < g ? d : g; printf "%.2f", v / b }')
    printf '%-16s %10s %10s %10s %8s  %s\n' "${src}_sv$sv" "$v" "$d" "$g" "$ratio" "$check"
done
echo "runs per figure: $RUNS (median, whole process); velmor via $( [ $use_dump = yes ] && echo 'velmor-dump pixels' || echo ljpeg_decode_file )"
