"""Helpers of the command-line, instance-lock and working-directory tests:
the catalogue texts the programs must print, the lock held by a helper
process, Wine traces."""
import os
import re
import subprocess

import expected_texts
import winerun

LOCALES = ["en_US.UTF-8", "es_MX.UTF-8", "ja_JP.UTF-8", "zh_CN.UTF-8"]
REQUIRED_JAVA_VERSION = "1.5"


def support(build_dir, name):
    return os.path.join(build_dir, "support", name)


def c_format(text, *args):
    """`text` formatted as printf formats it with %s arguments: conversions
    take the arguments in order, and arguments left over are ignored (some
    translations leave one out)."""
    values = iter(args)
    return re.sub(r"%([s%])", lambda m: "%" if m.group(1) == "%" else str(next(values)), text)


class Catalogue:
    """The texts the programs must print, by (key, locale), from the tests'
    own table (expected_texts.inc), never from the product. Takes (and
    ignores) the Wine session and build tree its callers hand it."""

    def __init__(self, *_):
        pass

    def text(self, key, lc_all="en_US.UTF-8"):
        return expected_texts.text(key, lc_all)

    def format(self, key, *args, lc_all="en_US.UTF-8"):
        return c_format(self.text(key, lc_all), *args)

    def usage(self, program_name, lc_all="en_US.UTF-8"):
        return self.format("installusage", program_name, REQUIRED_JAVA_VERSION, lc_all=lc_all)


class HeldLock:
    """hold_lock.exe holding the launcher's lock on byte 0 of a file (or,
    with `writer`, the file open for writing) until the context ends."""

    def __init__(self, wine, build_dir, path, writer=False):
        self.proc = wine.popen(support(build_dir, "hold_lock.exe"),
                               (["--writer"] if writer else []) + [winerun.to_windows(path)],
                               stdin=subprocess.PIPE)
        line = self.proc.stdout.readline().decode().strip()
        assert line == "locked", line

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.proc.stdin.close()
        self.proc.wait(timeout=60)


TRACE = {"WINEDEBUG": "trace+msvcrt,trace+file"}


def traced_events(err):
    """From a Wine trace (WINEDEBUG=TRACE): the "TMP=" assignments made with
    _putenv and the directories created (CreateDirectoryW, or NtCreateFile
    creating a directory below a handle CreateFileW opened), in order, as
    ("TMP", value) and ("mkdir", path) pairs."""
    events = []
    opened = None   # the path of the CreateFileW under way
    handles = {}    # what CreateFileW returned: handle -> path
    for line in err.splitlines():
        m = re.search(r':_putenv "TMP=(.*)"$', line)
        if m:
            events.append(("TMP", m.group(1).replace("\\\\", "\\")))
            continue
        m = re.search(r':CreateDirectoryW L"(.*)"', line)
        if m:
            events.append(("mkdir", m.group(1).replace("\\\\", "\\")))
            continue
        m = re.search(r':CreateFileW L"(.*?)" ', line)
        if m:
            opened = m.group(1).replace("\\\\", "\\")
            continue
        m = re.search(r':CreateFileW returning ([0-9a-fA-F]+)', line)
        if m and opened is not None:
            handles[int(m.group(1), 16)] = opened
            opened = None
            continue
        m = re.search(r':NtCreateFile .*name=L"([^"]*)" .*root=(0x[0-9a-fA-F]+) .*disp=2 '
                      r'options=([0-9a-fA-F]+)', line)
        if m and int(m.group(3), 16) & 1 and int(m.group(2), 16) in handles:
            events.append(("mkdir", handles[int(m.group(2), 16)].rstrip("\\") + "\\" +
                           m.group(1).replace("\\\\", "\\")))
    return events


def new_entries(directory, before):
    return sorted(set(os.listdir(directory)) - set(before))
