"""Working directories that earlier runs left behind: at its start a run
removes those of the same program in the same temporary directory whose run
is over (a killed run, a failed one, with or without the marker file of
earlier versions), leaves the one a running launcher holds (or an earlier
version's, whose marker is held), and never touches anything named
otherwise, or a link."""
import os
import shutil
import signal

import pytest

from command_line_support import HeldLock
import runtimes
from launch_support import finish_waiting, product_value
from winerun import collect, kill_and_collect, read_until, to_windows, wait_for

# What launchers of earlier versions held open inside their directories.
MARKER = "~launcher-run.lock"


def test_directory_of_a_killed_run_goes_at_the_next_start(launcher, registry, tmp_path):
    # (registry: no runtime registered, so the failing run below fails)
    tmp_dir = str(tmp_path / "tmp")
    done = str(tmp_path / "never")
    program = launcher.installer(release=to_windows(done))
    proc, killed = launcher.start_waiting(program, tmp_dir, done)
    kill_and_collect(proc)
    assert not os.path.exists(os.path.join(killed, MARKER))
    assert os.path.exists(os.path.join(killed, "package", "jre", "bin", "java.exe"))

    # A run that fails after making its directory leaves it too; the next
    # start takes both. The killed processes' handles are closed by the Wine
    # server a moment after they end: until then the directory is rightly
    # left as a live run's, and the next start takes it.
    def next_start():
        failed = launcher.run(launcher.installer(runtime=False), tmp_dir=tmp_dir)
        assert failed.code == 1, failed.result
        return failed if not os.path.exists(killed) else None
    failed = wait_for(next_start, 60, "a start that sweeps the killed run's directory")
    left = [d for d in failed.leftovers() if d != os.path.basename(killed)]
    assert len(left) == 1 and os.listdir(os.path.join(tmp_dir, left[0])) == []

    run = launcher.run(launcher.installer(), tmp_dir=tmp_dir)
    assert run.code == 0, run.result
    assert run.leftovers() == []


def test_directory_of_a_killed_launcher_stays_while_its_wizard_runs(launcher, registry,
                                                                     tmp_path):
    """A deployment script that kills the installer but not its child: the
    wizard holds the working directory (the launcher lent it its handle)
    until it ends, and only then may a later start sweep it."""
    tmp_dir = str(tmp_path / "tmp")
    done = str(tmp_path / "wizard-may-end")
    # The wizard leaves the directory as its current one: only what the
    # launcher lent it holds the directory.
    program = launcher.installer(release=to_windows(done), chdir=to_windows(str(tmp_path)))
    proc, working = launcher.start_waiting(program, tmp_dir, done)
    # A second run, killed whole after the first launcher: once a start has
    # swept its directory, the Wine server has closed the handles of both
    # killed launchers, and only the first one's wizard can hold its own.
    witness_done = str(tmp_path / "never")
    witness, witnessed = launcher.start_waiting(launcher.installer(release=to_windows(
        witness_done)), tmp_dir, witness_done)
    os.kill(proc.pid, signal.SIGKILL)  # the launcher alone
    proc.wait()
    kill_and_collect(witness)
    try:
        def sweeps_the_witness():
            failed = launcher.run(launcher.installer(runtime=False), tmp_dir=tmp_dir)
            assert failed.code == 1, failed.result
            return not os.path.exists(witnessed)
        wait_for(sweeps_the_witness, 60, "a start that sweeps the wholly killed run")
        # (not the runtime's files: the running wizard's own are in use)
        assert os.path.exists(os.path.join(working, "tarvisk.class")), \
            "swept from under the running wizard"
    finally:
        runtimes.release(done)

    def next_start():
        launcher.run(launcher.installer(runtime=False), tmp_dir=tmp_dir)
        return not os.path.exists(working)
    wait_for(next_start, 60, "a start that sweeps the directory once the wizard ended")


def test_directory_of_a_running_launcher_stays(launcher, build_dir, tmp_path):
    tmp_dir = str(tmp_path / "tmp")
    done = str(tmp_path / "first-may-end")
    first = launcher.installer(release=to_windows(done))
    proc, running = launcher.start_waiting(first, tmp_dir, done)
    try:
        # Another copy of the program (another file, so no instance lock
        # between them) in the same temporary directory.
        trace = tmp_path / "trace.txt"
        second = launcher.run(launcher.installer(), tmp_dir=tmp_dir,
                              env={product_value(build_dir, "PRODUCT_TRACE_VARIABLE"):
                                   to_windows(str(trace))})
        still_there = os.path.exists(os.path.join(running, "package", "jre", "bin", "java.exe"))
    finally:
        status = finish_waiting(proc, done)
    assert second.code == 0, second.result
    assert ("sweep: left %s: its run is still going" % to_windows(running)) in \
        trace.read_text(encoding="cp1252")
    assert still_there
    assert status[0] == 0, status
    assert os.listdir(tmp_dir) == []  # the first run removed its own at its end


# What a user may keep beside the working directories: (name, what it is).
# None is swept.
LOOK_ALIKES = [
    ("conrun.exe1A4_0 (copy)", "marked"),
    ("conrun.exe1a4_0", "marked"),        # another case
    ("conrun.exe01A4_0", "marked"),       # a leading zero
    ("conrun.exe_backup", "marked"),
    ("setup.exe1A4_0", "marked"),         # another program's
    ("conrun.exe1B4_0", "held"),          # an earlier version's run, still going
    ("conrun.exe1C4_0", "file"),
    ("conrun.exe1D4_0", "link"),          # never followed
    ("conrun.exe1A5_0", "foreign"),       # another account's, planted (root only)
]


@pytest.mark.parametrize("foreign", [False, True], ids=["own", "with-another-accounts"])
def test_look_alikes_and_live_directories_stay(wine, build_dir, registry, tmp_path, foreign):
    if foreign and os.geteuid() != 0:
        pytest.skip("only root can give a directory to another account")
    look_alikes = [(name, kind) for name, kind in LOOK_ALIKES if foreign or kind != "foreign"]
    tmp_dir = tmp_path / "tmp"
    tmp_dir.mkdir()
    outside = tmp_path / "outside"
    outside.mkdir()
    (outside / MARKER).write_bytes(b"")
    (outside / "precious.txt").write_text("keep me")
    for name, kind in look_alikes:
        path = tmp_dir / name
        if kind == "file":
            path.write_text("a file")
        elif kind == "link":
            os.symlink(str(outside), str(path))
        elif kind == "foreign":
            path.mkdir()
            (path / "mine.txt").write_text("keep me")
            os.chown(str(path), 65534, -1)
        else:
            path.mkdir()
            (path / "mine.txt").write_text("keep me")
            (path / MARKER).write_bytes(b"")
    # Dead runs: an earlier version's with its marker, and one without.
    stale = [tmp_dir / "conrun.exe1E4_3E7", tmp_dir / "conrun.exe1F4_0"]
    for path in stale:
        path.mkdir()
        (path / "left.txt").write_text("a dead run's")
    (stale[0] / MARKER).write_bytes(b"")

    # The shipped program, without payload or runtime, fails after the sweep.
    # The earlier version's run holds its marker as it did: open, denying
    # deletion.
    with HeldLock(wine, build_dir, str(tmp_dir / "conrun.exe1B4_0" / MARKER)):
        r = wine.run(wine.program("conrun.exe"), ["-tmpdir", to_windows(str(tmp_dir))])
    assert r.code == 1, r

    assert [path for path in stale if path.exists()] == []
    for name, kind in look_alikes:
        assert os.path.lexists(str(tmp_dir / name)), name
        if kind in ("marked", "held", "foreign"):
            assert (tmp_dir / name / "mine.txt").read_text() == "keep me", name
    assert sorted(os.listdir(outside)) == sorted([MARKER, "precious.txt"])
    shutil.rmtree(str(tmp_dir))


def test_a_stop_between_directories_leaves_the_rest(launcher, wine, tmp_path):
    """Ctrl+C while the sweep goes from one dead run's directory to the
    next: the run stops there, and the directories not reached yet stay,
    whole, for a later run."""
    tmp_dir = tmp_path / "tmp"
    tmp_dir.mkdir()
    stale = [tmp_dir / "conrun.exe1E4_3E7", tmp_dir / "conrun.exe1F4_0"]
    for path in stale:
        path.mkdir()
        (path / "left.txt").write_text("a dead run's")
    program = launcher.installer()
    log = tmp_path / "run.log"
    proc = wine.popen(program, ["-log", to_windows(str(log)), "-tmpdir", to_windows(str(tmp_dir))],
                      env={"LAUNCHER_TEST_FAULT": "sweep-removed:pause"})
    try:
        seen = read_until(proc, b"paused at sweep-removed", b"")
        os.kill(proc.pid, signal.SIGINT)
        out, err = collect(proc, 120)
    finally:
        kill_and_collect(proc)

    assert proc.returncode == 1, (seen, out, err)
    left = [path for path in stale if path.exists()]
    assert len(left) == 1, (seen + out, err)
    assert (left[0] / "left.txt").read_text() == "a dead run's"
    # Stopped before the next directory was even looked at.
    lines = log.read_text(errors="replace").splitlines()
    assert any(line.endswith("  sweep: stopped; what is left stays for a later run")
               for line in lines), lines
