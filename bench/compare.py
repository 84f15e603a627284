#!/usr/bin/env python3
"""Whole-process figures of quillgen's jobs beside peers measured in the same run.

Each pair (or trio) runs in alternating rounds; every run's CPU time (user + system of the
process and its children), wall time and peak resident size come from wait4(). The table shows
medians and the ratios quillgen / peer (below 1: quillgen is faster). The "floor" of a job is
writing the same number of bytes into files in the same folder with `head -c N /dev/zero`.
Every run writes new files: what the previous round wrote is removed, untimed, before it starts,
so that no run pays for freeing an older file's blocks (quillgen inside its final rename, sox
and head inside their truncating open) and the others not.

Usage: bench/compare.py QUILLGEN [--rounds N] [--scaling-rounds N] [--dir DIR] [--quick]
"""

import argparse
import os
import platform
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


# Runs go through GNU time, which reports the peak resident size of the command alone: the
# figure the kernel gives for a child of this interpreter counts the interpreter's pages the
# child held before exec. CPU and wall times come from wait4 (GNU time's own share is tiny).
TIME = "/usr/bin/time"


def run(argv, cwd, stdout_path=None, stderr_to_file=False):
    """Runs argv; returns (cpu seconds, wall seconds, peak resident KiB). With stderr_to_file
    its standard error goes to a temporary file instead of a pipe, for a command that writes
    more there than a pipe holds before this reads it."""
    out = open(stdout_path, "wb") if stdout_path else subprocess.DEVNULL
    report = tempfile.NamedTemporaryFile(prefix="quill-bench-rss-")
    errors = tempfile.TemporaryFile(prefix="quill-bench-err-") if stderr_to_file else None
    try:
        start = time.perf_counter()
        proc = subprocess.Popen([TIME, "-o", report.name, "-f", "%M"] + argv, cwd=cwd,
                                stdout=out, stderr=errors or subprocess.PIPE)
        _, status, usage = os.wait4(proc.pid, 0)
        wall = time.perf_counter() - start
        if errors:
            errors.seek(0)
            err = errors.read().decode(errors="replace")
            errors.close()
        else:
            err = proc.stderr.read().decode(errors="replace")
            proc.stderr.close()
        proc.returncode = os.waitstatus_to_exitcode(status)
    finally:
        if stdout_path:
            out.close()
    if proc.returncode != 0:
        sys.exit(f"bench: {' '.join(argv)} failed ({proc.returncode}): {err.strip()[-2000:]}")
    with report:
        peak = int(report.read().decode().split()[-1])
    return usage.ru_utime + usage.ru_stime, wall, peak


def remove(path):
    if os.path.isdir(path):
        shutil.rmtree(path)
    elif os.path.exists(path):
        os.remove(path)


def floor_job(sizes, folder):
    """A job that writes files of the given sizes with head, one process per file."""
    def go():
        cpu = wall = 0.0
        rss = 0
        for k, size in enumerate(sizes):
            target = os.path.join(folder, f"floor{k}.raw")
            remove(target)
            c, w, r = run(["head", "-c", str(size), "/dev/zero"], folder, target)
            cpu, wall, rss = cpu + c, wall + w, max(rss, r)
        return cpu, wall, rss
    return go


def command_job(argv, folder, output):
    """A job that runs argv in folder, writing output (a file or a folder of files)."""
    def go():
        remove(os.path.join(folder, output))
        return run(argv, folder)
    return go


def measure(jobs, rounds):
    """Runs every job once per round, in turn; returns {name: [(cpu, wall, rss), ...]}."""
    results = {name: [] for name, _ in jobs}
    for _ in range(rounds):
        for name, job in jobs:
            results[name].append(job())
    return results


def medians(samples):
    return tuple(statistics.median(s[i] for s in samples) for i in range(3))


def apparent_sizes(path):
    if os.path.isdir(path):
        return [os.path.getsize(os.path.join(path, f)) for f in sorted(os.listdir(path))]
    return [os.path.getsize(path)]


def table(title, results, reference):
    print(f"\n{title}")
    print(f"  {'run':<10} {'cpu s':>8} {'wall s':>8} {'peak MiB':>9}   cpu/peer  wall/peer")
    ours = medians(results[reference])
    for name, samples in results.items():
        cpu, wall, rss = medians(samples)
        line = f"  {name:<10} {cpu:8.3f} {wall:8.3f} {rss / 1024:9.1f}"
        if name != reference:
            line += f"   {ours[0] / cpu if cpu else float('inf'):8.2f}  {ours[1] / wall:9.2f}"
        print(line)
    return ours


def machine():
    model = "unknown CPU"
    try:
        with open("/proc/cpuinfo") as info:
            for line in info:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    return f"{model}, {os.cpu_count()} cores, Linux {platform.release()}"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("quillgen")
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("--scaling-rounds", type=int, default=5)
    parser.add_argument("--dir", default=None, help="folder for the files (default: a temporary one)")
    parser.add_argument("--quick", action="store_true", help="one round, shorter scaling table")
    args = parser.parse_args()
    quillgen = os.path.abspath(args.quillgen)
    if args.quick:
        args.rounds, args.scaling_rounds = 1, 1
    sox = shutil.which("sox")
    if sox is None or not os.access(TIME, os.X_OK):
        sys.exit("bench: sox or GNU time is missing (scripts/install-deps.sh bench)")
    folder = tempfile.mkdtemp(prefix="quill-bench-", dir=args.dir)
    print(f"machine: {machine()}")
    print(f"files in {folder}; medians of {args.rounds} alternating rounds")
    try:
        # 1. The 60 s sweep at 192 kHz / 24 bits.
        sweep = [quillgen, "sweep", "--from", "20", "--to", "20000", "--from-level", "-20",
                 "--to-level", "-20", "--length", "60", "--rate", "192000", "--bits", "24",
                 "--no-announce", "--quiet", "-o", "sweep"]
        run(sweep, folder)
        sizes = apparent_sizes(os.path.join(folder, "sweep.aif"))
        sweep_results = measure([
            ("quillgen", command_job(sweep, folder, "sweep.aif")),
            ("sox", command_job([sox, "-n", "-r", "192000", "-b", "24", "-c", "1", "sox.aif",
                                 "synth", "60", "sine", "20/20000", "gain", "-20"], folder,
                                "sox.aif")),
            ("floor", floor_job(sizes, folder)),
        ], args.rounds)
        table(f"60 s sweep 20 Hz-20 kHz, 192000 Hz, 24 bits, mono AIFF ({sizes[0]} bytes)",
              sweep_results, "quillgen")

        # 2. The 10.2 phase check at 192 kHz / 24 bits, two repeats.
        check = [quillgen, "phase-check", "--layout", "10.2", "--rate", "192000", "--bits", "24",
                 "--repeats", "2", "--quiet", "-o", "check"]
        run(check, folder)
        sizes = apparent_sizes(os.path.join(folder, "check"))
        check_results = measure([
            ("quillgen", command_job(check, folder, "check")),
            ("floor", floor_job(sizes, folder)),
        ], args.rounds)
        table(f"10.2 phase check, 192000 Hz, 24 bits, 2 repeats ({len(sizes)} files, "
              f"{sum(sizes)} bytes)", check_results, "quillgen")

        # 3. The 10 min announced tone at 48 kHz / 16 bits.
        tone = [quillgen, "tone", "--freq", "1000", "--length", "600", "--rate", "48000",
                "--bits", "16", "--quiet", "-o", "tone"]
        tone_results = measure([
            ("quillgen", command_job(tone, folder, "tone.aif")),
            ("sox", command_job([sox, "-n", "-r", "48000", "-b", "16", "-c", "1", "sox.aif",
                                 "synth", "600", "sine", "1000"], folder, "sox.aif")),
        ], args.rounds)
        table("10 min announced 1 kHz tone, 48000 Hz, 16 bits", tone_results, "quillgen")

        # 4. The ten-minute 7.1.4 film ident at 48 kHz / 24 bits: one interleaved Broadcast
        #    WAVE file of about 1 GB, against writing its bytes.
        ident = [quillgen, "lineup", "film-ident", "--layout", "7.1.4", "--length", "600",
                 "--rate", "48000", "--bits", "24", "--format", "bwf", "--quiet", "-o", "ident"]
        run(ident, folder)
        sizes = apparent_sizes(os.path.join(folder, "ident.wav"))
        ident_results = measure([
            ("quillgen", command_job(ident, folder, "ident.wav")),
            ("floor", floor_job(sizes, folder)),
        ], args.rounds)
        table(f"10 min film ident, 7.1.4, 48000 Hz, 24 bits, one Broadcast WAVE file "
              f"({sizes[0]} bytes)", ident_results, "quillgen")
        remove(os.path.join(folder, "ident.wav"))
        remove(os.path.join(folder, "floor0.raw"))

        # 5. Loudness, loudness range and true peaks of a one-hour 48 kHz stereo 24-bit file
        #    (written once by sox, untimed) beside ffmpeg's ebur128 filter with true peaks.
        #    quillgen's run takes at most half of ffmpeg's.
        ffmpeg = shutil.which("ffmpeg")
        if ffmpeg is None:
            print("\nloudness: ffmpeg is missing, not measured")
        else:
            hour = os.path.join(folder, "hour.wav")
            run([sox, "-n", "-r", "48000", "-b", "24", "-c", "2", hour, "synth", "3600",
                 "pinknoise", "pinknoise", "gain", "-15"], folder)
            loudness_rounds = min(args.rounds, 3)
            loudness_results = measure([
                ("quillgen", lambda: run([quillgen, "info", "--levels", hour], folder)),
                # ffmpeg logs a line per 100 ms of the file: some megabytes, to a file.
            ("ffmpeg", lambda: run([ffmpeg, "-nostats", "-i", hour, "-af", "ebur128=peak=true",
                                    "-f", "null", "-"], folder, stderr_to_file=True)),
            ], loudness_rounds)
            ours = table(f"info --levels of one hour, 48000 Hz, 24 bits, stereo WAVE "
                         f"({os.path.getsize(hour)} bytes; {loudness_rounds} rounds)",
                         loudness_results, "quillgen")
            peer = medians(loudness_results["ffmpeg"])
            verdict = "within" if ours[1] <= 0.5 * peer[1] else "OVER"
            print(f"  wall time quillgen / ffmpeg {ours[1] / peer[1]:.2f}: {verdict} the "
                  f"budget of 0.5")
            remove(hour)

        # 6. Time per frame against length, also net of a run's fixed cost (starting the
        #    process, creating, syncing and renaming the file: a 0.01 s run's time).
        lengths = [1, 10, 60] if args.quick else [1, 10, 60, 600]
        print(f"\nscaling: sweep 20 Hz-20 kHz, 24 bits, no announcement; medians of "
              f"{args.scaling_rounds} rounds; 'net' is after the fixed cost of a 0.01 s run; "
              f"'floor' writes the same bytes")
        print(f"  {'rate':>7} {'length s':>9} {'cpu s':>8} {'wall s':>8} {'ns/frame cpu':>13} "
              f"{'net cpu':>8} {'ns/frame wall':>14} {'net wall':>9} {'floor wall':>11} "
              f"{'peak MiB':>9}")

        def scaled(rate, length):
            argv = [quillgen, "sweep", "--from", "20", "--to", "20000", "--length", str(length),
                    "--rate", str(rate), "--bits", "24", "--no-announce", "--quiet", "-o", "scale"]
            job = command_job(argv, folder, "scale.aif")
            job()
            sizes = apparent_sizes(os.path.join(folder, "scale.aif"))
            figures = measure([("q", job), ("floor", floor_job(sizes, folder))],
                              args.scaling_rounds)
            remove(os.path.join(folder, "scale.aif"))
            return medians(figures["q"]), medians(figures["floor"])

        for rate in (48000, 192000):
            (fixed_cpu, fixed_wall, _), _ = scaled(rate, 0.01)
            for length in lengths:
                (cpu, wall, rss), (_, floor_wall, _) = scaled(rate, length)
                frames = rate * length
                print(f"  {rate:>7} {length:>9} {cpu:8.3f} {wall:8.3f} "
                      f"{cpu / frames * 1e9:13.2f} {(cpu - fixed_cpu) / frames * 1e9:8.2f} "
                      f"{wall / frames * 1e9:14.2f} {(wall - fixed_wall) / frames * 1e9:9.2f} "
                      f"{floor_wall / frames * 1e9:11.2f} {rss / 1024:9.1f}")
    finally:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
