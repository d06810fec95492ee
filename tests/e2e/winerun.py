"""Running the built Windows programs under Wine, and the X display helpers.

WineSession.run(program, args, lc_all=..., env=..., cwd=...) starts a program
under Wine and returns a Result: exit code, and standard output and error
decoded in the ANSI code page of the locale it ran under (the code page Wine
gives console output in).
"""
import os
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
    def __init__(self, build_dir):
        self.build_dir = build_dir
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
            timeout=120):
        """Runs `program` to its end; returns a Result."""
        proc = self.popen(program, args, lc_all, env, cwd)
        try:
            out, err = proc.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            out, err = proc.communicate()
            raise AssertionError("%s %s did not end within %ss; output %r %r"
                                 % (program, list(args), timeout, out, err))
        return Result(proc.returncode, out, err, CODE_PAGES.get(lc_all, "cp1252"))

    def reg(self, *args, view=None):
        """Runs Wine's reg.exe; view 32 or 64 picks the registry view."""
        cmd = ["wine", "reg", *args, "/f"] if args[0] in ("add", "delete") else ["wine", "reg", *args]
        if view:
            cmd.append("/reg:%d" % view)
        return subprocess.run(cmd, env=self.env(), stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE)


class XDisplay:
    """The X display GUI tests run on: the caller's DISPLAY (the test command
    runs under xvfb-run), or an Xvfb started here."""

    _instance = None

    def __init__(self, display, artifacts, proc=None):
        self.display = display
        self.artifacts = artifacts
        self.proc = proc
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

    def xdotool(self, *args):
        return subprocess.run(["xdotool", *args], env=dict(os.environ, DISPLAY=self.display),
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)

    def windows(self, name):
        """Ids of visible windows whose title matches the regular expression."""
        r = self.xdotool("search", "--onlyvisible", "--name", name)
        return [w for w in r.stdout.split()]

    def screenshot(self, filename):
        path = os.path.join(self.artifacts, filename)
        subprocess.run(["import", "-display", self.display, "-window", "root", path],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return path

    @staticmethod
    def available():
        return shutil.which("Xvfb") is not None and shutil.which("xdotool") is not None
