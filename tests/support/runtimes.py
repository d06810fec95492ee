"""Laying out stand-in Java runtimes for the tests.

The stand-in java.exe and javaw.exe (tests/support/java_standin) read their
behaviour from files beside themselves; make_runtime() copies them into a
runtime directory with those files:

    dest\\bin\\java.dll, java.exe, javaw.exe      a plain runtime
    dest\\jre\\bin\\...  and  dest\\lib\\tools.jar  a development kit

and returns the runtime directory (dest, or dest/jre for a kit).
"""
import json
import os
import shutil


def standin_dir(build_dir):
    return os.path.join(build_dir, "support", "java_standin")


def version_report(version, eol="\r\n"):
    """The first lines a runtime prints for -version, as bytes."""
    return ('java version "%s"%sJava(TM) SE Runtime Environment (build %s-b01)%s'
            % (version, eol, version, eol)).encode("ascii")


def make_runtime(build_dir, dest, report=None, version=None, jdk=False, exit_code=None,
                 java=True, javaw=True, dll=True, flood=None, sleep_ms=None, release=None,
                 chdir=None):
    """Lays out a runtime in `dest` (created if need be).

    report: exact bytes of the -version report on standard error (or give
    version= for the usual two lines); exit_code: exit code of every run;
    java/javaw/dll: whether bin holds that file; flood: (stdout bytes,
    stderr bytes) written after the report; jdk: put the runtime in dest/jre
    and add dest/lib/tools.jar; release: a Windows path whose existence ends
    every run (see release()), so the test decides when the wizard is done.
    Returns the runtime directory."""
    runtime = os.path.join(dest, "jre") if jdk else dest
    bin_dir = os.path.join(runtime, "bin")
    os.makedirs(bin_dir, exist_ok=True)
    source = standin_dir(build_dir)
    for name, wanted in (("java.exe", java), ("javaw.exe", javaw)):
        if wanted:
            shutil.copyfile(os.path.join(source, name), os.path.join(bin_dir, name))
    if dll:
        open(os.path.join(bin_dir, "java.dll"), "wb").close()
    if jdk:
        os.makedirs(os.path.join(dest, "lib"), exist_ok=True)
        open(os.path.join(dest, "lib", "tools.jar"), "wb").close()
    if version is not None and report is None:
        report = version_report(version)
    if report is not None:
        with open(os.path.join(bin_dir, "version.txt"), "wb") as f:
            f.write(report)
    if exit_code is not None:
        with open(os.path.join(bin_dir, "exitcode.txt"), "w") as f:
            f.write("%d" % exit_code)
    if flood is not None:
        with open(os.path.join(bin_dir, "flood.txt"), "w") as f:
            f.write("%d %d" % flood)
    if sleep_ms is not None:
        with open(os.path.join(bin_dir, "sleep.txt"), "w") as f:
            f.write("%d" % sleep_ms)
    if release is not None:
        with open(os.path.join(bin_dir, "release.txt"), "w") as f:
            f.write(release)
    if chdir is not None:  # a Windows path the wizard moves to once it has started
        with open(os.path.join(bin_dir, "chdir.txt"), "w") as f:
            f.write(chdir)
    return runtime


def release(path):
    """Ends the stand-in runs that wait for `path` (a Linux path)."""
    open(path, "w").close()


def record_written(path):
    """True once the record file at `path` holds at least one whole line: the
    stand-in creates the file before it writes, so existence is not enough."""
    try:
        with open(path, "rb") as f:
            return f.read().endswith(b"\n")
    except FileNotFoundError:
        return False


def read_records(runtime):
    """The launch records the stand-in wrote beside itself, oldest first."""
    return read_record_file(os.path.join(runtime, "bin", "record.jsonl"))


def read_record_file(path):
    """The launch records in the record file at `path`, oldest first."""
    if not os.path.exists(path):
        return []
    with open(path, encoding="utf-8") as f:
        return [json.loads(line) for line in f if line.strip()]
