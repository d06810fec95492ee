"""One running launcher per executable file: while byte 0 of the program's
file is locked (here by hold_lock.exe, which takes the same lock a running
launcher takes), a start of that file says so and ends with status 1 before
it reads its command line; a copy of the program in another file runs."""
import os
import shutil

import pytest

import command_line_support as cls
from winerun import to_windows


@pytest.mark.parametrize("lc_all", ["en_US.UTF-8", "ja_JP.UTF-8"])
@pytest.mark.parametrize("args", [[], ["-help"], ["-bogus"], ["-silent", "a.txt", "-tmpdir", "{tmp}"]],
                         ids=["no_arguments", "help", "invalid", "would_create"])
def test_second_start_is_refused_before_the_command_line(wine, build_dir, catalogue, tmp_path,
                                                         lc_all, args):
    program = wine.program("conrun.exe")
    args = [a.replace("{tmp}", to_windows(tmp_path)) for a in args]
    with cls.HeldLock(wine, build_dir, program):
        r = wine.run(program, args, lc_all=lc_all)
        assert r.code == 1, r
        assert r.out == catalogue.text("setup_already_started", lc_all)
    assert os.listdir(tmp_path) == []

    # The lock was the only reason: once it is gone the same line runs.
    if args == ["-help"]:
        r = wine.run(program, args, lc_all=lc_all)
        assert r.code == 0, r
        assert r.out == catalogue.usage("conrun.exe", lc_all)


def test_second_start_of_setup_is_refused_even_for_help(wine, build_dir, catalogue, gui):
    program = wine.program("setup.exe")
    with cls.HeldLock(wine, build_dir, program):
        r = wine.run(program, ["-help"], boxes=1)
    assert r.code == 1, r
    assert [b.text for b in r.boxes] == [catalogue.text("setup_already_started").rstrip("\n")], (r, r.windows)


def test_a_copy_in_another_file_is_not_excluded(wine, build_dir, catalogue, tmp_path):
    original = wine.program("conrun.exe")
    copy = tmp_path / "other.exe"
    shutil.copy(original, copy)

    with cls.HeldLock(wine, build_dir, original):
        r = wine.run(str(copy), ["-help"])
    assert r.code == 0, r
    assert r.out == catalogue.usage("other.exe")

    with cls.HeldLock(wine, build_dir, copy):
        r = wine.run(original, ["-h"])
    assert r.code == 0, r
    assert r.out == catalogue.usage("conrun.exe")
