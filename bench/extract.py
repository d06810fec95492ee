#!/usr/bin/python3
"""Extraction benchmark: the launcher's own extraction (a native build, with
its workers and built serial, and the Windows build under Wine) against
`unzip -q` and `bsdtar -x`, on one reference payload, in the same rounds;
beside them the floor under Wine: floor_writer.exe making the same files
with the same sizes on one thread a processor, from memory, with the fewest calls
(see bench/floor_writer/floor_writer.cpp).

The payload is generated deterministically into <build>/bench/ (about 190 MB
in about 3000 files: many small class-like text files in nested folders, a
few incompressible jars, a few large compressible files) and zipped with
Info-ZIP zip once; later runs reuse it. --growth adds payloads of the same
mix at 50, 100, 200 and 400 MB and one of 20,000 files of 4 KB.

The archive and the output go to a RAM file system (tmpfs) that the
benchmark mounts at <build>/bench/tmpfs when it can (root), so that the disk
does not blur the figures; it says so when it cannot. --disk measures on
disk instead, for the record. Contenders take turns in every round (A B C,
A B C, ...) after one untimed warm-up round that also checks that everyone
extracts the same files; the table shows medians of wall time, CPU time
(user + system) and peak resident memory, each with its ratio to the
fastest peer (unzip, bsdtar). The figures are also written to
<build>/bench/results/.

    bench/extract.py [--build-dir build] [--runs 3] [--growth] [--disk]

BASELINE_PROBE=<an earlier build's support/unzip_probe.exe> adds that build
under Wine to the same rounds, and the ratios of ours to it; the reference
payload is then also packed with Zstandard by the packer (build/host), and
ours extracts that too.

Under Wine, CPU time adds the persistent wineserver's share during the run;
peak memory is the program's own process.
"""
import argparse
import atexit
import hashlib
import os
import random
import shutil
import statistics
import subprocess
import sys
import time

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


def generate(tree, scale=1.0):
    """Writes the payload below `tree` (`scale` times the reference mix);
    returns (files, bytes)."""
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
    for i in range(round(2980 * scale)):
        depth = 1 + i % 4
        folders = "/".join("pkg%d" % ((i >> (2 * d)) % 7) for d in range(depth))
        put("classes/%s/Class%d.class" % (folders, i), class_text(rng, rng.randrange(500, 20000)))
    # A few incompressible jars.
    for i in range(max(1, round(8 * scale))):
        put("package/lib%d.jar" % i, rng.randbytes(7 * 1024 * 1024 + i * 100000))
    # A few large compressible files.
    for i in range(max(1, round(4 * scale))):
        parts = []
        size = 0
        while size < 23 * 1024 * 1024:
            line = "%08d INFO component-%d handled request %d in %d ms\n" % (
                size, rng.randrange(20), rng.randrange(10 ** 6), rng.randrange(500))
            parts.append(line)
            size += len(line)
        put("data/log%d.txt" % i, "".join(parts).encode())
    return count, total


def generate_small(tree, files=20000, size=4096):
    """`files` class-like files of `size` bytes in nested folders."""
    rng = random.Random(4096)
    for i in range(files):
        folders = "/".join("pkg%d" % ((i >> (3 * d)) % 8) for d in range(1 + i % 3))
        path = os.path.join(tree, "classes", folders, "Small%d.class" % i)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(class_text(rng, size)[:size])
    return files, files * size


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


# The growth payloads: name -> how to make its folder.
GROWTH = [("50 MB", lambda t: generate(t, 50 / 190)), ("100 MB", lambda t: generate(t, 100 / 190)),
          ("200 MB", lambda t: generate(t, 200 / 190)), ("400 MB", lambda t: generate(t, 400 / 190)),
          ("20,000 x 4 KB", generate_small)]


def growth_payload(bench, label, make):
    """The archive of one growth payload, generated and zipped once."""
    name = "growth-" + "".join(c for c in label if c.isalnum())
    archive = os.path.join(bench, name + ".zip")
    stamp = archive + ".version"
    if os.path.exists(archive) and os.path.exists(stamp) and open(stamp).read() == PAYLOAD_VERSION:
        return archive
    tree = os.path.join(bench, name)
    shutil.rmtree(tree, ignore_errors=True)
    print("generating and zipping %s ..." % label, file=sys.stderr)
    make(tree)
    if os.path.exists(archive):
        os.remove(archive)
    subprocess.run(["zip", "-qr", "-6", archive, "."], cwd=tree, check=True)
    shutil.rmtree(tree)
    with open(stamp, "w") as out:
        out.write(PAYLOAD_VERSION)
    return archive


def scratch_space(bench, disk, size="3g"):
    """Where archives and outputs go: (directory, what it is). A tmpfs of
    `size` is mounted at <bench>/tmpfs for the run when possible."""
    if disk:
        where = os.path.join(bench, "disk")
        os.makedirs(where, exist_ok=True)
        return where, "on disk (%s), as asked" % where
    where = os.path.join(bench, "tmpfs")
    os.makedirs(where, exist_ok=True)
    if os.path.ismount(where):
        return where, "tmpfs at %s (mounted before)" % where
    if os.geteuid() != 0:
        return where, "ON DISK: mounting a tmpfs needs root (%s)" % where
    done = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%s,mode=0755" % size, "tmpfs", where],
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if done.returncode != 0:
        return where, "ON DISK: mount -t tmpfs failed (%s)" % done.stdout.decode().strip()
    atexit.register(lambda: subprocess.run(["umount", where]))
    return where, "tmpfs mounted at %s for the run" % where


def native_tool(bench, serial=False):
    """Builds the native extraction tool (Release, host compiler); `serial`
    builds it with ZIP_SERIAL_EXTRACTION, in a tree of its own."""
    tree = os.path.join(bench, "native-serial" if serial else "native")
    if not os.path.exists(os.path.join(tree, "CMakeCache.txt")):
        subprocess.run(["cmake", "-S", REPO, "-B", tree, "-DNATIVE_BUILD=ON",
                        "-DZIP_SERIAL_EXTRACTION=%s" % ("ON" if serial else "OFF"),
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
    """One run, into a fresh `out_dir`: (wall s, cpu s, peak KiB, the
    wineserver's share of that cpu s)."""
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
    return float(wall), float(user) + float(system) + server, int(peak), server


def worker_threads():
    """The floor writer's thread count: one a processor, at most 8. The
    extraction runs two a processor (zip/extract.cpp), which overlaps its
    decoding with its waits on the system; the floor decodes nothing, and
    two a processor made it slower (0.42 s against 0.36 s on two
    processors), so it keeps its fastest."""
    return min(os.cpu_count() or 1, 8)


def manifest(archive, path):
    """Writes the floor writer's manifest of `archive` to `path` (a line
    "<size> <name>" per entry); returns `path`."""
    import zipfile
    with zipfile.ZipFile(archive) as z, open(path, "w", encoding="utf-8", newline="\n") as out:
        for info in z.infolist():
            out.write("%d %s\n" % (info.file_size, info.filename))
    return path


def floor_write(build, archive, out, space):
    """The floor writer's command for `archive` into `out` (None when it is
    not built)."""
    floor = os.path.join(build, "support", "floor_writer.exe")
    if not os.path.exists(floor):
        return None
    listed = manifest(archive, os.path.join(space, os.path.basename(archive) + ".manifest"))
    return ["wine", floor, "write", to_windows(listed), to_windows(out), str(worker_threads())]


def packer(build):
    """The packer built for this host: <build>/host/mksetup, or, for a
    64-bit tree, that of the tree it is built beside (scripts/build)."""
    for tree in (build, os.path.dirname(build)):
        path = os.path.join(tree, "host", "mksetup")
        if os.path.exists(path):
            return path
    raise SystemExit("%s is not built: run scripts/build" % os.path.join(build, "host", "mksetup"))


def zstd_installer(build, bench, label, archive, space):
    """The files of `archive` packed by the packer with its defaults
    (Zstandard) into conrun, in `space`; made once per payload."""
    packed = os.path.join(bench, "%s-zstd.exe" % label)
    if not os.path.exists(packed) or os.path.getmtime(packed) < os.path.getmtime(archive):
        folder = os.path.join(space, "zstd-input")
        shutil.rmtree(folder, ignore_errors=True)
        subprocess.run(["unzip", "-q", archive, "-d", folder], check=True)
        subprocess.run([packer(build), "-q", "-o", packed, "--stub",
                        os.path.join(build, "bin", "conrun.exe"), "--payload", folder],
                       check=True, stderr=subprocess.DEVNULL)
        shutil.rmtree(folder)
    copy = os.path.join(space, os.path.basename(packed))
    shutil.copyfile(packed, copy)
    return copy


def tree_summary(root):
    found = []
    for base, _, files in os.walk(root):
        for f in files:
            full = os.path.join(base, f)
            found.append((os.path.relpath(full, root), os.path.getsize(full)))
    return hashlib.sha256(repr(sorted(found)).encode()).hexdigest(), len(found)


def arguments(doc, runs=3, flags=(), values=()):
    """The command line every benchmark takes (--build-dir, --runs, --disk,
    --growth), its own `flags` and options that take a value `values`
    ((name, help) pairs), described by the first line of `doc`: (arguments,
    build tree, <build>/bench)."""
    parser = argparse.ArgumentParser(description=doc.split("\n")[0])
    parser.add_argument("--build-dir", default=os.environ.get("BUILD_DIR", os.path.join(REPO, "build")))
    parser.add_argument("--runs", type=int, default=runs)
    parser.add_argument("--disk", action="store_true", help="measure on disk instead of a tmpfs")
    parser.add_argument("--growth", action="store_true",
                        help="also 50, 100, 200, 400 MB payloads and 20,000 small files")
    for name, text in flags:
        parser.add_argument(name, action="store_true", help=text)
    for name, text in values:
        parser.add_argument(name, help=text)
    args = parser.parse_args()
    build = os.path.abspath(args.build_dir)
    bench = os.path.join(build, "bench")
    os.makedirs(bench, exist_ok=True)
    return args, build, bench


class Report:
    """Prints and keeps the lines, then writes them to <bench>/results/."""

    def __init__(self, bench, name):
        self.lines = []
        self.path = os.path.join(bench, "results", "%s-%s.txt" % (
            name, time.strftime("%Y%m%dT%H%M%SZ", time.gmtime())))

    def __call__(self, text=""):
        print(text, flush=True)
        self.lines.append(text)

    def save(self):
        os.makedirs(os.path.dirname(self.path), exist_ok=True)
        with open(self.path, "w") as out:
            out.write("\n".join(self.lines) + "\n")
        print("\n(written to %s)" % self.path)


def host_arch():
    """The loader this host starts first (scripts/run-arch): i686 or x86_64."""
    return subprocess.run([os.path.join(REPO, "scripts", "run-arch")], stdout=subprocess.PIPE,
                          check=True).stdout.decode().strip()


def build_arch(build):
    """The architecture of the Windows programs of `build` (its CMake
    cache's LAUNCHER_ARCH); the host's where the cache does not say."""
    try:
        with open(os.path.join(build, "CMakeCache.txt")) as cache:
            for line in cache:
                if line.startswith("LAUNCHER_ARCH:"):
                    return line.split("=", 1)[1].strip()
    except OSError:
        pass
    return host_arch()


def wine_environment(build):
    """The environment of the programs run under Wine: the project's `wine`
    (scripts/wine-bin) first, set to start the loader of the build's
    programs. A program started by the other loader is handed on to a
    second process, which /usr/bin/time does not count and whose start
    every wall time would carry."""
    return dict(os.environ, WINEPREFIX=os.environ.get("WINEPREFIX", os.path.join(build, "wineprefix")),
                WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=",
                LAUNCHER_RUN_ARCH=build_arch(build),
                PATH=os.path.join(REPO, "scripts", "wine-bin") + os.pathsep + os.environ["PATH"])


def round_robin(contenders, runs, measure_one, check=None):
    """One untimed round (each result handed to `check`), then `runs`
    rounds in which every contender takes its turn: {name: [results]}."""
    for contender in contenders:
        result = measure_one(contender)
        if check:
            check(contender, result)
    results = {c[0]: [] for c in contenders}
    for _ in range(runs):
        for contender in contenders:
            results[contender[0]].append(measure_one(contender))
    return results


def compare(archive, contenders, runs, out, say):
    """Extracts `archive` with every contender (name, command, env, is a
    peer) into `out` in interleaved rounds and prints the table."""
    reference = {}

    def check(contender, _):
        summary = tree_summary(out)
        if not reference:
            reference["tree"] = summary
        elif summary != reference["tree"]:
            raise SystemExit("%s extracted something else: %r vs %r" % (contender[0], summary,
                                                                        reference["tree"]))

    runs_of = round_robin(contenders, runs, lambda c: measure(c[1], out, c[2]), check)
    shutil.rmtree(out, ignore_errors=True)
    results = [(name, peer, statistics.median(r[0] for r in runs_of[name]),
                statistics.median(r[1] for r in runs_of[name]), max(r[2] for r in runs_of[name]))
               for name, _, _, peer in contenders]
    # The program's own CPU, without the wineserver's share: what its code
    # costs, apart from what each of its calls costs the platform.
    own = {name: statistics.median(r[1] - r[3] for r in runs_of[name]) for name in runs_of}
    peers = [r for r in results if r[1]]
    best = [min(r[i] for r in peers) for i in (2, 3, 4)]
    say("%-22s %9s %7s %9s %7s %10s %7s" % ("extractor", "wall s", "ratio", "cpu s", "ratio",
                                            "peak MiB", "ratio"))
    for name, _, wall, cpu, peak in results:
        say("%-22s %9.2f %7.2f %9.2f %7.2f %10.1f %7.2f" % (
            name, wall, wall / best[0], cpu, cpu / best[1], peak / 1024.0, peak / best[2]))
    say("(%d files extracted; ratios to the fastest of unzip and bsdtar)" % reference["tree"][1])
    walls = {name: wall for name, _, wall, _, _ in results}
    cpus = {name: cpu for name, _, _, cpu, _ in results}
    if "floor (Wine)" in walls and "ours (Wine)" in walls:
        say("ours (Wine) / floor (Wine): %.2f" % (walls["ours (Wine)"] / walls["floor (Wine)"]))
    for name in ("ours (Wine)", "ours (Wine), zstd", "floor (Wine)"):
        if name in cpus and "earlier (Wine)" in cpus:
            say("%s / earlier (Wine): cpu %.2f, wall %.2f; without the wineserver's share: "
                "cpu %.2f (%.2f s against %.2f s)" % (
                    name, cpus[name] / cpus["earlier (Wine)"], walls[name] / walls["earlier (Wine)"],
                    own[name] / own["earlier (Wine)"], own[name], own["earlier (Wine)"]))
    return {name: wall for name, _, wall, _, _ in results}


def main():
    args, build, bench = arguments(__doc__)
    say = Report(bench, "extract-disk" if args.disk else "extract")
    space, where = scratch_space(bench, args.disk)

    archives = [("reference", payload(bench))]
    if args.growth:
        archives += [(label, growth_payload(bench, label, make)) for label, make in GROWTH]
    native = native_tool(bench)
    serial = native_tool(bench, serial=True)
    probe = os.path.join(build, "support", "unzip_probe.exe")
    out = os.path.join(space, "out")
    wine_env = wine_environment(build)

    say("extraction, %s; median of %d interleaved rounds" % (where, args.runs))
    say("Wine runs the %s programs of %s with the loader of that architecture" % (
        build_arch(build), build))
    if os.path.exists(probe):
        subprocess.run([os.path.join(REPO, "scripts", "wine-prefix")], env=wine_env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # Start the wineserver before the first timed run.
        subprocess.run(["wine", probe], env=wine_env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
    else:
        probe = None
        say("(no Windows build under Wine: %s is not built)" % os.path.join(build, "support",
                                                                           "unzip_probe.exe"))
    growth = []
    for label, source in archives:
        archive = os.path.join(space, os.path.basename(source))
        shutil.copyfile(source, archive)
        contenders = [("ours (native)", [native, archive, out], None, False),
                      ("ours (native, serial)", [serial, archive, out], None, False)]
        if probe:
            contenders.append(("ours (Wine)", ["wine", probe, to_windows(archive), to_windows(out)],
                               wine_env, False))
            baseline = os.environ.get("BASELINE_PROBE")
            if baseline:
                contenders.append(("earlier (Wine)", ["wine", baseline, to_windows(archive),
                                                      to_windows(out)], wine_env, False))
                packed = zstd_installer(build, bench, label, source, space)
                contenders.append(("ours (Wine), zstd", ["wine", probe, to_windows(packed),
                                                         to_windows(out)], wine_env, False))
            floor = floor_write(build, archive, out, space)
            if floor:
                contenders.append(("floor (Wine)", floor, wine_env, False))
        contenders.append(("unzip -q", ["unzip", "-q", "-o", archive, "-d", out], None, True))
        contenders.append(("bsdtar -x", ["bsdtar", "-x", "-f", archive, "-C", out], None, True))
        with subprocess.Popen(["unzip", "-Zt", archive], stdout=subprocess.PIPE) as z:
            totals = z.communicate()[0].decode().strip()
        say("\n%s payload: %.1f MB compressed (%s)" % (label, os.path.getsize(archive) / 1e6, totals))
        growth.append((label, compare(archive, contenders, args.runs, out, say)))
        os.remove(archive)

    if len(growth) > 1:
        names = list(growth[0][1])
        say("\ngrowth: wall seconds (ratio to bsdtar -x)")
        say("%-16s" % "payload" + "".join("%24s" % n for n in names))
        for label, walls in growth:
            say("%-16s" % label + "".join("%15.2f (%5.2f)" % (walls[n], walls[n] / walls["bsdtar -x"])
                                           for n in names))
    say.save()


if __name__ == "__main__":
    main()
