#!/usr/bin/python3
"""Extraction benchmark: the launcher's own extraction (a native build, and
the Windows build under Wine) against `unzip -q` and `bsdtar -x`, on one
reference payload, in the same run.

The payload is generated deterministically into <build>/bench/ (about 190 MB
in about 3000 files: many small class-like text files in nested folders, a
few incompressible jars, a few large compressible files) and zipped with
Info-ZIP zip once; later runs reuse it.

Prints wall time, CPU time (user + system) and peak resident memory of each
extractor (the median of --runs runs, taken in turns after one untimed
warm-up round), with the ratio to the fastest peer.

    bench/extract.py [--build-dir build] [--runs 3]

Under Wine, CPU time adds the persistent wineserver's share during the run;
peak memory is the program's own process.
"""
import argparse
import hashlib
import os
import random
import shutil
import statistics
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
PAYLOAD_VERSION = "2"

WORDS = ("public private static final class interface extends implements return "
         "void int long String Object this new if else for while try catch throw "
         "import package synchronized volatile transient null true false").split()


def class_text(rng, size):
    lines = []
    total = 0
    name = "C%d" % rng.randrange(10 ** 6)
    while total < size:
        line = "    %s %s_%d(%s) { return %s; }\n" % (
            rng.choice(WORDS), rng.choice(WORDS), rng.randrange(1000), rng.choice(WORDS),
            rng.choice(WORDS))
        lines.append(line)
        total += len(line)
    return ("package p;\npublic class %s {\n" % name + "".join(lines) + "}\n").encode()


def generate(tree):
    """Writes the payload below `tree`; returns (files, bytes)."""
    rng = random.Random(20261207)
    count = total = 0

    def put(path, data):
        nonlocal count, total
        full = os.path.join(tree, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as out:
            out.write(data)
        count += 1
        total += len(data)

    # Many small class-like files, in nested folders.
    for i in range(2980):
        depth = 1 + i % 4
        folders = "/".join("pkg%d" % ((i >> (2 * d)) % 7) for d in range(depth))
        put("classes/%s/Class%d.class" % (folders, i), class_text(rng, rng.randrange(500, 20000)))
    # A few incompressible jars.
    for i in range(8):
        put("package/lib%d.jar" % i, rng.randbytes(7 * 1024 * 1024 + i * 100000))
    # A few large compressible files.
    for i in range(4):
        parts = []
        size = 0
        while size < 23 * 1024 * 1024:
            line = "%08d INFO component-%d handled request %d in %d ms\n" % (
                size, rng.randrange(20), rng.randrange(10 ** 6), rng.randrange(500))
            parts.append(line)
            size += len(line)
        put("data/log%d.txt" % i, "".join(parts).encode())
    return count, total


def reference_folder(bench):
    """The reference payload as a folder in <bench>/payload, generated once
    (the packing benchmark packs it; the extraction benchmark zips it)."""
    tree = os.path.join(bench, "payload")
    stamp = os.path.join(bench, "payload-folder.version")
    if os.path.isdir(tree) and os.path.exists(stamp) and open(stamp).read() == PAYLOAD_VERSION:
        return tree
    shutil.rmtree(tree, ignore_errors=True)
    print("generating the payload ...", file=sys.stderr)
    count, total = generate(tree)
    print("  %d files, %.1f MB" % (count, total / 1e6), file=sys.stderr)
    with open(stamp, "w") as out:
        out.write(PAYLOAD_VERSION)
    return tree


def payload(bench):
    archive = os.path.join(bench, "payload.zip")
    stamp = os.path.join(bench, "payload.version")
    if os.path.exists(archive) and os.path.exists(stamp) and open(stamp).read() == PAYLOAD_VERSION:
        return archive
    tree = reference_folder(bench)
    print("zipping the payload ...", file=sys.stderr)
    if os.path.exists(archive):
        os.remove(archive)
    subprocess.run(["zip", "-qr", "-6", archive, "."], cwd=tree, check=True)
    with open(stamp, "w") as out:
        out.write(PAYLOAD_VERSION)
    return archive


def native_tool(bench):
    """Builds the native extraction tool (Release, host compiler)."""
    tree = os.path.join(bench, "native")
    if not os.path.exists(os.path.join(tree, "CMakeCache.txt")):
        subprocess.run(["cmake", "-S", REPO, "-B", tree, "-DNATIVE_BUILD=ON",
                        "-DCMAKE_BUILD_TYPE=Release"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", tree, "--target", "unzip_native"], check=True,
                   stdout=subprocess.DEVNULL)
    return os.path.join(tree, "native", "unzip_native")


def to_windows(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wineserver_cpu(prefix):
    """CPU seconds used so far by the wineserver(s) of `prefix`."""
    total = 0
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/comm" % pid) as f:
                if not f.read().startswith("wineserver"):
                    continue
            with open("/proc/%s/environ" % pid, "rb") as f:
                if ("WINEPREFIX=%s" % prefix).encode() not in f.read().split(b"\0"):
                    continue
            with open("/proc/%s/stat" % pid) as f:
                fields = f.read().rsplit(")", 1)[1].split()
            total += int(fields[11]) + int(fields[12])
        except OSError:
            continue
    return total / os.sysconf("SC_CLK_TCK")


def measure(command, out_dir, env=None, cwd=None):
    """One run, into a fresh `out_dir`: (wall s, cpu s, peak KiB)."""
    prefix = env.get("WINEPREFIX") if env else None
    server_before = wineserver_cpu(prefix) if prefix else 0.0
    shutil.rmtree(out_dir, ignore_errors=True)
    os.makedirs(out_dir)
    subprocess.run(["sync"])
    report = out_dir + ".time"
    done = subprocess.run(["/usr/bin/time", "-o", report, "-f", "%e %U %S %M"] + command,
                          stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env, cwd=cwd)
    if done.returncode != 0:
        raise SystemExit("%s failed (%d): %s" % (command[0], done.returncode,
                                                  done.stderr.decode(errors="replace")[-2000:]))
    wall, user, system, peak = open(report).read().split()[-4:]
    server = wineserver_cpu(prefix) - server_before if prefix else 0.0
    return float(wall), float(user) + float(system) + server, int(peak)


def tree_summary(root):
    found = []
    for base, _, files in os.walk(root):
        for f in files:
            full = os.path.join(base, f)
            found.append((os.path.relpath(full, root), os.path.getsize(full)))
    return hashlib.sha256(repr(sorted(found)).encode()).hexdigest(), len(found)


def arguments(doc):
    """The command line every benchmark takes (--build-dir, --runs), described
    by the first line of `doc`: (arguments, build tree, <build>/bench, made)."""
    parser = argparse.ArgumentParser(description=doc.split("\n")[0])
    parser.add_argument("--build-dir", default=os.environ.get("BUILD_DIR", os.path.join(REPO, "build")))
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    build = os.path.abspath(args.build_dir)
    bench = os.path.join(build, "bench")
    os.makedirs(bench, exist_ok=True)
    return args, build, bench


def main():
    args, build, bench = arguments(__doc__)

    archive = payload(bench)
    native = native_tool(bench)
    probe = os.path.join(build, "support", "unzip_probe.exe")
    out = os.path.join(bench, "out")

    wine_env = dict(os.environ, WINEPREFIX=os.environ.get("WINEPREFIX", os.path.join(build, "wineprefix")),
                    WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
    contenders = [("ours (native)", [native, archive, out], None, False)]
    if os.path.exists(probe) and shutil.which("wine"):
        subprocess.run([os.path.join(REPO, "scripts", "wine-prefix")], env=wine_env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # Start the wineserver before the first timed run.
        subprocess.run(["wine", probe], env=wine_env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        contenders.append(("ours (Wine)", ["wine", probe, to_windows(archive), to_windows(out)],
                           wine_env, False))
    contenders.append(("unzip -q", ["unzip", "-q", "-o", archive, "-d", out], None, True))
    contenders.append(("bsdtar -x", ["bsdtar", "-x", "-f", archive, "-C", out], None, True))

    size = os.path.getsize(archive)
    with subprocess.Popen(["unzip", "-Zt", archive], stdout=subprocess.PIPE) as z:
        totals = z.communicate()[0].decode().strip()
    print("payload: %s, %.1f MB compressed (%s)" % (archive, size / 1e6, totals))
    print("median of %d runs each\n" % args.runs)

    # One untimed round, which also checks that everyone extracts the same.
    reference = None
    for name, command, env, _ in contenders:
        measure(command, out, env)
        summary = tree_summary(out)
        if reference is None:
            reference = summary
        elif summary != reference:
            raise SystemExit("%s extracted something else: %r vs %r" % (name, summary, reference))
    runs = {name: [] for name, _, _, _ in contenders}
    for _ in range(args.runs):
        for name, command, env, _ in contenders:
            runs[name].append(measure(command, out, env))
    shutil.rmtree(out, ignore_errors=True)
    results = [(name, peer, statistics.median(r[0] for r in runs[name]),
                statistics.median(r[1] for r in runs[name]), max(r[2] for r in runs[name]))
               for name, _, _, peer in contenders]

    peers = [r for r in results if r[1]]
    best = [min(r[i] for r in peers) for i in (2, 3, 4)]
    print("%-15s %9s %7s %9s %7s %10s %7s" % ("extractor", "wall s", "ratio", "cpu s", "ratio",
                                                "peak MiB", "ratio"))
    for name, _, wall, cpu, peak in results:
        print("%-15s %9.2f %7.2f %9.2f %7.2f %10.1f %7.2f" % (
            name, wall, wall / best[0], cpu, cpu / best[1], peak / 1024.0, peak / best[2]))
    print("\nratios are to the fastest (smallest) of unzip and bsdtar; %d files extracted"
          % reference[1])


if __name__ == "__main__":
    main()
