#!/usr/bin/env python3
"""fennick convert --vcd as a whole process beside ffmpeg's Video CD target.

    bench/fennick/fennick_bench.py [BUILD_DIR] [--runs N]

For each input (the DVD sample, 60 s 5 Mbit/s DVD streams at 720x576 25 fps
and 720x480 29.97 fps 16:9, made with ffmpeg into BUILD_DIR/bench-fennick on
first use) it runs, alternated run by run so that outside load falls on all
of them alike: fennick convert --vcd, ffmpeg -target pal-vcd / ntsc-vcd at
default threads, and the same with -threads 1. It prints the medians of wall
and CPU (user + system) time and the ratios peer / ours (above 1: we are
faster).
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

TOP = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SOURCE = "mandelbrot=size={size}:rate={rate}"
MUSIC = "aevalsrc=0.3*sin(440*2*PI*t)|0.3*sin(550*2*PI*t):s=48000"


def make(folder, name, size, rate, aspect):
    path = os.path.join(folder, name)
    if os.path.exists(path):
        return path
    os.makedirs(folder, exist_ok=True)
    print(f"bench: making {path}", file=sys.stderr)
    subprocess.run(["ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-y",
                    "-f", "lavfi", "-i", SOURCE.format(size=size, rate=rate), "-f", "lavfi", "-i", MUSIC,
                    "-t", "60", "-map", "0:v", "-map", "1:a", "-c:v", "mpeg2video", "-b:v", "5M",
                    "-maxrate", "8M", "-bufsize", "1835k", "-g", "15", "-bf", "2", "-aspect", aspect,
                    "-c:a", "mp2", "-b:a", "224k", "-f", "dvd", path + ".part"], check=True)
    os.replace(path + ".part", path)
    return path


def timed(cmd, env):
    start = time.monotonic()
    proc = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.monotonic() - start
    if status != 0:
        raise SystemExit(f"bench: {' '.join(cmd)} failed ({status})")
    return wall, usage.ru_utime + usage.ru_stime


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build", nargs="?", default=os.path.join(TOP, "build", "release"))
    ap.add_argument("--runs", type=int, default=5)
    args = ap.parse_args()
    fennick = os.path.join(args.build, "bin", "fennick")
    if not os.access(fennick, os.X_OK) or not shutil.which("ffmpeg"):
        raise SystemExit("bench: needs a built fennick and ffmpeg")
    media = os.path.join(args.build, "bench-fennick")
    inputs = [("sample", os.path.join(TOP, "samples", "dvd_sample.vob"), "pal-vcd"),
              ("60s PAL", make(media, "pal_60s.vob", "720x576", "25", "4:3"), "pal-vcd"),
              ("60s NTSC 16:9", make(media, "ntsc_60s.vob", "720x480", "30000/1001", "16:9"), "ntsc-vcd")]
    env = dict(os.environ, SDL_AUDIODRIVER="dummy", SDL_VIDEODRIVER="dummy")
    out = tempfile.mkdtemp(prefix="fennick-bench.")
    try:
        print(f"{'input':<14} {'tool':<22} {'wall s':>7} {'cpu s':>7} {'wall ratio':>10} {'cpu ratio':>9}")
        for label, path, target in inputs:
            cmds = {
                "fennick --vcd": [fennick, "convert", "--vcd", "--overwrite", "--out", out, path],
                "ffmpeg -target": ["ffmpeg", "-nostdin", "-y", "-v", "error", "-i", path, "-target", target,
                                   os.path.join(out, "peer.mpg")],
                "ffmpeg -threads 1": ["ffmpeg", "-nostdin", "-y", "-v", "error", "-threads", "1", "-i", path,
                                      "-target", target, "-threads", "1", os.path.join(out, "peer1.mpg")],
            }
            times = {k: [] for k in cmds}
            for _ in range(args.runs):
                for name, cmd in cmds.items():
                    times[name].append(timed(cmd, env))
            ours = times["fennick --vcd"]
            ours_wall = statistics.median(t[0] for t in ours)
            ours_cpu = statistics.median(t[1] for t in ours)
            for name, runs in times.items():
                wall = statistics.median(t[0] for t in runs)
                cpu = statistics.median(t[1] for t in runs)
                print(f"{label:<14} {name:<22} {wall:7.2f} {cpu:7.2f} {wall / ours_wall:10.2f} {cpu / ours_cpu:9.2f}")
    finally:
        shutil.rmtree(out, ignore_errors=True)


if __name__ == "__main__":
    main()
