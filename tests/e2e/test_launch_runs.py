"""Whole runs of real installers (a program with an appended payload and the
stand-in runtime): where the runtime comes from, what the wizard receives
(options in order, class path, arguments, environment, current directory),
and that the working directory is gone afterwards."""
import os
import re
import shutil
import subprocess
import zipfile

import pytest

import installer
from launch_support import (PROGRAMS, Run, RUN_WITH_NAMED_RUNTIME, RUN_WITH_PAYLOAD_RUNTIME,
                            RUN_WITH_REGISTERED_RUNTIME, console_from, expected_class_path,
                            expected_options, finish_waiting, expected_output, to_linux)
from winerun import to_windows


def wizard_executable(program, args=()):
    """conrun.exe, and setup.exe in console mode (-console, -silent), start
    java.exe; setup.exe otherwise javaw.exe."""
    console = program == "conrun.exe" or "-console" in args or "-silent" in args
    return "java.exe" if console else "javaw.exe"


def assert_whole_run(run, catalogue, program, keys, args=(), lc_all="en_US.UTF-8"):
    """Exit status 0, the progress lines (on the console where there is one),
    one wizard launch with the main class present, and no directory left."""
    assert run.code == 0, run.result
    assert run.out == expected_output(catalogue, keys, console_from(program, args), lc_all), \
        run.out
    wizard = run.wizard
    assert wizard["exe"] == wizard_executable(program, args)
    assert wizard["main_class"] == "tarvisk"
    assert wizard["main_class_file"] is True
    working = to_linux(wizard["cwd"])
    assert os.path.dirname(working) == run.tmp_dir
    assert os.path.basename(working).startswith(program)
    assert not os.path.exists(working)
    assert run.leftovers() == []
    return wizard


# --- where the runtime comes from ---------------------------------------------------

@pytest.mark.parametrize("program", PROGRAMS)
def test_whole_run_with_the_payload_runtime(launcher, catalogue, gui, program):
    made = launcher.installer(program)
    run = launcher.run(made, env={"WINEDEBUG": "trace+file"})
    wizard = assert_whole_run(run, catalogue, program, RUN_WITH_PAYLOAD_RUNTIME)
    # The runtime the wizard runs under is the one extracted from the payload.
    assert wizard["argv"][0] == "%s\\package\\jre\\bin\\%s" % (wizard["cwd"], wizard["exe"])
    # The executable is opened once: the instance lock and the archive (read
    # and indexed once for the runtime's extraction and the payload's, whose
    # workers read through the same descriptor) use that one open.
    opened = 'CreateFileW L"%s"' % to_windows(made).replace("\\", "\\\\")
    assert run.result.err.count(opened) == 1, run.result.err


@pytest.mark.parametrize("program", PROGRAMS)
def test_whole_run_in_a_directory_whose_name_ends_in_a_0x5c_trail_byte(launcher, catalogue, gui,
                                                                       program):
    # In code page 932 the second byte of "表" is 0x5C, the backslash's
    # value: the working directory's name, the extraction below it, the
    # payload runtime's "\jre" and the cleanup all pass over it.
    tmp_dir = os.path.join(launcher.where, "表")
    run = launcher.run(launcher.installer(program), tmp_dir=tmp_dir, lc_all="ja_JP.UTF-8")
    wizard = assert_whole_run(run, catalogue, program, RUN_WITH_PAYLOAD_RUNTIME,
                              lc_all="ja_JP.UTF-8")
    assert wizard["argv"][0] == "%s\\package\\jre\\bin\\%s" % (wizard["cwd"], wizard["exe"])
    assert os.listdir(tmp_dir) == []


@pytest.mark.parametrize("program", PROGRAMS)
def test_whole_run_with_a_payload_deeper_than_max_path(launcher, catalogue, gui, program):
    # Below the working directory this entry's path passes 260 characters:
    # it is extracted through the wide calls, and removed with the rest.
    deep = "package/" + "/".join(["d" * 60] * 4) + "/deep.txt"
    run = launcher.run(launcher.installer(program, extra={deep: b"deep"}))
    wizard = assert_whole_run(run, catalogue, program, RUN_WITH_PAYLOAD_RUNTIME)
    # The run went through, so the file was written: below a directory of
    # 248 characters and more, where the ANSI calls create nothing.
    directory = wizard["cwd"] + "\\" + os.path.dirname(deep).replace("/", "\\")
    assert len(directory) >= 248 and len(directory + "\\deep.txt") > 260, directory


@pytest.mark.parametrize("program", PROGRAMS)
def test_whole_run_from_folders_the_code_page_cannot_spell(launcher, wine, catalogue, gui,
                                                            program):
    """The installer in a folder named in Thai and the temporary directory
    (TMP, set by a command interpreter, which keeps it in UTF-16) in another,
    on a Western system (code page 1252, where those names come out as "?"):
    the launcher takes their short forms and the run goes through."""
    made = launcher.installer(program)
    folder = os.path.join(launcher.where, "โปรแกรมติดตั้ง")
    os.rename(os.path.dirname(made), folder)
    tmp_dir = os.path.join(launcher.where, "ชั่วคราว")
    os.makedirs(tmp_dir)
    record = os.path.join(launcher.where, "record-thai.jsonl")
    command = "set TMP=%s&& %s" % (to_windows(tmp_dir), to_windows(os.path.join(folder, program)))
    result = wine.run("cmd", ["/c", command], lc_all="es_MX.UTF-8",
                      env={"STANDIN_RECORD": to_windows(record)})

    run = Run(result, tmp_dir, record)
    assert run.code == 0, run.result
    assert run.out == expected_output(catalogue, RUN_WITH_PAYLOAD_RUNTIME, console_from(program),
                                      "es_MX.UTF-8"), run.out
    wizard = run.wizard
    assert wizard["main_class_file"] is True
    temp_dir = wizard["options"][1][len("-Dtemp.dir="):]
    assert "?" not in temp_dir and "?" not in wizard["cwd"], wizard
    # The TMP the interpreter set is the one the run took (in its short
    # form, every part of it), not the prefix's own.
    wanted = to_windows(tmp_dir)
    assert temp_dir[:7].upper() == wanted[:7].upper() and \
        temp_dir.count("\\") == wanted.count("\\"), (temp_dir, wanted)
    assert wizard["cwd"].startswith(temp_dir + "\\" + program), wizard
    assert os.listdir(tmp_dir) == []


@pytest.mark.parametrize("program", PROGRAMS)
def test_whole_run_with_a_registered_runtime(launcher, catalogue, registry, gui, program):
    runtime = launcher.runtime("registered")
    registry.register_jre("1.6.0_10", to_windows(runtime))
    run = launcher.run(launcher.installer(program, runtime=False))
    wizard = assert_whole_run(run, catalogue, program, RUN_WITH_REGISTERED_RUNTIME)
    assert wizard["argv"][0] == to_windows(os.path.join(runtime, "bin", wizard["exe"]))


@pytest.mark.parametrize("program", PROGRAMS)
def test_whole_run_with_javahome_over_the_payload_runtime(launcher, catalogue, gui, program):
    runtime = launcher.runtime("named")
    # -console keeps setup.exe's progress lines on the console.
    args = ["-console", "-javahome", to_windows(runtime)]
    run = launcher.run(launcher.installer(program), args)
    wizard = assert_whole_run(run, catalogue, program, RUN_WITH_NAMED_RUNTIME, args)
    assert wizard["argv"][0] == to_windows(os.path.join(runtime, "bin", "java.exe"))
    assert wizard["args"] == ["-nodisplay"]


@pytest.mark.parametrize("version", ["9", "11.0.2", "17.0.10", "21"])
def test_modern_runtime_runs_the_wizard_only_in_the_build_that_accepts_it(launcher, version):
    runtime = launcher.runtime("named", report=b'openjdk version "%s" 2024-01-16\r\n'
                               % version.encode())
    args = ["-javahome", to_windows(runtime)]
    refused = launcher.run(launcher.installer(runtime=False), args)
    assert refused.code == 1 and refused.records == [], refused.result
    run = launcher.run(launcher.installer(variant="test-bin-modern", runtime=False), args)
    assert run.code == 0, run.result
    wizard = run.wizard
    assert wizard["argv"][0] == to_windows(os.path.join(runtime, "bin", "java.exe"))
    # The options stay as they are: "-Djava.endorsed.dirs=" too, whose empty
    # value a runtime 9 and later accepts.
    assert wizard["options"] == expected_options(launcher.build_dir, wizard["cwd"],
                                                 to_windows(run.tmp_dir))
    assert run.leftovers() == []


# --- the options, in order -------------------------------------------------------------

FLAGS = [("-debug", "-Ddebug=true"), ("-noportcheck", "-Dno.port.verification=true"),
         ("-nodomain", "-Dno.domain=true"), ("-passwordvisible", "-Dpassword.visible=true")]

# Command-line flags as typed; the properties always come in their own order.
FLAG_CASES = [
    ("none", []),
    ("all", ["-debug", "-noportcheck", "-nodomain", "-passwordvisible"]),
    ("all_reversed", ["-passwordvisible", "-nodomain", "-noportcheck", "-debug"]),
    ("debug_password", ["-passwordvisible", "-debug"]),
    ("port_domain", ["-nodomain", "-noportcheck"]),
]


@pytest.mark.parametrize("typed", [c[1] for c in FLAG_CASES], ids=[c[0] for c in FLAG_CASES])
def test_options_reach_the_wizard_in_order(launcher, typed):
    run = launcher.run(launcher.installer(), typed)
    assert run.code == 0, run.result
    wizard = run.wizard
    flags = [prop for flag, prop in FLAGS if flag in typed]
    assert wizard["options"] == expected_options(launcher.build_dir, wizard["cwd"],
                                                 to_windows(run.tmp_dir), flags=flags)


# How -javahome names the runtime; where the kit's tools.jar is (relative
# to the runtime path), None for a plain runtime.
KIT_CASES = [
    ("plain_runtime", dict(), "", None),
    ("kit_with_jre", dict(jdk=True), "", "{rt}\\.."),
    ("kit_named_by_its_jre", dict(jdk=True), "\\jre", "{rt}\\.."),
    ("kit_as_runtime", dict(tools_inside=True), "", "{rt}"),
]


@pytest.mark.parametrize("layout,suffix,kit", [c[1:] for c in KIT_CASES],
                         ids=[c[0] for c in KIT_CASES])
def test_class_path_with_and_without_a_development_kit(launcher, layout, suffix, kit):
    layout = dict(layout)
    tools_inside = layout.pop("tools_inside", False)
    dest = os.path.join(launcher.where, "kit")
    runtime = launcher.runtime("kit", **layout)
    if tools_inside:
        # A runtime directory that holds lib\tools.jar itself.
        os.makedirs(os.path.join(runtime, "lib"))
        open(os.path.join(runtime, "lib", "tools.jar"), "wb").close()
    run = launcher.run(launcher.installer(runtime=False),
                       ["-javahome", to_windows(dest) + suffix])
    assert run.code == 0, run.result
    wizard = run.wizard
    rt = to_windows(runtime)
    assert wizard["argv"][0] == rt + "\\bin\\java.exe"
    option = wizard["options"][2]
    expected = expected_class_path(launcher.build_dir, wizard["cwd"],
                                   kit.format(rt=rt) if kit else None)
    assert option == "-Djava.class.path=" + expected
    if kit:
        # The kit's entries name the tools.jar that made it a kit.
        assert option.split("=", 1)[1].split(";")[0] in wizard["class_path_existing"]


# --- arguments for the wizard -------------------------------------------------------

# arguments typed (after the program), the wizard's arguments ({cwd}: the
# directory the launcher was started in)
ARGUMENT_CASES = [
    ("nothing", [], []),
    ("console", ["-console"], ["-nodisplay"]),
    ("silent", ["-silent", "state.txt"], ["-nodisplay", "-noconsole", "-state", "{cwd}\\state.txt"]),
    ("savestate", ["-savestate", "saved.txt"], ["-saveState", "{cwd}\\saved.txt"]),
    ("id", ["-id"], ["-id"]),
    ("savestate_id_console", ["-savestate", "{abs}", "-id", "-console"],
     ["-nodisplay", "-saveState", "{abs}", "-id"]),
]


@pytest.mark.parametrize("program", PROGRAMS)
@pytest.mark.parametrize("typed,expected", [c[1:] for c in ARGUMENT_CASES],
                         ids=[c[0] for c in ARGUMENT_CASES])
def test_wizard_arguments(launcher, gui, tmp_path, program, typed, expected):
    start = tmp_path / "start"
    start.mkdir()
    fill = lambda items: [t.replace("{cwd}", to_windows(start))
                          .replace("{abs}", to_windows(tmp_path / "elsewhere" / "abs.txt"))
                          for t in items]
    run = launcher.run(launcher.installer(program), fill(typed), cwd=str(start))
    assert run.code == 0, run.result
    wizard = run.wizard
    assert wizard["exe"] == wizard_executable(program, typed)
    assert wizard["main_class"] == "tarvisk"
    assert wizard["args"] == fill(expected)
    assert run.leftovers() == []


# --- environment and current directory ------------------------------------------------

def test_path_tmp_current_directory_and_class_path_entries(launcher):
    run = launcher.run(launcher.installer())
    assert run.code == 0, run.result
    wizard = run.wizard
    working = wizard["cwd"]
    assert wizard["path"].startswith(working + "\\package;"), wizard["path"]
    assert wizard["tmp"] == to_windows(run.tmp_dir)
    assert wizard["options"][0] == "-Djava.io.tmpdir=" + working
    # Every entry is in the working directory, none at the drive's root
    # where anyone could plant a jar.
    entries = wizard["class_path"].split(";")
    assert len(entries) == 8
    assert all(e == working or e.startswith((working + "\\", ".\\")) or e == "."
               for e in entries), entries
    assert wizard["class_path_existing"] == entries
    assert not os.path.exists(to_linux(working))


def test_without_tmpdir_the_system_directory_is_used_and_tmp_left_alone(launcher, wine):
    run = launcher.run(launcher.installer(), tmp_dir=False)
    assert run.code == 0, run.result
    wizard = run.wizard
    temp_dir = wizard["options"][1][len("-Dtemp.dir="):]
    assert not temp_dir.endswith("\\")
    assert wizard["cwd"].startswith(temp_dir + "\\conrun.exe")
    # The system's temporary directory is the one TMP names (Wine sets it
    # for every process); the launcher passes it on as it is.
    assert wizard["tmp"].rstrip("\\") == temp_dir
    drive, rest = wizard["cwd"].split(":", 1)
    where = os.path.join(wine.prefix, "dosdevices", drive.lower() + ":",
                         *[p for p in rest.split("\\") if p])
    assert os.path.isdir(os.path.dirname(where))
    assert not os.path.exists(where)


def test_shipped_program_runs_the_same_way(launcher, catalogue):
    """The shipped variant (with its start delay, without test switches) on
    the same payload; a test switch in the environment changes nothing."""
    run = launcher.run(launcher.installer(variant="bin"),
                       env={"LAUNCHER_TEST_FREE_BYTES": "0",
                            "LAUNCHER_TEST_FAULT": "after-extraction"}, timeout=180)
    wizard = assert_whole_run(run, catalogue, "conrun.exe", RUN_WITH_PAYLOAD_RUNTIME)
    assert wizard["options"] == expected_options(launcher.build_dir, wizard["cwd"],
                                                 to_windows(run.tmp_dir))



# --- payloads beyond the classic limits of ZIP ------------------------------------

def wizard_members(launcher, done):
    """The wizard's files and a stand-in runtime whose wizard waits for
    `done`."""
    return installer.payload_members(build_dir=launcher.build_dir,
                                     runtime=launcher.runtime("rt", release=to_windows(done)))


def run_held(launcher, made, done):
    """Runs `made` until its wizard runs; returns the working directory then
    (Linux path) and a function that lets the run end and gives its Run."""
    tmp_dir = os.path.join(launcher.where, "tmp")
    proc, working = launcher.start_waiting(made, tmp_dir, done)

    def end():
        code, out, _ = finish_waiting(proc, done)
        assert code == 0, out
        assert not os.path.exists(working)
        return os.listdir(tmp_dir)
    return working, end


def test_an_installer_beyond_4_gib_extracts_and_runs_its_wizard(launcher):
    """Python's zipfile appends a stored file of 4 GiB and more, and a file
    behind it, to the program: sizes and offsets need ZIP64 throughout."""
    done = os.path.join(launcher.where, "wizard-may-end")
    made = os.path.join(launcher.where, "big.exe")
    shutil.copyfile(launcher.wine.program("conrun.exe", "test-bin"), made)
    big = (1 << 32) + (1 << 22)
    with zipfile.ZipFile(made, "a", zipfile.ZIP_DEFLATED) as archive:
        for name, data in wizard_members(launcher, done):
            archive.writestr(name, data)
        with archive.open(zipfile.ZipInfo("data/big.bin"), "w", force_zip64=True) as f:
            chunk = bytes(1 << 22)
            for _ in range(big // len(chunk)):
                f.write(chunk)
        archive.writestr("data/behind.txt", b"behind 4 GiB")
    assert os.path.getsize(made) > big

    working, end = run_held(launcher, made, done)
    try:
        extracted = os.path.join(working, "data", "big.bin")
        assert os.path.getsize(extracted) == big
        with open(extracted, "rb") as f:
            assert f.read(1 << 20) == bytes(1 << 20)
            f.seek(big - (1 << 20))
            assert f.read() == bytes(1 << 20)
        with open(os.path.join(working, "data", "behind.txt"), "rb") as f:
            assert f.read() == b"behind 4 GiB"
    finally:
        assert end() == []


def test_a_payload_of_more_than_65535_entries_extracts_exactly(launcher, tmp_path):
    """7-Zip writes an archive of 65,600 files and folders with a ZIP64 end
    record; the launcher extracts every one of them."""
    done = os.path.join(launcher.where, "wizard-may-end")
    source = tmp_path / "payload"
    installer.write_folder(wizard_members(launcher, done), str(source))
    for d in range(64):
        folder = source / "many" / ("d%02d" % d)
        folder.mkdir(parents=True)
        for f in range(1025):
            (folder / ("f%04d.txt" % f)).write_bytes(b"%d/%d" % (d, f))
    archive = tmp_path / "payload.zip"
    subprocess.run(["7z", "a", "-tzip", "-bd", "-bso0", "-bsp0", str(archive), "."],
                   cwd=source, check=True)
    with zipfile.ZipFile(archive) as z:
        assert len(z.infolist()) > 65535
    assert b"PK\x06\x06" in archive.read_bytes()[-200:]
    made = os.path.join(launcher.where, "many.exe")
    with open(made, "wb") as out:
        for part in (launcher.wine.program("conrun.exe", "test-bin"), archive):
            with open(part, "rb") as f:
                shutil.copyfileobj(f, out)

    working, end = run_held(launcher, made, done)
    try:
        for d in (0, 31, 63):
            folder = os.path.join(working, "many", "d%02d" % d)
            assert len(os.listdir(folder)) == 1025
            for f in (0, 1024):
                with open(os.path.join(folder, "f%04d.txt" % f), "rb") as handle:
                    assert handle.read() == b"%d/%d" % (d, f)
        extracted = sum(len(files) for _, _, files in os.walk(os.path.join(working, "many")))
        assert extracted == 64 * 1025
    finally:
        assert end() == []


@pytest.mark.parametrize("program", ["conrun.exe", "setup.exe"])
@pytest.mark.parametrize("compression", ["zstd", "deflate", "mixed"])
def test_zstd_deflated_and_mixed_payloads_install_byte_for_byte(launcher, program, compression):
    """Written by the tests' own writer (Python's zipfile, the zstd tool for
    the frames), not the packer: small files decode whole, the large ones
    stream, and the runtime and the rest come out as they went in."""
    method = {"zstd": installer.ZIP_ZSTD, "deflate": zipfile.ZIP_DEFLATED,
              "mixed": installer.ZIP_MIXED}[compression]
    done = os.path.join(launcher.where, "wizard-may-end")
    members = wizard_members(launcher, done) + [
        ("data/small.bin", installer.noise(70000, 1)),
        ("data/text.txt", b"the launcher reads every method\n" * 50000),
        ("data/large.bin", installer.noise(3 << 20, 2) * 2),
        ("data/empty.txt", b""),
    ]
    made = os.path.join(launcher.where, program)
    installer.build_installer(launcher.wine.program(program, "test-bin"), made, members=members,
                              compression=method)
    with zipfile.ZipFile(made) as z:
        methods = {info.compress_type for info in z.infolist() if not info.is_dir()}
    assert methods == {"zstd": {93}, "deflate": {8}, "mixed": {8, 93}}[compression], methods
    working, end = run_held(launcher, made, done)
    try:
        for name, content in members:
            with open(os.path.join(working, *name.split("/")), "rb") as f:
                assert f.read() == content, name
    finally:
        assert end() == []


# How the payload is damaged (its entries as the tests' writer makes them),
# and the entry it concerns.
def _flip(frame, at):
    return frame[:at] + bytes([frame[at] ^ 0x5A]) + frame[at + 1:]


DAMAGED_PAYLOADS = {
    # Bytes in the middle of a frame changed.
    "damaged-frame": lambda frame, data: (_flip(frame, len(frame) // 2), 93, len(data)),
    # The frame's own checksum (zstd writes one) no longer matches.
    "checksum-mismatch": lambda frame, data: (frame[:-1] + bytes([frame[-1] ^ 1]), 93, len(data)),
    "size-differs-from-the-directory": lambda frame, data: (frame, 93, len(data) + 1),
    # bzip2: a method the launcher does not read.
    "unknown-method": lambda frame, data: (frame, 12, len(data)),
}


@pytest.mark.parametrize("damage", sorted(DAMAGED_PAYLOADS))
def test_a_damaged_zstd_entry_ends_the_run_as_a_damaged_payload(launcher, catalogue, damage):
    data = b"a file of the payload\n" * 4000
    frame = installer.zstd_frames(data)
    members = installer.payload_members(build_dir=launcher.build_dir,
                                        runtime=launcher.runtime("rt"))
    made = os.path.join(launcher.where, "damaged.exe")
    installer.build_installer(launcher.wine.program("conrun.exe", "test-bin"), made,
                              members=members + [("data/file.txt", data)],
                              compression=installer.ZIP_ZSTD)
    stored, method, size = DAMAGED_PAYLOADS[damage](frame, data)
    with open(made, "r+b") as f:
        installer.replace_entry(f, "data/file.txt", stored, method, size,
                                zipfile.crc32(data) & 0xFFFFFFFF)
    run = launcher.run(made)
    assert run.code == 1, run.result
    assert catalogue.format("corrupted_zip_file", to_windows(made)) in run.result.out, run.result
    assert run.records == [], "a wizard ran"


def test_one_pool_of_workers_writes_the_runtime_and_the_rest(launcher):
    """The payload's runtime and the rest of the payload are written by the
    same workers: a run that extracts both has started no more threads by
    the end of the extraction (counted by the loader, whoever started them)
    than a run that is named a runtime with -javahome and extracts the rest
    alone."""
    named = launcher.runtime("named")
    env = {"LAUNCHER_TEST_FAULT": "after-extraction:threads"}
    counts = []
    for runtime, args in ((True, []), (False, ["-javahome", to_windows(named)])):
        run = launcher.run(launcher.installer(runtime=runtime), args, env=env)
        assert run.code == 0, run.result
        counts += re.findall(r"threads started before after-extraction: (\d+)", run.out)
    assert len(counts) == 2 and counts[0] == counts[1] != "0", counts
