#!/usr/bin/env python3
"""AVI decoding, seeking and opening: razavori beside ffmpeg and ffprobe.

decode: two 20 s 1280x720 AVI files made with ffmpeg on first use (MJPEG,
and MPEG-4 with B pictures), decoded whole by the video engine through its
decompressors and by ffmpeg on one thread; target 1 / 1.1.

seek: the MJPEG file loop-copied to 2.2 GB (an OpenDML file of two RIFF
parts, made once into the bench cache), one process each side seeking to
the same 200 random frame times (fixed seed): razavori frame --at (each
seek through SysAviSeek, the picture it lands on decoded into the engine's
planes) beside one ffprobe -read_intervals T%+#1,... -show_entries
frame=pts holding all 200 intervals. Both sides open the file once and
decode 200 pictures; the frames each lands on are compared. Target 1.0.

open: the 1.1 GB OpenDML test stream cut in the middle of its second RIFF
part (copied into the bench cache), razavori info beside ffmpeg -c copy -f
null (which also reads the packets: the open is all it costs us, the
chunks past the cut index being found from their headers); target 2. The
same for 30 min of small chunks whose idx1 is hidden (the whole index
rebuilt from the chunk headers).

Whole processes, alternated, medians (see bench/whole_process.py); the
ratio is the peer's time over ours (above 1: razavori faster).

    bench/avi/avi_bench.py [BUILD_DIR] [--runs N] [--only decode|seek|open]
"""

import argparse
import os
import random
import shutil
import struct
import subprocess
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

SEEK_TARGET = 1.0  # ffprobe's time over ours
SEEK_SOURCE = "avi_mjpeg_720p.avi"  # 500 pictures at 25 per second
SEEK_SOURCE_FRAMES = 500
SEEK_FRAME_MS = 40
SEEK_BYTES = 2_200_000_000
SEEK_COUNT = 200
SEEK_SEED = 19
OPEN_TARGET = 2.0  # ffmpeg's time over ours: ours at most half of it
OPEN_SOURCE = "avi2_odml_large.avi"  # scripts/media.d/avi2, in the test media
# 30 min of small pictures and sound with its index hidden: ~90,000 chunks
# whose index is rebuilt from their headers alone.
UNINDEXED = ["-f", "lavfi", "-i", "testsrc2=size=160x120:rate=25", "-f", "lavfi", "-i", "sine=sample_rate=22050",
             "-t", "1800", "-threads", "1", "-c:v", "mpeg4", "-g", "250", "-c:a", "pcm_s16le", "-f", "avi"]


def make_once(path, make):
    """Runs make(partial) unless path exists, then gives the result its name."""
    if not os.path.exists(path):
        print(f"bench: making {path}", file=sys.stderr)
        partial = path + ".part"
        make(partial)
        os.replace(partial, path)
    return path


def loop_copy(source, bytes_wanted, frames_in_source, out):
    frames = -(-bytes_wanted * frames_in_source // os.path.getsize(source))
    subprocess.run(["ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-y", "-stream_loop", "-1",
                    "-i", source, "-map", "0", "-c", "copy", "-frames:v", str(frames), "-f", "avi", out],
                   check=True)


def cut_in_second_part(source, out):
    """The first bytes of source up to the middle of its second RIFF part."""
    with open(source, "rb") as f:
        head = f.read(12)
        first_end = 8 + struct.unpack("<I", head[4:8])[0]
        f.seek(first_end)
        if f.read(4) != b"RIFF":
            raise RuntimeError(f"{source} has no second RIFF part")
        left = first_end + (os.path.getsize(source) - first_end) // 2
        f.seek(0)
        with open(out, "wb") as o:
            while left > 0:
                block = f.read(min(left, 8 << 20))
                if not block:
                    break
                o.write(block)
                left -= len(block)


def hide_idx1(path):
    """Renames the idx1 chunk of an 'AVI ' part to JUNK."""
    with open(path, "r+b") as f:
        pos, end = 12, os.path.getsize(path)
        while pos + 8 <= end:
            f.seek(pos)
            head = f.read(8)
            size = struct.unpack("<I", head[4:8])[0]
            if head[:4] == b"idx1":
                f.seek(pos)
                f.write(b"JUNK")
                return
            pos += 8 + size + (size & 1)
    raise RuntimeError(f"{path} has no idx1")


def make_unindexed(out):
    subprocess.run(["ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-y"] + UNINDEXED + [out],
                   check=True)
    hide_idx1(out)


def report(case, m):
    """Prints the medians and the verdicts; -> whether every target was met."""
    print(case[0])
    for who, (wall, cpu, peak) in m.items():
        label = "razavori" if who == "ours" else who
        ratio = "" if who == "ours" else f"  ratio {wall / m['ours'][0]:.2f}x, CPU {cpu / max(m['ours'][1], 1e-9):.2f}x"
        print(f"  {label:<20} {wall * 1000:8.1f} ms  CPU {cpu * 1000:8.1f} ms  peak {peak:6.1f} MB{ratio}")
    met = True
    for text, ok in whole_process.verdicts(case, m):
        met = met and ok
        print(f"  {'met' if ok else 'MISSED'}: {text}")
    sys.stdout.flush()
    return met


def decode_cases(razavori, files, runs, env):
    met = True
    for name, title in CASES:
        path = files[name]
        peer = "ffmpeg -threads 1"
        case = (title, [razavori, "video", path],
                {peer: ["ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-threads", "1",
                        "-i", path, "-f", "null", "-"]},
                [(peer, "speed", TARGET)])
        met = report(case, whole_process.measure(case, runs, env)) and met
    return met


def landed_frames(command, env, column):
    out = subprocess.run(command, check=True, capture_output=True, text=True, env=env).stdout
    return [int(line.split()[column]) for line in out.splitlines() if line.strip()]


def seek_case(razavori, files, cache, runs, env):
    big = make_once(os.path.join(cache, "avi_mjpeg_720p_2g.avi"),
                    lambda out: loop_copy(files[SEEK_SOURCE], SEEK_BYTES, SEEK_SOURCE_FRAMES, out))
    frames = landed_frames(["ffprobe", "-v", "error", "-count_packets", "-select_streams", "v:0",
                            "-show_entries", "stream=nb_read_packets", "-of", "csv=p=0", big], env, 0)[0]
    picks = random.Random(SEEK_SEED).sample(range(frames), SEEK_COUNT)
    times = [n * SEEK_FRAME_MS for n in picks]
    times_file = os.path.join(cache, "avi_seek_times.txt")
    with open(times_file, "w") as f:
        f.write("\n".join(map(str, times)) + "\n")
    ours = [razavori, "frame", big, "--at", "@" + times_file]
    peer = "ffprobe -read_intervals"
    probe = ["ffprobe", "-v", "error", "-read_intervals", ",".join(f"{t / 1000:.3f}%+#1" for t in times),
             "-show_entries", "frame=pts", "-of", "csv=p=0", big]
    # Both must land on the frames asked for (every MJPEG picture is a key).
    ours_frames, probe_frames = landed_frames(ours, env, 4), landed_frames(probe, env, 0)
    agree = ours_frames == probe_frames == picks
    title = (f"seek AVI MJPEG 1280x720 {os.path.getsize(big) / 1e9:.1f} GB, {frames} pictures: "
             f"{SEEK_COUNT} random seeks and decodes")
    case = (title, ours, {peer: probe}, [(peer, "speed", SEEK_TARGET)])
    met = report(case, whole_process.measure(case, runs, env))
    print(f"  {'met' if agree else 'MISSED'}: frames landed on, razavori {len(ours_frames)}, "
          f"ffprobe {len(probe_frames)}, {'all' if agree else 'not all'} the {SEEK_COUNT} asked for")
    return met and agree


def open_case(razavori, build_dir, cache, runs, env):
    source = os.path.join(build_dir, "test-media", OPEN_SOURCE)
    if not os.path.exists(source):
        print(f"bench: missing {source} (make the test media: scripts/make_test_media)", file=sys.stderr)
        return False
    cut = make_once(os.path.join(cache, "avi2_odml_cut_second_part.avi"),
                    lambda out: cut_in_second_part(source, out))
    peer = "ffmpeg -c copy -f null"
    case = (f"open AVI OpenDML {os.path.getsize(cut) / 1e9:.2f} GB cut in its second part",
            [razavori, "info", cut],
            {peer: ["ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-i", cut, "-map", "0",
                    "-c", "copy", "-f", "null", "-"]},
            [(peer, "speed", OPEN_TARGET)])
    met = report(case, whole_process.measure(case, runs, env))
    bare = make_once(os.path.join(cache, "avi_unindexed_30min.avi"), make_unindexed)
    case = ("open AVI without an index, 30 min of 160x120 MPEG-4 + PCM", [razavori, "info", bare],
            {peer: ["ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-i", bare, "-map", "0",
                    "-c", "copy", "-f", "null", "-"]},
            [(peer, "speed", OPEN_TARGET)])
    return report(case, whole_process.measure(case, runs, env)) and met


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build_dir", nargs="?", default=os.path.join(HERE, "..", "..", "build", "release"))
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--only", choices=("decode", "seek", "open"), help="run one group of cases")
    args = parser.parse_args()
    razavori = os.path.join(args.build_dir, "bin", "razavori")
    missing = [t for t in ("ffmpeg", "ffprobe", "/usr/bin/time") if not shutil.which(t)]
    missing += [p for p in (razavori,) if not os.path.exists(p)]
    if missing:
        print("bench: missing " + ", ".join(missing) + " (scripts/setup; build razavori)", file=sys.stderr)
        return 1
    whole_process.INPUTS = INPUTS
    cache = os.path.join(args.build_dir, "bench-media")
    files = whole_process.make_inputs(cache)
    env = whole_process.plain_environment()
    met = True
    if args.only in (None, "decode"):
        met = decode_cases(razavori, files, args.runs, env) and met
    if args.only in (None, "seek"):
        met = seek_case(razavori, files, cache, args.runs, env) and met
    if args.only in (None, "open"):
        met = open_case(razavori, args.build_dir, cache, args.runs, env) and met
    print(f"\n{args.runs} alternated runs each, medians; ratios are peer / razavori (above 1: razavori faster).")
    print("all targets met" if met else "some targets missed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
