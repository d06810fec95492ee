"""Helpers of the whole-launch tests: installers built with installer.py and
stand-in runtimes from runtimes.py, runs with a temporary directory of their
own, what the stand-in wizard recorded, and registry registrations that are
removed again.

Every run gets -tmpdir <a directory of the test>, so the working directory
is the only directory a run creates there, and STANDIN_RECORD, so the
wizard's launch record lands beside it."""
import json
import os
import re

import pytest

import installer
import runtimes
from command_line_support import Catalogue  # noqa: F401 (re-exported)
from winerun import collect, kill_and_collect, to_windows, wait_for

PROGRAMS = ["conrun.exe", "setup.exe"]
# 32 files of 256 KiB for runs whose extraction a test watches: with every
# block the extraction writes held back 40 ms, one block at a time
# (SLOW_WRITES, a hook of the test programs), writing them takes over a
# second on any machine, whatever its number of workers.
SLOW_PAYLOAD = [("data/part%02d.bin" % i, os.urandom(256 * 1024)) for i in range(32)]
SLOW_WRITES = {"LAUNCHER_TEST_WRITE_DELAY_MS": "40"}
STANDIN_VERSION = "1.6.0_45"
DOWNLOAD_URL_MACRO = "PRODUCT_DOWNLOAD_URL"


def to_linux(path):
    """The Linux path of a Z: drive path."""
    assert path[:2].upper() == "Z:", path
    return path[2:].replace("\\", "/")


def product_value(build_dir, name):
    """A string value of the build's generated product_config.h."""
    with open(os.path.join(build_dir, "generated", "product_config.h"), encoding="utf-8") as f:
        text = f.read()
    match = re.search(r'#define\s+%s\s+"((?:[^"\\]|\\.)*)"' % name, text)
    assert match, name
    return installer._c_string(match.group(1))


def expected_class_path(build_dir, home, kit=None):
    """The class path as the launcher builds it: a development kit's two
    entries (`kit`: the directory holding lib\\tools.jar, as the runtime
    path names it), the application home, then the home joined to the
    build-time element, whose later entries rooted at the drive ("\\x") are
    taken below the home too."""
    head = "" if kit is None else "%s\\lib\\tools.jar;%s\\classes;" % (kit, kit)
    first, *rest = product_value(build_dir, "PRODUCT_CLASSPATH_ELEMENT").split(";")
    rest = [home + e if e.startswith("\\") and not e.startswith("\\\\") else e for e in rest]
    return head + ";".join([home, home + first] + rest)


def expected_options(build_dir, working, tmp, home=None, kit=None, flags=()):
    """The Java options in the order the wizard must get them."""
    return (["-Djava.io.tmpdir=" + working, "-Dtemp.dir=" + tmp,
             "-Djava.class.path=" + expected_class_path(build_dir, home or working, kit),
             "-Djava.endorsed.dirs=", "-Xmx256m"] + list(flags))


def payload_total(path):
    """The uncompressed size of every entry of the payload of `path`."""
    import zipfile
    with zipfile.ZipFile(path) as archive:
        return sum(info.file_size for info in archive.infolist())


@pytest.fixture
def standin(build_dir):
    # Part of every build: missing, it is a broken build, not a reason to
    # leave the launch tests out.
    if not os.path.exists(os.path.join(runtimes.standin_dir(build_dir), "java.exe")):
        pytest.fail("the stand-in runtime is not built", pytrace=False)
    return build_dir


class Run:
    """One installer run: its result, its temporary directory and what the
    stand-in wizard recorded."""

    def __init__(self, result, tmp_dir, record):
        self.result = result
        self.tmp_dir = tmp_dir
        self.record = record

    @property
    def code(self):
        return self.result.code

    @property
    def out(self):
        return self.result.out

    @property
    def records(self):
        if not os.path.exists(self.record):
            return []
        with open(self.record, encoding="utf-8") as f:
            return [json.loads(line) for line in f if line.strip()]

    @property
    def wizard(self):
        """The single launch record of this run."""
        records = self.records
        assert len(records) == 1, (records, self.result)
        return records[0]

    def leftovers(self):
        """Directories the run left in its temporary directory."""
        return sorted(name for name in os.listdir(self.tmp_dir)
                      if os.path.isdir(os.path.join(self.tmp_dir, name)))

    def left_working_directory(self):
        """The one working directory left behind (Linux path)."""
        left = self.leftovers()
        assert len(left) == 1, (left, self.result)
        return os.path.join(self.tmp_dir, left[0])


class Launcher:
    """Builds installers in a test's directory and runs them."""

    def __init__(self, wine, build_dir, where):
        self.wine = wine
        self.build_dir = build_dir
        self.where = where
        self.count = 0

    def runtime(self, name, **kwargs):
        """A stand-in runtime in the test's directory; returns its runtime
        directory (Linux path)."""
        kwargs.setdefault("version", STANDIN_VERSION)
        return runtimes.make_runtime(self.build_dir, os.path.join(self.where, name), **kwargs)

    def installer(self, program="conrun.exe", variant="test-bin", runtime=True, name=None,
                  **kwargs):
        """An installer made of the program and a sample payload; runtime
        True carries a stand-in runtime (exit_code, sleep_ms, release,
        version go to it), False none, a path that runtime directory."""
        self.count += 1
        runtime_kwargs = {k: kwargs.pop(k) for k in ("exit_code", "sleep_ms", "release", "version",
                                                      "report", "chdir")
                          if k in kwargs}
        if runtime is True:
            runtime = self.runtime("payload-runtime-%d" % self.count, **runtime_kwargs)
        elif runtime is False:
            runtime = None
        out = os.path.join(self.where, "installer-%d" % self.count, name or program)
        return installer.build_installer(self.wine.program(program, variant), out,
                                         runtime=runtime, build_dir=self.build_dir, **kwargs)

    def _prepare(self, args, tmp_dir, env):
        """The arguments, environment and Run (with no result yet) of one
        run: -tmpdir <tmp_dir> (default: a fresh directory of the test,
        False: none) after `args`, and a launch record of its own."""
        self.count += 1
        record = os.path.join(self.where, "record-%d.jsonl" % self.count)
        extra = {"STANDIN_RECORD": to_windows(record)}
        extra.update(env or {})
        args = list(args)
        if tmp_dir is None:
            tmp_dir = os.path.join(self.where, "tmp-%d" % self.count)
        if tmp_dir is not False:
            os.makedirs(tmp_dir, exist_ok=True)
            args += ["-tmpdir", to_windows(str(tmp_dir))]
        return args, extra, Run(None, str(tmp_dir) if tmp_dir is not False else None, record)

    def run(self, program, args=(), tmp_dir=None, lc_all="en_US.UTF-8", env=None, boxes=0,
            cwd=None, timeout=120):
        """Runs `program` to its end (see _prepare for `args` and `tmp_dir`)."""
        args, extra, run = self._prepare(args, tmp_dir, env)
        run.result = self.wine.run(program, args, lc_all=lc_all, env=extra, boxes=boxes, cwd=cwd,
                                   timeout=timeout)
        return run

    def popen(self, program, args=(), tmp_dir=None, env=None, lc_all="en_US.UTF-8", **kwargs):
        """Starts `program` as run() would; returns the process and its Run,
        whose result stays None."""
        args, extra, run = self._prepare(args, tmp_dir, env)
        return self.wine.popen(program, args, env=extra, lc_all=lc_all, **kwargs), run

    def start_waiting(self, program, tmp_dir, done, env=None, args=(), lc_all="en_US.UTF-8"):
        """Starts `program` (whose runtime was made with release=`done`) with
        `args` and -tmpdir `tmp_dir`; returns the process and its working
        directory (Linux path) once the wizard runs, waiting for `done`. End
        it with finish_waiting."""
        proc, run = self.popen(program, args, tmp_dir, env, lc_all)
        try:
            wait_for(lambda: runtimes.record_written(run.record), 120, "the wizard to start")
        except AssertionError:
            kill_and_collect(proc)
            raise
        return proc, to_linux(run.records[0]["cwd"])


def finish_waiting(proc, done):
    """Lets the wizard of a run from Launcher.start_waiting end; returns the
    run's exit status, standard output and error."""
    try:
        runtimes.release(done)
        out, err = collect(proc, 120)
    finally:
        kill_and_collect(proc)
    return proc.returncode, out, err


@pytest.fixture
def launcher(wine, standin, tmp_path):
    return Launcher(wine, standin, str(tmp_path))


@pytest.fixture(scope="session")
def catalogue(wine, build_dir):
    return Catalogue(wine, build_dir)


def status_lines(catalogue, keys, lc_all="en_US.UTF-8"):
    return "".join(catalogue.text(key, lc_all) for key in keys)


def console_from(program, args=()):
    """The index of the first progress line that setup.exe prints on the
    console: all of them with -silent (the command line turns the console
    on), from "executing_java" on with -console (turned on just before the
    wizard starts), none otherwise; conrun.exe prints all."""
    if program == "conrun.exe" or "-silent" in args:
        return 0
    if "-console" in args:
        return EXECUTING_JAVA
    return None


def expected_output(catalogue, keys, first_console=0, lc_all="en_US.UTF-8"):
    """Standard output after a run with the progress lines `keys`, the first
    of them on the console being keys[first_console] (console_from): the
    console lines alone. Lines before it belong to the status window, which
    exists before the first of them, so none of them may reach standard
    output."""
    if first_console is None:
        first_console = len(keys)
    elif first_console == EXECUTING_JAVA:
        first_console = keys.index("executing_java")
    return status_lines(catalogue, keys[first_console:], lc_all)


EXECUTING_JAVA = "executing_java"


# The progress lines of a whole run with the payload's runtime.
RUN_WITH_PAYLOAD_RUNTIME = ["checking_disk_space", "checking_java", "unzipping_java_files",
                            "unzipping_files", "executing_java", "performing_cleanup"]
# ... with a registered runtime (the payload is searched for one first) ...
RUN_WITH_REGISTERED_RUNTIME = RUN_WITH_PAYLOAD_RUNTIME
# ... and with -javahome (no search).
RUN_WITH_NAMED_RUNTIME = ["checking_disk_space", "checking_java", "unzipping_files",
                          "executing_java", "performing_cleanup"]
