"""Asking a runtime for its version and starting the wizard, with stand-in
runtimes that report what they were given."""
import os
import time

import pytest

import runtimes
from winerun import to_windows

NO_FILES = "Error: There are no files requiring installation."
ABORTED = "Error: The Java(TM) Virtual Machine has aborted."


def probe_path(build_dir, name="java_probe.exe"):
    path = os.path.join(build_dir, "support", "java_probe", name)
    assert os.path.exists(path), "%s is not built" % name
    return path


def value(result, name):
    for line in result.out.splitlines():
        if line.startswith(name + "="):
            return line[len(name) + 1:]
    raise AssertionError("no %s= line in %r" % (name, result))


# --- CheckJREVersion -------------------------------------------------------------

@pytest.fixture
def checkjre(wine, build_dir, tmp_path):
    def run(report=None, **kwargs):
        runtime = runtimes.make_runtime(build_dir, str(tmp_path / "rt"), report=report, **kwargs)
        result = wine.run(probe_path(build_dir), ["checkjre", to_windows(runtime)], timeout=60)
        assert result.code == 0, result
        return value(result, "result"), value(result, "supported")
    return run


@pytest.mark.parametrize("report, version", [
    (b'java version "1.6.0_01"\r\nJava(TM) SE Runtime Environment\r\n', "1.6.0_01"),
    (b'java version "1.5.0_06"\r\n', "1.5.0_06"),
    (b'java version "1.9.0"', "1.9.0"),
    (b'openjdk version "9.0.4" 2018-01-16\r\nOpenJDK Runtime Environment\r\n', None),
    (b'java version "10" 2018-03-20\n', None),
    (b'java version "1.4.2_10"\r\n', None),
    # A notice first: the version on the second line is never looked at.
    (b'Picked up _JAVA_OPTIONS: -Xmx64m\r\njava version "1.6.0_01"\r\n', None),
    # No quotes: the whole first line is the version.
    (b"1.7.0_80 without quotes\n", "1.7.0_80 without quotes"),
    (b"java version 1.6.0\n", None),
    # Only the first 512 bytes count: a quote beyond them is never seen ...
    (b"java version " + b" " * 520 + b'"1.6.0"\n', None),
    # ... and a line longer than that is cut at 512 bytes.
    (b"1.6" + b"x" * 700 + b"\n", "1.6" + "x" * 509),
    (b"", None),
], ids=["1.6.0_01", "1.5.0_06", "no-line-feed", "9.0.4", "10", "1.4.2_10", "notice-first",
        "no-quotes-supported", "no-quotes-rejected", "quote-beyond-512", "long-line",
        "silent"])
def test_reported_version(checkjre, report, version):
    assert checkjre(report) == (version or "(null)", "true" if version else "false")


def test_talkative_runtime_does_not_hang_the_check(checkjre):
    report = b'java version "1.6.0_01"\r\n'
    assert checkjre(report, flood=(400000, 400000)) == ("1.6.0_01", "true")


def test_check_uses_javaw(checkjre):
    assert checkjre(b'java version "1.6.0_01"\r\n', javaw=False) == ("(null)", "false")


def test_missing_runtime_directory_gives_null(wine, build_dir, tmp_path):
    result = wine.run(probe_path(build_dir),
                      ["checkjre", to_windows(str(tmp_path / "no-such-runtime"))])
    assert value(result, "result") == "(null)"


# --- ExecuteJava -----------------------------------------------------------------

class Launch:
    def __init__(self, wine, build_dir, tmp_path):
        self.wine = wine
        self.build_dir = build_dir
        self.home = tmp_path / "home"
        self.home.mkdir()
        (self.home / "tarvisk.class").write_bytes(b"main class")
        self.runtime = runtimes.make_runtime(build_dir, str(tmp_path / "rt"))
        self.win_home = to_windows(str(self.home))
        self.win_runtime = to_windows(self.runtime)

    def run(self, *args, options=(), program="java_probe.exe", path=None, tmp=None):
        argv = ["execute", self.win_runtime]
        if tmp is not None:
            argv += ["--tmp", tmp]
        if path is False:
            argv.append("--unset-path")
        elif path is not None:
            argv += ["--path", path]
        for option in options:
            argv += ["--opt", option]
        argv += ["--", *args]
        return self.wine.run(probe_path(self.build_dir, program), argv, cwd=str(self.home))

    def records(self):
        return runtimes.read_records(self.runtime)

    def record(self):
        records = self.records()
        assert len(records) == 1, records
        return records[0]


@pytest.fixture
def launch(wine, build_dir, tmp_path):
    return Launch(wine, build_dir, tmp_path)


def test_example_command_line_element_by_element(launch):
    result = launch.run("a b", options=["-Xmx256m", "-Ddebug=true"],
                        tmp=r"C:\chosen tmp")
    assert result.code == 0, result
    rec = launch.record()
    javaw = launch.win_runtime + "\\bin\\javaw.exe"
    assert rec["argv"] == [javaw, "-Xmx256m", "-Ddebug=true", "tarvisk", "a b"]
    assert rec["command_line"] == '"%s" "-Xmx256m" "-Ddebug=true" "tarvisk" "a b"' % javaw
    assert rec["main_class"] == "tarvisk" and rec["args"] == ["a b"]
    assert rec["cwd"] == launch.win_home
    assert rec["main_class_file"] is True
    assert rec["tmp"] == r"C:\chosen tmp"


def test_no_options_and_no_arguments_give_two_elements(launch):
    assert launch.run().code == 0
    rec = launch.record()
    assert rec["argv"] == [launch.win_runtime + "\\bin\\javaw.exe", "tarvisk"]


def test_wizard_options_and_class_path_as_a_launcher_sees_them(launch):
    (launch.home / "package").mkdir()
    (launch.home / "package" / "wizard.jar").write_bytes(b"")
    class_path = "-Djava.class.path=%s;%s\\package\\wizard.jar;%s\\package\\absent.jar" % (
        launch.win_home, launch.win_home, launch.win_home)
    options = ["-Djava.io.tmpdir=" + launch.win_home, "-Dtemp.dir=C:\\tmp", class_path,
               "-Djava.endorsed.dirs=", "-Xmx256m"]
    state = launch.win_home + "\\my state\\silent state.xml"
    assert launch.run("-nodisplay", "-noconsole", "-state", state, options=options).code == 0
    rec = launch.record()
    assert rec["options"] == options
    assert rec["args"] == ["-nodisplay", "-noconsole", "-state", state]
    assert rec["class_path_existing"] == [launch.win_home,
                                          launch.win_home + "\\package\\wizard.jar"]


def test_trailing_backslash_and_quote_arrive_intact(launch):
    options = ["-Dtemp.dir=C:\\tmp dir\\", "-Djava.class.path=C:\\w", "-Dx=C:\\a\\\\"]
    args = ['say "hi"', "ends\\", 'back\\"slash', ""]
    assert launch.run(*args, options=options).code == 0
    rec = launch.record()
    assert rec["options"] == options
    assert rec["main_class"] == "tarvisk"
    assert rec["args"] == args


@pytest.mark.parametrize("console, exe", [(True, "java.exe"), (False, "javaw.exe")])
def test_executable_of_the_mode(launch, console, exe):
    argv = ["execute", launch.win_runtime] + (["--console"] if console else [])
    result = launch.wine.run(probe_path(launch.build_dir), argv, cwd=str(launch.home))
    assert result.code == 0, result
    rec = launch.record()
    assert rec["exe"] == exe
    assert rec["argv"][0] == launch.win_runtime + "\\bin\\" + exe


@pytest.mark.parametrize("previous, expected", [
    ("C:\\A;C:\\B", "{lib};C:\\A;C:\\B"),
    (False, "{lib}"),
    ("C:\\A;", "{lib};C:\\A;"),
], ids=["previous", "unset", "trailing-semicolon"])
def test_path_of_the_wizard(launch, previous, expected):
    result = launch.run(path=previous)
    assert result.code == 0, result
    want = expected.format(lib=launch.win_home + "\\package")
    assert launch.record()["path"] == want
    assert value(result, "path-after") == want


def test_missing_class_file_starts_nothing_and_keeps_path(launch):
    (launch.home / "tarvisk.class").unlink()
    os.remove(os.path.join(launch.runtime, "bin", "javaw.exe"))
    result = launch.run(path="C:\\A")
    assert result.code == 1
    assert NO_FILES in result.out and ABORTED not in result.out
    assert value(result, "path-after") == "C:\\A"
    assert launch.records() == []


@pytest.mark.parametrize("console, missing", [(False, "javaw.exe"), (True, "java.exe")])
def test_missing_executable_aborts_before_path_changes(launch, console, missing):
    os.remove(os.path.join(launch.runtime, "bin", missing))
    argv = ["execute", launch.win_runtime, "--path", "C:\\A"] + (["--console"] if console else [])
    result = launch.wine.run(probe_path(launch.build_dir), argv, cwd=str(launch.home))
    assert result.code == 1
    assert ABORTED in result.out and NO_FILES not in result.out
    assert value(result, "path-after") == "C:\\A"
    assert launch.records() == []


@pytest.mark.parametrize("code", [0, 1, 3, 10, 72, 73, 255, 1000, -1])
def test_child_exit_code_returned_unchanged(launch, code):
    with open(os.path.join(launch.runtime, "bin", "exitcode.txt"), "w") as f:
        f.write("%d" % code)
    result = launch.run()
    assert value(result, "status") == str(code)
    assert result.code == code & 0xFF
    assert len(launch.records()) == 1


def test_shipped_start_delay_is_waited_out(launch):
    started = time.monotonic()
    result = launch.run(program="java_probe_shipped.exe")
    elapsed = time.monotonic() - started
    assert result.code == 0, result
    assert len(launch.records()) == 1
    assert elapsed >= 10.0, elapsed
