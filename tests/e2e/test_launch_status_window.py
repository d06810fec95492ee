"""setup.exe's status window during a whole run on an X display: the
progress lines appear in it, the bar under the extraction's line follows the
bytes written and ends full, and the window hides once the wizard has started
(the shipped program after its start delay, the test variant at once) while
the wizard still runs. Screenshots are kept in build/test-artifacts.

Every progress line goes to the window, none to standard output. What it
shows is compared, pixel for pixel, with output_probe.exe (the
same sources and resources) showing the same texts."""
import os
import time

import pytest

from launch_support import RUN_WITH_PAYLOAD_RUNTIME, SLOW_PAYLOAD, SLOW_WRITES
from probe import Probe
from runtimes import record_written, release
from winerun import CODE_PAGES, Image, Result, collect, kill_and_collect, to_windows, wait_for

SHIPPED_DELAY = 10.0  # seconds the shipped program keeps its window after the start
# Outer limit of every wait for something the programs do: generous, since a
# loaded machine may take long; the tests never wait for it to pass.
PATIENCE = 120


def bar_fill(image):
    bar = image.progress_bar()
    return bar[0] if bar else None


def finish(proc, lc_all="en_US.UTF-8", timeout=60):
    out, err = collect(proc, timeout)
    return Result(proc.returncode, out, err, CODE_PAGES[lc_all])


def window_texts(catalogue, out, keys, lc_all="en_US.UTF-8"):
    """The progress texts of the run: all of them go to the window, which
    exists before the first, so standard output stays empty."""
    assert out == "", out
    return [catalogue.text(key, lc_all) for key in keys]


def test_shipped_program_shows_progress_then_hides_while_the_wizard_runs(launcher, catalogue,
                                                                         gui):
    done = os.path.join(launcher.where, "wizard-may-end")
    made = launcher.installer("setup.exe", variant="bin", release=to_windows(done))
    proc, run = launcher.popen(made)
    try:
        wait_for(lambda: record_written(run.record), PATIENCE, "the wizard to start")
        # When the wizard's process was created (the stand-in records it),
        # not when the test saw its record: on a loaded machine the record
        # may come late, the start delay counts from the process's start.
        started = run.records[0]["started_unix"]
        # The window is up when the wizard starts and stays for the start
        # delay, so it must be seen within that delay.
        window = wait_for(lambda: gui.status_windows("setup.exe"), SHIPPED_DELAY,
                          "the status window")[0]
        shown = Image(gui.settled_screenshot("wizard-starting", window))
        wait_for(lambda: not gui.status_windows("setup.exe"), PATIENCE,
                 "the status window to hide")
        hidden_after = time.time() - started
        gui.screenshot("wizard-running")
        assert proc.poll() is None, "the wizard should still run"
        release(done)
        result = finish(proc, timeout=PATIENCE)
    finally:
        kill_and_collect(proc)

    assert result.code == 0, result
    # The window stayed up for the start delay, not less (less a little for
    # the wizard's own start, which comes after the delay began).
    assert hidden_after >= SHIPPED_DELAY - 1.0, hidden_after
    # What the window showed at the start is the last progress line before
    # the wizard, drawn as output_probe draws the same sequence of texts.
    texts = window_texts(catalogue, result.out, RUN_WITH_PAYLOAD_RUNTIME)
    before_cleanup = texts[:-1]
    assert before_cleanup[-1] == catalogue.text("executing_java")
    script = ["load", "waitwindow"]
    for i, text in enumerate(before_cleanup):
        script += ["status " + text.replace("\n", "\\n"), "mark shown%d" % i,
                   "waitfile next%d" % i]
    probe = Probe(launcher.wine, gui, script)
    for i in range(len(before_cleanup)):
        probe.wait_mark("shown%d" % i)
        if i == len(before_cleanup) - 1:
            reference = probe.shown("reference").image
        probe.go("next%d" % i)
    assert probe.finish().code == 0
    assert (shown.width, shown.height) == (reference.width, reference.height)
    assert shown.rgb == reference.rgb


@pytest.mark.parametrize("lc_all", ["en_US.UTF-8", "ja_JP.UTF-8"])
def test_test_variant_hides_the_window_once_the_wizard_has_started(launcher, catalogue, gui,
                                                                   lc_all):
    done = os.path.join(launcher.where, "wizard-may-end")
    made = launcher.installer("setup.exe", release=to_windows(done))
    proc, _ = launcher.start_waiting(made, os.path.join(launcher.where, "tmp"), done,
                                     lc_all=lc_all)
    try:
        # Hidden while the wizard runs: it ends only when released below.
        wait_for(lambda: not gui.status_windows("setup.exe"), PATIENCE,
                 "the status window to hide")
        gui.screenshot("wizard-running")
        running = proc.poll() is None
        release(done)
        result = finish(proc, lc_all, timeout=PATIENCE)
    finally:
        kill_and_collect(proc)

    assert result.code == 0, result
    assert running, "the wizard should still run"
    # The cleanup line went to the window (which shows it again only
    # briefly, before the program ends), not to standard output.
    texts = window_texts(catalogue, result.out, RUN_WITH_PAYLOAD_RUNTIME, lc_all)
    assert texts[-1] == catalogue.text("performing_cleanup", lc_all)


def test_the_bar_follows_the_extraction_and_ends_full(launcher, gui):
    made = launcher.installer("setup.exe", extra=SLOW_PAYLOAD)
    # Held after the extraction, where the bar must stand full.
    proc, _ = launcher.popen(made,
                             env=dict(SLOW_WRITES, LAUNCHER_TEST_FAULT="after-extraction:pause"))
    fills = []
    try:
        window = wait_for(lambda: gui.status_windows("setup.exe"), PATIENCE,
                          "the status window")[0]
        deadline = time.monotonic() + PATIENCE
        while fills[-2:] != [1.0, 1.0] and time.monotonic() < deadline:
            fill = bar_fill(Image(gui.screenshot("moment-%02d" % len(fills), window)))
            if fill is not None:
                fills.append(fill)
            time.sleep(0.2)
        assert proc.poll() is None, "the run should be held after the extraction"
    finally:
        kill_and_collect(proc)

    # Never backwards, seen at several points on its way, and full at the end.
    assert fills == sorted(fills), fills
    assert len({round(f, 2) for f in fills if 0 < f < 1}) >= 3, fills
    assert fills[-2:] == [1.0, 1.0], fills
