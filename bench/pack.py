#!/usr/bin/python3
"""Packing benchmark: `mksetup` (the native build, build/host/mksetup) turning
the reference payload folder into an installer, next to `zip -r -6` on the
same folder, in the same rounds.

The folder is the extraction benchmark's reference payload (about 190 MB in
about 3000 files, generated once into <build>/bench/payload). Prints the
median wall time and CPU time (user + system) of --runs interleaved rounds
after one untimed warm-up round, and the output size (for mksetup without
the stub in front of the archive), each with its ratio to zip.

    bench/pack.py [--build-dir build] [--runs 3]
"""
import argparse
import os
import statistics
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
sys.path.insert(0, HERE)

import extract  # noqa: E402 (the reference payload generator beside this file)


def measure(command, out, cwd=None):
    """One run: (wall s, cpu s, output bytes)."""
    if os.path.exists(out):
        os.remove(out)
    subprocess.run(["sync"])
    report = out + ".time"
    done = subprocess.run(["/usr/bin/time", "-o", report, "-f", "%e %U %S"] + command, cwd=cwd,
                          stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    if done.returncode != 0:
        raise SystemExit("%s failed (%d): %s" % (command[0], done.returncode,
                                                  done.stderr.decode(errors="replace")[-2000:]))
    wall, user, system = open(report).read().split()[-3:]
    os.remove(report)
    return float(wall), float(user) + float(system), os.path.getsize(out)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build-dir", default=os.environ.get("BUILD_DIR", os.path.join(REPO, "build")))
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    build = os.path.abspath(args.build_dir)
    bench = os.path.join(build, "bench")
    os.makedirs(bench, exist_ok=True)

    folder = extract.reference_folder(bench)
    mksetup = os.path.join(build, "host", "mksetup")
    stub = os.path.join(build, "bin", "conrun.exe")
    for needed in (mksetup, stub):
        if not os.path.exists(needed):
            raise SystemExit("%s is not built: run scripts/build" % needed)
    stub_size = os.path.getsize(stub)
    installer = os.path.join(bench, "packed.exe")
    zipped = os.path.join(bench, "packed.zip")
    contenders = [
        ("mksetup", [mksetup, "-q", "-o", installer, "--stub", stub, "--payload", folder],
         installer, None, stub_size),
        ("zip -r -6", ["zip", "-qr", "-6", zipped, "."], zipped, folder, 0),
    ]

    measure(*contenders[0][1:4])  # warm-up round: the folder in the page cache
    runs = {name: [] for name, *_ in contenders}
    for _ in range(args.runs):
        for name, command, out, cwd, _ in contenders:
            runs[name].append(measure(command, out, cwd))
    for _, _, out, _, _ in contenders:
        os.remove(out)

    results = []
    for name, _, _, _, front in contenders:
        wall = statistics.median(r[0] for r in runs[name])
        cpu = statistics.median(r[1] for r in runs[name])
        size = runs[name][-1][2] - front
        results.append((name, wall, cpu, size))
    peer = results[-1]
    print("folder: %s; median of %d interleaved rounds" % (folder, args.runs))
    print("%-10s %9s %7s %9s %7s %12s %7s" % ("packer", "wall s", "ratio", "cpu s", "ratio",
                                              "archive MB", "ratio"))
    for name, wall, cpu, size in results:
        print("%-10s %9.2f %7.2f %9.2f %7.2f %12.2f %7.3f" % (
            name, wall, wall / peer[1], cpu, cpu / peer[2], size / 1e6, size / peer[3]))
    print("\nratios are to zip -r -6; mksetup's archive size leaves out the %d-byte stub"
          % stub_size)


if __name__ == "__main__":
    main()
