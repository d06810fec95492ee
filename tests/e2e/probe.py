"""Drives output_probe.exe (tests/support/output_probe) step by step.

A Probe runs a script of output commands in the background. "mark NAME" and
"waitfile NAME" in the script become files in a private directory: the probe
creates the mark when it gets there and waits for the file, so the test can
look at the screen at that point and then let it go on (go(NAME)). While the
test waits, any message box that it did not ask for is closed and fails the
test; expect_box() hands the next box to the test, which closes it.
"""
import os
import re
import shutil
import tempfile
import time

import winerun

PROGRAM = "output_probe.exe"


class Shown:
    """What the status window showed at one point."""

    def __init__(self, title, geometry, image):
        self.title, self.geometry, self.image = title, geometry, image


class Probe:
    def __init__(self, wine, display, script, lc_all="en_US.UTF-8", timeout=90):
        self.wine = wine
        self.display = display
        self.lc_all = lc_all
        self.timeout = timeout
        self.encoding = winerun.CODE_PAGES.get(lc_all, "cp1252")
        self.dir = tempfile.mkdtemp(prefix="probe-", dir=os.path.join(wine.build_dir))
        self.watch = winerun.BoxWatch(wine, display, PROGRAM, lc_all)
        lines = []
        for line in script:
            command, _, rest = line.partition(" ")
            if command in ("mark", "waitfile"):
                # a path in the script's escaped form: backslashes doubled
                rest = winerun.to_windows(os.path.join(self.dir, rest)).replace("\\", "\\\\")
            lines.append(command + (" " + rest if rest else ""))
        # The script file carries the texts in the locale's ANSI code page.
        path = os.path.join(self.dir, "script.txt")
        with open(path, "wb") as f:
            f.write("\n".join(lines).encode(self.encoding))
        self.proc = wine.popen(os.path.join(wine.build_dir, "support", PROGRAM),
                               ["-f", winerun.to_windows(path)], lc_all=lc_all)
        self.deadline = time.monotonic() + timeout
        self.result = None
        display.probes.append(self)

    # --- waiting -------------------------------------------------------------

    def _check_boxes(self):
        boxes = self.display.message_boxes(PROGRAM)
        if boxes:
            found = [self.watch.read_box(w, "unexpected-box") for w in boxes]
            for w in boxes:
                self.display.close_box(w)
            raise AssertionError("unexpected message box: %r" % found)

    def _wait(self, ready, what, boxes_allowed=False):
        while time.monotonic() < self.deadline:
            if ready():
                return
            if not boxes_allowed:
                self._check_boxes()
            if self.proc.poll() is not None and not ready():
                out, err = winerun.collect(self.proc, None)
                raise AssertionError("probe ended (status %s) before %s; stdout %r stderr %r"
                                     % (self.proc.returncode, what, out, err))
            time.sleep(0.05)
        raise AssertionError("timed out waiting for %s" % what)

    def marked(self, name):
        return os.path.exists(os.path.join(self.dir, name))

    def wait_mark(self, name):
        """Waits until the script reaches "mark NAME"."""
        self._wait(lambda: self.marked(name), "mark %s" % name)

    def go(self, name):
        """Lets the script past "waitfile NAME"."""
        open(os.path.join(self.dir, name), "w").close()

    def expect_box(self):
        """Waits for the next message box, reads it and returns it open; it
        must be the only one on the screen."""
        found = []
        self._wait(lambda: found.extend(self.display.message_boxes(PROGRAM)) or found,
                   "a message box", boxes_allowed=True)
        time.sleep(0.3)
        boxes = self.display.message_boxes(PROGRAM)
        assert len(boxes) == 1, "%d message boxes at once" % len(boxes)
        box = self.watch.read_box(boxes[0], "box%d" % (len(self.watch.boxes) + 1))
        self.watch.boxes.append(box)
        return box

    def close(self, box):
        self.display.close_box(box.window)
        box.closed = time.monotonic()

    # --- the status window -----------------------------------------------------

    def status_window(self):
        """The visible status window (waits for it)."""
        found = []
        self._wait(lambda: found.extend(self.display.status_windows(PROGRAM)) or found,
                   "the status window")
        return found[0]

    def shown(self, label):
        """The visible status window once its painting has settled: a Shown
        with its title, geometry and screenshot (kept as <test>-<label>.png)."""
        window = self.status_window()
        path = self.display.settled_screenshot(label, window)
        return Shown(self.display.title(window), self.display.geometry(window),
                     winerun.Image(path))

    # --- the end ---------------------------------------------------------------

    def finish(self):
        """Waits for the probe to end; returns its Result."""
        self._wait(lambda: self.proc.poll() is not None, "the probe to end")
        out, err = winerun.collect(self.proc, None)
        self.result = winerun.Result(self.proc.returncode, out, err, self.encoding)
        return self.result

    def kill(self):
        """Ends the probe if it still runs and removes its directory."""
        winerun.kill_and_collect(self.proc)
        shutil.rmtree(self.dir, ignore_errors=True)


def run_script(wine, display, script, lc_all="en_US.UTF-8"):
    """Runs a script that opens no message box to its end; returns the Result."""
    return Probe(wine, display, script, lc_all).finish()


def reports(result, command):
    """The results the probe reported for `command` on its standard error
    ("command -> result" lines), as ints, in order."""
    return [int(n) for c, n in re.findall(r"^(\w+) -> (-?\d+)$", result.err, re.M)
            if c == command]
