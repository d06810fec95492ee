"""The temporary directory and the per-run working directory: TMP is set from
-tmpdir before the working directory is named, the directory is made inside
the chosen one with a name that begins with the program's file name, a
relative -tmpdir is used in its absolute form, a trailing backslash is
dropped.

These runs have no Java runtime anywhere (no payload, nothing registered),
so they end with status 1 at the runtime choice, after the working directory
has been made; a failure there leaves the directory behind for the test to
find. A Wine trace
(WINEDEBUG=trace+msvcrt,trace+file) shows the order of the TMP assignment
and the directory creation."""
import os
import re
import shutil

import pytest

import command_line_support as cls
from winerun import to_windows


def working_directories(directory, program):
    return [n for n in os.listdir(directory) if n.startswith(program)]


def to_linux(wine, windows_path):
    drive, rest = windows_path.split(":", 1)
    return os.path.join(wine.prefix, "dosdevices", drive.lower() + ":",
                        *[p for p in rest.split("\\") if p])


@pytest.mark.parametrize("program", ["conrun.exe", "setup.exe"])
def test_working_directory_inside_the_chosen_directory(wine, catalogue, tmp_path, program):
    chosen = tmp_path / "chosen"
    chosen.mkdir()
    # -silent turns setup.exe's output to the console, so no box appears.
    r = wine.run(wine.program(program), ["-silent", "a.txt", "-tmpdir", to_windows(chosen)])
    assert r.code == 1, r
    assert r.out.startswith(catalogue.text("checking_disk_space"))
    assert catalogue.text("no_find_java") in r.out
    made = os.listdir(chosen)
    assert len(made) == 1 and made[0].startswith(program), made
    assert (chosen / made[0]).is_dir()
    shutil.rmtree(str(chosen / made[0]))


# -tmpdir as typed, and the form TMP and the working directory use
TMPDIR_FORMS = [
    ("trailing_backslash", "{sub}\\", "{sub}"),
    ("relative", "sub", "{cwd}\\sub"),
    ("relative_trailing_backslash", "sub\\", "{cwd}\\sub"),
    ("dot_relative", ".\\sub", "{cwd}\\sub"),
    # Drive- and root-relative forms would name another directory once the
    # launcher has changed its current directory.
    ("drive_relative", "{drive}sub", "{cwd}\\sub"),
    ("root_relative", "{rooted}\\sub", "{cwd}\\sub"),
]


@pytest.mark.parametrize("name,typed,expected", TMPDIR_FORMS, ids=[f[0] for f in TMPDIR_FORMS])
def test_tmp_is_set_to_the_accepted_form_before_the_directory_is_named(wine, tmp_path, name,
                                                                       typed, expected):
    sub = tmp_path / "sub"
    sub.mkdir()
    cwd = to_windows(tmp_path)
    fill = lambda t: (t.replace("{sub}", to_windows(sub)).replace("{cwd}", cwd)
                      .replace("{drive}", cwd[:2]).replace("{rooted}", cwd[2:]))
    r = wine.run(wine.program("conrun.exe"), ["-console", "-tmpdir", fill(typed)], cwd=tmp_path,
                 env=cls.TRACE)
    assert r.code == 1, r
    events = cls.traced_events(r.err)
    tmp = [value for kind, value in events if kind == "TMP"]
    made = [path for kind, path in events if kind == "mkdir" and "\\conrun.exe" in path]
    assert len(tmp) == 1 and len(made) == 1, events

    # Absolute, without the trailing backslash; a relative one resolved
    # against the current directory at the time of parsing.
    assert tmp[0] == fill(expected), events
    assert events.index(("TMP", tmp[0])) < events.index(("mkdir", made[0]))
    assert made[0].startswith(fill(expected) + "\\conrun.exe")

    # The directory is really there, in the chosen directory and nowhere else.
    names = working_directories(sub, "conrun.exe")
    assert len(names) == 1 and made[0].endswith("\\" + names[0])
    assert sorted(os.listdir(tmp_path)) == ["sub"]
    shutil.rmtree(str(sub / names[0]))


def test_without_tmpdir_the_system_directory_is_used_and_tmp_left_alone(wine, tmp_path):
    r = wine.run(wine.program("conrun.exe"), ["-console"], cwd=tmp_path, env=cls.TRACE)
    assert r.code == 1, r
    events = cls.traced_events(r.err)
    assert not [e for e in events if e[0] == "TMP"], events
    made = [path for kind, path in events if kind == "mkdir" and "\\conrun.exe" in path]
    assert len(made) == 1, events
    parent, name = made[0].rsplit("\\", 1)
    assert name.startswith("conrun.exe")
    assert re.search(r"\\Temp$", parent, re.I), parent
    where = to_linux(wine, made[0])
    assert os.path.isdir(where)
    shutil.rmtree(str(where))
    assert os.listdir(tmp_path) == []


@pytest.mark.parametrize("suffix", ["", "\\"], ids=["as_is", "trailing_backslash"])
def test_double_byte_name_ending_in_0x5c_is_not_cut(wine, catalogue, tmp_path, suffix):
    # In code page 932 the second byte of "表" is 0x5C, the backslash's
    # value: only a real trailing backslash may be dropped.
    chosen = tmp_path / "表"
    chosen.mkdir()
    r = wine.run(wine.program("conrun.exe"),
                 ["-silent", "a.txt", "-tmpdir", to_windows(chosen) + suffix], lc_all="ja_JP.UTF-8")
    assert r.code == 1, r
    assert r.out.startswith(catalogue.text("checking_disk_space", "ja_JP.UTF-8"))
    made = working_directories(chosen, "conrun.exe")
    assert len(made) == 1, os.listdir(tmp_path)
    shutil.rmtree(str(chosen / made[0]))


@pytest.mark.parametrize("token, protected, expected", [
    ("system", True, "SystemTemp"),    # taken where the Windows directory has it
    ("system", False, "Temp"),         # else the system's usual answer (Wine: TMP)
    ("limited", True, "Temp"),         # never another account's
])
def test_a_run_as_system_takes_the_protected_system_temp(launcher, wine, tmp_path, token,
                                                         protected, expected):
    """Wine has no GetTempPath2W, so the launcher looks for SystemTemp
    itself; as SYSTEM that is where its working directory goes."""
    system_temp = os.path.join(wine.prefix, "drive_c", "windows", "SystemTemp")
    if protected:
        os.makedirs(system_temp)
    try:
        run = launcher.run(launcher.installer(), tmp_dir=False, env={"LAUNCHER_TEST_TOKEN": token})
        assert run.code == 0, run.result
        parent = run.wizard["cwd"].rsplit("\\", 1)[0]
        assert parent.split("\\")[-1] == expected, run.wizard["cwd"]
        if expected == "SystemTemp":
            assert parent.lower() == r"c:\windows\systemtemp"
        assert not protected or os.listdir(system_temp) == []
    finally:
        if protected:
            os.rmdir(system_temp)
