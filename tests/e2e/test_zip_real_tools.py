"""Archives made by real archivers open and extract, through the launcher's
own archive code (unzip_probe.exe under Wine), to exactly what Info-ZIP's
unzip extracts from them."""
import os
import shutil
import subprocess
import zipfile

import pytest

import installer
import winerun


def _tree(root):
    """{relative path: bytes, or None for a directory} below root."""
    found = {}
    for base, dirs, files in os.walk(root):
        for d in dirs:
            found[os.path.relpath(os.path.join(base, d), root)] = None
        for f in files:
            with open(os.path.join(base, f), "rb") as handle:
                found[os.path.relpath(os.path.join(base, f), root)] = handle.read()
    return found




@pytest.fixture(scope="module")
def source(tmp_path_factory):
    """A small payload: nested text files, binary data, empty files and an
    empty directory."""
    root = tmp_path_factory.mktemp("payload") / "src"
    for d in range(3):
        for f in range(4):
            path = root / ("pkg%d" % d) / "sub dir" / ("Class%d.class" % f)
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(("class C%d_%d { int x; }\n" % (d, f)).encode() * (50 * f + 1))
    (root / "lib").mkdir()
    (root / "lib" / "random.jar").write_bytes(installer.noise(70000, 3))
    (root / "lib" / "empty.txt").write_bytes(b"")
    (root / "big.txt").write_bytes(b"".join(b"line %d\n" % i for i in range(40000)))
    (root / "empty dir").mkdir()
    return root


def _top(source):
    return sorted(os.listdir(source))


def _info_zip(source, out, *options):
    subprocess.run(["zip", "-qr", *options, str(out)] + _top(source), cwd=source, check=True)


def _appended(source, out, adjust, program):
    plain = out.with_suffix(".zip")
    _info_zip(source, plain)
    shutil.copyfile(program, out)
    with open(out, "ab") as target, open(plain, "rb") as archive:
        target.write(archive.read())
    if adjust:
        subprocess.run(["zip", "-qA", str(out)], check=True)


def _python(source, out, method):
    with zipfile.ZipFile(out, "w", compression=method) as archive:
        for base, dirs, files in sorted(os.walk(source)):
            for d in sorted(dirs):
                full = os.path.join(base, d)
                archive.write(full, os.path.relpath(full, source))
            for f in sorted(files):
                full = os.path.join(base, f)
                archive.write(full, os.path.relpath(full, source))


def _python_zip64(source, out):
    """Python's zipfile with its ZIP64 limits lowered, so that it writes what
    it writes for large payloads: sizes and offsets beyond 1 KiB in ZIP64
    extra fields of the central headers, and a ZIP64 end record."""
    saved = zipfile.ZIP64_LIMIT, zipfile.ZIP_FILECOUNT_LIMIT
    zipfile.ZIP64_LIMIT, zipfile.ZIP_FILECOUNT_LIMIT = 1024, 1
    try:
        _python(source, out, zipfile.ZIP_DEFLATED)
    finally:
        zipfile.ZIP64_LIMIT, zipfile.ZIP_FILECOUNT_LIMIT = saved
    assert b"PK\x06\x06" in out.read_bytes()


def _jar(source, out):
    subprocess.run(["jar", "cf", str(out), "-C", str(source), "."], check=True)


def _seven(source, out):
    subprocess.run(["7z", "a", "-tzip", "-bd", "-bso0", "-bsp0", str(out)] + _top(source),
                   cwd=source, check=True)


def _bsdtar(source, out):
    subprocess.run(["bsdtar", "--format", "zip", "-cf", str(out)] + _top(source),
                   cwd=source, check=True)


def _bsdtar_dot(source, out):
    """`tar -a -cf payload.zip .`, as on Windows 10 and later: every name
    begins with "./"."""
    subprocess.run(["bsdtar", "-a", "-cf", str(out), "."], cwd=source, check=True)


def _backslashes(source, out):
    """Names with "\\" between their parts, as PowerShell 5.1's
    Compress-Archive and .NET Framework 4.5 write them."""
    def add(archive, name, data):
        info = zipfile.ZipInfo(name.replace("/", "\\"), (2024, 1, 1, 0, 0, 0))
        info.create_system = 0  # made on MS-DOS/Windows, as they record
        info.compress_type = zipfile.ZIP_DEFLATED
        archive.writestr(info, data)

    with zipfile.ZipFile(out, "w") as archive:
        for base, dirs, files in sorted(os.walk(source)):
            for f in sorted(files):
                full = os.path.join(base, f)
                with open(full, "rb") as handle:
                    add(archive, os.path.relpath(full, source), handle.read())
            for d in dirs:
                full = os.path.join(base, d)
                if not os.listdir(full):
                    add(archive, os.path.relpath(full, source) + "/", b"")


# Makers whose archive holds exactly the source tree, as it is extracted.
AS_SOURCE = {"bsdtar-dot", "backslashes"}

MAKERS = {
    "bsdtar-dot": ("bsdtar", lambda s, o, p: _bsdtar_dot(s, o)),
    "backslashes": (None, lambda s, o, p: _backslashes(s, o)),
    "info-zip": ("zip", lambda s, o, p: _info_zip(s, o)),
    "info-zip-zip64": ("zip", lambda s, o, p: _info_zip(s, o, "-fz")),
    "python-zip64": (None, lambda s, o, p: _python_zip64(s, o)),
    "info-zip-appended": ("zip", lambda s, o, p: _appended(s, o, False, p)),
    "info-zip-appended-adjusted": ("zip", lambda s, o, p: _appended(s, o, True, p)),
    "python-stored": (None, lambda s, o, p: _python(s, o, zipfile.ZIP_STORED)),
    "python-deflated": (None, lambda s, o, p: _python(s, o, zipfile.ZIP_DEFLATED)),
    "jar": ("jar", lambda s, o, p: _jar(s, o)),
    "7z": ("7z", lambda s, o, p: _seven(s, o)),
    "bsdtar": ("bsdtar", lambda s, o, p: _bsdtar(s, o)),
}


@pytest.mark.parametrize("maker", sorted(MAKERS))
def test_extracts_like_unzip(maker, source, tmp_path, wine, build_dir):
    tool, make = MAKERS[maker]
    if tool and not shutil.which(tool):
        pytest.skip("%s is not installed" % tool)
    if not shutil.which("unzip"):
        pytest.skip("unzip is not installed")
    probe = os.path.join(build_dir, "support", "unzip_probe.exe")
    archive = tmp_path / ("payload.exe" if "appended" in maker else "payload.zip")
    make(source, archive, wine.program("conrun.exe"))

    reference = tmp_path / "reference"
    done = subprocess.run(["unzip", "-q", "-o", str(archive), "-d", str(reference)],
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    # unzip reports the program in front of an appended archive with code 1.
    assert done.returncode in (0, 1), done.stdout

    ours = tmp_path / "ours"
    result = wine.run(probe, [winerun.to_windows(archive), winerun.to_windows(ours)])
    assert result.code == 0, result
    assert _tree(ours) == _tree(reference)
    if maker in AS_SOURCE:
        assert _tree(ours) == _tree(source)

    # The listing agrees with the central directory as Python reads it.
    listing = wine.run(probe, ["-l", winerun.to_windows(archive)])
    assert listing.code == 0, listing
    rows = [line.split("\t") for line in listing.out.splitlines() if line]
    with zipfile.ZipFile(archive) as z:
        want = [(str(i.file_size), i.filename) for i in z.infolist()]
    assert [(r[0], r[2]) for r in rows] == want


def test_prefix_extracts_only_the_runtime(source, tmp_path, wine, build_dir):
    archive = tmp_path / "payload.zip"
    with zipfile.ZipFile(archive, "w", compression=zipfile.ZIP_DEFLATED) as z:
        z.writestr("package/jre/bin/java.exe", b"java")
        z.writestr("package/jre6/y", b"six")
        z.writestr("package/lib/x.jar", b"jar")
        z.writestr("setup.class", b"main")
    probe = os.path.join(build_dir, "support", "unzip_probe.exe")
    ours = tmp_path / "home"
    result = wine.run(probe, [winerun.to_windows(archive), winerun.to_windows(ours), "package/jre"])
    assert result.code == 0, result
    files = {k: v for k, v in _tree(ours).items() if v is not None}
    assert files == {os.path.join("package", "jre", "bin", "java.exe"): b"java",
                     os.path.join("package", "jre6", "y"): b"six"}


def test_corrupted_payload_fails(source, tmp_path, wine, build_dir):
    archive = tmp_path / "payload.zip"
    _python(source, archive, zipfile.ZIP_STORED)
    data = bytearray(archive.read_bytes())
    at = data.find(b"line 20000")
    assert at > 0
    data[at] ^= 0x01
    archive.write_bytes(bytes(data))
    probe = os.path.join(build_dir, "support", "unzip_probe.exe")
    result = wine.run(probe, [winerun.to_windows(archive), winerun.to_windows(tmp_path / "out")])
    assert result.code == 1, result


@pytest.mark.parametrize("lc_all, first, second", [
    ("en_US.UTF-8", "\u017dodz.txt", "\u017eodz.txt"),
    ("ja_JP.UTF-8", "\uff21.txt", "\uff41.txt"),
], ids=["cp1252", "cp932"])
def test_names_windows_takes_for_one_give_the_later_entry_whole(lc_all, first, second, tmp_path,
                                                               wine, build_dir):
    """Two entries whose names differ beyond ASCII case but are one name on
    Windows: the later one's bytes, whole, as if written one after another.
    The names are in the code page the probe runs in (no UTF-8 flag)."""
    encoding = winerun.CODE_PAGES[lc_all]
    names = [n.encode(encoding) for n in (first, second)]
    stand_ins = [b"A" * len(names[0]), b"B" * len(names[1])]
    early = installer.noise(1 << 22, 5)
    archive = tmp_path / "pair.zip"
    with zipfile.ZipFile(archive, "w", compression=zipfile.ZIP_DEFLATED) as z:
        z.writestr("d/" + stand_ins[0].decode(), early)
        z.writestr("d/" + stand_ins[1].decode(), b"later")
    data = archive.read_bytes()
    for stand_in, name in zip(stand_ins, names):
        assert data.count(b"d/" + stand_in) == 2
        data = data.replace(b"d/" + stand_in, b"d/" + name)
    archive.write_bytes(data)
    probe = os.path.join(build_dir, "support", "unzip_probe.exe")
    ours = tmp_path / "ours"
    result = wine.run(probe, [winerun.to_windows(archive), winerun.to_windows(ours)],
                      lc_all=lc_all)
    assert result.code == 0, result
    files = {k: v for k, v in _tree(ours).items() if v is not None}
    assert list(files.values()) == [b"later"], sorted(files)
