"""The launcher finds its own path whole, however long, and derives its
application home from it without splitting a double-byte character."""
import os
import shutil

import pytest

import winerun

PROBE = "exec_name_probe.exe"


def probe_path(wine):
    return os.path.join(wine.build_dir, "support", PROBE)


def parse(out):
    """The probe's "name=value" lines as a dict."""
    values = {}
    for line in out.splitlines():
        name, _, value = line.partition("=")
        values.setdefault(name, value)
    return values


def nest_to_length(base, windows_length, file_name):
    """Creates directories under `base` so that the Windows form of
    base/.../file_name is exactly `windows_length` characters; returns the
    directory that is to hold the file."""
    remaining = windows_length - len(winerun.to_windows(base)) - len("\\" + file_name)
    assert remaining >= 0, "base directory too long for %d" % windows_length
    directory = base
    letter = 0
    while remaining > 0:
        # Each level costs a separator and its name; never leave a single
        # character that could only be a separator.
        take = min(200, remaining - 1)
        if remaining - (take + 1) == 1:
            take -= 1
        directory = os.path.join(directory, chr(ord("a") + letter % 26) * take)
        letter += 1
        remaining -= take + 1
    os.makedirs(directory, exist_ok=True)
    return directory


@pytest.mark.parametrize("length", [259, 260, 261, 300, 519, 520, 521, 900])
def test_long_executable_path_is_found_whole(wine, tmp_path, length):
    directory = nest_to_length(str(tmp_path), length, PROBE)
    program = os.path.join(directory, PROBE)
    shutil.copy(probe_path(wine), program)
    assert len(winerun.to_windows(program)) == length

    result = wine.run(program)
    values = parse(result.out)
    assert result.code == 0, result
    assert values["exec"] == winerun.to_windows(program)
    assert values["home"] == winerun.to_windows(directory)


# A file name whose last character's second byte is a backslash in code
# page 932 ("表" is 0x95 0x5C): the application home must end at the real
# separator, not inside the character.
@pytest.mark.parametrize("name", ["表.exe", "ソフト表.exe"])
def test_home_is_not_cut_inside_a_double_byte_character(wine, tmp_path, name):
    directory = tmp_path / "インストーラ"
    directory.mkdir()
    program = directory / name
    shutil.copy(probe_path(wine), program)

    result = wine.run(str(program), lc_all="ja_JP.UTF-8")
    values = parse(result.out)
    assert result.code == 0, result
    assert values["codepage"] == "932"
    assert values["exec"] == winerun.to_windows(str(program))
    assert values["home"] == winerun.to_windows(str(directory))
