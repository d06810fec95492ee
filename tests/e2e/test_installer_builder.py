"""The installer fixture builder: what it writes must be a program followed by
a ZIP archive that ordinary tools read, in both offset styles."""
import io
import os
import struct
import subprocess
import sys
import zipfile

import pytest

import installer

JARS = ["tarvisk-wizard.jar", "tarvisk-ui.jar", "tarvisk-registry.jar",
        "tarvisk-archive.jar", "tarvisk-help.jar"]

HEADER = r'''#define PRODUCT_MAIN_CLASS "tarvisk"
#define PRODUCT_CLASSPATH_ELEMENT "\\package\\tarvisk-wizard.jar;.;\\package\\tarvisk-ui.jar;.\\package\\tarvisk-wizard.jar;.\\package\\tarvisk-registry.jar;.\\package\\tarvisk-archive.jar;.\\package\\tarvisk-help.jar"
'''


@pytest.fixture
def header(tmp_path):
    path = tmp_path / "product_config.h"
    path.write_text(HEADER)
    return str(path)


@pytest.fixture
def program(tmp_path):
    """A program file whose bytes hold no ZIP signature of their own."""
    path = tmp_path / "program.exe"
    path.write_bytes(b"MZ" + bytes(range(1, 200)) * 40)
    return str(path)


@pytest.fixture
def runtime(tmp_path):
    root = tmp_path / "runtime"
    (root / "bin").mkdir(parents=True)
    (root / "bin" / "java.exe").write_bytes(b"MZjava")
    (root / "bin" / "javaw.exe").write_bytes(b"MZjavaw")
    (root / "bin" / "java.dll").write_bytes(b"")
    (root / "lib" / "ext").mkdir(parents=True)
    (root / "lib" / "ext" / "x.jar").write_bytes(b"\x00" * 3000)
    return str(root)


def test_product_config_reads_main_class_and_distinct_jars(header):
    assert installer.product_config(header) == ("tarvisk", JARS)


@pytest.mark.parametrize("absolute", [False, True], ids=["appended", "absolute"])
def test_installer_is_program_then_readable_archive(tmp_path, program, header, runtime, absolute):
    out = str(tmp_path / "setup-installer.exe")
    made = installer.build_installer(program, out, runtime=runtime, header=header,
                                     extra={"docs/readme.txt": "hello"},
                                     absolute_offsets=absolute)
    data = open(out, "rb").read()
    program_bytes = open(program, "rb").read()
    assert data.startswith(program_bytes)
    assert made.payload_offset == len(program_bytes)
    assert data[made.payload_offset:made.payload_offset + 4] == b"PK\x03\x04"

    # Offsets in the end record: from the archive's start, or the file's.
    end = len(data) - 22
    assert data[end:end + 4] == b"PK\x05\x06"
    cd_size, cd_offset = struct.unpack_from("<LL", data, end + 12)
    assert cd_offset + (0 if absolute else made.payload_offset) == end - cd_size
    first_local = struct.unpack_from("<L", data, end - cd_size + 42)[0]
    assert first_local == (made.payload_offset if absolute else 0)

    with zipfile.ZipFile(out) as archive:
        assert archive.testzip() is None
        names = archive.namelist()
        assert names == made.names
        assert archive.read("tarvisk.class").startswith(b"\xca\xfe\xba\xbe")
        for jar in JARS:
            inner = zipfile.ZipFile(io.BytesIO(archive.read("package/" + jar)))
            assert jar.encode() in inner.read("META-INF/MANIFEST.MF")
        assert archive.read("package/jre/bin/javaw.exe") == b"MZjavaw"
        assert archive.read("package/jre/lib/ext/x.jar") == b"\x00" * 3000
        assert archive.read("docs/readme.txt") == b"hello"
        assert archive.getinfo("package/jre/lib/ext/x.jar").compress_type == zipfile.ZIP_DEFLATED
    for directory in ("package/", "package/jre/", "package/jre/bin/", "docs/"):
        assert directory in names

    listing = subprocess.run(["unzip", "-l", out], capture_output=True, text=True)
    # unzip warns (status 1) about the program in front unless the offsets
    # were made absolute.
    assert listing.returncode == (0 if absolute else 1), listing.stderr
    for name in ["tarvisk.class", "package/jre/bin/java.dll"] + ["package/" + j for j in JARS]:
        assert name in listing.stdout


def test_without_runtime_or_directory_entries(tmp_path, program, header):
    out = str(tmp_path / "plain.exe")
    made = installer.build_installer(program, out, header=header, directory_entries=False)
    assert made.names == ["tarvisk.class"] + ["package/" + j for j in JARS]


def test_explicit_members_and_jar_names(tmp_path, program):
    out = str(tmp_path / "custom.exe")
    made = installer.build_installer(program, out, main_class="other", jars=["one.jar"],
                                     header="/nonexistent")
    assert made.names == ["package/", "other.class", "package/one.jar"]
    out2 = str(tmp_path / "members.exe")
    made = installer.build_installer(program, out2, members=[("a/b.txt", b"x" * 10)],
                                     directory_entries=False)
    assert made.names == ["a/b.txt"]


def test_payload_is_reproducible(tmp_path, program, header):
    first = installer.build_installer(program, str(tmp_path / "one.exe"), header=header)
    second = installer.build_installer(program, str(tmp_path / "two.exe"), header=header)
    assert open(first.path, "rb").read() == open(second.path, "rb").read()


def test_command_line_builds_from_the_generated_header(tmp_path, program, build_dir):
    if not os.path.exists(os.path.join(build_dir, "generated", "product_config.h")):
        pytest.skip("no configured build tree")
    out = str(tmp_path / "cli.exe")
    extra = tmp_path / "extra.txt"
    extra.write_text("extra")
    result = subprocess.run(
        [sys.executable, os.path.join(installer.HERE, "installer.py"), "--program", program,
         "--out", out, "--build-dir", build_dir, "--absolute-offsets",
         "--extra", "notes/extra.txt=%s" % extra],
        capture_output=True, text=True)
    assert result.returncode == 0, result.stderr
    with zipfile.ZipFile(out) as archive:
        names = archive.namelist()
        assert archive.read("notes/extra.txt") == b"extra"
    main_class, jars = installer.product_config(build_dir=build_dir)
    assert main_class + ".class" in names
    assert all("package/" + jar in names for jar in jars)
    assert "absolute offsets" in result.stdout
