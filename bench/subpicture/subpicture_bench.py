#!/usr/bin/env python3
"""Subpicture burn-in: razavori video --subpicture 0 beside ffmpeg's decode and overlay.

A 40 s PAL VOB with a 590x460 subtitle shown for 37 s (dvdt_bench.vob of the
test media), decoded with the subpicture mixed into every held picture,
beside `ffmpeg -threads 1` decoding it with the subtitle overlaid; both
plain decodes are timed too. Whole processes, alternated, medians (see
bench/whole_process.py); the ratio is our CPU time over ffmpeg's.

    bench/subpicture/subpicture_bench.py [BUILD_DIR] [--runs N]
"""

import argparse
import os
import shutil
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, ".."))
import whole_process  # noqa: E402

TARGET = 0.6  # our CPU time over ffmpeg's, burning in


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build_dir", nargs="?", default=os.path.join(HERE, "..", "..", "build", "release"))
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    razavori = os.path.join(args.build_dir, "bin", "razavori")
    vob = os.path.join(args.build_dir, "test-media", "dvdt_bench.vob")
    missing = [t for t in ("ffmpeg", "/usr/bin/time") if not shutil.which(t)]
    missing += [p for p in (razavori, vob) if not os.path.exists(p)]
    if missing:
        print("bench: missing " + ", ".join(missing) + " (scripts/setup; make_test_media)", file=sys.stderr)
        return 1
    ffmpeg = ["ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-threads", "1", "-i", vob]
    case = ("subpicture burn-in 40 s", [razavori, "video", vob, "--subpicture", "0"],
            {"ffmpeg overlay": ffmpeg + ["-filter_complex", "[0:v][0:i:0x20]overlay", "-f", "null", "-"],
             "razavori plain": [razavori, "video", vob],
             "ffmpeg plain": ffmpeg + ["-map", "0:v", "-f", "null", "-"]},
            [])
    m = whole_process.measure(case, args.runs, whole_process.plain_environment())
    print(case[0])
    for name, (wall, cpu, peak) in m.items():
        label = "razavori --subpicture" if name == "ours" else name
        print(f"  {label:<22} {wall * 1000:8.1f} ms  CPU {cpu * 1000:8.1f} ms  peak {peak:6.1f} MB")
    ratio = m["ours"][1] / max(m["ffmpeg overlay"][1], 1e-9)
    mix_cost = m["ours"][1] - m["razavori plain"][1]
    print(f"  CPU ratio ours / ffmpeg overlay: {ratio:.2f} (target <= {TARGET}); mixing costs {mix_cost * 1000:.0f} ms")
    print(f"  {'met' if ratio <= TARGET else 'MISSED'}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
