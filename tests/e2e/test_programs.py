"""Both programs start under Wine and end with a status; the build is what it
should be (32-bit, right subsystem, the catalogue exports, Windows DLLs only);
a DLL planted beside a program is not what a load by name finds."""
import os
import re
import shutil
import subprocess

import pytest

from winerun import to_windows

# user32 and gdi32 are loaded when a window is shown, not imported.
WINDOWS_DLLS = {"kernel32.dll", "advapi32.dll", "msvcrt.dll", "ntdll.dll"}


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
    assert len(exports) == 168
    assert all(e.startswith("messages_") for e in exports)
    assert len(set(exports)) == 168

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


def dlls_loaded_by(err, program):
    """The DLLs that the process which loaded `program` loaded, read off
    Wine's loaddll channel (each line starts with the process id)."""
    loads = re.findall(r'^([0-9a-f]+):[0-9a-f]+:trace:loaddll:\w+ Loaded L"([^"]+)"', err, re.M)
    ours = {pid for pid, path in loads if path.lower().endswith("\\" + program)}
    assert len(ours) == 1, loads
    return {path.rsplit("\\", 1)[-1].lower() for pid, path in loads if pid in ours}


@pytest.mark.parametrize("program,version,windowed", [
    ("conrun.exe", "win10", False),
    ("setup.exe", "win10", True),
    # Before Windows 8 a screen may have too few colours: it is asked.
    ("conrun.exe", "win7", True),
])
def test_the_window_code_is_loaded_only_for_a_window(wine, launcher, program, version, windowed):
    """user32 and gdi32 cost about as much as the rest of a start under Wine:
    a run that shows no window does not load them."""
    name = "%s-%s" % (version, program)
    wine.reg("add", r"HKCU\Software\Wine\AppDefaults\%s" % name, "/v", "Version", "/d", version)
    made = launcher.installer(program, name=name)
    run = launcher.run(made, env={"WINEDEBUG": "+loaddll,+pid"})
    assert run.code == 0 and len(run.records) == 1, run.result
    loaded = dlls_loaded_by(run.result.err, name)
    assert "kernel32.dll" in loaded
    assert ({"user32.dll", "gdi32.dll"} <= loaded) == windowed, loaded


# What the loader takes from the system alone, whatever folder the program
# lies in: the KnownDLLs of Windows 10 (HKLM\SYSTEM\CurrentControlSet\Control\
# Session Manager\KnownDLLs), and ntdll and kernelbase, which are in every
# process before the program's imports are resolved.
KNOWN_DLLS = {
    "advapi32", "clbcatq", "combase", "comdlg32", "coml2", "difxapi", "gdi32", "gdiplus",
    "imagehlp", "imm32", "kernel32", "msctf", "msvcrt", "normaliz", "nsi", "ole32", "oleaut32",
    "psapi", "rpcrt4", "sechost", "setupapi", "shcore", "shell32", "shlwapi", "user32",
    "wldap32", "ws2_32", "ntdll", "kernelbase",
}
# Forwarders of Windows' own DLLs that Wine's do not have, and that leave
# the known DLLs.
WINDOWS_FORWARDERS = {
    ("advapi32", "SystemFunction036"): "cryptbase.SystemFunction036",  # RtlGenRandom
    ("advapi32", "SystemFunction040"): "cryptbase.SystemFunction040",  # RtlEncryptMemory
    ("advapi32", "SystemFunction041"): "cryptbase.SystemFunction041",  # RtlDecryptMemory
}
WINE_DLLS = "/usr/lib/i386-linux-gnu/wine/i386-windows"


@pytest.mark.parametrize("name", ["setup.exe", "conrun.exe"])
def test_every_import_resolves_within_the_known_dlls(wine, name):
    """An import the loader resolves at the start, before the program can
    restrict the DLL search, must never lead to a DLL it would look for
    beside the program: each import is followed through the forwarders of
    Wine's DLLs and of the Windows table above."""
    pefile = pytest.importorskip("pefile")
    if not os.path.isdir(WINE_DLLS):
        pytest.skip("Wine's 32-bit DLLs are not installed here")
    exports = {}

    def forwarder(dll, function):
        if (dll, function) in WINDOWS_FORWARDERS:
            return WINDOWS_FORWARDERS[(dll, function)]
        if dll not in exports:
            image = pefile.PE(os.path.join(WINE_DLLS, dll + ".dll"), fast_load=True)
            image.parse_data_directories([pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_EXPORT"]])
            exports[dll] = {s.name.decode(): s.forwarder.decode() if s.forwarder else None
                            for s in image.DIRECTORY_ENTRY_EXPORT.symbols if s.name}
        return exports[dll].get(function)

    program = pefile.PE(wine.shipped(name))
    reached = []
    for imported in program.DIRECTORY_ENTRY_IMPORT:
        for symbol in imported.imports:
            dll, function = imported.dll.decode().lower()[:-4], symbol.name.decode()
            chain = [dll]
            while (target := forwarder(dll, function)) is not None:
                dll, function = target.split(".", 1)
                dll = dll.lower()
                if dll.startswith(("api-ms-win-", "ext-ms-win-")):
                    break  # an API set: the loader maps it to a system DLL by its table
                chain.append(dll)
                assert len(chain) < 8, chain
            reached += [(symbol.name.decode(), chain) for d in chain if d not in KNOWN_DLLS]
    assert reached == [], reached
