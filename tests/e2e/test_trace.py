"""The diagnostic trace, seen from outside: with the build's trace variable
naming a file, a run appends what it found and did there (executable,
payload, temporary directory and free space, every runtime candidate and why
it was taken or refused, the Java command line and environment, the exit
code and what it became, what the cleanup removed or left); a trace file
that cannot be opened changes nothing."""
import os
import re
import zipfile

import pytest

import installer

from launch_support import finish_waiting, product_value
from winerun import to_windows


def trace_variable(build_dir):
    return product_value(build_dir, "PRODUCT_TRACE_VARIABLE")


def trace_lines(path, earlier=b""):
    """The trace's lines without their millisecond stamps; the file must
    begin with `earlier`, which a run appends to."""
    with open(path, "rb") as f:
        data = f.read()
    assert data.startswith(earlier), data
    text = data[len(earlier):].decode("cp1252")
    assert text.endswith("\r\n"), text
    lines = text[:-2].split("\r\n")
    for line in lines:
        assert re.match(r" *\d+ ms  ", line), line
    return [line.split(" ms  ", 1)[1] for line in lines]


def in_order(lines, expected):
    """Each of `expected` (regular expressions) matches a line, in order."""
    at = 0
    for pattern in expected:
        while at < len(lines) and not re.fullmatch(pattern, lines[at]):
            at += 1
        assert at < len(lines), "no line %r in order in:\n%s" % (pattern, "\n".join(lines))
        at += 1


def test_whole_run_traces_what_it_found_and_did(launcher, registry, build_dir, tmp_path):
    javasoft = r"runtime: registry HKLM\\Software\\JavaSoft\\Java Runtime Environment\\"
    old = launcher.runtime("old", version="1.4.2_10")
    good = launcher.runtime("good", exit_code=73)
    registry.register("jre", "1.4.2_10", to_windows(old))
    registry.register("jre", "1.6.0_03", to_windows(str(tmp_path / "gone")))
    registry.register("jre", "1.6.0_10", to_windows(good))
    program = launcher.installer(runtime=False)
    trace = tmp_path / "trace.txt"
    trace.write_bytes(b"an earlier run\r\n")

    run = launcher.run(program, env={trace_variable(build_dir): to_windows(str(trace))})

    assert run.code == 0, run.result
    lines = trace_lines(str(trace), earlier=b"an earlier run\r\n")
    wizard = run.wizard
    working = re.escape(wizard["cwd"])
    payload = zipfile.ZipFile(program)
    total = sum(info.file_size for info in payload.infolist())
    rt = re.escape(to_windows(good))
    in_order(lines, [
        r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d launcher version "
        + re.escape(product_value(build_dir, "PRODUCT_VERSION")),
        "executable: " + re.escape(to_windows(program)),
        "temporary directory: " + re.escape(to_windows(run.tmp_dir)),
        "working directory: " + working,
        r"payload: starts at byte %d of the executable, %d entries, %d bytes uncompressed"
        % (min(info.header_offset for info in payload.infolist()), len(payload.infolist()),
           total),
        r"free space: \d+ bytes available, %d required" % (total + 100000),
        r"runtime: registry HKLM\\Software\\JavaSoft\\Java Development Kit \(32-bit view\): "
        "not present",
        javasoft + r"1\.4\.2_10 \(32-bit view\): refused: not a supported version",
        javasoft + r"1\.6\.0_03 \(32-bit view\): refused: JavaHome .*gone is not a runtime "
        "directory",
        javasoft + r"1\.6\.0_10 \(32-bit view\): candidate %s, version 1\.6\.0_10, plain runtime"
        % rt,
        r"runtime: chose %s: the newest registered plain runtime" % rt,
        "payload: extracted into " + working,
        r"java: environment: PATH=.*",
        r'java: command line: "%s\\bin\\java\.exe" .*"tarvisk".*' % rt,
        "java: the wizard ended with exit code 73",
        "cleanup: removed " + working,
        "exit: the wizard's 73 becomes exit status 0",
    ])


def test_refused_javahome_says_what_it_reported(launcher, build_dir, tmp_path):
    named = launcher.runtime("named", version="1.4.2_10")
    trace = tmp_path / "trace.txt"
    run = launcher.run(launcher.installer(runtime=False), ["-javahome", to_windows(named)],
                       env={trace_variable(build_dir): to_windows(str(trace))})
    assert run.code == 1, run.result
    in_order(trace_lines(str(trace)), [
        "runtime: -javahome " + re.escape(to_windows(named)),
        r'version: "%s\\bin\\javaw\.exe" "-version" reported "1\.4\.2_10": not a supported '
        "version" % re.escape(to_windows(named)),
        "runtime: -javahome .* refused",
        "exit: status 1, the run failed",
    ])


def test_cleanup_traces_what_it_could_not_remove(launcher, build_dir, tmp_path):
    done = str(tmp_path / "wizard-may-end")
    trace = tmp_path / "trace.txt"
    tmp_dir = tmp_path / "tmp"
    tmp_dir.mkdir()
    proc, working = launcher.start_waiting(
        launcher.installer(release=to_windows(done)), str(tmp_dir), done,
        env={trace_variable(build_dir): to_windows(str(trace))})
    try:
        # A read-only file is not deleted; it stays, and so does its directory.
        os.chmod(os.path.join(working, "tarvisk.class"), 0o444)
    finally:
        status = finish_waiting(proc, done)
    assert status[0] == 0, status
    win_working = re.escape(to_windows(working))
    in_order(trace_lines(str(trace)), [
        r"cleanup: could not delete %s\\tarvisk\.class \(error 5\)" % win_working,
        r"cleanup: could not remove %s \(error \d+\)" % win_working,
        "cleanup: %s left behind" % win_working,
    ])
    assert os.listdir(working) == ["tarvisk.class"]


@pytest.mark.parametrize("where", ["missing-directory", "a-directory", "empty"])
def test_trace_file_that_cannot_be_opened_changes_nothing(launcher, build_dir, tmp_path, where):
    value = {"missing-directory": to_windows(str(tmp_path / "no-such-dir" / "trace.txt")),
             "a-directory": to_windows(str(tmp_path)),
             "empty": ""}[where]
    program = launcher.installer()
    plain = launcher.run(program)
    traced = launcher.run(program, env={trace_variable(build_dir): value})
    assert (traced.code, traced.out, traced.result.err) == (plain.code, plain.out,
                                                            plain.result.err)
    assert traced.code == 0
    assert len(traced.wizard["options"]) == len(plain.wizard["options"])
    assert not (tmp_path / "no-such-dir").exists()


# --- -log: the trace named on the command line ----------------------------------

def product_of(path):
    """ProductName and ProductVersion as pefile reads them from `path`."""
    import pefile
    texts = {}
    for info in getattr(pefile.PE(path), "FileInfo", [[]])[0]:
        for table in getattr(info, "StringTable", []):
            texts.update({k.decode(): v.decode() for k, v in table.entries.items()})
    return texts["ProductName"], texts["ProductVersion"]


OUTCOMES = {
    "installed": [r"runtime: chose .*", r"payload: \d+ bytes written in \d+ ms",
                  r'java: command line: ".*java\.exe" .*', "java: the wizard ended with exit code 0",
                  "cleanup: removed .*", "exit: the wizard's 0 becomes exit status 0"],
    "no-java": [r"runtime: registry .*: not present", "exit: status 1, the run failed"],
    "damaged": [r"runtime: chose .*", "payload: extraction failed into .*",
                "exit: status 1, the run failed"],
}


@pytest.mark.parametrize("mode", ["console", "silent"])
@pytest.mark.parametrize("outcome", sorted(OUTCOMES))
def test_log_option_records_the_run_for_a_deployer(launcher, build_dir, tmp_path, mode, outcome):
    program = launcher.installer(runtime=outcome != "no-java")
    if outcome == "damaged":
        installer.flip_data_byte(program, "tarvisk.class")
    log = tmp_path / "logs" / "deploy.log"
    log.parent.mkdir()
    args = ["-log", to_windows(str(log))]
    if mode == "silent":
        args += ["-silent", to_windows(str(tmp_path / "answers.state"))]
    # The variable names another file: the command line's wins.
    other = tmp_path / "variable.log"
    run = launcher.run(program, args, env={trace_variable(build_dir): to_windows(str(other))})

    assert run.code == (0 if outcome == "installed" else 1), run.result
    assert not other.exists()
    name, version = product_of(program)
    in_order(trace_lines(str(log)), [
        r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d launcher version .*",
        "executable: " + re.escape(to_windows(program)),
        "program: %s %s" % (re.escape(name), re.escape(version)),
        "arguments: " + re.escape(" ".join('"%s"' % a for a in args + ["-tmpdir", to_windows(
            run.tmp_dir)])),
    ] + OUTCOMES[outcome])
    if outcome == "installed":
        assert "-log" not in run.wizard["args"]
        assert ("-state" in run.wizard["args"]) == (mode == "silent")


@pytest.mark.parametrize("name", ["NUL", "CON", r"\\.\pipe\deploy", "a-directory"])
def test_log_that_is_a_device_or_not_a_file_is_refused_before_anything_runs(launcher, tmp_path,
                                                                           name):
    if name == "a-directory":
        name = to_windows(str(tmp_path))
    run = launcher.run(launcher.installer(), ["-log", name])
    assert run.code == 1, run.result
    assert run.out == "Error: The log file '%s' cannot be written.\n" % name, run.result
    assert run.records == [] and run.leftovers() == []
