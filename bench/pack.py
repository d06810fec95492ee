#!/usr/bin/python3
"""Packing benchmark: `mksetup` (the native build, build/host/mksetup) turning
the reference payload folder into an installer, next to `zip -r -6` on the
same folder, in the same rounds.

The folder is the extraction benchmark's reference payload (about 190 MB in
about 3000 files, generated once into <build>/bench/payload). Prints the
median wall time and CPU time (user + system) of --runs interleaved rounds
after one untimed warm-up round, and the output size (for mksetup without
the stub in front of the archive) and peak memory, each with its ratio to
zip.

    bench/pack.py [--build-dir build] [--runs 3]
"""
import os
import shutil
import statistics
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
sys.path.insert(0, HERE)

import extract  # noqa: E402 (the reference payload generator beside this file)


def main():
    args, build, bench = extract.arguments(__doc__)

    folder = extract.reference_folder(bench)
    mksetup = extract.packer(build)
    stub = os.path.join(build, "bin", "conrun.exe")
    if not os.path.exists(stub):
        raise SystemExit("%s is not built: run scripts/build" % stub)
    stub_size = os.path.getsize(stub)
    out = os.path.join(bench, "packed")
    installer = os.path.join(out, "installer.exe")
    zipped = os.path.join(out, "payload.zip")
    contenders = [
        ("mksetup", [mksetup, "-q", "-o", installer, "--stub", stub, "--payload", folder],
         installer, None, stub_size),
        ("zip -r -6", ["zip", "-qr", "-6", zipped, "."], zipped, folder, 0),
    ]

    def run(command, written, cwd, front):
        wall, cpu, peak, _ = extract.measure(command, out, cwd=cwd)
        return wall, cpu, peak, os.path.getsize(written) - front

    run(*contenders[0][1:])  # warm-up round: the folder in the page cache
    runs = {name: [] for name, *_ in contenders}
    for _ in range(args.runs):
        for name, *contender in contenders:
            runs[name].append(run(*contender))
    shutil.rmtree(out, ignore_errors=True)

    results = [(name,) + tuple(statistics.median(r[i] for r in runs[name]) for i in range(4))
               for name, *_ in contenders]
    peer = results[-1]
    print("folder: %s; median of %d interleaved rounds" % (folder, args.runs))
    print("%-10s %8s %6s %8s %6s %9s %6s %11s %6s" % (
        "packer", "wall s", "ratio", "cpu s", "ratio", "peak MiB", "ratio", "archive MB",
        "ratio"))
    for name, wall, cpu, peak, size in results:
        print("%-10s %8.2f %6.2f %8.2f %6.2f %9.1f %6.2f %11.2f %6.3f" % (
            name, wall, wall / peer[1], cpu, cpu / peer[2], peak / 1024.0, peak / peer[3],
            size / 1e6, size / peer[4]))
    print("\nratios are to zip -r -6; mksetup's archive size leaves out the %d-byte stub"
          % stub_size)


if __name__ == "__main__":
    main()
