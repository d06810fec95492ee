"""Both programs start under Wine and end with a status; the build is what it
should be (32-bit, right subsystem, the catalogue exports, Windows DLLs only);
a DLL planted beside a program is not what a load by name finds."""
import os
import re
import shutil
import subprocess

import pytest

from winerun import to_windows

WINDOWS_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "msvcrt.dll",
                "ntdll.dll"}


def objdump(path):
    return subprocess.run(["i686-w64-mingw32-objdump", "-p", path], check=True,
                          stdout=subprocess.PIPE, text=True).stdout


@pytest.mark.parametrize("name,subsystem", [("setup.exe", "Windows GUI"),
                                            ("conrun.exe", "Windows CUI")])
def test_pe_shape_exports_and_imports(wine, name, subsystem):
    dump = objdump(wine.shipped(name))
    assert "file format pei-i386" in dump
    assert re.search(r"Subsystem\s+0000000[23]\s+\(%s\)" % subsystem, dump)

    exports = re.findall(r"^\s*\[\s*\d+\]\s+(\S+)$", dump.split("[Ordinal/Name Pointer] Table")[1],
                         re.M)
    assert len(exports) == 164
    assert all(e.startswith("messages_") for e in exports)
    assert len(set(exports)) == 164

    dlls = {d.lower() for d in re.findall(r"DLL Name: (\S+)", dump)}
    assert dlls and dlls <= WINDOWS_DLLS, dlls


@pytest.mark.parametrize("name", ["setup.exe", "conrun.exe"])
def test_a_dll_planted_beside_the_program_is_not_loaded_by_name(wine, tmp_path, name):
    """An installer runs from a download folder: a DLL beside it, which by
    default a load by name finds there first, is not found there; loaded by
    its full path it is, so the planted copy is a DLL that loads."""
    program = str(tmp_path / name)
    shutil.copy(wine.program(name, "test-bin"), program)
    planted = str(tmp_path / "planted.dll")
    shutil.copy(os.path.join(wine.build_dir, "support", "planted", "planted.dll"), planted)

    by_name = wine.run(program, env={"LAUNCHER_TEST_LOAD_LIBRARY": "planted.dll"}, watch=False)
    assert (by_name.code, by_name.out) == (0, "not loaded\n"), by_name

    by_path = wine.run(program, env={"LAUNCHER_TEST_LOAD_LIBRARY": to_windows(planted)},
                       watch=False)
    assert (by_path.code, by_path.out) == (0, to_windows(planted) + "\n"), by_path
