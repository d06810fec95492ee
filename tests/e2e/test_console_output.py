"""Console output: with PrintToConsole set, or without an instance handle
(conrun), every print goes to standard output, line feeds kept, whatever
stream _fprintf is given, and no window ever appears.

The runs are watched on the X display: a message box fails the test, and
Result.windows lists every window of the program that became visible."""
import os

import pytest

from probe import reports

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
