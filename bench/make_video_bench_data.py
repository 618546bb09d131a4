#!/usr/bin/python3
"""Writes the video benchmark file into DIR: 300 frames of 1920 x 1080
(ffmpeg's testsrc2 pattern at 30 frames a second) encoded by libx264 with a
key frame every 30 frames, as the elementary stream (h264_1080p.h264, for
ffmpeg) and as a DICOM file holding it in fragments (h264_1080p.dcm, for
velmor-dump). Nothing is made when both are there.

usage: make_video_bench_data.py DIR
"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "pipeline"))
from video_fixtures import H264, write_video_file  # noqa: E402

NAME = "h264_1080p"


def main(out):
    stream = os.path.join(out, NAME + ".h264")
    dicom = os.path.join(out, NAME + ".dcm")
    if os.path.exists(stream) and os.path.exists(dicom):
        return
    os.makedirs(out, exist_ok=True)
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "testsrc2=size=1920x1080:rate=30",
                    "-frames:v", "300", "-c:v", "libx264", "-preset", "fast", "-g", "30", "-pix_fmt", "yuv420p",
                    "-colorspace", "bt709", "-color_primaries", "bt709", "-color_trc", "bt709", stream], check=True)
    with open(stream, "rb") as f:
        data = f.read()
    write_video_file(dicom, data, H264, 1920, 1080, frames=300, fragment_size=1 << 20, frame_time=33.3)


if __name__ == "__main__":
    main(sys.argv[1])
