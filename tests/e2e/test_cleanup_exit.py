"""The end of a run, seen from outside: the working directory is gone after
every run that reached Java, the upgrade batch file runs on exit code 10, a
link left in the working directory does not take its target along, a crash
cleans up while a breakpoint does not, and Ctrl+C stops a run before the
wizard (cleaning up) but is left to the wizard once it runs.

Each test builds a real installer (the test variant of conrun.exe with an
appended payload that carries the stand-in runtime under package/jre) and
runs it with -tmpdir pointing at a directory of its own, so that the working
directory is the only directory the run creates there."""
import os
import re
import shutil
import subprocess
import signal
import zipfile

import pytest

from launch_support import (PROGRAMS, SLOW_PAYLOAD, SLOW_WRITES, finish_waiting,
                            product_value, to_linux)
from winerun import collect, kill_and_collect, read_until, to_windows, wait_for
import command_line_support as cls

CLEANUP_LINE = "Deleting temporary files..."


def quiet(launcher, program, window=False):
    """setup.exe runs silently, which keeps its progress lines on the
    console, unless `window` asks for its status window."""
    if os.path.basename(program) != "setup.exe" or window:
        return []
    return ["-silent", to_windows(os.path.join(launcher.where, "state.txt"))]


def run_installer(launcher, program, tmp_dir=None, env=None, window=False):
    return launcher.run(program, quiet(launcher, program, window), tmp_dir=tmp_dir, env=env)


def traced(tmp_path, env=None):
    """`env` with the trace written to trace.txt in the test's directory."""
    return dict(env or {}, SETUP_TRACE=to_windows(str(tmp_path / "trace.txt")))


def trace_text(tmp_path):
    return (tmp_path / "trace.txt").read_text(encoding="cp1252")


@pytest.mark.parametrize("program_name", PROGRAMS)
@pytest.mark.parametrize("wizard_code,status", [(0, 0), (5, 5), (72, 0), (73, 0)])
def test_working_directory_gone_after_the_wizard(launcher, wizard_code, status, program_name):
    run = run_installer(launcher, launcher.installer(program_name, exit_code=wizard_code))
    assert run.code == status, run.result
    assert CLEANUP_LINE in run.out
    working = to_linux(run.wizard["cwd"])
    assert os.path.dirname(working) == run.tmp_dir
    assert not os.path.exists(working)
    assert run.leftovers() == []


# The batch file first runs a program that takes its time (a stand-in
# runtime told to sleep), then notes that it ran (commands only the
# command interpreter carries out), its current directory and whether the payload is still there. A launcher
# that did not wait for it would be gone, its working directory with it,
# before the note is written.
UPGRADE_BATCH = ('@echo off\r\n'
                 '"{sleeper}" -version 2>nul\r\n'
                 'echo ran> "{marker}"\r\n'
                 'cd>> "{marker}"\r\n'
                 'if exist tarvisk.class echo payload present>> "{marker}"\r\n'
                 'exit /b 3\r\n')


@pytest.mark.parametrize("program_name", PROGRAMS)
@pytest.mark.parametrize("long_tmp", [False, True], ids=["short", "long-tmpdir"])
def test_exit_code_10_runs_and_deletes_the_upgrade_batch(launcher, tmp_path, long_tmp,
                                                         program_name):
    program = launcher.installer(program_name, exit_code=10)
    sleeper = launcher.runtime("sleeper", sleep_ms=2000)
    tmp_dir = tmp_path / "tmp"
    if long_tmp:
        # Longer than the 128 characters a fixed 150-byte command would hold.
        tmp_dir = tmp_dir / ("t" * 70) / ("u" * 70)
    os.makedirs(tmp_dir)
    marker = tmp_path / "upgrade-ran.txt"
    batch = tmp_dir / "UpgradeInvoker.bat"
    batch.write_bytes(UPGRADE_BATCH.format(
        marker=to_windows(str(marker)),
        sleeper=to_windows(os.path.join(sleeper, "bin", "java.exe"))).encode("ascii"))
    assert len(to_windows(str(tmp_dir))) > 128 or not long_tmp

    run = run_installer(launcher, program, tmp_dir)

    assert run.code == 10, run.result
    assert marker.exists(), "the batch file did not run, or was not waited for"
    note = marker.read_text(errors="replace").splitlines()
    # Run by the command interpreter, in the application home, before the
    # cleanup.
    assert note[0] == "ran", note
    assert note[1] == run.wizard["cwd"], note
    assert note[2:] == ["payload present"], note
    assert not batch.exists(), "the batch file was not deleted"
    assert CLEANUP_LINE in run.out
    assert run.leftovers() == []


# A batch file this run's wizard cannot have written, or that the launcher
# cannot hold while it checks it: how it comes about, the account the run
# takes itself for (LAUNCHER_TEST_TOKEN), and what the trace says.
FOREIGN_BATCHES = {
    "another-owner": (lambda path: os.chown(str(path), 65534, -1), None,  # nobody
                      "another account owns it"),
    "others-may-write": (lambda path: os.chmod(str(path), 0o666), None,
                         "another account may change it"),
    # Under Wine the test's files are the user's: in an elevated run that is
    # the user's unelevated side, another account.
    "the-unelevated-user-owns-it": (None, "elevated", "another account owns it"),
    "held-open-for-writing": ("writer", None, "another process has it open"),
    "missing": ("missing", None, "there is none"),
}


@pytest.mark.parametrize("plant", sorted(FOREIGN_BATCHES))
def test_upgrade_batch_that_cannot_be_trusted_is_not_run(launcher, wine, standin, tmp_path,
                                                          plant):
    how, token, why = FOREIGN_BATCHES[plant]
    if plant == "another-owner" and os.geteuid() != 0:
        pytest.skip("only root can give a file to another account")
    program = launcher.installer(exit_code=10)
    tmp_dir = tmp_path / "tmp"
    tmp_dir.mkdir()
    marker = tmp_path / "upgrade-ran.txt"
    batch = tmp_dir / "UpgradeInvoker.bat"
    if how != "missing":
        batch.write_bytes(UPGRADE_BATCH.format(marker=to_windows(str(marker)),
                                               sleeper="rem").encode("ascii"))
    if callable(how):
        how(batch)
    env = traced(tmp_path, {"LAUNCHER_TEST_TOKEN": token} if token else {})
    if how == "writer":
        with cls.HeldLock(wine, standin, str(batch), writer=True):
            run = run_installer(launcher, program, tmp_dir, env)
    else:
        run = run_installer(launcher, program, tmp_dir, env)
    assert run.code == 10, run.result
    assert not marker.exists(), "a batch file that could not be trusted was run"
    assert batch.exists() == (how != "missing"), "it is left where it was found"
    assert "UpgradeInvoker.bat\" not run, and left: " + why in trace_text(tmp_path)
    assert run.leftovers() == []


# What the working directory is made with, for each account the run takes
# itself for; {user} is the run's user and {owner} its default owner.
WORKING_DIRECTORY_DESCRIPTORS = {
    "limited": "O:{user}D:P(A;OICI;FA;;;{user})(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)",
    "elevated": "O:S-1-5-32-544D:P(A;OICI;FA;;;S-1-5-32-544)(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"
                "S:(ML;OICI;NW;;;HI)",
    "system": "O:SYD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)S:(ML;OICI;NW;;;SI)",
}


@pytest.mark.parametrize("token", sorted(WORKING_DIRECTORY_DESCRIPTORS))
def test_working_directory_is_the_runs_own_whatever_the_account(launcher, tmp_path, token):
    """Wine keeps no owner, label or entries of its own on disk (it maps the
    entries onto the Unix mode and reads the owner from the file's user), so
    what the directory was made with is read from the trace, and what it
    reads back as is checked for what Wine keeps: nobody but the user's own
    mode bits."""
    run = run_installer(launcher, launcher.installer(),
                        env=traced(tmp_path, {"LAUNCHER_TEST_TOKEN": token}))
    assert run.code == 0, run.result
    assert len(run.records) == 1, "the wizard ran in the directory made"
    text = trace_text(tmp_path)
    account = re.search(r"account: (\w+), user (\S+), default owner (\S+)", text)
    assert account and account.group(1) == token, text
    made = re.search(r"working directory: made with (\S+) \((\w+) account\)", text)
    assert made and made.group(2) == token, text
    assert made.group(1) == WORKING_DIRECTORY_DESCRIPTORS[token].format(
        user=account.group(2), owner=account.group(3))
    back = re.search(r"working directory: reads back as (\S+)", text).group(1)
    assert "WD)" not in back and "BU)" not in back and "AU)" not in back, back
    assert run.leftovers() == []


def test_fault_on_a_removal_worker_ends_the_process_with_its_code(launcher, quiet_crashes):
    """The fault comes while the main thread's cleanup waits for the
    workers: the filter waits for that cleanup only a few seconds, and the
    process ends with the fault's status instead of hanging."""
    run = run_installer(launcher, launcher.installer(),
                        env={"LAUNCHER_TEST_FAULT": "removal-worker"})
    assert run.code == 0xC0000005 & 0xFF, run.result
    assert len(run.records) == 1, "the fault came in the cleanup after the wizard"


def test_exit_code_10_without_a_batch_file_still_cleans_up(launcher):
    run = run_installer(launcher, launcher.installer(exit_code=10))
    assert run.code == 10, run.result
    assert CLEANUP_LINE in run.out
    assert run.leftovers() == []


def test_link_left_by_the_wizard_keeps_its_target(launcher, tmp_path):
    """The wizard (here the test, while the stand-in waits to be released)
    leaves a link to a directory outside in the working directory; the
    cleanup removes the payload but never what the link points at."""
    outside = tmp_path / "outside"
    (outside / "sub").mkdir(parents=True)
    (outside / "precious.txt").write_text("keep me")
    (outside / "sub" / "more.txt").write_text("keep me too")

    done = str(tmp_path / "wizard-may-end")
    program = launcher.installer(release=to_windows(done))
    proc, working = launcher.start_waiting(program, str(tmp_path / "tmp"), done)
    try:
        os.symlink(str(outside), os.path.join(working, "left-link"))
    finally:
        code, out, err = finish_waiting(proc, done)

    assert code == 0, (out, err)
    assert (outside / "precious.txt").read_text() == "keep me"
    assert (outside / "sub" / "more.txt").exists()
    assert not os.path.exists(os.path.join(working, "tarvisk.class"))
    assert not os.path.exists(os.path.join(working, "package", "jre"))


AEDEBUG = r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug"


@pytest.fixture
def quiet_crashes(wine):
    """No debugger for unhandled faults (the prefix is made so, see
    scripts/wine-prefix): the exit status of a process that winedbg attaches
    to is the debugger's. Without one, a faulting process ends with its
    exception code, as on Windows with no debugger set."""
    for view in (32, 64):
        query = wine.reg("query", AEDEBUG, "/v", "Debugger", view=view)
        assert query.returncode == 0 and b"REG_SZ" in query.stdout, query
        assert query.stdout.split(b"REG_SZ")[1].strip() == b"", \
            "a debugger is set for unhandled faults in the test prefix: %r" % query.stdout


# LAUNCHER_TEST_FAULT; the exception code the process must end with (a
# Linux exit status keeps its low byte only, which still tells them apart).
FAULTS = {
    "after-extraction": 0xC0000005,
    "after-extraction:breakpoint": 0x80000003,
    "before-working-directory": 0xC0000005,
}
# How setup.exe runs: silently (progress on the console) or with its window.
MODES = [("conrun.exe", False), ("setup.exe", False), ("setup.exe", True)]


@pytest.mark.parametrize("program_name,window", MODES, ids=["conrun", "setup-silent",
                                                            "setup-window"])
@pytest.mark.parametrize("fault", sorted(FAULTS))
def test_fault_ends_with_its_exception_code_and_cleans_up(launcher, quiet_crashes, request,
                                                          tmp_path, fault, program_name, window):
    if window:
        request.getfixturevalue("gui")
    program = launcher.installer(program_name)
    run = run_installer(launcher, program, env=traced(tmp_path, {"LAUNCHER_TEST_FAULT": fault}),
                        window=window)

    assert run.code == FAULTS[fault] & 0xFF, run.result
    assert run.records == [], "the wizard must not start"
    # With its window, setup.exe shows every progress line there, the
    # cleanup line included.
    shown_on_console = CLEANUP_LINE in run.out
    if window:
        assert run.out == "", run.result
    if fault.endswith(":breakpoint"):
        assert not shown_on_console
        # A breakpoint does not clean up; it came after the extraction, so
        # the payload is all there.
        working = run.left_working_directory()
        assert os.path.exists(os.path.join(working, "tarvisk.class"))
        # The payload's runtime was written once, by the runtime search,
        # before the rest: the whole extraction passed over every entry of
        # it and wrote every other file.
        with zipfile.ZipFile(program) as archive:
            names = archive.namelist()
        runtime = [n for n in names if n.startswith("package/jre")]
        files = [n for n in names if not n.endswith("/") and n not in runtime]
        assert runtime and os.path.exists(os.path.join(working, "package", "jre", "bin",
                                                       "java.exe"))
        counts = re.search(r"payload: (\d+) files written by \d+ worker threads; (\d+) entries "
                           r"under package/jre passed over", trace_text(tmp_path))
        assert counts and (int(counts.group(1)), int(counts.group(2))) == \
            (len(files), len(runtime)), trace_text(tmp_path)
    else:
        assert shown_on_console != window, run.result
        assert run.leftovers() == []


def test_out_of_memory_in_cpp_code_says_so_and_ends_with_status_1(launcher):
    """A std::vector whose allocation fails ends the run as MemAlloc does, not
    in the C++ runtime's abort (status 3, no message)."""
    run = run_installer(launcher, launcher.installer(),
                        env={"LAUNCHER_TEST_FAULT": "after-extraction:out-of-memory"})
    assert run.code == 1, run.result
    assert run.result.err.startswith("Out of memory"), run.result
    assert run.records == [], "the wizard must not start"


# Wine turns SIGINT into the CTRL_C_EVENT that Ctrl+C gives on Windows; the
# test variant says when its handler has it.
CTRL_C_SEEN = b"console control event 0"


def paused_after_extraction(launcher, program_name):
    """Starts an installer that holds its run after the extraction; returns
    the process, its Run and the program."""
    program = launcher.installer(program_name)
    proc, run = launcher.popen(program, quiet(launcher, program),
                               env={"LAUNCHER_TEST_FAULT": "after-extraction:pause"})
    return proc, run, program


# setup.exe has a console before the wizard only when it was started from one
# (it attaches to it), which a test under Wine cannot give it: Wine, like
# Windows, sends Ctrl+C only to processes with a console.
@pytest.mark.parametrize("program_name", ["conrun.exe"])
def test_ctrl_c_before_the_wizard_removes_the_payload(launcher, program_name):
    proc, run, _ = paused_after_extraction(launcher, program_name)
    try:
        seen = read_until(proc, b"paused at after-extraction", b"")
        working = run.left_working_directory()
        assert os.path.exists(os.path.join(working, "tarvisk.class"))
        # The paused run is alive, with no child yet: another copy's sweep
        # in the same temporary directory must leave its directory alone.
        second = launcher.run(launcher.installer(program_name), tmp_dir=run.tmp_dir)
        assert second.code == 0, second.result
        assert run.left_working_directory() == working
        assert os.path.exists(os.path.join(working, "tarvisk.class"))
        os.kill(proc.pid, signal.SIGINT)
        seen = read_until(proc, CTRL_C_SEEN, seen)
        out, err = collect(proc, 120)
    finally:
        kill_and_collect(proc)  # the whole process group

    assert proc.returncode == 1, (seen, out, err)
    assert CLEANUP_LINE.encode() in seen + out
    assert run.records == [], "the wizard must not start"
    assert run.leftovers() == []


def started_run(launcher, program, env, wanted):
    """Starts `program` and waits until its working directory holds `wanted`
    (a relative path); returns the process, its Run and the working
    directory."""
    proc, run = launcher.popen(program, env=env)
    working = []

    def reached():
        working[:] = [os.path.join(run.tmp_dir, name) for name in run.leftovers()]
        return len(working) == 1 and os.path.exists(os.path.join(working[0], wanted))
    wait_for(reached, 120, "the working directory to hold " + wanted)
    return proc, run, working[0]


def test_ctrl_c_during_the_extraction_stops_it_between_files(launcher, tmp_path):
    """The stop reaches the extraction between files: the rest is not
    written, no damaged payload is reported, and the run cleans up."""
    program = launcher.installer(extra=SLOW_PAYLOAD)
    proc, run, _ = started_run(launcher, program, traced(tmp_path, SLOW_WRITES), "data/part00.bin")
    try:
        os.kill(proc.pid, signal.SIGINT)
        seen = read_until(proc, CTRL_C_SEEN, b"")
        out, err = collect(proc, 120)
    finally:
        kill_and_collect(proc)

    assert proc.returncode == 1, (seen, out, err)
    text = trace_text(tmp_path)
    assert "payload: extraction stopped into" in text, text
    written = int(re.search(r"payload: (\d+) files written", text).group(1))
    assert written < len(SLOW_PAYLOAD), text
    assert b"corrupted" not in seen + out + err
    assert CLEANUP_LINE.encode() in seen + out
    assert run.leftovers() == []


def test_a_link_planted_in_the_tree_being_extracted_redirects_nothing(launcher, tmp_path):
    """A directory link put where the payload's next directory goes, while
    the payload is extracted, fails the run as a damaged payload would; no
    file is written through it."""
    members = SLOW_PAYLOAD[:16] + [("zzz/late.txt", b"late")]
    # No directory entries up front: "zzz" is made only when its file comes.
    program = launcher.installer(extra=members, directory_entries=False)
    outside = tmp_path / "outside"
    outside.mkdir()
    proc, run, working = started_run(launcher, program, traced(tmp_path, SLOW_WRITES),
                                     "data/part00.bin")
    os.symlink(str(outside), os.path.join(working, "zzz"))
    out, err = collect(proc, 120)

    assert proc.returncode == 1, (out, err)
    assert "payload: zzz/late.txt refused" in trace_text(tmp_path)
    assert b"corrupted" in out + err
    assert os.listdir(str(outside)) == []
    assert run.records == [], "the wizard must not start"


# conrun never loads user32, so the session's end comes to it as a console
# event, which Wine does not send.
@pytest.mark.parametrize("program_name", ["setup.exe"])
def test_end_of_session_before_the_wizard_removes_the_payload(launcher, wine, program_name):
    """Logoff and shutdown come to a program that loads user32 as window
    messages: its hidden window holds the session while the run stops and
    cleans up."""
    proc, run, program = paused_after_extraction(launcher, program_name)
    try:
        seen = read_until(proc, b"paused at after-extraction", b"")
        # The messages go to this launcher's window alone: ending the session
        # of the whole prefix (wineboot --end-session) would reach every
        # other program of the test run.
        ended = wine.run(os.path.join(wine.build_dir, "support", "end_session.exe"),
                         [to_windows(program)])
        out, err = collect(proc, 120)
    finally:
        kill_and_collect(proc)

    seen += out
    assert ended.code == 0 and ended.out.strip() == "1", ended
    assert b"end-session message" in seen, (seen, err, ended)
    assert proc.returncode == 1, (seen, err)
    assert CLEANUP_LINE.encode() in seen
    assert run.records == [], "the wizard must not start"
    assert run.leftovers() == []


@pytest.mark.parametrize("program_name", PROGRAMS)
@pytest.mark.parametrize("event", ["ctrl-c", "close"])
def test_console_event_while_the_wizard_runs_is_the_wizards(launcher, tmp_path, program_name,
                                                            event):
    """The launcher outlives the event and cleans up when the wizard ends,
    with the wizard's exit status. Ctrl+C comes from Wine (SIGINT); the
    closing of the console, which Wine cannot do, through the test seam
    that delivers the event as the system would: its handler never returns,
    and the launcher ends the process itself once it has cleaned up."""
    done = str(tmp_path / "wizard-may-end")
    program = launcher.installer(program_name, exit_code=5, release=to_windows(done))
    tmp_dir = str(tmp_path / "tmp")
    trigger = str(tmp_path / "close-now")
    env = {"LAUNCHER_TEST_CONSOLE_EVENT": to_windows(trigger) + ":2"} if event == "close" else {}
    proc, working = launcher.start_waiting(program, tmp_dir, done, env=env,
                                           args=quiet(launcher, program))
    try:
        if event == "close":
            open(trigger, "w").close()
            seen = read_until(proc, b"console control event 2", b"")
        else:
            os.kill(proc.pid, signal.SIGINT)
            seen = read_until(proc, CTRL_C_SEEN, b"")
        # The event is the wizard's: its files stay while it runs.
        payload_stayed = os.path.exists(os.path.join(working, "tarvisk.class"))
    finally:
        code, out, err = finish_waiting(proc, done)

    assert code == 5, (seen, out, err)
    assert payload_stayed
    assert CLEANUP_LINE.encode() in seen + out
    assert os.listdir(tmp_dir) == []


def test_end_of_session_while_the_wizard_runs_waits_for_the_wizard(launcher, wine, tmp_path):
    """Logoff reaches setup's hidden window while the wizard runs: the
    launcher holds the session, keeps the payload for the wizard, and
    cleans up once the wizard ends, with the wizard's exit status."""
    done = str(tmp_path / "wizard-may-end")
    program = launcher.installer("setup.exe", exit_code=5, release=to_windows(done))
    tmp_dir = str(tmp_path / "tmp")
    proc, working = launcher.start_waiting(program, tmp_dir, done, args=quiet(launcher, program))
    # The session's end waits for the launcher, which waits for the wizard.
    ending = wine.popen(os.path.join(wine.build_dir, "support", "end_session.exe"),
                        [to_windows(program)])
    try:
        seen = read_until(proc, b"end-session message", b"")
        payload_stayed = os.path.exists(os.path.join(working, "tarvisk.class"))
        still_ending = ending.poll() is None
    finally:
        code, out, err = finish_waiting(proc, done)
        ended, _ = collect(ending, 120)

    assert ending.returncode == 0 and ended.strip() == b"1", ended
    assert still_ending, "the session ended before the wizard"
    assert code == 5, (seen, out, err)
    assert payload_stayed
    assert CLEANUP_LINE.encode() in seen + out
    assert os.listdir(tmp_dir) == []


def run_held_at(launcher, program, hold, act, env=None):
    """Runs `program` held at the test point `hold` (LAUNCHER_TEST_FAULT
    <hold>:hold) until `act(run)` has been done, then lets it go on; returns
    its Run, exit status, output and error."""
    proc, run = launcher.popen(program, env=dict(env or {}, LAUNCHER_TEST_FAULT=hold + ":hold"),
                               stdin=subprocess.PIPE)
    try:
        for _ in range(5):  # status lines may come first
            if proc.stdout.readline().decode().strip() == "held at " + hold:
                break
        else:
            raise AssertionError("never held at " + hold)
        act(run)
        proc.stdin.write(b"go\n")
        proc.stdin.close()
        out, err = collect(proc, 120)
    finally:
        kill_and_collect(proc)
    return run, proc.returncode, out, err


# Where the start is held while the test renames the program away and puts
# another installer (whose wizard ends with 7) at its name, and what the run
# then does: read its own payload through the handle it opened, or, with
# nothing opened yet, refuse the file at its name (Wine cannot give the
# renamed file's new name; Windows can, and the run then goes on with it).
SWAPPED_PROGRAMS = [
    ("after-the-open", "own-file-opened", 0),
    ("before-the-open", "program-started", 1),
]


@pytest.mark.parametrize("hold,expected", [c[1:] for c in SWAPPED_PROGRAMS],
                         ids=[c[0] for c in SWAPPED_PROGRAMS])
def test_program_renamed_and_replaced_during_the_start_never_gives_the_other_payload(
        launcher, tmp_path, hold, expected):
    program, other = launcher.installer(), launcher.installer(exit_code=7)

    def swap(_):
        os.rename(program, program + ".moved")
        shutil.copyfile(other, program)
    run, code, out, err = run_held_at(launcher, program, hold, swap, env=traced(tmp_path))
    assert code == expected, (out, err, trace_text(tmp_path))
    if expected == 0:
        assert len(run.records) == 1
    else:
        assert run.records == [], "a wizard ran"
        assert "the file at its path is not the one it runs from" in trace_text(tmp_path)


def test_a_link_where_a_payload_file_goes_is_replaced_not_written_through(launcher, standin,
                                                                          tmp_path):
    """Planted in the working directory before the extraction (held there):
    the payload's main class file comes out in its place, and what the link
    pointed to keeps its bytes. Wine shows such a link as the file it points
    to, to a handle and to a directory listing alike."""
    victim = tmp_path / "victim.txt"
    victim.write_text("keep")

    def plant(run):
        main_class = product_value(standin, "PRODUCT_MAIN_CLASS") + ".class"
        os.symlink(str(victim), os.path.join(run.left_working_directory(), main_class))
    run, code, out, err = run_held_at(launcher, launcher.installer(), "working-directory-made",
                                      plant)
    assert code == 0, (out, err)
    assert victim.read_text() == "keep", "the extraction wrote through the link"
    assert len(run.records) == 1, "the wizard ran on its class file"
