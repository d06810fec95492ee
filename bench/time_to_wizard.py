#!/usr/bin/python3
"""Time to wizard: how long the launcher takes from its process start until
the installer wizard's Java process starts, on the reference payload of the
extraction benchmark, next to `unzip -q` and `bsdtar -x` of the same archive
in the same rounds; how long the removal of the working directory takes after
the wizard; and the launcher's own overhead on an empty payload. --growth
adds the 50 to 400 MB payloads and the 20,000 small files.

The launcher is the real conrun.exe of the test variant (start delay 0),
with the payload plus the wizard's files and a stand-in runtime under
package/jre appended. The stand-in records its own creation time, so the
figure ends exactly when the wizard's process exists; the launcher's start
is taken just before `wine` is started (a persistent wineserver keeps
Wine's own start at a few tens of milliseconds, also measured here as the
start of a program that does nothing). The removal is the time from the
wizard's last write (its record) to the launcher's exit, less the same time
with an empty payload.

The floor is what Wine charges for the same work with nothing of ours:
starting a program that does nothing (the empty payload's floor),
floor_writer.exe making the payload's files with their sizes from memory on
one thread a processor (its fastest), and floor_writer.exe removing the tree
bsdtar made, less Wine's start (the removal's). Each is measured in the same
rounds, and the tables give ours / floor.

The temporary directory and the peers' output are on a tmpfs mounted at
<build>/bench/tmpfs when possible (see bench/extract.py; --disk for disk).

--against runs another build's launcher (an earlier commit's, built for the
same architecture) on the same payloads in the same rounds, and gives this
build's times over that one's: a change that should not touch the speed is
shown not to.

    bench/time_to_wizard.py [--build-dir build/x64] [--runs 5] [--growth] [--disk]
                            [--against <an earlier commit's build tree>]
    bench/time_to_wizard.py --modern [--runs 5]
    bench/time_to_wizard.py --window [--runs 5]
    bench/time_to_wizard.py --memory [--runs 5]
    PEER_JDK=/usr/lib/jvm/java-17-openjdk-amd64 bench/time_to_wizard.py --peers [--runs 3]
    (PEER_ONLY=runtime: the runtime alone)

--modern times the launcher that accepts modern runtimes (test-bin-modern)
with no runtime in its payload and a stand-in runtime of version 17
registered as Eclipse Temurin's installer registers it, once with a release
file (the version read from it) and once without (the version asked of the
runtime), in the same rounds.

--window times what the person who starts setup.exe sees first: from the
start to its status window on the screen (an X display: the caller's, or an
Xvfb started here; the window is looked for every few milliseconds), and on
to the wizard, with the reference payload, beside Wine starting a program
that does nothing, output_probe.exe (setup.exe's window code alone) showing
the window with the same text, and conrun.exe reaching its wizard, in the
same rounds.

--memory gives the launcher's peak memory: its private pages (what the
kernel counts as anonymous: the heap, the stacks, the decoders' windows,
not the pages of files it maps) and its resident set, read from /proc every
10 ms, on the wizard's files plus one file of 4 GiB (one random MiB over
and over, packed by the packer with Zstandard level 17, whose frames declare
the 8 MiB window the launcher streams with), and on the wizard's files
alone, in the same rounds. The output of 4 GiB needs a tmpfs of 5 GiB.

--peers packs the same folder (the wizard's files, the stand-in runtime
and the reference payload's files; then, where PEER_JDK names one (by default
Debian's OpenJDK 17), a real Java runtime without its jmods as package/jre)
four ways and times each
from its start to the wizard's start in the same rounds, with its size: ours
by mksetup with Zstandard (the default) and with deflate, and NSIS 3's
installers (makensis with its prebuilt stubs) that extract into a folder of
the temporary directory, run the stand-in wizard and remove the folder,
once with NSIS's default zlib and once with `SetCompressor /SOLID lzma`.
7-Zip lists and tests our Zstandard installer.
"""
import atexit
import json
import os
import random
import re
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


def make_installer(build, bench, reference, name, program="conrun.exe", launcher_from=None):
    """The test variant's `program` (of the build tree `launcher_from`, by
    default `build`) + (reference archive, or nothing) + the wizard's files."""
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
        for part in (os.path.join(launcher_from or build, "test-bin", program), archive):
            with open(part, "rb") as p:
                shutil.copyfileobj(p, f)
    os.remove(archive)
    return out


def time_launch(program, env, tmp, window=None):
    """Seconds from starting the launcher to the wizard's process start, the
    launcher's whole run, and from the wizard's record to the exit. With
    `window` (a list), the seconds until a window of the program is visible
    on the display are appended to it."""
    record = os.path.join(tmp, "record.jsonl")
    if os.path.exists(record):
        os.remove(record)
    run_env = dict(env, STANDIN_RECORD=extract.to_windows(record))
    start = time.time()
    proc = subprocess.Popen(["wine", program, "-tmpdir", extract.to_windows(tmp)], env=run_env,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if window is not None:
        while proc.poll() is None:
            if subprocess.run(window_search(program), stdout=subprocess.PIPE).stdout.strip():
                window.append(time.time() - start)
                break
    out, err = proc.communicate()
    end = time.time()
    if proc.returncode != 0 or not os.path.exists(record):
        raise SystemExit("the launcher failed (%d): %s" % (
            proc.returncode, (out + err).decode(errors="replace")[-2000:]))
    with open(record) as f:
        started = json.loads(f.readline())["started_unix"]
    wizard_done = os.stat(record).st_mtime
    os.remove(record)
    return started - start, end - start, end - wizard_done


VENDOR_KEY = r"HKLM\Software\Eclipse Adoptium\JDK\17.0.2.8\hotspot\MSI"


def modern_rounds(build, bench, env, tmp, runs, say):
    """The start-to-wizard time with a registered modern runtime, with and
    without its release file."""
    program = os.path.join(bench, "ttw-modern.exe")
    installer.build_installer(os.path.join(build, "test-bin-modern", "conrun.exe"), program,
                              build_dir=build)
    runtime = runtimes.make_runtime(build, os.path.join(bench, "ttw-modern-rt"), version="17.0.2")
    release = os.path.join(runtime, "release")
    reg = ["wine", "reg", "add", VENDOR_KEY, "/v", "Path", "/t", "REG_SZ", "/d",
           extract.to_windows(runtime), "/f", "/reg:64"]
    subprocess.run(reg, env=env, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    rows = {"release file": [], "asking the runtime": []}
    try:
        for round_ in range(runs + 1):
            for name in rows:
                if name == "release file":
                    with open(release, "w") as f:
                        f.write('JAVA_VERSION="17.0.2"\nOS_ARCH="x86_64"\n')
                elif os.path.exists(release):
                    os.remove(release)
                to_wizard, _, _ = time_launch(program, env, tmp)
                if round_:
                    rows[name].append(to_wizard)
    finally:
        subprocess.run(["wine", "reg", "delete", r"HKLM\Software\Eclipse Adoptium", "/f",
                        "/reg:64"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    say("start to wizard, registered modern runtime (Temurin's key), median of %d interleaved "
        "rounds" % runs)
    fastest = min(statistics.median(v) for v in rows.values())
    for name, values in rows.items():
        median = statistics.median(values)
        say("%-34s %10.3f %9.2f" % (name, median, median / fastest))
    say.save()


def memory_installer(build, bench, name, big):
    """The test variant's conrun.exe packed by the packer (Zstandard level 17)
    with the wizard's files, and with a 4 GiB file when `big`."""
    program = os.path.join(bench, name)
    stub = os.path.join(build, "test-bin", "conrun.exe")
    if os.path.exists(program) and os.path.getmtime(program) > os.path.getmtime(stub):
        return program
    stage = tempfile.mkdtemp(dir=bench)
    wizard_files(build, stage)
    if big:
        block = random.Random(4).randbytes(1 << 20)
        with open(os.path.join(stage, "big.bin"), "wb") as f:
            for _ in range(4096):
                f.write(block)
    subprocess.run([extract.packer(build), "-q", "-o", program, "--stub", stub,
                    "--payload", stage, "--level", "17"], check=True, stderr=subprocess.DEVNULL)
    shutil.rmtree(stage)
    return program


def peak_memory(program, env, tmp):
    """Runs `program` and polls its process: (peak private MiB, peak
    resident MiB)."""
    name = os.path.basename(program).encode()
    proc = subprocess.Popen(["wine", program, "-tmpdir", extract.to_windows(tmp)],
                            env=dict(env, STANDIN_RECORD=extract.to_windows(
                                os.path.join(tmp, "record.jsonl"))),
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    private = resident = 0
    while proc.poll() is None:
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open("/proc/%s/cmdline" % pid, "rb") as f:
                    words = f.read().split(b"\0")
                # The Windows process itself, not the scripts that start it.
                if not words or not words[0].endswith(name):
                    continue
                with open("/proc/%s/status" % pid) as f:
                    status = dict(line.split(":", 1) for line in f if ":" in line)
            except OSError:
                continue
            private = max(private, int(status.get("RssAnon", "0 kB").split()[0]))
            resident = max(resident, int(status.get("VmHWM", "0 kB").split()[0]))
        time.sleep(0.01)
    if proc.returncode != 0 or not private:
        raise SystemExit("%s failed (%d) or was not seen" % (program, proc.returncode))
    return private / 1024.0, resident / 1024.0


def memory_rounds(build, bench, env, tmp, runs, say, where):
    """Peak memory of the launcher with and without a 4 GiB file."""
    programs = (("wizard's files + 4 GiB file", memory_installer(build, bench, "mem-big.exe", True)),
                ("wizard's files alone", memory_installer(build, bench, "mem-small.exe", False)))
    rows = {label: [] for label, _ in programs}
    for _ in range(runs):
        for label, program in programs:
            rows[label].append(peak_memory(program, env, tmp))
    say("peak memory of the launcher's process, %s; median of %d interleaved rounds (MiB)"
        % (where, runs))
    say("%-30s %10s %10s" % ("", "private", "resident"))
    for label, values in rows.items():
        say("%-30s %10.1f %10.1f" % (label, statistics.median(v[0] for v in values),
                                      statistics.median(v[1] for v in values)))
    big, small = (statistics.median(v[0] for v in values) for values in rows.values())
    say("the 4 GiB file's share of the private memory: %.1f MiB" % (big - small))
    say.save()


def ensure_display():
    """The caller's X display, or an Xvfb started here for the run."""
    if os.environ.get("DISPLAY"):
        return
    for n in range(90, 140):
        if not os.path.exists("/tmp/.X11-unix/X%d" % n):
            break
    xvfb = subprocess.Popen(["Xvfb", ":%d" % n, "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    atexit.register(xvfb.kill)
    while not os.path.exists("/tmp/.X11-unix/X%d" % n):
        time.sleep(0.05)
    os.environ["DISPLAY"] = ":%d" % n


def window_search(program):
    return ["xdotool", "search", "--onlyvisible", "--classname",
            "^%s$" % re.escape(os.path.basename(program).lower())]


def time_window(program, args, env):
    """Seconds from starting `program` to a visible window of it, which is
    then ended."""
    start = time.time()
    proc = subprocess.Popen(["wine", program] + args, env=env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    while not subprocess.run(window_search(program), stdout=subprocess.PIPE).stdout.strip():
        if proc.poll() is not None:
            raise SystemExit("%s ended before its window was seen" % program)
    seen = time.time() - start
    proc.kill()
    proc.wait()
    return seen


def window_rounds(build, bench, env, tmp, runs, say, where):
    """Start to setup.exe's status window on the screen and to its wizard,
    beside a Wine start that does nothing and conrun.exe's way to its wizard."""
    ensure_display()
    env = dict(env, DISPLAY=os.environ["DISPLAY"])
    reference = extract.payload(bench)
    setup = make_installer(build, bench, reference, "ttw-window.exe", program="setup.exe")
    conrun = make_installer(build, bench, reference, "ttw-console.exe")
    nothing = os.path.join(build, "support", "java_standin", "java.exe")
    probe = os.path.join(build, "support", "output_probe.exe")
    rows = {"wine start (no work)": [], "output_probe.exe: window visible": [],
            "setup.exe: status window visible": [], "setup.exe: wizard started": [],
            "conrun.exe: wizard started": []}
    for round_ in range(runs + 1):  # the first round warms the caches
        start = time.time()
        subprocess.run(["wine", nothing, "-version"], env=env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        no_work = time.time() - start
        alone = time_window(probe, ["statuskey checking_disk_space", "waitshown", "sleep 20000"],
                            env)
        shown = []
        to_wizard, _, _ = time_launch(setup, env, tmp, window=shown)
        console, _, _ = time_launch(conrun, env, tmp)
        if not shown:
            raise SystemExit("setup.exe's window was never seen")
        if round_:
            for name, value in zip(rows, (no_work, alone, shown[0], to_wizard, console)):
                rows[name].append(value)
    say("start to the status window, reference payload, %s; median of %d interleaved rounds "
        "(wall seconds, ratio to the Wine start)" % (where, runs))
    base = statistics.median(rows["wine start (no work)"])
    for name, values in rows.items():
        median = statistics.median(values)
        say("%-34s %10.3f %9.2f" % (name, median, median / base))
    say.save()


NSIS_SCRIPT = """Unicode true
{compressor}
RequestExecutionLevel user
SilentInstall silent
OutFile "{out}"
Section
  SetOutPath "$TEMP\\nsis-peer"
  File /r "{folder}\\*.*"
  ExecWait '"$TEMP\\nsis-peer\\package\\jre\\bin\\java.exe" -cp . tarvisk'
  SetOutPath "$TEMP"
  RMDir /r "$TEMP\\nsis-peer"
SectionEnd
"""


def peer_folder(build, bench, label, reference, jdk):
    """The folder every contender packs: the wizard's files and the stand-in
    runtime, and the reference payload's files or a real runtime's files."""
    folder = os.path.join(bench, "peers-" + label)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    wizard_files(build, folder)
    if reference:
        subprocess.run(["unzip", "-q", reference, "-d", folder], check=True)
    if jdk:
        # The stand-in's bin stays: the real runtime's other files beside it
        # (links followed; a link to nothing, such as a missing src.zip, left).
        shutil.copytree(jdk, os.path.join(folder, "package", "jre"), dirs_exist_ok=True,
                        ignore_dangling_symlinks=True)
        shutil.rmtree(os.path.join(folder, "package", "jre", "jmods"), ignore_errors=True)
    return folder


def peer_installers(build, bench, label, folder):
    """(name, program) for ours twice and NSIS twice, built from `folder`."""
    made = []
    mksetup = extract.packer(build)
    stub = os.path.join(build, "test-bin", "conrun.exe")
    for name, extra in (("ours, zstd", []), ("ours, deflate", ["--compression", "deflate"])):
        out = os.path.join(bench, "peer-%s-%s.exe" % (label, extra[-1] if extra else "zstd"))
        subprocess.run([mksetup, "-q", "-o", out, "--stub", stub, "--payload", folder,
                        "--product-name", "Bench", "--company", "Bench",
                        "--download-url", "https://bench.example/java"] + extra, check=True)
        made.append((name, out))
    for name, compressor in (("NSIS, zlib", ""), ("NSIS, solid LZMA", "SetCompressor /SOLID lzma")):
        out = os.path.join(bench, "peer-%s-%s.exe" % (label, "lzma" if compressor else "zlib"))
        script = os.path.join(bench, "peer.nsi")
        with open(script, "w") as f:
            f.write(NSIS_SCRIPT.format(compressor=compressor, out=out, folder=folder))
        subprocess.run(["makensis", "-V1", script], check=True, stdout=subprocess.DEVNULL)
        made.append((name, out))
    return made


def peer_rounds(build, bench, env, space, runs, say, where, jdk):
    tmp = os.path.join(space, "ttw-tmp")
    os.makedirs(tmp, exist_ok=True)
    payloads = [("reference", extract.payload(bench), None)]
    if jdk and os.environ.get("PEER_ONLY") == "runtime":
        payloads = []
    if jdk:
        payloads.append(("java runtime", None, jdk))
    say("ours against NSIS 3, %s; median of %d interleaved rounds (wall seconds); the folder "
        "each packs is the same" % (where, runs))
    for label, reference, runtime in payloads:
        folder = peer_folder(build, bench, label.replace(" ", "-"), reference, runtime)
        made = peer_installers(build, bench, label.replace(" ", "-"), folder)
        # The NSIS installers take the temporary directory from TMP.
        peer_env = dict(env, TMP=extract.to_windows(tmp), TEMP=extract.to_windows(tmp))
        # NSIS's installers are 32-bit programs: the host's loader starts them.
        nsis_env = dict(peer_env, LAUNCHER_RUN_ARCH=extract.host_arch())
        rows = {name: [] for name, _ in made}
        for round_ in range(runs + 1):  # the first round warms the caches
            for name, program in made:
                to_wizard, _, _ = time_launch(program, nsis_env if name.startswith("NSIS")
                                              else peer_env, tmp)
                if round_:
                    rows[name].append(to_wizard)
            if os.listdir(tmp):
                raise SystemExit("a contender left something behind in %s" % tmp)
        tested = subprocess.run(["7zz", "t", made[0][1]], stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT).stdout.decode(errors="replace")
        say("\n%s: %s" % (label, subprocess.run(["du", "-sb", folder], stdout=subprocess.PIPE)
                                              .stdout.decode().split()[0] + " bytes in the folder"))
        say("%-20s %14s %10s %12s %10s" % ("", "size (bytes)", "size ratio", "to wizard",
                                            "ratio"))
        size_base = os.path.getsize(made[0][1])
        time_base = statistics.median(rows[made[0][0]])
        for name, program in made:
            median = statistics.median(rows[name])
            size = os.path.getsize(program)
            say("%-20s %14d %10.3f %12.3f %10.3f" % (name, size, size / size_base, median,
                                                     median / time_base))
        say("(ratios to ours with Zstandard; 7-Zip tests it: %s)" % (
            "Everything is Ok" if "Everything is Ok" in tested else "FAILED\n" + tested[-2000:]))
        shutil.rmtree(folder)
        for _, program in made:
            os.remove(program)
    say.save()


def main():
    args, build, bench = extract.arguments(
        __doc__, runs=5, flags=[("--modern", "a registered modern runtime, with and without "
                                             "its release file"),
                                ("--window", "start to setup.exe's status window on the screen"),
                                ("--memory", "peak memory with and without a 4 GiB file"),
                                ("--peers", "ours against NSIS's installers, size and time")],
        values=[("--against", "another build tree of the same architecture (an earlier "
                              "commit's): its launcher runs in the same rounds")])
    say = extract.Report(bench, "memory" if args.memory else
                         "time-to-wizard-disk" if args.disk else "time-to-wizard")
    env = extract.wine_environment(build)
    subprocess.run([os.path.join(REPO, "scripts", "wine-prefix")], env=env,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    space, where = extract.scratch_space(bench, args.disk, "5g" if args.memory else "3g")
    # The test prefix says Windows 7, where the launcher asks the screen's
    # colour depth (and so loads the window code); the programs timed here
    # run as on Windows 8 and later, where nobody asks (ours against NSIS's
    # too: NSIS's installers load the window code in any case).
    peers = ["peer-%s-%s.exe" % (label, kind) for label in ("reference", "java-runtime")
             for kind in ("zstd", "deflate", "zlib", "lzma")] + ["mem-big.exe", "mem-small.exe"]
    for name in ["ttw-payload.exe", "ttw-empty.exe", "ttw-console.exe", "ttw-against.exe",
                 "ttw-against-empty.exe"] + peers:
        subprocess.run(["wine", "reg", "add", "HKCU\\Software\\Wine\\AppDefaults\\" + name, "/v",
                        "Version", "/d", "win10", "/f"], env=env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=True)
    if args.peers:
        jdk = os.environ.get("PEER_JDK", "/usr/lib/jvm/java-17-openjdk-amd64")
        peer_rounds(build, bench, env, space, args.runs, say, where,
                    jdk if os.path.isdir(jdk) else None)
        return
    if args.modern or args.window or args.memory:
        tmp = os.path.join(space, "ttw-tmp")
        os.makedirs(tmp, exist_ok=True)
        if args.memory:
            memory_rounds(build, bench, env, tmp, args.runs, say, where)
        elif args.window:
            window_rounds(build, bench, env, tmp, args.runs, say, where)
        else:
            modern_rounds(build, bench, env, tmp, args.runs, say)
        return

    payloads = [("reference", extract.payload(bench))]
    if args.growth:
        payloads += [(label, extract.growth_payload(bench, label, make))
                     for label, make in extract.GROWTH]
    empty = make_installer(build, bench, None, "ttw-empty.exe")
    against = args.against and os.path.abspath(args.against)
    if against:
        against_empty = make_installer(build, bench, None, "ttw-against-empty.exe",
                                       launcher_from=against)
    tmp = os.path.join(space, "ttw-tmp")
    out = os.path.join(space, "out")
    os.makedirs(tmp, exist_ok=True)
    nothing = os.path.join(build, "support", "java_standin", "java.exe")

    say("time to wizard, %s; median of %d interleaved rounds (wall seconds)" % (where, args.runs))
    say("Wine runs the %s programs of %s with the loader of that architecture" % (
        extract.build_arch(build), build))
    growth = []
    for label, reference in payloads:
        full = make_installer(build, bench, reference, "ttw-payload.exe")
        archive = os.path.join(space, "payload.zip")
        shutil.copyfile(reference, archive)
        launchers = (("launcher, " + label, full), ("launcher, empty payload", empty))
        if against:
            launchers += (("against: launcher, " + label,
                           make_installer(build, bench, reference, "ttw-against.exe",
                                          launcher_from=against)),
                          ("against: launcher, empty payload", against_empty))
        peers = (("unzip -q", ["unzip", "-q", "-o", archive, "-d", out]),
                 ("bsdtar -x", ["bsdtar", "-x", "-f", archive, "-C", out]))
        rows = {name: [] for name, _ in launchers}
        rows.update({name: [] for name, _ in peers})
        rows["wine start (no work)"] = []
        floor = extract.floor_write(build, archive, out, space)
        if floor:
            rows["floor: bare writer (Wine)"] = []
            floor_removal = []
        whole = {name: [] for name, _ in launchers}
        ending = {name: [] for name, _ in launchers}
        for round_ in range(args.runs + 1):  # the first round warms the caches
            for name, program in launchers:
                to_wizard, all_of_it, after = time_launch(program, env, tmp)
                if round_:
                    rows[name].append(to_wizard)
                    whole[name].append(all_of_it)
                    ending[name].append(after)
            for name, command in peers:
                wall = extract.measure(command, out)[0]
                if round_:
                    rows[name].append(wall)
            if floor:
                # bsdtar's tree is still there: the floor removes it, then
                # writes its own.
                start = time.time()
                subprocess.run(floor[:2] + ["remove", extract.to_windows(out), floor[-1]], env=env,
                               check=True)
                if round_:
                    floor_removal.append(time.time() - start)
                wall = extract.measure(floor, out, env)[0]
                if round_:
                    rows["floor: bare writer (Wine)"].append(wall)
            start = time.time()
            subprocess.run(["wine", nothing, "-version"], env=env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
            if round_:
                rows["wine start (no work)"].append(time.time() - start)
        shutil.rmtree(out, ignore_errors=True)
        os.remove(archive)
        os.remove(full)
        if against:
            os.remove(launchers[2][1])
        if os.listdir(tmp):
            raise SystemExit("the launcher left something behind in %s" % tmp)

        with subprocess.Popen(["unzip", "-Zt", reference], stdout=subprocess.PIPE) as z:
            totals = z.communicate()[0].decode().strip()
        say("\n%s payload: %s (%s)" % (label, reference, totals))
        best = min(statistics.median(rows["unzip -q"]), statistics.median(rows["bsdtar -x"]))
        say("%-34s %10s %9s" % ("", "to wizard", "ratio"))
        for name, values in rows.items():
            median = statistics.median(values)
            say("%-34s %10.3f %9.2f" % (name, median, median / best))
        say("(ratios to the faster of unzip and bsdtar extracting the same archive)")
        for name, values in whole.items():
            say("%s: whole run (wizard included, cleanup done) %.3f s" % (name, statistics.median(values)))
        removal = (statistics.median(ending[launchers[0][0]]) -
                   statistics.median(ending["launcher, empty payload"]))
        say("removal of the working directory (wizard's end to exit, less the empty payload's): "
            "%.3f s" % removal)
        start_floor = statistics.median(rows["wine start (no work)"])
        say("ours / floor: empty payload %.2f (floor: wine start)" % (
            statistics.median(rows["launcher, empty payload"]) / start_floor))
        if floor:
            write_floor = statistics.median(rows["floor: bare writer (Wine)"])
            remove_floor = statistics.median(floor_removal) - start_floor
            say("ours / floor: %s payload to wizard %.2f (floor: bare writer %.3f s)" % (
                label, statistics.median(rows[launchers[0][0]]) / write_floor, write_floor))
            say("ours / floor: removal %.2f (floor: bare removal less wine start, %.3f s)" % (
                removal / remove_floor, remove_floor))
        if against:
            say("this build / the build against (%s): %s payload to wizard %.3f, whole run %.3f; "
                "empty payload to wizard %.3f" % (
                    against, label,
                    statistics.median(rows[launchers[0][0]]) /
                    statistics.median(rows[launchers[2][0]]),
                    statistics.median(whole[launchers[0][0]]) /
                    statistics.median(whole[launchers[2][0]]),
                    statistics.median(rows[launchers[1][0]]) /
                    statistics.median(rows[launchers[3][0]])))
        growth.append((label, statistics.median(rows[launchers[0][0]]),
                       statistics.median(rows["bsdtar -x"]), removal))

    if len(growth) > 1:
        say("\ngrowth: launcher under Wine, to wizard and removal, against bsdtar -x (seconds)")
        say("%-16s %10s %10s %7s %10s" % ("payload", "to wizard", "bsdtar", "ratio", "removal"))
        for label, ours, bsdtar, removal in growth:
            say("%-16s %10.3f %10.3f %7.2f %10.3f" % (label, ours, bsdtar, ours / bsdtar, removal))
    say.save()


if __name__ == "__main__":
    main()
