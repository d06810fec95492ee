"""Helpers of the command-line, instance-lock and working-directory tests:
catalogue texts as the programs fetch them, the lock held by a helper
process, Wine traces."""
import os
import re
import subprocess

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
    """Catalogue texts by (key, locale), fetched once with catalogue_text.exe,
    which looks them up exactly as the launcher does."""

    def __init__(self, wine, build_dir):
        self.wine = wine
        self.program = support(build_dir, "catalogue_text.exe")
        self.cache = {}

    def text(self, key, lc_all="en_US.UTF-8"):
        if (key, lc_all) not in self.cache:
            r = self.wine.run(self.program, [key], lc_all=lc_all)
            assert r.code == 0, r
            self.cache[(key, lc_all)] = r.out
        return self.cache[(key, lc_all)]

    def format(self, key, *args, lc_all="en_US.UTF-8"):
        return c_format(self.text(key, lc_all), *args)

    def usage(self, program_name, lc_all="en_US.UTF-8"):
        return self.format("installusage", program_name, REQUIRED_JAVA_VERSION, lc_all=lc_all)

    def translated(self, key, lc_all):
        """True when the locale has a text of its own for `key` (not the English
        fallback)."""
        return lc_all.startswith("en_") or self.text(key, lc_all) != self.text(key)


class HeldLock:
    """hold_lock.exe holding the launcher's lock on byte 0 of a file until
    the context ends."""

    def __init__(self, wine, build_dir, path):
        self.proc = wine.popen(support(build_dir, "hold_lock.exe"), [winerun.to_windows(path)],
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
    _putenv and the directories created with CreateDirectoryW, in order, as
    ("TMP", value) and ("mkdir", path) pairs."""
    events = []
    for line in err.splitlines():
        m = re.search(r':_putenv "TMP=(.*)"$', line)
        if m:
            events.append(("TMP", m.group(1).replace("\\\\", "\\")))
            continue
        m = re.search(r':CreateDirectoryW L"(.*)"', line)
        if m:
            events.append(("mkdir", m.group(1).replace("\\\\", "\\")))
    return events


def new_entries(directory, before):
    return sorted(set(os.listdir(directory)) - set(before))
