"""Running the built Windows programs under Wine, and the X display helpers.

WineSession.run(program, args, lc_all=..., env=..., cwd=...) starts a program
under Wine and returns a Result: exit code, and standard output and error
decoded in the ANSI code page of the locale it ran under (the code page Wine
gives console output in). On an X display every run is watched for message
boxes, which are read, kept as screenshots and closed (see run).

XDisplay, Box and BoxWatch are the GUI side: finding windows, their geometry
and title, screenshots into build/test-artifacts, and message boxes.
"""
import os
import re
import select
import shutil
import signal
import subprocess
import time

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))

# Windows ANSI code page of each locale the tests use.
CODE_PAGES = {
    "en_US.UTF-8": "cp1252",
    "es_MX.UTF-8": "cp1252",
    "es_ES.UTF-8": "cp1252",
    "ja_JP.UTF-8": "cp932",
    "zh_CN.UTF-8": "gbk",
    "zh_TW.UTF-8": "cp950",
}


def collect(proc, timeout, tick=None):
    """Waits for `proc` to end and returns its standard output and error
    (bytes), calling `tick` about every 0.1 s meanwhile. Raises
    subprocess.TimeoutExpired, the process left running, when it has not
    ended within `timeout` seconds (None: no limit).

    The end of the process is what counts, not the end of its pipes: Wine
    starts its background processes (explorer.exe for the desktop, services)
    from whichever program first needs them, and they inherit that program's
    standard handles and keep them open long after it has ended. Once the
    process has ended, everything it wrote is in the pipes: they are read
    until nothing more is waiting."""
    pipes = {proc.stdout: bytearray(), proc.stderr: bytearray()}
    open_pipes = [p for p in pipes if p is not None and not p.closed]
    deadline = None if timeout is None else time.monotonic() + timeout
    while open_pipes:
        ended = proc.poll() is not None
        ready, _, _ = select.select(open_pipes, [], [], 0.1)
        for pipe in ready:
            chunk = os.read(pipe.fileno(), 65536)
            if chunk:
                pipes[pipe] += chunk
            else:
                open_pipes.remove(pipe)
        if ended and not ready:
            break
        if not ended:
            if deadline is not None and time.monotonic() > deadline:
                raise subprocess.TimeoutExpired(proc.args, timeout)
            if tick is not None:
                tick()
    proc.wait()
    for pipe in pipes:
        if pipe is not None:
            pipe.close()
    return bytes(pipes.get(proc.stdout, b"")), bytes(pipes.get(proc.stderr, b""))


def read_until(proc, wanted, seen, timeout=120):
    """Reads the standard output of the running `proc` into `seen` (bytes
    read so far) until it holds `wanted`; returns what was read."""
    deadline = time.monotonic() + timeout
    while wanted not in seen:
        assert time.monotonic() < deadline, "no %r in %r" % (wanted, seen)
        if select.select([proc.stdout], [], [], 0.1)[0]:
            chunk = os.read(proc.stdout.fileno(), 65536)
            assert chunk, "the program ended before printing %r: %r" % (wanted, seen)
            seen += chunk
    return seen


def kill_and_collect(proc):
    """Ends `proc` and its process group when it still runs; returns what it
    wrote. A process that has ended is not looked for again: its group may
    hold a background process of Wine's that others use now."""
    if proc.poll() is None:
        try:
            os.killpg(proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
    return collect(proc, None)


def wait_for(condition, timeout, what):
    """Polls `condition` until it gives a true value, which it returns; fails
    after `timeout` seconds. Tests wait on events with this, the timeout being
    only an outer limit for a machine under load."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise AssertionError("timed out after %ss waiting for %s" % (timeout, what))
        time.sleep(0.05)


def to_windows(path):
    """The Wine (Z: drive) form of a Linux path."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Result:
    def __init__(self, code, out, err, encoding):
        self.code = code
        self.raw_out = out
        self.raw_err = err
        self.encoding = encoding
        self.out = out.decode(encoding, errors="replace").replace("\r\n", "\n")
        self.err = err.decode(encoding, errors="replace").replace("\r\n", "\n")

    def __repr__(self):
        return "Result(code=%r, out=%r, err=%r)" % (self.code, self.out, self.err)


class WineSession:
    def __init__(self, build_dir, shipped_dir=None):
        self.build_dir = build_dir
        self.shipped_dir = shipped_dir or build_dir
        self.bin = os.path.join(build_dir, "bin")
        self.test_bin = os.path.join(build_dir, "test-bin")
        self.prefix = os.environ.get("WINEPREFIX") or os.path.join(build_dir, "wineprefix")
        self.base_env = dict(os.environ)
        self.base_env.update({
            "WINEPREFIX": self.prefix,
            "WINEDEBUG": "-all",
            "WINEDLLOVERRIDES": "mscoree,mshtml=",
        })
        self.base_env.pop("WINEARCH", None)

    def start(self):
        """Creates the prefix if need be and starts the persistent wineserver."""
        subprocess.run([os.path.join(REPO, "scripts", "wine-prefix")], env=self.base_env,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=True)

    def program(self, name, variant="bin"):
        """Path of a built program: variant "bin" (shipped) or "test-bin"."""
        return os.path.join(self.build_dir, variant, name)

    def shipped(self, name):
        """Path of a shipped 32-bit program (bin/), for checks of the file
        itself; on a host without 32-bit support it is not the one that runs."""
        return os.path.join(self.shipped_dir, "bin", name)

    def env(self, lc_all="en_US.UTF-8", extra=None):
        env = dict(self.base_env)
        env["LC_ALL"] = lc_all
        env["LANG"] = lc_all
        for key, value in (extra or {}).items():
            if value is None:
                env.pop(key, None)
            else:
                env[key] = value
        return env

    def popen(self, program, args=(), lc_all="en_US.UTF-8", env=None, cwd=None,
              stdin=subprocess.DEVNULL):
        return subprocess.Popen(["wine", program, *args], env=self.env(lc_all, env),
                                cwd=cwd, stdin=stdin, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, start_new_session=True)

    def run(self, program, args=(), lc_all="en_US.UTF-8", env=None, cwd=None,
            timeout=120, boxes=0, watch=True):
        """Runs `program` to its end; returns a Result.

        On an X display the run is watched: every message box the program
        opens is read, kept as a screenshot under build/test-artifacts and
        closed with Return, so no run waits for a user. `boxes` is the number
        of boxes the caller expects; one more fails the run. Result.boxes
        lists them (see Box), Result.windows the ids of every window of the
        program that was seen visible."""
        display = XDisplay.current(os.path.join(self.build_dir, "test-artifacts")) \
            if watch else None
        watcher = BoxWatch(self, display, program, lc_all) if display else None
        proc = self.popen(program, args, lc_all, env, cwd)
        try:
            out, err = collect(proc, timeout, watcher.poll if watcher else None)
        except subprocess.TimeoutExpired:
            out, err = kill_and_collect(proc)
            raise AssertionError("%s %s did not end within %ss; output %r %r"
                                 % (program, list(args), timeout, out, err))
        result = Result(proc.returncode, out, err, CODE_PAGES.get(lc_all, "cp1252"))
        result.boxes = watcher.boxes if watcher else []
        result.windows = sorted(watcher.windows) if watcher else []
        if len(result.boxes) > boxes:
            raise AssertionError("unexpected message box(es) from %s %s: %r"
                                 % (program, list(args), result.boxes[boxes:]))
        return result

    def reg(self, *args, view=None):
        """Runs Wine's reg.exe; view 32 or 64 picks the registry view."""
        cmd = ["wine", "reg", *args, "/f"] if args[0] in ("add", "delete") else ["wine", "reg", *args]
        if view:
            cmd.append("/reg:%d" % view)
        return subprocess.run(cmd, env=self.env(), stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE)


# --- The X display: windows, screenshots and message boxes --------------------

# _MOTIF_WM_HINTS decoration bit of a title bar: Wine asks for one for every
# window with a caption (message boxes), none for the captionless status
# window.
MWM_DECOR_TITLE = 0x8


class Geometry:
    """A window's position and size on the screen, in pixels."""

    def __init__(self, x, y, width, height):
        self.x, self.y, self.width, self.height = x, y, width, height

    @property
    def centre(self):
        return (self.x + self.width / 2.0, self.y + self.height / 2.0)

    def __eq__(self, other):
        return (self.x, self.y, self.width, self.height) == \
            (other.x, other.y, other.width, other.height)

    def __repr__(self):
        return "Geometry(%d,%d %dx%d)" % (self.x, self.y, self.width, self.height)


class Image:
    """The pixels of a screenshot (8-bit RGB), read with ImageMagick."""

    def __init__(self, path):
        self.path = path
        size = subprocess.run(["identify", "-format", "%w %h", path], check=True,
                              stdout=subprocess.PIPE, text=True).stdout.split()
        self.width, self.height = int(size[0]), int(size[1])
        self.rgb = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], check=True,
                                  stdout=subprocess.PIPE).stdout
        assert len(self.rgb) == 3 * self.width * self.height

    def pixel(self, x, y):
        at = 3 * (y * self.width + x)
        return tuple(self.rgb[at:at + 3])

    def ink(self, inset=2, threshold=128):
        """Bounding box (left, top, right, bottom; right and bottom exclusive)
        of the dark pixels, `inset` pixels in from the edges (the window's
        border); None when there are none."""
        xs, ys = [], []
        for y in range(inset, self.height - inset):
            row = 3 * y * self.width
            for x in range(inset, self.width - inset):
                at = row + 3 * x
                if sum(self.rgb[at:at + 3]) < 3 * threshold:
                    xs.append(x)
                    ys.append(y)
        if not xs:
            return None
        return (min(xs), min(ys), max(xs) + 1, max(ys) + 1)

    def count(self, predicate):
        """Number of pixels whose (r, g, b) satisfies `predicate`."""
        rgb = self.rgb
        return sum(1 for at in range(0, len(rgb), 3) if predicate(rgb[at], rgb[at + 1], rgb[at + 2]))

    def reds(self):
        return self.count(lambda r, g, b: r > 170 and g < 90 and b < 90)

    def blues(self):
        return self.count(lambda r, g, b: b > 150 and r < 110 and b - g > 40)

    def progress_bar(self):
        """The status window's progress bar: (filled share, top row), read
        from the rows with the bar's colours (the selection blue done, the
        window white still to do) and the fill from the fullest of them; None
        when no row has a bar."""
        best, top = (0, 0), None
        for y in range(self.height):
            row = self.rgb[3 * y * self.width:3 * (y + 1) * self.width]
            done = rest = 0
            for x in range(0, len(row), 3):
                r, g, b = row[x], row[x + 1], row[x + 2]
                if b > 150 and r < 110 and b - g > 40:
                    done += 1
                elif r == g == b == 255:
                    rest += 1
            if done + rest >= 20 and top is None:
                top = y
            if done + rest > sum(best):
                best = (done, rest)
        return (best[0] / sum(best), top) if top is not None else None


class Box:
    """A message box as seen on the display and read by boxspy.exe."""

    def __init__(self, window, title, geometry, screenshot, spy):
        self.window = window
        self.title = title
        self.geometry = geometry
        self.screenshot = screenshot
        self.owned = spy.get("owner") == "1"
        self.has_icon = spy.get("icon") == "1"
        self.buttons = spy["buttons"].split(",") if spy.get("buttons") else []
        self.text = spy.get("text")
        self.appeared = time.monotonic()
        self.closed = None
        image = Image(screenshot)
        # Wine's error icon is a red disc, its information icon a blue one.
        self.icon_colour = "red" if image.reds() > 30 else "blue" if image.blues() > 30 else None

    def __repr__(self):
        return "Box(title=%r, text=%r, buttons=%r, icon=%r)" % (
            self.title, self.text, self.buttons, self.icon_colour)


def _spy_line(line):
    """Parses a boxspy line: box owner=1 icon=1 buttons=OK title=... text=..."""
    m = re.match(r"box owner=(\d) icon=(\d) buttons=(.*?) title=(.*?) text=(.*)$", line)
    if not m:
        return None
    unescape = lambda t: re.sub(r"\\(.)", lambda e: "\n" if e.group(1) == "n" else e.group(1), t)
    return dict(owner=m.group(1), icon=m.group(2), buttons=m.group(3),
                title=unescape(m.group(4)), text=unescape(m.group(5)))


class XDisplay:
    """The X display GUI tests run on: the caller's DISPLAY (the test command
    runs under xvfb-run), or an Xvfb started here. There is no window manager:
    windows stay where the programs put them, and message boxes are told from
    the captionless status window by the title bar Wine asks for."""

    _instance = None

    def __init__(self, display, artifacts, proc=None):
        self.display = display
        self.artifacts = artifacts
        self.proc = proc
        self.test_name = "session"
        os.makedirs(artifacts, exist_ok=True)

    @classmethod
    def ensure(cls, artifacts):
        if cls._instance is None:
            display = os.environ.get("DISPLAY")
            proc = None
            if not display:
                for n in range(90, 140):
                    if not os.path.exists("/tmp/.X11-unix/X%d" % n):
                        display = ":%d" % n
                        break
                proc = subprocess.Popen(["Xvfb", display, "-screen", "0", "1024x768x24",
                                         "-nolisten", "tcp"],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                for _ in range(100):
                    if os.path.exists("/tmp/.X11-unix/X%s" % display[1:]):
                        break
                    time.sleep(0.05)
                os.environ["DISPLAY"] = display
            cls._instance = cls(display, artifacts, proc)
        return cls._instance

    @classmethod
    def current(cls, artifacts):
        """The display when there is one already (DISPLAY set), else None."""
        if cls._instance is None and (not os.environ.get("DISPLAY") or not cls.available()):
            return None
        return cls.ensure(artifacts)

    @staticmethod
    def available():
        return shutil.which("Xvfb") is not None and shutil.which("xdotool") is not None

    def _run(self, *cmd):
        return subprocess.run(cmd, env=dict(os.environ, DISPLAY=self.display),
                              stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, text=True)

    def xdotool(self, *args):
        return self._run("xdotool", *args)

    def windows(self, name=None, program=None):
        """Ids of visible windows whose title matches the regular expression
        `name`, or that belong to the Windows program named `program`
        (Wine sets the window class to the executable's name)."""
        if program is not None:
            r = self.xdotool("search", "--onlyvisible", "--classname",
                             "^%s$" % re.escape(program.lower()))
        else:
            r = self.xdotool("search", "--onlyvisible", "--name", name)
        return r.stdout.split()

    def title(self, window):
        return self.xdotool("getwindowname", window).stdout.rstrip("\n")

    def geometry(self, window):
        values = dict(line.split("=", 1) for line in
                      self.xdotool("getwindowgeometry", "--shell", window).stdout.split())
        return Geometry(int(values["X"]), int(values["Y"]), int(values["WIDTH"]),
                        int(values["HEIGHT"]))

    def has_caption(self, window):
        out = self._run("xprop", "-id", window, "_MOTIF_WM_HINTS").stdout
        values = re.findall(r"0x[0-9a-fA-F]+|\d+", out.split("=", 1)[-1]) if "=" in out else []
        return len(values) >= 3 and int(values[2], 0) & MWM_DECOR_TITLE != 0

    def message_boxes(self, program):
        return [w for w in self.windows(program=program) if self.has_caption(w)]

    def status_windows(self, program):
        return [w for w in self.windows(program=program) if not self.has_caption(w)]

    def any_message_boxes(self):
        """Captioned windows of any Windows program (class *.exe)."""
        r = self.xdotool("search", "--onlyvisible", "--classname", r"\.exe$")
        return [w for w in r.stdout.split() if self.has_caption(w)]

    def artifact(self, label):
        name = re.sub(r"[^A-Za-z0-9_.-]+", "_", "%s-%s" % (self.test_name, label))
        return os.path.join(self.artifacts, name + ".png")

    def screenshot(self, label, window=None):
        """Saves the screen (or one window) as build/test-artifacts/<test>-<label>.png."""
        path = self.artifact(label)
        self._run("import", "-display", self.display, "-window", window or "root", path)
        return path

    def settled_screenshot(self, label, window, tries=40):
        """A screenshot of `window` once two in a row agree: painting and
        growing have settled."""
        previous = None
        for _ in range(tries):
            path = self.screenshot(label, window)
            with open(path, "rb") as f:
                data = f.read()
            if data == previous:
                return path
            previous = data
            time.sleep(0.1)
        raise AssertionError("window %s kept changing" % window)

    def close_box(self, window, timeout=20):
        """Closes a message box the way a user does: Return on its default
        (OK) button. Tries the key sent to the window, then with the focus set
        on it; fails when the box stays."""
        deadline = time.monotonic() + timeout
        attempt = 0
        while time.monotonic() < deadline:
            if attempt % 2 == 0:
                self.xdotool("key", "--window", window, "Return")
            else:
                self.xdotool("windowfocus", window)
                self.xdotool("key", "Return")
            attempt += 1
            for _ in range(30):
                if window not in self.windows(name="."):
                    return
                time.sleep(0.1)
        raise AssertionError("message box %s did not close on Return" % window)


class BoxWatch:
    """Watches one running program's windows: every message box it opens is
    read (boxspy.exe), kept as a screenshot and closed with Return."""

    def __init__(self, session, display, program, lc_all):
        self.session = session
        self.display = display
        self.program = os.path.basename(program)
        self.lc_all = lc_all
        self.boxes = []
        self.windows = set()

    def spy(self):
        """The message boxes on the screen, as boxspy.exe reads them."""
        r = self.session.run(os.path.join(self.session.build_dir, "support", "boxspy.exe"),
                             lc_all=self.lc_all, watch=False)
        return [b for b in map(_spy_line, r.out.splitlines()) if b]

    def read_box(self, window, label):
        """The Box of an open message box, with its screenshot."""
        spied = []
        for _ in range(50):  # the box may still be filling in its controls
            spied = self.spy()
            if spied and spied[0]["buttons"]:
                break
            time.sleep(0.1)
        shot = self.display.settled_screenshot(label, window)
        return Box(window, self.display.title(window), self.display.geometry(window), shot,
                   spied[0] if spied else {})

    def poll(self):
        """Reads and closes every new message box. Returns the new Boxes."""
        self.windows.update(self.display.windows(program=self.program))
        new = []
        for window in self.display.message_boxes(self.program):
            box = self.read_box(window, "box%d" % (len(self.boxes) + 1))
            self.display.close_box(window)
            box.closed = time.monotonic()
            self.boxes.append(box)
            new.append(box)
        return new
