#!/usr/bin/env python3
"""Whole-process benchmark: the razavori subcommands beside their peers.

Times each command the way a user runs it (a new process reading the file
and writing nowhere that costs), alternating ours and the peers run by run
so that a load from elsewhere falls on both, and prints the medians and the
ratios. The inputs are generated with ffmpeg into the build tree on first
use and kept there.

    bench/whole_process.py [BUILD_DIR] [--runs N] [--markdown]

Ratios are peer time / our time: above 1 we are faster. CPU is user +
system time of the process; peak is its largest resident set.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

# name, ffmpeg arguments producing it (after the common ones)
MANDELBROT = "mandelbrot=size={size}:rate=25"
MUSIC = ("aevalsrc=0.3*sin(440*2*PI*t)+0.1*sin(3*PI*t)*sin(1320*2*PI*t)+0.05*(random(0)-0.5)"
         "|0.3*sin(550*2*PI*t)+0.05*(random(1)-0.5):s={rate}")

INPUTS = {
    "mpeg2_720x576.m2v": ["-f", "lavfi", "-i", MANDELBROT.format(size="720x576"), "-t", "20",
                          "-c:v", "mpeg2video", "-b:v", "6M", "-maxrate", "8M", "-bufsize", "1835k",
                          "-g", "15", "-bf", "2", "-f", "mpeg2video"],
    "mpeg1_352x288.m1v": ["-f", "lavfi", "-i", MANDELBROT.format(size="352x288"), "-t", "20",
                          "-c:v", "mpeg1video", "-b:v", "1150k", "-g", "15", "-bf", "2", "-f", "mpeg1video"],
    "layer2_224k.mp2": ["-f", "lavfi", "-i", MUSIC.format(rate=44100), "-t", "120",
                        "-c:a", "mp2", "-b:a", "224k", "-f", "mp2"],
    "layer3_192k.mp3": ["-f", "lavfi", "-i", MUSIC.format(rate=44100), "-t", "120",
                        "-c:a", "libmp3lame", "-b:a", "192k", "-f", "mp3"],
    "layer3_lsf_22k.mp3": ["-f", "lavfi", "-i", MUSIC.format(rate=22050), "-t", "120",
                           "-c:a", "libmp3lame", "-b:a", "64k", "-f", "mp3"],
    "layer2_1s.mp2": ["-f", "lavfi", "-i", MUSIC.format(rate=44100), "-t", "1",
                      "-c:a", "mp2", "-b:a", "224k", "-f", "mp2"],
    "long51.ac3": ["-f", "lavfi", "-i", "aevalsrc=exprs='0.2*sin(2*PI*500*t)|0.2*sin(2*PI*700*t)|0.2*sin(2*PI*1100*t)"
                   "|0.2*sin(2*PI*60*t)|0.2*sin(2*PI*1300*t)|0.2*sin(2*PI*1700*t)':s=48000:d=120:c=5.1(side):n=1536",
                   "-c:a", "ac3", "-b:a", "448k", "-f", "ac3"],
    "dvd_60s.vob": ["-f", "lavfi", "-i", MANDELBROT.format(size="720x576"), "-f", "lavfi",
                    "-i", MUSIC.format(rate=48000), "-t", "60", "-map", "0:v", "-map", "1:a",
                    "-c:v", "mpeg2video", "-b:v", "6M", "-maxrate", "8M", "-bufsize", "1835k",
                    "-g", "15", "-bf", "2", "-c:a", "mp2", "-b:a", "224k", "-f", "dvd"],
}


def make_inputs(folder):
    os.makedirs(folder, exist_ok=True)
    paths = {}
    for name, args in INPUTS.items():
        path = os.path.join(folder, name)
        if not os.path.exists(path):
            print(f"bench: making {path}", file=sys.stderr)
            partial = path + ".part"
            subprocess.run(["ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-y"] + args + [partial],
                           check=True)
            os.replace(partial, path)
        paths[name] = path
    return paths


def cases(razavori, f):
    """(title, ours, {peer: command}, target) with target (peer, what, value)."""
    null = os.devnull
    ffmpeg_null = lambda path: ["ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-threads", "1",
                                "-i", path, "-f", "null", "-"]
    return [
        ("video MPEG-2 720x576 20 s", [razavori, "video", f["mpeg2_720x576.m2v"]],
         {"mpeg2dec -o null": ["mpeg2dec", "-o", "null", f["mpeg2_720x576.m2v"]],
          "ffmpeg -threads 1": ffmpeg_null(f["mpeg2_720x576.m2v"])},
         [("mpeg2dec -o null", "speed", 1.1), (None, "peak MB", 16.0)]),
        ("video MPEG-1 352x288 20 s", [razavori, "video", f["mpeg1_352x288.m1v"]],
         {"mpeg2dec -o null": ["mpeg2dec", "-o", "null", f["mpeg1_352x288.m1v"]],
          "ffmpeg -threads 1": ffmpeg_null(f["mpeg1_352x288.m1v"])},
         [("mpeg2dec -o null", "speed", 1.0)]),
        ("audio Layer II 224k 120 s", [razavori, "audio", f["layer2_224k.mp2"], "--pcm", null],
         {"mpg123 -q -t": ["mpg123", "-q", "-t", f["layer2_224k.mp2"]]},
         [("mpg123 -q -t", "cpu", 1.0)]),
        ("audio Layer III 192k 120 s", [razavori, "audio", f["layer3_192k.mp3"], "--pcm", null],
         {"mpg123 -q -t": ["mpg123", "-q", "-t", f["layer3_192k.mp3"]]},
         [("mpg123 -q -t", "cpu", 1.0)]),
        ("audio LSF Layer III 22.05 kHz 120 s", [razavori, "audio", f["layer3_lsf_22k.mp3"], "--pcm", null],
         {"mpg123 -q -t": ["mpg123", "-q", "-t", f["layer3_lsf_22k.mp3"]]},
         [("mpg123 -q -t", "cpu", 1.0)]),
        ("audio Layer II 1 s (start-up)", [razavori, "audio", f["layer2_1s.mp2"], "--pcm", null],
         {"mpg123 -q -t": ["mpg123", "-q", "-t", f["layer2_1s.mp2"]]},
         [("mpg123 -q -t", "extra ms", 30.0)]),
        ("audio AC-3 5.1 448k 120 s", [razavori, "audio", f["long51.ac3"], "--pcm", null],
         {"ffmpeg -threads 1 -c:a ac3": ["ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-threads", "1",
                                         "-c:a", "ac3", "-i", f["long51.ac3"], "-f", "null", "-"]},
         [("ffmpeg -threads 1 -c:a ac3", "cpu", 1.0)]),
        ("demux DVD VOB 60 s", [razavori, "demux", f["dvd_60s.vob"], "--video", null, "--audio", null],
         {"ffmpeg -c copy": ["ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-y", "-i", f["dvd_60s.vob"],
                             "-map", "0:v", "-c", "copy", "-f", "mpeg2video", null,
                             "-map", "0:a", "-c", "copy", "-f", "mp2", null]},
         [("ffmpeg -c copy", "speed", 1.0)]),
    ]


def plain_environment():
    """The environment of a plain shell: no SDL or Qt variables."""
    return {k: v for k, v in os.environ.items() if not (k.startswith("SDL_") or k.startswith("QT_"))}


def run_once(command, env):
    """(wall s, cpu s, peak MB) of one run; raises when the command fails.

    The command runs under /usr/bin/time, which reports the peak of the
    command alone (a child forked from this script would count the
    script's own pages until its exec)."""
    peak_file = os.path.join(os.environ.get("TMPDIR", "/tmp"), f"whole_process_peak.{os.getpid()}")
    start = time.perf_counter()
    proc = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", peak_file] + command,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.perf_counter() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    if proc.returncode != 0:
        raise RuntimeError(f"{' '.join(command)} exited with {proc.returncode}")
    with open(peak_file) as f:
        peak_kb = float(f.read().split()[-1])
    os.unlink(peak_file)
    # The usage of the time process includes the command it waited for.
    return wall, usage.ru_utime + usage.ru_stime, peak_kb / 1024.0


def measure(case, runs, env):
    title, ours, peers, _ = case
    names = ["ours"] + list(peers)
    commands = {"ours": ours, **peers}
    samples = {n: [] for n in names}
    run_once(ours, env)  # warm the page cache and the loader
    for r in range(runs):
        # Alternate who goes first, so that neither always meets a warm cache
        # or a passing load first.
        order = names if r % 2 == 0 else list(reversed(names))
        for n in order:
            samples[n].append(run_once(commands[n], env))
    medians = {}
    for n in names:
        medians[n] = tuple(statistics.median(s[i] for s in samples[n]) for i in range(3))
    return medians


def verdicts(case, m):
    out = []
    for peer, what, value in case[3]:
        if what == "speed":
            ratio = m[peer][0] / m["ours"][0]
            out.append((f"speed {ratio:.2f}x {peer}, target {value:.1f}x", ratio >= value))
        elif what == "cpu":
            ratio = m[peer][1] / m["ours"][1] if m["ours"][1] > 0 else float("inf")
            out.append((f"CPU {ratio:.2f}x {peer}, target {value:.1f}x", ratio >= value))
        elif what == "extra ms":
            extra = (m["ours"][0] - m[peer][0]) * 1000
            out.append((f"{extra:.0f} ms over {peer}, target {value:.0f} ms", extra <= value))
        elif what == "peak MB":
            out.append((f"peak {m['ours'][2]:.1f} MB, target {value:.0f} MB", m["ours"][2] <= value))
    return out


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build_dir", nargs="?", default=os.path.join(here, "..", "build", "release"))
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--markdown", action="store_true", help="print the table as Markdown")
    args = parser.parse_args()

    razavori = os.path.join(args.build_dir, "bin", "razavori")
    missing = [t for t in ("ffmpeg", "mpeg2dec", "mpg123", "/usr/bin/time") if not shutil.which(t)]
    if not os.access(razavori, os.X_OK):
        missing.append(razavori)
    if missing:
        print("bench: missing " + ", ".join(missing) + " (scripts/setup installs the peers)", file=sys.stderr)
        return 1
    files = make_inputs(os.path.join(args.build_dir, "bench-media"))
    env = plain_environment()
    rows = []
    all_met = True
    for case in cases(razavori, files):
        m = measure(case, args.runs, env)
        v = verdicts(case, m)
        all_met = all_met and all(ok for _, ok in v)
        rows.append((case, m, v))
        if not args.markdown:
            print(f"{case[0]}")
            for name, (wall, cpu, peak) in m.items():
                label = "razavori" if name == "ours" else name
                ratio = "" if name == "ours" else f"  ratio {wall / m['ours'][0]:.2f}x, CPU {cpu / max(m['ours'][1], 1e-9):.2f}x"
                print(f"  {label:<20} {wall * 1000:8.1f} ms  CPU {cpu * 1000:8.1f} ms  peak {peak:6.1f} MB{ratio}")
            for text, ok in v:
                print(f"  {'met' if ok else 'MISSED'}: {text}")
            sys.stdout.flush()
    if args.markdown:
        print(f"| command | razavori | peer | peer time | speed | CPU | peak |")
        print("|---|---|---|---|---|---|---|")
        for case, m, _ in rows:
            for peer in case[2]:
                print(f"| {case[0]} | {m['ours'][0] * 1000:.0f} ms | `{peer}` | {m[peer][0] * 1000:.0f} ms | "
                      f"{m[peer][0] / m['ours'][0]:.2f}x | {m[peer][1] / max(m['ours'][1], 1e-9):.2f}x | "
                      f"{m['ours'][2]:.1f} MB |")
    print(f"\n{args.runs} alternated runs each, medians; ratios are peer / razavori (above 1: razavori faster);"
          f" run without SDL_* or QT_* variables.")
    print("all targets met" if all_met else "some targets missed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
