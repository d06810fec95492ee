"""The failures of a launch that can be provoked from outside, in two
languages and with both programs: the messages with their arguments, exit
status 1, and what is left behind in the temporary directory.

setup.exe shows the messages in message boxes (its progress lines go to the
status window); conrun.exe prints everything on the console.

Not provoked here, because nothing outside the program can make them
happen: the executable's own path that the system cannot give (no path
resolution failure exists for a running program); a free-space query that
fails on a directory that was just created; an application home that is
unknown (it is only unknown when the executable's path is, which ends the
run earlier); and an application home that cannot be made the current
directory (it is the working directory just created and filled, or the
directory the program itself was started from)."""
import os
import struct
import subprocess
import zipfile

import pytest

from launch_support import (PROGRAMS, RUN_WITH_PAYLOAD_RUNTIME, expected_output, payload_total,
                            product_value)
from winerun import to_windows

LOCALES = ["en_US.UTF-8", "es_MX.UTF-8"]
CENTRAL = struct.Struct("<4s6H3L5H2L")
LOCAL = struct.Struct("<4s5H3L2H")


class Case:
    """One provoked failure: the installer and arguments of the run, the
    progress lines before the failure, the error messages (key and
    arguments), and what stays in the temporary directory: "nothing", an
    "empty" working directory (but for its marker), or one with "some" of the
    payload."""

    def __init__(self, program, args, status, errors, left, env=None, tmp_dir=None):
        self.program, self.args, self.status, self.errors = program, args, status, errors
        self.left, self.env, self.tmp_dir = left, env, tmp_dir


def usage(key, program, build_dir):
    """The second message of a failure: how to run the program instead."""
    if key == "java":
        return ("no_find_java_usage",
                ["1.5", product_value(build_dir, "PRODUCT_DOWNLOAD_URL"), program])
    return ("no_writable_system_tmpdir_usage", [program])


def corrupt_entry(path, name, how):
    """Damages entry `name` of the payload appended to `path`: "crc" makes
    the recorded CRC-32 wrong (both headers), "deflate" overwrites the start
    of the deflated data with an invalid block, "zip64" saturates its
    uncompressed size in the central directory, which then promises a ZIP64
    extra field that is not there."""
    data = bytearray(open(path, "rb").read())
    at = 0
    while True:
        at = data.find(b"PK\x03\x04", at)
        assert at >= 0, name
        fields = LOCAL.unpack_from(data, at)
        if data[at + LOCAL.size:at + LOCAL.size + fields[9]] == name.encode():
            break
        at += 4
    local_at, local = at, list(fields)
    assert local[3] == zipfile.ZIP_DEFLATED and local[7] > 8
    if how in ("crc", "zip64"):
        if how == "crc":
            local[6] ^= 1
            LOCAL.pack_into(data, local_at, *local)
        at = 0
        while True:
            at = data.find(b"PK\x01\x02", at)
            assert at >= 0
            central = list(CENTRAL.unpack_from(data, at))
            if data[at + CENTRAL.size:at + CENTRAL.size + central[10]] == name.encode():
                if how == "crc":
                    central[7] ^= 1
                else:
                    central[9] = 0xFFFFFFFF
                CENTRAL.pack_into(data, at, *central)
                break
            at += 4
    else:
        start = local_at + LOCAL.size + local[9] + local[10]
        data[start:start + 8] = b"\xff" * 8
    with open(path, "wb") as f:
        f.write(data)


def make_case(name, program, launcher, request):
    """The run that provokes failure `name` with `program`."""
    where = launcher.where
    if name == "F2_tmpdir_too_deep":
        # The command line accepts the directory, but no working directory
        # name fits below it.
        deep = os.path.join(where, "deep")
        while len(to_windows(deep)) < 250:
            deep = os.path.join(deep, "d" * min(60, 251 - len(to_windows(deep))))
        os.makedirs(deep)
        return Case(launcher.installer(program), [], ["checking_disk_space"],
                    [("no_writable_system_tmpdir", [to_windows(deep)]),
                     usage("tmp", program, launcher.build_dir)], "nothing", tmp_dir=deep)
    if name == "F4_too_little_room":
        made = launcher.installer(program)
        required = payload_total(made) + 100000
        return Case(made, [], ["checking_disk_space"],
                    [("no_space_system_tmpdir", ["{tmp}", required, required - 1]),
                     usage("tmp", program, launcher.build_dir)], "empty",
                    env={"LAUNCHER_TEST_FREE_BYTES": str(required - 1)})
    if name.startswith("F5_"):
        if name == "F5_javahome_missing":
            home = to_windows(os.path.join(where, "no-such-java"))
        else:
            home = to_windows(launcher.runtime("old-java", version="1.4.2_10"))
        return Case(launcher.installer(program), ["-javahome", home],
                    ["checking_disk_space", "checking_java"],
                    [("no_find_specified_java", [home]), usage("java", program, launcher.build_dir)], "empty")
    if name == "F6_no_runtime_anywhere":
        request.getfixturevalue("registry")  # no registrations in either view
        return Case(launcher.installer(program, runtime=False), [],
                    ["checking_disk_space", "checking_java", "unzipping_java_files"],
                    [("no_find_java", []), usage("java", program, launcher.build_dir)], "empty")
    if name == "F7_payload_zip64":
        # Refused when the archive is opened: nothing is extracted.
        made = launcher.installer(program)
        corrupt_entry(made, "package/tarvisk-help.jar", "zip64")
        return Case(made, [], ["checking_disk_space"],
                    [("corrupted_zip_file", [to_windows(made)])], "empty")
    if name.startswith("F7_"):
        made = launcher.installer(program)
        corrupt_entry(made, "package/tarvisk-help.jar", name.rsplit("_", 1)[1])
        return Case(made, [], ["checking_disk_space", "checking_java", "unzipping_java_files",
                               "unzipping_files"],
                    [("corrupted_zip_file", [to_windows(made)])], "some")
    raise AssertionError(name)


FAILURES = ["F2_tmpdir_too_deep", "F4_too_little_room", "F5_javahome_missing",
            "F5_javahome_too_old", "F6_no_runtime_anywhere", "F7_payload_crc",
            "F7_payload_deflate", "F7_payload_zip64"]


@pytest.mark.parametrize("lc_all", LOCALES)
@pytest.mark.parametrize("program", PROGRAMS)
@pytest.mark.parametrize("failure", FAILURES)
def test_failure_messages_status_and_what_stays(launcher, catalogue, gui,
                                                 request, failure, program, lc_all):
    case = make_case(failure, program, launcher, request)
    tmp_dir = case.tmp_dir or os.path.join(launcher.where, "tmp")
    os.makedirs(tmp_dir, exist_ok=True)
    messages = [catalogue.format(key, *[to_windows(tmp_dir) if a == "{tmp}" else a
                                        for a in args], lc_all=lc_all)
                for key, args in case.errors]

    run = launcher.run(case.program, case.args, tmp_dir=tmp_dir, lc_all=lc_all, env=case.env,
                       boxes=len(messages) if program == "setup.exe" else 0)

    assert run.code == 1, run.result
    assert run.records == [], "the wizard must not start"
    if program == "conrun.exe":
        assert run.out == expected_output(catalogue, case.status, 0, lc_all) + \
            "".join(messages)
    else:
        assert [b.text for b in run.result.boxes] == [m.rstrip("\n") for m in messages], \
            run.result
        title = catalogue.text("setup_title", lc_all)
        assert all(b.title == title for b in run.result.boxes), run.result.boxes
        assert run.out == "", run.out

    left = run.leftovers()
    if case.left == "nothing":
        assert left == []
        return
    working = run.left_working_directory()
    assert os.path.basename(working).startswith(program)
    contents = sorted(os.listdir(working))
    if case.left == "empty":
        # Empty: a run proves it is alive without a file of its own there.
        assert contents == []
    else:
        # Everything before the damaged entry came out; the runtime too.
        assert "tarvisk.class" in contents
        assert os.path.exists(os.path.join(working, "package", "jre", "bin", "java.exe"))
        assert os.path.exists(os.path.join(working, "package", "tarvisk-archive.jar"))


# --- the room for the payload ----------------------------------------------------------

@pytest.mark.parametrize("program", PROGRAMS)
def test_exactly_enough_room_goes_on(launcher, program):
    made = launcher.installer(program)
    required = payload_total(made) + 100000
    run = launcher.run(made, ["-silent", "state.txt"] if program == "setup.exe" else [],
                       env={"LAUNCHER_TEST_FREE_BYTES": str(required)}, cwd=launcher.where)
    assert run.code == 0, run.result
    assert len(run.records) == 1
    assert run.leftovers() == []


@pytest.fixture
def small_tmpfs(tmp_path):
    """A real file system of 512 KiB, mounted for the test."""
    point = tmp_path / "small"
    point.mkdir()
    r = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=512k,mode=0777", "tmpfs",
                        str(point)], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if r.returncode != 0:
        pytest.skip("mounting a small tmpfs is not permitted here (%s)"
                    % r.stdout.decode(errors="replace").strip())
    yield point
    subprocess.run(["umount", "-l", str(point)])


@pytest.mark.parametrize("lc_all", ["en_US.UTF-8", "ja_JP.UTF-8"])
def test_small_file_system_as_temporary_directory(launcher, catalogue, small_tmpfs, lc_all):
    made = launcher.installer()
    required = payload_total(made) + 100000
    run = launcher.run(made, [], tmp_dir=str(small_tmpfs), lc_all=lc_all)
    stat = os.statvfs(str(small_tmpfs))
    available = stat.f_bavail * stat.f_frsize
    assert available < required
    where = to_windows(str(small_tmpfs))
    assert run.code == 1, run.result
    assert run.out == (catalogue.text("checking_disk_space", lc_all)
                       + catalogue.format("no_space_system_tmpdir", where, required, available,
                                          lc_all=lc_all)
                       + catalogue.format("no_writable_system_tmpdir_usage", "conrun.exe",
                                          lc_all=lc_all))
    working = run.left_working_directory()
    assert os.listdir(working) == []


# --- a wizard that cannot be started ---------------------------------------------------

@pytest.mark.parametrize("lc_all", LOCALES)
@pytest.mark.parametrize("program", PROGRAMS)
def test_wizard_that_cannot_start_ends_with_1_after_the_cleanup(launcher, catalogue, gui,
                                                                 program, lc_all):
    """The payload's runtime passes every check, but the executable the
    program starts the wizard with (conrun.exe: java.exe, setup.exe with its
    window: javaw.exe) is no program: the start fails after the payload is
    out, the error is shown, and the cleanup still removes it."""
    runtime = launcher.runtime("broken-wizard-exe")
    exe = "java.exe" if program == "conrun.exe" else "javaw.exe"
    with open(os.path.join(runtime, "bin", exe), "wb") as f:
        f.write(b"not a program\r\n")
    run = launcher.run(launcher.installer(program, runtime=runtime), lc_all=lc_all,
                       boxes=1 if program == "setup.exe" else 0)
    assert run.code == 1, run.result
    aborted = catalogue.text("java_aborted", lc_all)
    if program == "conrun.exe":
        keys = RUN_WITH_PAYLOAD_RUNTIME[:-1]
        assert run.out == (expected_output(catalogue, keys, 0, lc_all) + aborted
                           + catalogue.text("performing_cleanup", lc_all))
    else:
        assert [b.text for b in run.result.boxes] == [aborted.rstrip("\n")]
        assert run.out == "", run.out
    assert run.records == []
    assert run.leftovers() == []
