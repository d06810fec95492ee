"""The packer, mksetup: installers it builds (signed or not) run their wizard
under Wine with both programs, the same inputs give the same bytes on Linux
and on Windows, bad input gets a clear message and no output, and --verify
catches damage. Product values, the version resource, the icon and the
manifest's execution level are set by the packer on the prebuilt programs."""
import os
import re
import shutil
import subprocess
import struct
import zipfile
import zlib

import pytest

import installer
import peres
from launch_support import PROGRAMS, finish_waiting
from winerun import to_windows


def host_mksetup(wine):
    path = os.path.join(os.path.dirname(os.path.dirname(wine.shipped("setup.exe"))), "host",
                        "mksetup")
    assert os.path.exists(path), "build/host/mksetup is not built (scripts/build)"
    return path


def pack(wine, *args, env=None):
    return subprocess.run([host_mksetup(wine)] + [str(a) for a in args], capture_output=True,
                          text=True, env=dict(os.environ, **(env or {})))


@pytest.fixture
def payload(launcher):
    """The sample payload's members written out as a folder, and a stand-in
    runtime folder beside it."""
    root = os.path.join(launcher.where, "payload")
    installer.write_folder(installer.payload_members(build_dir=launcher.build_dir), root)
    return root, launcher.runtime("runtime")


def pack_into(launcher, folder, *args, name="out.exe", stub=None, env=None):
    """Packs `folder` behind `stub` (the test build of conrun.exe unless
    named) into `name` in the test's folder, with `args`; returns the
    output's path and the packer's result."""
    out = os.path.join(launcher.where, name)
    stub = stub or launcher.wine.program("conrun.exe", "test-bin")
    return out, pack(launcher.wine, "-o", out, "--stub", stub, "--payload", folder, *args, env=env)


def nothing_written(launcher, out):
    """Neither the output nor a temporary file of the packer is there."""
    return not os.path.exists(out) and \
        not [n for n in os.listdir(launcher.where) if n.endswith(".tmp")]


def sign(path, certificate, out=None):
    """Signs `path` with the test's certificate into `out` (by default
    beside it), whose signature must verify; returns the signed file's path."""
    out = out or path + ".signed.exe"
    subprocess.run(["osslsigncode", "sign", "-certs", certificate[1], "-key", certificate[0],
                    "-in", path, "-out", out], check=True, capture_output=True)
    assert osslsigncode_verify(out, certificate[1]) == 0
    return out


def packed(launcher, payload, program="conrun.exe", name="setup.exe", env=None):
    out, result = pack_into(launcher, payload[0], "--runtime", payload[1], name=name, env=env,
                            stub=launcher.wine.program(program, "test-bin"))
    assert result.returncode == 0, result.stderr
    # No warning but that the test build shows the launcher's own identity.
    assert [line for line in result.stderr.splitlines()
            if "warning" in line and "the launcher's own" not in line] == [], result.stderr
    return out


def assert_wizard_ran(launcher, path):
    run = launcher.run(path)
    assert run.code == 0, run.result
    wizard = run.wizard
    assert wizard["main_class_file"] is True
    assert wizard["argv"][0].startswith(wizard["cwd"] + "\\package\\jre\\bin\\")
    entries = wizard["class_path"]
    entries = entries.split(";") if isinstance(entries, str) else entries
    jars = [e for e in entries if e.startswith(".\\package\\")]
    assert jars and set(jars) <= set(wizard["class_path_existing"])
    # The wizard's folder holds the payload and nothing of the launcher's.
    with zipfile.ZipFile(path) as archive:
        top = {name.split("/")[0] for name in archive.namelist()}
    assert sorted(wizard["listing"]) == sorted(top)
    assert run.leftovers() == []


@pytest.mark.parametrize("program", PROGRAMS)
def test_packed_installer_runs_its_wizard(launcher, payload, program):
    """Files of 1 MiB and more come first, the largest first (the launcher's
    workers start the long ones first), and then the rest by name."""
    for name, size in (("data/large.bin", 3 << 20), ("big.bin", 2 << 20),
                       ("data/just-below.bin", (1 << 20) - 1)):
        path = os.path.join(payload[0], *name.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write((bytes(range(256)) * (size // 256 + 1))[:size])
    out = packed(launcher, payload, program)
    with zipfile.ZipFile(out) as archive:
        names = archive.namelist()
    assert names[:2] == ["data/large.bin", "big.bin"]
    assert names[2:] == sorted(names[2:]) and "data/just-below.bin" in names[2:]
    assert_wizard_ran(launcher, out)


def test_same_inputs_give_the_same_bytes_here_and_on_windows(launcher, payload):
    # A file of several deflate blocks, compressible in parts: the same
    # bytes whether one thread deflates or many.
    with open(os.path.join(payload[0], "package", "big.dat"), "wb") as f:
        f.write((b"abcdefgh" * 100000 + os.urandom(300000)) * 3)
    first = packed(launcher, payload, name="first.exe", env={"MKSETUP_THREADS": "1"})
    for top, _, files in os.walk(payload[0]):
        for name in files:
            os.utime(os.path.join(top, name), (1, 1))
    second = packed(launcher, payload, name="second.exe", env={"MKSETUP_THREADS": "7"})
    with open(first, "rb") as f:
        bytes_first = f.read()
    with open(second, "rb") as f:
        assert f.read() == bytes_first
    # Read back by others' extractors: 7-Zip the Zstandard entry, Python's
    # zipfile the deflated one of several blocks deflated on 7 threads.
    with open(os.path.join(payload[0], "package", "big.dat"), "rb") as f:
        big = f.read()
    assert subprocess.run(["7zz", "e", "-so", "-tzip", first, "package/big.dat"],
                          capture_output=True, check=True).stdout == big
    deflated, result = pack_into(launcher, payload[0], "-q", "--compression", "deflate",
                                 name="deflated.exe", env={"MKSETUP_THREADS": "7"})
    assert result.returncode == 0, result.stderr
    with zipfile.ZipFile(deflated) as archive:
        assert archive.read("package/big.dat") == big

    windows = os.path.join(launcher.where, "windows.exe")
    result = launcher.wine.run(launcher.wine.program("mksetup.exe"), [
        "-q", "-o", to_windows(windows), "--stub",
        to_windows(launcher.wine.program("conrun.exe", "test-bin")),
        "--payload", to_windows(payload[0]), "--runtime", to_windows(payload[1])])
    assert result.code == 0, result
    with open(windows, "rb") as f:
        assert f.read() == bytes_first

    # Their resource editors write the same bytes too, texts beyond ASCII
    # included (given to the Windows packer in its code page).
    branding = ["--main-class", "tarvisk", "--product-name", "Acme Ins\u00e9t\u00e4ller",
                "--product-version", "2.0.0.1", "--execution-level", "requireAdministrator"]
    made = []
    for system in ("linux", "windows"):
        out = os.path.join(launcher.where, system, "branded.exe")
        os.makedirs(os.path.dirname(out))
        stub = launcher.wine.program("conrun.exe", "test-bin")
        if system == "linux":
            assert pack(launcher.wine, "-q", "-o", out, "--stub", stub, "--payload", payload[0],
                        "--icon", ICON, *branding).returncode == 0
        else:
            result = launcher.wine.run(launcher.wine.program("mksetup.exe"), [
                "-q", "-o", to_windows(out), "--stub", to_windows(stub), "--payload",
                to_windows(payload[0]), "--icon", to_windows(ICON)] + branding)
            assert result.code == 0, result
        with open(out, "rb") as f:
            made.append(f.read())
    assert made[0] == made[1]
    assert resources_of(out)[0]["ProductName"] == "Acme Ins\u00e9t\u00e4ller"

    epoch, result = pack_into(launcher, payload[0], "-q", name="epoch.exe",
                              env={"SOURCE_DATE_EPOCH": "1700000000"})
    assert result.returncode == 0, result.stderr
    with zipfile.ZipFile(epoch) as archive:
        assert archive.getinfo("tarvisk.class").date_time == (2023, 11, 14, 22, 13, 20)


@pytest.mark.parametrize("name", ["CON", "nul.txt", "trailing.", "space ", "dots./inner.txt",
                                  "lpt1/x"])
def test_refused_name_is_named_and_nothing_is_written(launcher, payload, name):
    bad = os.path.join(payload[0], "package", *name.split("/"))
    os.makedirs(os.path.dirname(bad), exist_ok=True)
    with open(bad, "w") as f:
        f.write("x")
    out, result = pack_into(launcher, payload[0])
    assert result.returncode == 1
    refused = os.path.join(payload[0], "package", name.split("/")[0])
    assert result.stderr.startswith("mksetup: %s: the launcher refuses" % refused), result.stderr
    assert nothing_written(launcher, out)


@pytest.mark.parametrize("files, codepage, message", [
    (["README", "readme"], None, "Windows takes these names for one"),
    (["\u017dodz.txt", "\u017eodz.txt"], "1252", "Windows takes these names for one"),
    (["\uff21.txt", "\uff41.txt"], "932", "Windows takes these names for one"),
    (["data", "DATA/inner.txt"], None, "Windows takes these names for one"),
    (["huge.bin"], None, "more than 1 TiB"),
], ids=["ascii-case", "cp1252-pair", "cp932-full-width", "file-and-folder", "1-TiB-file"])
def test_files_windows_would_lose_or_cut_are_refused(launcher, payload, files, codepage, message):
    for name in files:
        path = os.path.join(payload[0], "package", *name.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.truncate((1 << 40) + 1 if name == "huge.bin" else 1)
    out, result = pack_into(launcher, payload[0], *(["--codepage", codepage] if codepage else []))
    assert result.returncode == 1 and message in result.stderr, result.stderr
    for name in files:
        assert "package/" + name.split("/")[0] in result.stderr
    assert nothing_written(launcher, out)


def test_zip64_where_an_installer_needs_it(launcher, payload):
    """A file of 4 GiB and more gets ZIP64 sizes; the archive, whose
    directory stays below 4 GiB with fewer than 65,535 entries, no ZIP64 end
    record; 65,600 files more give it one."""
    big = (1 << 32) + (1 << 20)
    with open(os.path.join(payload[0], "package", "zeros.bin"), "wb") as f:
        f.truncate(big)
    out, result = pack_into(launcher, payload[0], "-q", name="big.exe")
    assert result.returncode == 0, result.stderr
    with zipfile.ZipFile(out) as archive:
        info = archive.getinfo("package/zeros.bin")
        assert info.file_size == big and info.compress_size < big // 100
        assert info.extra[:2] == b"\x01\x00"  # the ZIP64 extra field
        assert all(not i.extra for i in archive.infolist() if i.file_size < 1 << 32)
    assert b"PK\x06\x06" not in open(out, "rb").read()[-200:]
    verified = pack(launcher.wine, "--verify", out)
    assert verified.returncode == 0, verified.stderr

    os.remove(os.path.join(payload[0], "package", "zeros.bin"))
    for d in range(64):
        folder = os.path.join(payload[0], "many", "d%02d" % d)
        os.makedirs(folder)
        for n in range(1025):
            with open(os.path.join(folder, "f%04d" % n), "wb") as f:
                f.write(b"%d" % n)
    out, result = pack_into(launcher, payload[0], "-q", name="big.exe")
    assert result.returncode == 0, result.stderr
    with zipfile.ZipFile(out) as archive:
        assert len(archive.infolist()) > 65535
    assert b"PK\x06\x06" in open(out, "rb").read()[-200:]
    verified = pack(launcher.wine, "--verify", out)
    assert verified.returncode == 0, verified.stderr


def test_names_outside_ascii_are_utf8_unless_a_code_page_is_named(launcher, payload):
    with open(os.path.join(payload[0], "package", "caf\u00e9.txt"), "w") as f:
        f.write("x")
    for codepage, name, flag in ((None, "caf\u00e9.txt".encode(), 0x800),
                                 ("1252", b"caf\xe9.txt", 0)):
        out, result = pack_into(launcher, payload[0], "-q",
                                *(["--codepage", codepage] if codepage else []))
        assert result.returncode == 0, result.stderr
        with zipfile.ZipFile(out) as archive:
            infos = [i for i in archive.infolist() if i.filename.startswith("package/caf")]
            assert len(infos) == 1
            raw = infos[0].filename.encode("utf-8" if infos[0].flag_bits & 0x800 else "cp437")
            assert raw == b"package/" + name and infos[0].flag_bits & 0x800 == flag
            assert all(i.flag_bits & 0x800 == 0 for i in archive.infolist() if i is not infos[0])


@pytest.mark.parametrize("lc_all", ["es_MX.UTF-8", "ja_JP.UTF-8", "zh_CN.UTF-8"])
def test_unicode_names_come_out_the_same_in_every_code_page(launcher, payload, lc_all):
    """Japanese, Chinese, accented and Thai names, packed as UTF-8, under
    launchers that run in code pages 1252, 932 and 936: each code page lacks
    some of them."""
    names = ["\u65e5\u672c\u8a9e.txt", "\u4e2d\u6587/\u6587\u4ef6.txt",
             "caf\u00e9/na\u00efve.txt", "\u0e20\u0e32\u0e29\u0e32\u0e44\u0e17\u0e22.txt"]
    for name in names:
        path = os.path.join(payload[0], "data", *name.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w", encoding="utf-8") as f:
            f.write(name)
    done = os.path.join(launcher.where, "wizard-may-end")
    runtime = launcher.runtime("held", release=to_windows(done))
    out, result = pack_into(launcher, payload[0], "-q", "--runtime", runtime, name="unicode.exe")
    assert result.returncode == 0, result.stderr
    tmp_dir = os.path.join(launcher.where, "tmp")
    proc, working = launcher.start_waiting(out, tmp_dir, done, lc_all=lc_all)
    try:
        for name in names:
            with open(os.path.join(working, "data", *name.split("/")), encoding="utf-8") as f:
                assert f.read() == name
        assert sorted(os.listdir(os.path.join(working, "data"))) == sorted(
            {n.split("/")[0] for n in names})
    finally:
        code, output, _ = finish_waiting(proc, done)
    assert code == 0, output
    assert os.listdir(tmp_dir) == []


def test_missing_main_class_and_jar_are_warned_about(launcher, payload):
    os.remove(os.path.join(payload[0], "tarvisk.class"))
    os.remove(os.path.join(payload[0], "package", "tarvisk-help.jar"))
    _, result = pack_into(launcher, payload[0], stub=launcher.wine.program("setup.exe", "test-bin"))
    assert result.returncode == 0
    assert [line for line in result.stderr.splitlines() if "the launcher's own" not in line] == [
        "mksetup: warning: the payload has no tarvisk.class at its top: the launcher looks "
        "for the main class file there",
        "mksetup: warning: the payload has no package/tarvisk-help.jar, which the class path "
        "names"]


@pytest.mark.parametrize("stub, expected", [
    ("text", "not one of the launcher's programs"),
    ("mksetup", "not one of the launcher's programs"),
    ("installer", "already carries a payload"),
    ("missing", "cannot be read")])
def test_a_stub_that_is_not_a_launcher_program_is_refused(launcher, payload, stub, expected):
    path = {"text": os.path.join(payload[0], "tarvisk.class"),
            "mksetup": launcher.wine.program("mksetup.exe"),
            "installer": packed(launcher, payload) if stub == "installer" else None,
            "missing": os.path.join(launcher.where, "nothing.exe")}[stub]
    out, result = pack_into(launcher, payload[0], stub=path)
    assert result.returncode == 1
    assert result.stderr.startswith("mksetup: %s: %s" % (path, expected)), result.stderr
    assert nothing_written(launcher, out)


def test_unwritable_output_is_reported(launcher, payload):
    out, result = pack_into(launcher, payload[0], name=os.path.join("no-such-folder", "out.exe"))
    assert result.returncode == 1 and out + ": cannot be written" in result.stderr


def test_list_and_verify_catch_damage(launcher, payload):
    out = packed(launcher, payload)
    listed = pack(launcher.wine, "--list", out)
    assert listed.returncode == 0
    assert "  zstd      package/jre/bin/java.exe" in listed.stdout
    # The launcher's own identity, as the unpacked program carries it, is
    # marked; the test build's start delay was packed in.
    for key in ("ProductName", "FileDescription", "CompanyName", "LegalCopyright", "download-url"):
        assert re.search(r"^%s +.*  \(built in\)$" % key, listed.stdout, re.M), listed.stdout
    verified = pack(launcher.wine, "--verify", out)
    assert verified.returncode == 0 and verified.stdout.endswith("every CRC matches; not signed\n")
    # 7-Zip reads the Zstandard entries as the launcher does.
    tested = subprocess.run(["7zz", "t", out], capture_output=True, text=True)
    assert tested.returncode == 0 and "Everything is Ok" in tested.stdout, tested.stdout

    installer.flip_data_byte(out, "package/jre/bin/java.exe")
    verified = pack(launcher.wine, "--verify", out)
    assert verified.returncode == 1
    assert "package/jre/bin/java.exe: the data does not match its CRC" in verified.stderr

    for action in ("--list", "--verify"):
        missing = pack(launcher.wine, action, launcher.wine.program("conrun.exe", "test-bin"))
        assert missing.returncode == 1 and "no payload found" in missing.stderr


def test_verify_names_the_payloads_unsigned_programs(launcher, certificate):
    """A team learns before shipping which of its executables and DLLs
    application control would refuse: the unsigned ones, not the signed."""
    folder = acme_payload(launcher)
    plain = launcher.wine.program("conrun.exe", "test-bin")
    os.makedirs(os.path.join(folder, "bin"))
    shutil.copyfile(plain, os.path.join(folder, "bin", "Helper.DLL"))
    sign(plain, certificate, os.path.join(folder, "bin", "signed.dll"))
    shutil.copyfile(plain, os.path.join(folder, "bin", "tool.exe.txt"))
    out, result = pack_into(launcher, folder, "-q")
    assert result.returncode == 0, result.stderr

    verified = pack(launcher.wine, "--verify", out)
    assert verified.returncode == 0, verified.stderr
    named = re.findall(r"warning: .*: (\S+) carries no signature", verified.stderr)
    assert named == ["bin/Helper.DLL"], verified.stderr


@pytest.fixture
def certificate(tmp_path):
    key, cert = tmp_path / "key.pem", tmp_path / "cert.pem"
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=Test Signer", "-addext", "extendedKeyUsage=codeSigning",
                    "-keyout", str(key), "-out", str(cert)], check=True, capture_output=True)
    return str(key), str(cert)


def osslsigncode_verify(path, cert):
    return subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", path],
                          capture_output=True, text=True).returncode


@pytest.mark.parametrize("program", PROGRAMS)
def test_signed_installer_verifies_and_runs_until_a_payload_byte_changes(
        launcher, payload, certificate, program):
    signed = sign(packed(launcher, payload, program), certificate)
    verified = pack(launcher.wine, "--verify", signed)
    assert verified.stdout.endswith("a signature follows the payload\n"), verified
    assert_wizard_ran(launcher, signed)

    installer.flip_data_byte(signed, "tarvisk.class")
    assert osslsigncode_verify(signed, certificate[1]) != 0


@pytest.mark.parametrize("program", PROGRAMS)
@pytest.mark.parametrize("residue", range(8))
def test_installer_appended_with_cat_runs_when_signed_at_any_length(
        launcher, certificate, program, residue):
    """`cat program payload.zip` leaves the length as it falls; the signer
    pads it to 8 bytes with zeros before the certificate table."""
    out = launcher.installer(program)
    with open(out, "r+b") as f:
        data = f.read()
        assert data[-22:-18] == b"PK\x05\x06" and data[-2:] == b"\0\0"
        comment = (residue - len(data)) % 8
        f.seek(len(data) - 2)
        f.write(comment.to_bytes(2, "little") + b"c" * comment)
    assert os.path.getsize(out) % 8 == residue
    assert_wizard_ran(launcher, sign(out, certificate))


# --- product values, version resource, icon and manifest set at pack time -------

ICON = os.path.join(installer.REPO, "ui", "setup.ico")


def product_icon(path):
    """Writes an .ico file of two PNG images unlike any the programs carry
    (16 and 32 pixels, one colour each); returns the images' bytes."""
    def png(side, rgba):
        def chunk(kind, data):
            return (struct.pack(">I", len(data)) + kind + data +
                    struct.pack(">I", zlib.crc32(kind + data)))
        rows = b"".join(b"\0" + bytes(rgba) * side for _ in range(side))
        return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", side, side, 8, 6,
                                                                   0, 0, 0)) +
                chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))
    images = [png(16, (200, 30, 30, 255)), png(32, (30, 30, 200, 255))]
    at = 6 + 16 * len(images)
    head = struct.pack("<HHH", 0, 1, len(images))
    for side, image in zip((16, 32), images):
        head += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(image), at)
        at += len(image)
    with open(path, "wb") as f:
        f.write(head + b"".join(images))
    return images


def icon_images(path):
    """The bytes of every icon image (RT_ICON) the program at `path` carries."""
    return [data for _, data in sorted((key, data) for key, data in peres.resources(path).items()
                                       if key[0] == peres.RT_ICON)]


def acme_payload(launcher):
    root = os.path.join(launcher.where, "acme")
    installer.write_folder([("acme_setup.class", installer.class_file_bytes()),
                            ("package/acme.jar", installer.jar_bytes("acme.jar"))], root)
    return root


def resources_of(path):
    """(version texts, icon images in the group, execution level) as pefile
    reads them, and whether the checksum matches."""
    import pefile
    pe = pefile.PE(path)
    texts = {}
    for info in getattr(pe, "FileInfo", [[]])[0]:
        for table in getattr(info, "StringTable", []):
            texts.update({k.decode(): v.decode() for k, v in table.entries.items()})
    images, level = 0, None
    for (kind, _, _), data in peres.resources(path).items():
        if kind == peres.RT_GROUP_ICON:
            images = int.from_bytes(data[4:6], "little")
        elif kind == 24:
            found = re.search(rb'requestedExecutionLevel level="(\w+)"', data)
            level = found and found.group(1).decode()
    return texts, images, level, pe.verify_checksum()


@pytest.mark.parametrize("program", PROGRAMS)
def test_shipped_program_packed_with_product_values_runs_as_packed(launcher, certificate,
                                                                    program):
    """From the shipped program alone, options kept in a file: the wizard
    runs with that main class and class path, Windows shows that name,
    version and icon, and the result signs and runs."""
    options = os.path.join(launcher.where, "acme.options")
    icon = os.path.join(launcher.where, "acme.ico")
    images = product_icon(icon)
    with open(options, "w") as f:
        f.write("# Acme's installer\n--main-class acme_setup\n--class-path \\package\\acme.jar;.\n"
                '--product-name "Acme Installer"\n--product-version 2.1.0.7\n'
                "--company Acme Ltd\n--copyright (C) Acme\n--execution-level asInvoker\n"
                "--download-url https://acme.example/java\n"
                "--icon %s\n--start-delay-ms 0\n" % icon)
    out, result = pack_into(launcher, acme_payload(launcher), "-q", "--runtime",
                            launcher.runtime("runtime"), "@" + options, name="acme-setup.exe",
                            stub=launcher.wine.program(program, "bin"))
    assert result.returncode == 0 and result.stderr == "", result.stderr

    texts, _, level, checksum = resources_of(out)
    want = {"ProductName": "Acme Installer", "CompanyName": "Acme Ltd",
            "LegalCopyright": "(C) Acme", "FileVersion": "2.1.0.7", "ProductVersion": "2.1.0.7",
            "OriginalFilename": "acme-setup.exe", "InternalName": "acme-setup"}
    assert want.items() <= texts.items(), texts
    assert (level, checksum) == ("asInvoker", True)
    # The icon is the product's: its images, and no other.
    assert icon_images(out) == images
    probe = os.path.join(launcher.build_dir, "support", "unzip_probe.exe")
    api = launcher.wine.run(probe, ["-v", to_windows(out)])
    assert dict(line.split("\t") for line in api.out.splitlines()) == texts, api

    for path in (out, sign(out, certificate)):
        run = launcher.run(path)
        assert run.code == 0, run.result
        wizard = run.wizard
        assert wizard["main_class"] == "acme_setup" and wizard["main_class_file"] is True
        assert wizard["class_path"] == "%s;%s\\package\\acme.jar;." % (wizard["cwd"],
                                                                       wizard["cwd"])


@pytest.mark.parametrize("variant, options, runs", [
    ("test-bin-modern", [], True),                       # built to accept 17: kept
    ("test-bin", ["--accept-modern-java"], True),        # told so at pack time
    ("test-bin", [], False),                             # neither
], ids=["built-in", "packed", "not-accepted"])
def test_runtime_versions_accepted_as_built_or_as_packed(launcher, payload, variant, options,
                                                         runs):
    """The runtime named with -javahome must pass the version test."""
    stub = launcher.wine.program("conrun.exe", variant)
    out, result = pack_into(launcher, payload[0], "-q", *options, stub=stub)
    assert result.returncode == 0, result.stderr
    if not options:
        # Given nothing, the packer leaves the program as it was built.
        with open(stub, "rb") as f:
            built = f.read()
        with open(out, "rb") as f:
            packed_bytes = f.read(len(built))
        checksum_at = int.from_bytes(built[0x3C:0x40], "little") + 24 + 64
        assert packed_bytes[:checksum_at] == built[:checksum_at]
        assert packed_bytes[checksum_at + 4:] == built[checksum_at + 4:]
    listed = pack(launcher.wine, "--list", out).stdout
    assert re.search(r"^accept-modern-java +%s" % ("1" if runs else "0"), listed, re.M), listed
    modern = launcher.runtime("modern", version="17.0.2")
    assert launcher.run(out, ["-javahome", to_windows(modern)]).code == (0 if runs else 1)


@pytest.mark.parametrize("option, value, message", [
    ("--main-class", "1acme", "is not a Java class name"),
    ("--class-path", "package\\acme.jar", "must begin with"),
    ("--class-path", "\\package\\a.jar;C:\\evil.jar", "outside the application home"),
    ("--class-path", "\\..\\evil.jar", "outside the application home"),
    ("--product-version", "2.1.0", "four numbers"),
    ("--product-version", "2.1.0.65536", "below 65536"),
    ("--product-name", "x" * 257, "longer than 256"),
    ("--execution-level", "admin", "asInvoker, highestAvailable or requireAdministrator"),
    ("--trace-variable", "9LIVES", "must not begin with a digit"),
    ("--icon", ICON + ".missing", "cannot be read"),
    ("--icon", os.path.join(installer.REPO, "README.md"), "is not an icon file"),
])
def test_refused_product_value_names_the_option_and_writes_nothing(launcher, payload, option,
                                                                   value, message):
    out, result = pack_into(launcher, payload[0], option, value)
    assert result.returncode == 1, result
    assert result.stderr.startswith("mksetup: " + option) and message in result.stderr, \
        result.stderr
    assert nothing_written(launcher, out)


@pytest.mark.parametrize("args, message", [
    (["--frobnicate"], "unknown argument: --frobnicate"),
    (["-o", "x.exe", "--stub", "conrun.exe"], "are all needed to pack"),
    (["--codepage", "none"], "not a code page number"),
    (["--main-class"], "--main-class needs a value"),
], ids=["unknown", "incomplete", "codepage", "no-value"])
def test_usage_errors_end_with_status_2_and_the_usage(launcher, args, message):
    result = pack(launcher.wine, *args)
    assert result.returncode == 2 and message in result.stderr, result
    assert "usage: mksetup" in result.stderr


def test_a_failed_pack_leaves_what_the_output_was(launcher, payload):
    """The installer is written beside the output and renamed at the end:
    when that fails, whatever stood there stays and nothing else is left."""
    out = os.path.join(launcher.where, "out.exe")
    os.makedirs(out)
    with open(os.path.join(out, "kept.txt"), "w") as f:
        f.write("kept")
    _, result = pack_into(launcher, payload[0], "-q")
    assert result.returncode == 1 and "cannot be written" in result.stderr, result
    assert os.listdir(out) == ["kept.txt"]
    assert not [n for n in os.listdir(launcher.where) if n.endswith(".tmp")]


def test_signed_stub_is_refused_when_its_resources_would_change(launcher, payload, certificate):
    stub = sign(launcher.wine.program("conrun.exe", "test-bin"), certificate,
                os.path.join(launcher.where, "signed-conrun.exe"))
    out, result = pack_into(launcher, payload[0], "--product-name", "Acme", stub=stub)
    assert result.returncode == 1 and "sign after packing" in result.stderr, result.stderr
    assert nothing_written(launcher, out)


def test_damaged_product_values_end_the_run_as_a_damaged_program(launcher, catalogue):
    out, result = pack_into(launcher, acme_payload(launcher), "-q", "--runtime",
                            launcher.runtime("runtime"), "--main-class", "acme_setup")
    assert result.returncode == 0, result.stderr
    with open(out, "r+b") as f:
        data = f.read()
        at = data.index(b"main-class=acme_setup\n")
        f.seek(at + len("main-class="))
        f.write(b"1")
    run = launcher.run(out)
    assert run.code == 1 and run.records == [], run.result
    assert run.out == catalogue.format("corrupted_zip_file", to_windows(out)), run.out


def test_release_bundle_is_reproducible_and_makes_an_installer_alone(wine, launcher, tmp_path):
    shipped = os.path.dirname(os.path.dirname(wine.shipped("setup.exe")))
    bundles = []
    for out in ("first", "second"):
        made = subprocess.run([os.path.join(installer.REPO, "scripts", "release"), "--no-build",
                               "--build-dir", shipped, "--out", str(tmp_path / out)],
                              capture_output=True, text=True, check=True)
        with open(made.stdout.strip(), "rb") as f:
            bundles.append(f.read())
    assert bundles[0] == bundles[1]

    # Only what the bundle holds, as a product team unpacks it.
    with zipfile.ZipFile(made.stdout.strip()) as z:
        z.extractall(tmp_path / "unpacked")
        top = z.namelist()[0].split("/")[0]
    bundle = tmp_path / "unpacked" / top
    os.chmod(bundle / "mksetup", 0o755)
    assert sorted(os.listdir(bundle)) == ["QUICKSTART.txt", "conrun.exe", "mksetup",
                                          "mksetup.exe", "setup.exe"]
    out = str(tmp_path / "acme-setup.exe")
    common = [str(bundle / "mksetup"), "-q", "-o", out, "--stub", str(bundle / "conrun.exe"),
              "--payload", acme_payload(launcher), "--runtime", launcher.runtime("runtime"),
              "--main-class", "acme_setup", "--class-path", "\\package\\acme.jar",
              "--start-delay-ms", "0"]
    # Nothing of the team's identity given: the packer names what the
    # installer would show of the launcher's, and --strict writes nothing.
    strict = subprocess.run(common + ["--strict"], capture_output=True, text=True)
    assert strict.returncode == 2 and not os.path.exists(out), strict.stderr
    for what, option in (("product name", "--product-name"), ("file description", "--description"),
                         ("company", "--company"), ("copyright", "--copyright"),
                         ("Java download page", "--download-url")):
        assert re.search(r"launcher's own %s .*set yours with %s" % (what, option), strict.stderr)

    result = subprocess.run(common + ["--product-name", "Acme Installer", "--company", "Acme Ltd",
                                      "--download-url", "https://acme.example/java", "--strict"],
                            capture_output=True, text=True)
    assert result.returncode == 0 and "launcher's own" not in result.stderr, result.stderr
    probe = os.path.join(launcher.build_dir, "support", "unzip_probe.exe")
    shown = dict(line.split("\t") for line in launcher.wine.run(probe, ["-v", to_windows(out)])
                 .out.splitlines())
    assert {"FileDescription": "Acme Installer", "ProductName": "Acme Installer",
            "CompanyName": "Acme Ltd", "LegalCopyright": "Copyright (C) Acme Ltd"}.items() \
        <= shown.items(), shown
    if os.environ.get("LAUNCHER_RUN_ARCH") == "x86_64":
        # The bundle's programs are 32-bit; this host runs none.
        assert pack(wine, "--verify", out).returncode == 0
        return
    run = launcher.run(out)
    assert run.code == 0 and run.wizard["main_class"] == "acme_setup", run.result


def _section(image, name):
    return next(s for s in image.sections if s.Name.rstrip(b"\0") == name)


def _headers_after_resources(image, data):
    # The headers moved behind everything else, e_lfanew pointing there.
    start = image.DOS_HEADER.e_lfanew
    end = _section(image, b".text").get_file_offset() + 40 * len(image.sections)
    data[0x3C:0x40] = len(data).to_bytes(4, "little")
    data += data[start:end]


def _set_section_field(name, field, value):
    def craft(image, data):
        offset = _section(image, name).get_field_absolute_offset(field)
        target = value(image) if callable(value) else value
        data[offset:offset + 4] = target.to_bytes(4, "little")
    return craft


def _set_alignment(value):
    def craft(image, data):
        offset = image.OPTIONAL_HEADER.get_field_absolute_offset("FileAlignment")
        data[offset:offset + 4] = value.to_bytes(4, "little")
    return craft


def _root_entry(image, data, entry, target):
    # Entry `entry` of the resource root table points at `target`.
    root = _section(image, b".rsrc").PointerToRawData
    at = root + 16 + 8 * entry + 4
    data[at:at + 4] = target(data, root).to_bytes(4, "little")


CRAFTED_STUBS = {
    "headers-after-resources": (_headers_after_resources, "headers lie after its resource section"),
    "resources-at-offset-0": (_set_section_field(b".rsrc", "PointerToRawData", 0),
                              "headers lie after its resource section"),
    "resources-over-code": (_set_section_field(
        b".rsrc", "PointerToRawData", lambda image: _section(image, b".text").PointerToRawData),
        "resource section overlaps another section"),
    "alignment-that-wraps": (_set_alignment(0xFFFFFFFF), "file alignment is not a power of two"),
    "alignment-not-a-power": (_set_alignment(768), "file alignment is not a power of two"),
    "tree-that-contains-itself": (lambda image, data: _root_entry(
        image, data, 0, lambda d, root: 0x80000000), "shares a table"),
    "subtree-shared": (lambda image, data: _root_entry(
        image, data, 1, lambda d, root: int.from_bytes(d[root + 20:root + 24], "little")),
        "shares a table"),
}


@pytest.mark.parametrize("case", sorted(CRAFTED_STUBS))
def test_a_stub_the_packer_cannot_rewrite_safely_is_refused(launcher, payload, case):
    pefile = pytest.importorskip("pefile")
    craft, message = CRAFTED_STUBS[case]
    source = launcher.wine.program("setup.exe", "test-bin")
    image = pefile.PE(source, fast_load=True)
    data = bytearray(open(source, "rb").read())
    craft(image, data)
    stub = os.path.join(launcher.where, "crafted.exe")
    with open(stub, "wb") as f:
        f.write(data)
    out, result = pack_into(launcher, payload[0], "--product-name", "Acme", stub=stub)
    assert result.returncode == 1 and message in result.stderr, result.stderr
    assert nothing_written(launcher, out)


def test_an_icon_with_more_images_than_numbers_left_is_refused(launcher, payload):
    count = 0xFFFF
    image_at = 6 + 16 * count
    ico = bytearray((0).to_bytes(2, "little") + (1).to_bytes(2, "little") +
                    count.to_bytes(2, "little"))
    for _ in range(count):
        ico += bytes([16, 16, 0, 0]) + (1).to_bytes(2, "little") + (32).to_bytes(2, "little") + \
            (40).to_bytes(4, "little") + image_at.to_bytes(4, "little")
    ico += bytes(40)
    icon = os.path.join(launcher.where, "many.ico")
    with open(icon, "wb") as f:
        f.write(ico)
    out, result = pack_into(launcher, payload[0], "--icon", icon,
                            stub=launcher.wine.program("setup.exe", "test-bin"))
    assert result.returncode == 1 and "icon numbers left" in result.stderr, result.stderr
    assert nothing_written(launcher, out)


def test_the_temporary_output_is_never_written_through_a_link(launcher, payload, tmp_path):
    """Someone who foresees the temporary name plants a link there: the
    packer neither writes through it nor leaves anything of its own."""
    out = os.path.join(launcher.where, "out.exe")
    victim = tmp_path / "victim.txt"
    victim.write_text("keep")
    # The temporary name holds the packer's process id: the shell plants
    # the link under its own and then becomes the packer (exec keeps it).
    script = ('ln -s "%s" "%s.mksetup-$$.tmp" && exec "%s" -q -o "%s" --stub "%s" --payload "%s"'
              % (victim, out, host_mksetup(launcher.wine), out,
                 launcher.wine.program("conrun.exe", "test-bin"), payload[0]))
    result = subprocess.run(["sh", "-c", script], capture_output=True, text=True)
    assert result.returncode == 1 and "cannot be written" in result.stderr, result.stderr
    assert victim.read_text() == "keep"
    assert not os.path.exists(out)
