#!/usr/bin/python3
"""Time to wizard: how long the launcher takes from its process start until
the installer wizard's Java process starts, on the reference payload of the
extraction benchmark, next to `unzip -q` and `bsdtar -x` of the same archive
in the same run; and the launcher's own overhead on an empty payload.

The launcher is the real conrun.exe of the test variant (start delay 0),
with the reference payload plus the wizard's files and a stand-in runtime
under package/jre appended. The stand-in records its own creation time, so
the figure ends exactly when the wizard's process exists; the launcher's
start is taken just before `wine` is started (a persistent wineserver keeps
Wine's own start at a few tens of milliseconds, also measured here as the
start of a program that does nothing).

    bench/time_to_wizard.py [--build-dir build] [--runs 5]
"""
import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(REPO, "tests", "support"))

import extract  # noqa: E402  (the reference payload and the timing helpers)
import installer  # noqa: E402
import runtimes  # noqa: E402


def wizard_files(build, stage):
    """Lays out the wizard's class file, jars and a stand-in runtime below
    `stage` (in archive form) and returns the relative names."""
    members = installer.payload_members(build_dir=build,
                                        runtime=runtimes.make_runtime(
                                            build, os.path.join(stage, ".rt"), version="1.6.0_45"))
    names = []
    for name, data in members:
        path = os.path.join(stage, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        names.append(name)
    shutil.rmtree(os.path.join(stage, ".rt"))
    return names


def make_installer(build, bench, reference, name):
    """conrun.exe + (reference archive, or nothing) + the wizard's files."""
    out = os.path.join(bench, name)
    archive = os.path.join(bench, name + ".zip")
    if reference:
        shutil.copyfile(reference, archive)
    elif os.path.exists(archive):
        os.remove(archive)
    stage = tempfile.mkdtemp(dir=bench)
    names = wizard_files(build, stage)
    subprocess.run(["zip", "-q", "-6", archive] + names, cwd=stage, check=True)
    shutil.rmtree(stage)
    with open(out, "wb") as f:
        for part in (os.path.join(build, "test-bin", "conrun.exe"), archive):
            with open(part, "rb") as p:
                shutil.copyfileobj(p, f)
    os.remove(archive)
    return out


def time_launch(program, env, tmp):
    """Seconds from starting the launcher to the wizard's process start, and
    the launcher's whole run."""
    record = os.path.join(tmp, "record.jsonl")
    if os.path.exists(record):
        os.remove(record)
    run_env = dict(env, STANDIN_RECORD=extract.to_windows(record))
    start = time.time()
    done = subprocess.run(["wine", program, "-tmpdir", extract.to_windows(tmp)], env=run_env,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    whole = time.time() - start
    if done.returncode != 0 or not os.path.exists(record):
        raise SystemExit("the launcher failed (%d): %s" % (
            done.returncode, (done.stdout + done.stderr).decode(errors="replace")[-2000:]))
    with open(record) as f:
        started = json.loads(f.readline())["started_unix"]
    os.remove(record)
    return started - start, whole


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build-dir", default=os.environ.get("BUILD_DIR", os.path.join(REPO, "build")))
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    build = os.path.abspath(args.build_dir)
    bench = os.path.join(build, "bench")
    os.makedirs(bench, exist_ok=True)
    env = dict(os.environ, WINEPREFIX=os.environ.get("WINEPREFIX", os.path.join(build, "wineprefix")),
               WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
    subprocess.run([os.path.join(REPO, "scripts", "wine-prefix")], env=env,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)

    reference = extract.payload(bench)
    full = make_installer(build, bench, reference, "ttw-reference.exe")
    empty = make_installer(build, bench, None, "ttw-empty.exe")
    tmp = os.path.join(bench, "ttw-tmp")
    out = os.path.join(bench, "out")
    os.makedirs(tmp, exist_ok=True)
    nothing = os.path.join(build, "support", "java_standin", "java.exe")

    rows = {"launcher, reference payload": [], "launcher, empty payload": [],
            "unzip -q": [], "bsdtar -x": [], "wine start (no work)": []}
    whole = {"launcher, reference payload": [], "launcher, empty payload": []}
    for round_ in range(args.runs + 1):  # the first round warms the caches
        for name, program in (("launcher, reference payload", full),
                              ("launcher, empty payload", empty)):
            to_wizard, all_of_it = time_launch(program, env, tmp)
            if round_:
                rows[name].append(to_wizard)
                whole[name].append(all_of_it)
        for name, command in (("unzip -q", ["unzip", "-q", "-o", reference, "-d", out]),
                              ("bsdtar -x", ["bsdtar", "-x", "-f", reference, "-C", out])):
            wall, _, _ = extract.measure(command, out)
            if round_:
                rows[name].append(wall)
        start = time.time()
        subprocess.run(["wine", nothing, "-version"], env=env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        if round_:
            rows["wine start (no work)"].append(time.time() - start)
    shutil.rmtree(out, ignore_errors=True)
    if os.listdir(tmp):
        raise SystemExit("the launcher left something behind in %s" % tmp)

    with subprocess.Popen(["unzip", "-Zt", reference], stdout=subprocess.PIPE) as z:
        totals = z.communicate()[0].decode().strip()
    print("reference payload: %s (%s)" % (reference, totals))
    print("median of %d runs each (wall seconds)\n" % args.runs)
    best = min(statistics.median(rows["unzip -q"]), statistics.median(rows["bsdtar -x"]))
    print("%-30s %10s %9s" % ("", "to wizard", "ratio"))
    for name, values in rows.items():
        median = statistics.median(values)
        print("%-30s %10.3f %9.2f" % (name, median, median / best))
    print("\nratios are to the faster of unzip and bsdtar extracting the same archive")
    for name, values in whole.items():
        print("%s: whole run (wizard included, cleanup done) %.3f s"
              % (name, statistics.median(values)))


if __name__ == "__main__":
    main()
