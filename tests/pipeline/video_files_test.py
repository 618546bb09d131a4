#!/usr/bin/env python3
"""Video files (MPEG-2, H.264, HEVC) through velmor-dump, against ffmpeg.

Thirty frames panning across a real RGB sample (SC_rgb_jpeg_dcmd.dcm) are
encoded by ffmpeg (mpeg2video with B pictures and open groups, libx264 and
libx265 with a clean start every 10 frames and B pictures, libx265 in 10 bits) and the elementary
stream wrapped by pydicom in one fragment, or in many small ones.

- pixels: every frame within 1 level of ffmpeg's own decoding of the same
  stream to RGB; a file without Number of Frames gives the stream's count.
- picture --frame N: the same frame as the whole decode gives (frames after
  a clean start, and inside a run of B pictures).
- refusals: garbage in place of the stream, a stream cut short, and Rows and
  Columns unlike the stream's pictures end in a clear message and status 1.

An encoder missing from ffmpeg's build is skipped with a message.

usage: video_files_test.py VELMOR_DUMP SAMPLE_DIR
"""
import os
import sys
import tempfile

import numpy as np
import pydicom

here = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [here, os.path.join(here, "..", "common")]
from checks import check, run, summary  # noqa: E402
from video_fixtures import H264, HEVC, HEVC_MAIN_10, MPEG2, write_video_file  # noqa: E402

FRAMES = 30
CODECS = (
    ("MPEG-2", MPEG2, "mpeg2video", ["-bf", "2", "-g", "12", "-q:v", "3"], "m2v"),
    ("H.264", H264, "libx264", ["-g", "10", "-bf", "3", "-crf", "20", "-preset", "fast"], "h264"),
    ("HEVC", HEVC, "libx265", ["-g", "10", "-x265-params", "log-level=error:no-open-gop=1:bframes=3"], "hevc"),
    ("HEVC Main 10", HEVC_MAIN_10, "libx265",
     ["-g", "10", "-pix_fmt", "yuv420p10le", "-x265-params", "log-level=error:no-open-gop=1"], "hevc"),
)

def encoders():
    return run("ffmpeg", "-hide_banner", "-encoders").stdout.decode()


def read_ppm(path):
    with open(path, "rb") as f:
        magic, width, height, _, pixels = f.read().split(maxsplit=4)
    assert magic == b"P6"
    return np.frombuffer(pixels, np.uint8).reshape(int(height), int(width), 3)


def main(dump, sample_dir):
    source = pydicom.dcmread(os.path.join(sample_dir, "SC_rgb_jpeg_dcmd.dcm")).pixel_array
    rows, columns = source.shape[:2]
    frames = np.stack([np.roll(np.roll(source, 5 * i, axis=1), 2 * i, axis=0) for i in range(FRAMES)])
    available = encoders()
    with tempfile.TemporaryDirectory() as work:
        raw = os.path.join(work, "source.rgb")
        frames.tofile(raw)
        for name, syntax, encoder, options, extension in CODECS:
            if f" {encoder} " not in available:
                print(f"SKIP {name}: ffmpeg has no {encoder} encoder")
                continue
            stream_path = os.path.join(work, "stream." + extension)
            made = run("ffmpeg", "-v", "error", "-y", "-f", "rawvideo", "-pix_fmt", "rgb24", "-s",
                       f"{columns}x{rows}", "-r", "30", "-i", raw, "-c:v", encoder, "-pix_fmt", "yuv420p",
                       *options, stream_path)
            check(made.returncode == 0, f"{name}: ffmpeg encodes ({made.stderr.decode()[-300:]})")
            reference_path = os.path.join(work, "reference.rgb")
            decoded = run("ffmpeg", "-v", "error", "-y", "-i", stream_path, "-f", "rawvideo", "-pix_fmt", "rgb24",
                          reference_path)
            check(decoded.returncode == 0, f"{name}: ffmpeg decodes")
            reference = np.fromfile(reference_path, np.uint8).reshape(-1, rows, columns, 3)
            check(len(reference) == FRAMES, f"{name}: ffmpeg decodes {FRAMES} frames, not {len(reference)}")
            with open(stream_path, "rb") as f:
                stream = f.read()

            for layout, fragment_size, count in (("one fragment", None, FRAMES), ("fragments", 998, None)):
                path = os.path.join(work, "video.dcm")
                write_video_file(path, stream, syntax, columns, rows, frames=count, fragment_size=fragment_size)
                out = os.path.join(work, "pixels.raw")
                p = run(dump, "pixels", path, out)
                check(p.returncode == 0, f"{name} ({layout}): pixels succeed ({p.stderr.decode()})")
                if p.returncode != 0:
                    continue
                check(f"frames={FRAMES}\n" in p.stdout.decode(), f"{name} ({layout}): {FRAMES} frames")
                pixels = np.fromfile(out, np.uint8)
                check(pixels.size == reference.size, f"{name} ({layout}): {pixels.size} bytes, not {reference.size}")
                if pixels.size != reference.size:
                    continue
                pixels = pixels.reshape(reference.shape)
                differences = [int(np.abs(pixels[i].astype(int) - reference[i]).max()) for i in range(FRAMES)]
                print(f"{name} ({layout}): max difference to ffmpeg {max(differences)} "
                      f"(per frame {differences})")
                check(max(differences) <= 1, f"{name} ({layout}): every frame within 1 level of ffmpeg")
                if fragment_size is None:
                    continue
                for number in (1, 11, 17, FRAMES):
                    ppm = os.path.join(work, "frame.ppm")
                    p = run(dump, "picture", path, ppm, "--frame", number, "--size", "full")
                    check(p.returncode == 0, f"{name}: picture --frame {number} ({p.stderr.decode()})")
                    if p.returncode == 0:
                        check(np.array_equal(read_ppm(ppm), pixels[number - 1]),
                              f"{name}: --frame {number} is frame {number} of the whole decode")

        # Refusals, on the H.264 stream when there is one.
        if " libx264 " in available:
            with open(os.path.join(work, "stream.h264"), "rb") as f:
                stream = f.read()
            rng = np.random.default_rng(7)
            cases = (
                ("garbage", rng.integers(0, 256, 4000, np.uint8).tobytes(), columns, rows, 1,
                 "The H.264 codestream of frame 1 is broken."),
                ("cut short", stream[:len(stream) // 3], columns, rows, FRAMES,
                 f"fewer than the {FRAMES} frames announced"),
                ("size", stream, columns // 2, rows, FRAMES, f"pictures are {columns} x {rows}"),
            )
            for what, data, width, height, count, expected in cases:
                path = os.path.join(work, "bad.dcm")
                write_video_file(path, data, H264, width, height, frames=count)
                p = run(dump, "pixels", path, os.path.join(work, "bad.raw"))
                message = p.stderr.decode()
                print(f"{what}: {message.strip()}")
                check(p.returncode == 1 and expected in message, f"{what}: refused with a clear message")
                check("Sanitizer" not in message, f"{what}: no sanitizer report")

    return summary()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
