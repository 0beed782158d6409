#!/usr/bin/env python3
"""AVI decoding: razavori video FILE.avi beside ffmpeg -threads 1 -i FILE.avi -f null -.

Two 20 s 1280x720 AVI files made with ffmpeg on first use (MJPEG, and
MPEG-4 with B pictures), decoded whole by the video engine through its
decompressors and by ffmpeg on one thread. Whole processes, alternated,
medians (see bench/whole_process.py); the ratio is ffmpeg's time over ours
(above 1: razavori faster), the target 1 / 1.1.

    bench/avi/avi_bench.py [BUILD_DIR] [--runs N]
"""

import argparse
import os
import shutil
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, ".."))
import whole_process  # noqa: E402

TARGET = 1 / 1.1  # ffmpeg's time over ours
SOURCE = whole_process.MANDELBROT.format(size="1280x720")
INPUTS = {
    "avi_mjpeg_720p.avi": ["-f", "lavfi", "-i", SOURCE, "-t", "20", "-threads", "1",
                           "-c:v", "mjpeg", "-q:v", "3", "-f", "avi"],
    "avi_mpeg4_720p.avi": ["-f", "lavfi", "-i", SOURCE, "-t", "20", "-threads", "1",
                           "-c:v", "mpeg4", "-vtag", "XVID", "-q:v", "3", "-bf", "2", "-g", "250", "-f", "avi"],
}
CASES = (("avi_mjpeg_720p.avi", "video AVI MJPEG 1280x720 20 s"),
         ("avi_mpeg4_720p.avi", "video AVI MPEG-4 1280x720 20 s"))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build_dir", nargs="?", default=os.path.join(HERE, "..", "..", "build", "release"))
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    razavori = os.path.join(args.build_dir, "bin", "razavori")
    missing = [t for t in ("ffmpeg", "/usr/bin/time") if not shutil.which(t)]
    missing += [p for p in (razavori,) if not os.path.exists(p)]
    if missing:
        print("bench: missing " + ", ".join(missing) + " (scripts/setup; build razavori)", file=sys.stderr)
        return 1
    whole_process.INPUTS = INPUTS
    files = whole_process.make_inputs(os.path.join(args.build_dir, "bench-media"))
    env = whole_process.plain_environment()
    met = True
    for name, title in CASES:
        path = files[name]
        peer = "ffmpeg -threads 1"
        case = (title, [razavori, "video", path],
                {peer: ["ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-threads", "1",
                        "-i", path, "-f", "null", "-"]},
                [(peer, "speed", TARGET)])
        m = whole_process.measure(case, args.runs, env)
        print(title)
        for who, (wall, cpu, peak) in m.items():
            label = "razavori" if who == "ours" else who
            ratio = "" if who == "ours" else f"  ratio {wall / m['ours'][0]:.2f}x, CPU {cpu / max(m['ours'][1], 1e-9):.2f}x"
            print(f"  {label:<20} {wall * 1000:8.1f} ms  CPU {cpu * 1000:8.1f} ms  peak {peak:6.1f} MB{ratio}")
        for text, ok in whole_process.verdicts(case, m):
            met = met and ok
            print(f"  {'met' if ok else 'MISSED'}: {text}")
        sys.stdout.flush()
    print(f"\n{args.runs} alternated runs each, medians; ratios are peer / razavori (above 1: razavori faster).")
    print("all targets met" if met else "some targets missed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
