"""Both programs start under Wine and end with a status; the build is what it
should be (32-bit, right subsystem, the catalogue exports, Windows DLLs only)."""
import re
import subprocess

import pytest

WINDOWS_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "msvcrt.dll"}


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
