"""Console output: with PrintToConsole set, or without an instance handle
(conrun), every print goes to standard output, line feeds kept, whatever
stream _fprintf is given, and no window ever appears. On a terminal the
extraction's line carries a percentage while it lasts; a file gets the plain
lines.

The runs are watched on the X display: a message box fails the test, and
Result.windows lists every window of the program that became visible."""
import os
import re
import subprocess
import time

import pytest

from launch_support import RUN_WITH_PAYLOAD_RUNTIME, SLOW_PAYLOAD, SLOW_WRITES, status_lines
from probe import reports
from winerun import to_windows

PRINTS = [r"status Checking available disk space...\n", r"error Error: no space.\n",
          r"notice Notice\n", r"info Info\n", r"status Held ", r"status and completed\n"]
EXPECTED = "Checking available disk space...\nError: no space.\nNotice\nInfo\nHeld and completed\n"


def probe_program(wine):
    return os.path.join(wine.build_dir, "support", "output_probe.exe")


@pytest.mark.parametrize("mode", ["console", "noinstance"])
def test_every_print_goes_to_standard_output(wine, gui, mode):
    result = wine.run(probe_program(wine), [mode] + PRINTS + ["report"])
    assert result.code == 0
    assert result.out == EXPECTED
    # standard error carries only the probe's own reports
    assert all(" -> " in line or line.startswith("window=")
               for line in result.err.splitlines()), result.err
    assert result.windows == []
    # results are the characters written, line feed included
    assert reports(result, "status")[0] == len("Checking available disk space...\n")
    if mode == "noinstance":
        assert "window=0" in result.err  # no window thread at all


def test_console_mode_wins_over_a_window_already_shown(wine, gui):
    """Once PrintToConsole is set no further window output happens, though a
    shown status window keeps its last text."""
    result = wine.run(probe_program(wine),
                      ["load", "waitwindow", r"status Shown\n", "waitshown", "console",
                       r"status On the console\n", r"error Error: also\n", "report"])
    assert result.code == 0
    assert result.out == "On the console\nError: also\n"
    assert "window=1 visible=1" in result.err


@pytest.mark.parametrize("args,code,first_line", [
    (["-bogus"], 1, "Error: '-bogus' is not a valid argument."),
    (["-help"], 0, "Usage: 'conrun.exe' [-options]"),
])
def test_conrun_prints_everything_on_standard_output(wine, gui, args, code, first_line):
    result = wine.run(wine.program("conrun.exe"), args)
    assert result.code == code
    assert result.out.splitlines()[0] == first_line
    assert result.out.endswith("\n")
    assert result.err == ""
    assert result.windows == []


def test_a_terminal_sees_the_percentage_and_a_file_the_plain_lines(launcher, catalogue):
    """conrun in tmux: the extraction's lines count up in place and end as
    they are without a measure; the same run into a file writes exactly the
    progress lines."""
    made = launcher.installer("conrun.exe", extra=SLOW_PAYLOAD)
    where = launcher.where
    tmp = [os.path.join(where, "tmp-%d" % i) for i in (1, 2)]
    for path in tmp:
        os.makedirs(path)
    into_file = os.path.join(where, "out.txt")
    command = ("wine '%s' -tmpdir '%s'; echo exit status $?; "
               "wine '%s' -tmpdir '%s' > '%s'; echo exit status $?; exec sleep 600"
               % (made, to_windows(tmp[0]), made, to_windows(tmp[1]), into_file))
    env = launcher.wine.env(extra=dict(SLOW_WRITES,
                                       STANDIN_RECORD=to_windows(os.path.join(where, "rec"))))
    tmux = ["tmux", "-S", os.path.join(where, "tmux.sock")]
    # A server of its own, started with this environment.
    subprocess.run(tmux + ["new-session", "-d", "-x", "100", "-y", "30", command], env=env,
                   check=True)
    screens = []
    try:
        deadline = time.monotonic() + 120
        while time.monotonic() < deadline:
            screen = subprocess.run(tmux + ["capture-pane", "-p"], stdout=subprocess.PIPE,
                                    text=True).stdout
            screens.append([line.rstrip() for line in screen.splitlines() if line.strip()])
            if screens[-1].count("exit status 0") + screens[-1].count("exit status 1") >= 2:
                break
            time.sleep(0.1)
    finally:
        subprocess.run(tmux + ["kill-server"])

    lines = [catalogue.text(key).rstrip("\n") for key in RUN_WITH_PAYLOAD_RUNTIME]
    assert screens[-1] == lines + ["exit status 0", "exit status 0"], screens[-1]
    counting = re.compile(r"^%s (\d+)%%$" % re.escape(catalogue.text("unzipping_files").rstrip()))
    seen = [int(m.group(1)) for screen in screens for m in map(counting.match, screen) if m]
    assert seen == sorted(seen) and len(set(seen)) >= 3, seen
    with open(into_file, "rb") as f:
        assert f.read() == status_lines(catalogue, RUN_WITH_PAYLOAD_RUNTIME).replace(
            "\n", "\r\n").encode("cp1252")
