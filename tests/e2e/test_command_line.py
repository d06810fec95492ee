"""The command line of both programs: the usage text in every language, each
error followed by the usage text, directories that cannot be written to, and
arguments after a failing one never looked at.

conrun.exe prints on the console, so its texts are compared whole; setup.exe
shows them in message boxes, which the harness reads and closes while it
runs."""
import os
import shutil
import stat
import subprocess

import pytest

import command_line_support as cls
from winerun import to_windows


@pytest.fixture
def places(tmp_path):
    """A file, a missing directory and a directory without write permission
    (which Wine reports with the read-only attribute), keyed by the names
    the argument tables use for them."""
    plain = tmp_path / "plain.txt"
    plain.write_text("not a directory")
    readonly = tmp_path / "readonly"
    readonly.mkdir()
    readonly.chmod(stat.S_IRUSR | stat.S_IXUSR | stat.S_IRGRP | stat.S_IXGRP)
    yield {
        "{file}": to_windows(plain),
        "{missing}": to_windows(tmp_path / "absent"),
        "{readonly}": to_windows(readonly),
    }
    readonly.chmod(0o755)


def expand(items, places):
    out = []
    for item in items:
        for key, value in places.items():
            item = item.replace(key, value)
        out.append(item)
    return out


# --- usage text -----------------------------------------------------------------

# The first lines of the usage text in each language, typed here apart from
# the table so a set swapped for another (or for English) shows at once.
USAGE_HEADS = {
    "en_US.UTF-8": "Usage: 'conrun.exe' [-options]\nwhere options include:\n",
    "es_MX.UTF-8": "Uso: 'conrun.exe' [-opciones]\ndonde las opciones son:\n",
    "ja_JP.UTF-8": "使用法: 'conrun.exe' [-options]\n",
    "zh_CN.UTF-8": "用法：'conrun.exe' [-options]\n",
}


@pytest.mark.parametrize("lc_all", cls.LOCALES)
@pytest.mark.parametrize("option", ["-help", "-h"])
def test_help_prints_the_usage_text_in_the_users_language(wine, catalogue, lc_all, option):
    r = wine.run(wine.program("conrun.exe"), [option], lc_all=lc_all)
    assert r.code == 0, r
    assert r.out.startswith(USAGE_HEADS[lc_all]), r
    assert r.out == catalogue.usage("conrun.exe", lc_all)
    # The Spanish text names no Java version; the others do.
    assert ("1.5" in r.out) == (lc_all != "es_MX.UTF-8"), r
    for name in ["-console", "-silent", "-savestate", "-javahome", "-tmpdir", "-id", "-h",
                 "-help"]:
        assert name in r.out, name


@pytest.mark.parametrize("option", ["-help", "-h"])
def test_help_ends_setup_with_status_0(wine, catalogue, gui, option):
    r = wine.run(wine.program("setup.exe"), [option], boxes=1)
    assert r.code == 0, r
    assert [b.text for b in r.boxes] == [catalogue.usage("setup.exe").rstrip("\n")]


# --- errors -----------------------------------------------------------------------

# arguments; the message key and its argument (None: usage text only)
ERRORS = [
    ("silent_without_file", ["-silent"], "missing_file_name", "-silent"),
    ("savestate_without_file", ["-savestate"], "missing_file_name", "-savestate"),
    ("javahome_without_dir", ["-javahome"], "missing_jvm_dir", "-javahome"),
    ("tmpdir_without_dir", ["-tmpdir"], "missing_writable_dir", "-tmpdir"),
    ("tmpdir_a_file", ["-tmpdir", "{file}"], "no_writable_dir", "{file}"),
    ("tmpdir_missing", ["-tmpdir", "{missing}"], "no_writable_dir", "{missing}"),
    ("tmpdir_not_writable", ["-tmpdir", "{readonly}"], "no_writable_dir", "{readonly}"),
    ("unknown_option", ["-bogus"], "no_valid_arg", "-bogus"),
    ("other_letter_case", ["-Debug"], "no_valid_arg", "-Debug"),
    ("after_good_options", ["-debug", "-silent", "a.txt", "-console", "-ID"], "no_valid_arg",
     "-ID"),
    # Nothing after the failing argument is looked at: not a later -help,
    # not a value option left without its value.
    ("help_after_error", ["-bogus", "-help"], "no_valid_arg", "-bogus"),
    ("missing_value_after_error", ["-Debug", "-tmpdir"], "no_valid_arg", "-Debug"),
    ("refused_dir_then_help", ["-tmpdir", "{missing}", "-h"], "no_writable_dir", "{missing}"),
]
ERROR_IDS = [e[0] for e in ERRORS]


@pytest.mark.parametrize("name,args,key,argument", ERRORS, ids=ERROR_IDS)
def test_error_message_then_usage_and_status_1(wine, catalogue, places, tmp_path,
                                               name, args, key, argument):
    r = wine.run(wine.program("conrun.exe"), expand(args, places), cwd=tmp_path)
    assert r.code == 1, r
    message = catalogue.format(key, expand([argument], places)[0])
    assert r.out == message + catalogue.usage("conrun.exe")
    assert not os.listdir(tmp_path / "readonly")


@pytest.mark.parametrize("name,args,key,argument", ERRORS, ids=ERROR_IDS)
def test_setup_shows_the_error_then_the_usage_and_ends_with_status_1(
        wine, catalogue, places, gui, name, args, key, argument):
    r = wine.run(wine.program("setup.exe"), expand(args, places), boxes=2)
    assert r.code == 1, r
    message = catalogue.format(key, expand([argument], places)[0])
    # An error box, then the usage box, one after the other.
    assert [b.text for b in r.boxes] == [message.rstrip("\n"),
                                         catalogue.usage("setup.exe").rstrip("\n")]


def test_a_value_is_taken_whatever_it_looks_like(wine, catalogue, tmp_path):
    # "-bogus" is the Java home here, not an option: the line parses and the
    # run goes on past the command line, until that Java home is looked at.
    r = wine.run(wine.program("conrun.exe"),
                 ["-silent", "a.txt", "-javahome", "-bogus", "-tmpdir", to_windows(tmp_path)])
    assert r.code == 1, r
    assert r.out.startswith(catalogue.text("checking_disk_space")), r
    # The Java home is refused, made absolute: "...\-bogus".
    assert "\\-bogus'" in r.out and "valid argument" not in r.out, r
    assert [n for n in os.listdir(tmp_path) if n.startswith("conrun.exe")]


def test_tmpdir_of_any_length_is_refused_without_harm(wine, catalogue):
    huge = "C:\\" + "\\".join(["d" * 200] * 15)
    r = wine.run(wine.program("conrun.exe"), ["-tmpdir", huge])
    assert r.code == 1, r
    assert r.out == catalogue.format("no_writable_dir", huge) + catalogue.usage("conrun.exe")


# --- a directory that cannot take the working directory ----------------------------

@pytest.fixture
def readonly_mount(tmp_path):
    """A read-only file system: a directory whose write permission bits are
    set (so it passes the checks of the command line) but where nobody, not
    even root, can create anything."""
    point = tmp_path / "ro"
    point.mkdir()
    if os.geteuid() != 0 or shutil.which("mount") is None:
        pytest.skip("mounting a read-only file system needs root")
    r = subprocess.run(["mount", "-t", "tmpfs", "-o", "ro,size=64k,mode=0777", "tmpfs",
                        str(point)], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if r.returncode != 0:
        pytest.skip("cannot mount a read-only tmpfs here: %s" % r.stdout.decode().strip())
    yield point
    subprocess.run(["umount", str(point)])


def test_read_only_file_system_reports_the_temporary_directory(wine, catalogue, readonly_mount):
    where = to_windows(readonly_mount)
    r = wine.run(wine.program("conrun.exe"), ["-silent", "a.txt", "-tmpdir", where])
    assert r.code == 1, r
    assert r.out == (catalogue.text("checking_disk_space")
                     + catalogue.format("no_writable_system_tmpdir", where)
                     + catalogue.format("no_writable_system_tmpdir_usage", "conrun.exe"))


def test_path_too_long_for_the_working_directory_fails_at_once(wine, catalogue, tmp_path):
    # A directory the command line accepts, but whose working directory name
    # would pass the system's path limit: creation fails for every name, so
    # the run stops at the first failure instead of trying others.
    deep = tmp_path
    remaining = 250 - len(to_windows(tmp_path))
    while remaining > 1:
        step = min(60, remaining - 1)
        deep = deep / ("d" * step)
        remaining -= step + 1
    deep.mkdir(parents=True)
    where = to_windows(deep)
    assert 245 <= len(where) < 260
    r = wine.run(wine.program("conrun.exe"), ["-silent", "a.txt", "-tmpdir", where])
    assert r.code == 1, r
    assert r.out == (catalogue.text("checking_disk_space")
                     + catalogue.format("no_writable_system_tmpdir", where)
                     + catalogue.format("no_writable_system_tmpdir_usage", "conrun.exe"))
    assert os.listdir(deep) == []
