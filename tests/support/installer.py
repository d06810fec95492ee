#!/usr/bin/python3
"""Building installers for the tests and the demo: a built program with a ZIP
payload appended.

The payload holds what the launcher expects of an installer:

    <main class>.class          at the top (the wizard's main class file)
    package/<jar>               the five libraries of the class path
    package/jre/...             optionally, a Java runtime (a directory copied in)
    ...                         optionally, extra entries

Its members are generated from the texts in sample_payload/ (no binaries are
kept in the repository). The main class and the jar names come from the
build's generated product_config.h unless given.

The payload is appended as it stands, like `cat program payload.zip`, so
the archive's offsets count from the start of the archive (archives whose
offsets count from the file's start, as `zip -A` makes them, come from the
real archiver in test_zip_real_tools.py).

Python 3 standard library only. As a program, to give a packer a folder to
pack (scripts/demo):

    /usr/bin/python3 tests/support/installer.py --payload-folder <dir> \
        --standin-runtime 1.6.0_45 --runtime-folder <dir>
"""
import argparse
import io
import os
import re
import struct
import subprocess
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.abspath(os.path.join(HERE, "..", ".."))
SAMPLE_DIR = os.path.join(HERE, "sample_payload")

CLASS_FILE_MAGIC = b"\xca\xfe\xba\xbe"
# Fixed member times keep the archives reproducible.
MEMBER_TIME = (2024, 1, 1, 12, 0, 0)

_END_RECORD = struct.Struct("<4s4H2LH")      # end of central directory
_CENTRAL_HEADER = struct.Struct("<4s6H3L5H2L")  # central directory file header
_END_SIGNATURE = b"PK\x05\x06"
_LOCAL_SIGNATURE = b"PK\x03\x04"


# --- product values ---------------------------------------------------------

def _c_string(text):
    """The value of a C string literal body (only the escapes the header uses)."""
    return re.sub(r"\\(.)", lambda m: m.group(1), text)


def product_config(header=None, build_dir=None):
    """(main class, [jar names]) from a generated product_config.h.

    `header` is the header's path; else it is looked up in `build_dir`
    (default: the repository's build/). The jars are the distinct .jar file
    names of the class-path element, in their first order."""
    if header is None:
        header = os.path.join(build_dir or os.path.join(REPO, "build"), "generated",
                              "product_config.h")
    with open(header, encoding="utf-8") as f:
        text = f.read()
    values = {}
    for name in ("PRODUCT_MAIN_CLASS", "PRODUCT_CLASSPATH_ELEMENT"):
        match = re.search(r'#define\s+%s\s+"((?:[^"\\]|\\.)*)"' % name, text)
        if match is None:
            raise ValueError("%s: no %s" % (header, name))
        values[name] = _c_string(match.group(1))
    jars = []
    for entry in values["PRODUCT_CLASSPATH_ELEMENT"].split(";"):
        name = entry.replace("/", "\\").rsplit("\\", 1)[-1]
        if name.lower().endswith(".jar") and name not in jars:
            jars.append(name)
    return values["PRODUCT_MAIN_CLASS"], jars


# --- payload members -----------------------------------------------------------

def noise(size, seed):
    """`size` bytes that do not compress, the same for the same seed."""
    out = bytearray(size)
    for i in range(size):
        seed = (seed * 1103515245 + 12345) & 0xFFFFFFFF
        out[i] = seed >> 24
    return bytes(out)


def _sample_text(*parts):
    with open(os.path.join(SAMPLE_DIR, *parts), "rb") as f:
        return f.read()


def class_file_bytes():
    """The stand-in main class file: the class-file magic and a short text."""
    return CLASS_FILE_MAGIC + b"\n" + _sample_text("main-class.txt")


def jar_bytes(jar):
    """A small jar named `jar`: a ZIP with its manifest and a text."""
    data = io.BytesIO()
    with zipfile.ZipFile(data, "w", zipfile.ZIP_DEFLATED) as archive:
        for member in ("META-INF/MANIFEST.MF", "about.txt"):
            text = _sample_text("jar", *member.split("/")).replace(b"{jar}", jar.encode("ascii"))
            _write_member(archive, member, text)
    return data.getvalue()


def _write_member(archive, name, data, compression=zipfile.ZIP_DEFLATED):
    info = zipfile.ZipInfo(name, MEMBER_TIME)
    if name.endswith("/"):
        info.external_attr = (0o40755 << 16) | 0x10
        info.compress_type = zipfile.ZIP_STORED
        archive.writestr(info, b"")
        return
    info.external_attr = 0o644 << 16
    info.compress_type = compression
    archive.writestr(info, data)


def runtime_members(runtime, prefix="package/jre"):
    """(name, bytes) for every file below the directory `runtime`, named under
    `prefix` with forward slashes, in a stable order."""
    members = []
    for top, dirs, files in os.walk(runtime):
        dirs.sort()
        relative = os.path.relpath(top, runtime).replace(os.sep, "/")
        base = prefix if relative == "." else prefix + "/" + relative
        for name in sorted(files):
            with open(os.path.join(top, name), "rb") as f:
                members.append((base + "/" + name, f.read()))
    return members


def payload_members(main_class=None, jars=None, runtime=None, extra=None, build_dir=None,
                    header=None):
    """The ordered (name, bytes) members of a sample payload.

    main_class/jars default to the product values of the build; runtime is a
    directory copied under package/jre; extra is a mapping or a list of
    (name, bytes or str) added last."""
    if main_class is None or jars is None:
        config_class, config_jars = product_config(header, build_dir)
        main_class = config_class if main_class is None else main_class
        jars = config_jars if jars is None else jars
    members = [(main_class + ".class", class_file_bytes())]
    members += [("package/" + jar, jar_bytes(jar)) for jar in jars]
    if runtime is not None:
        members += runtime_members(runtime)
    if extra:
        items = extra.items() if hasattr(extra, "items") else extra
        for name, data in items:
            members.append((name, data.encode("utf-8") if isinstance(data, str) else data))
    return members


def write_folder(members, root):
    """Writes (name, bytes) members as files below the directory `root`, the
    folder a packer turns into a payload."""
    for name, data in members:
        path = os.path.join(root, *name.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)


def _directories(names):
    """Every parent directory of `names`, as "a/", "a/b/", in first order."""
    seen = []
    for name in names:
        parts = name.split("/")[:-1]
        for i in range(1, len(parts) + 1):
            directory = "/".join(parts[:i]) + "/"
            if directory not in seen:
                seen.append(directory)
    return seen


# Zstandard's method number. Python's zipfile writes no such entries: its
# members are written stored with the frames the zstd tool makes as their
# data, and their headers then say what that data is (_as_zstd).
ZIP_ZSTD = 93
# Every other file Zstandard, the rest deflated.
ZIP_MIXED = "mixed"
_LOCAL_HEADER = struct.Struct("<4s5H3L2H")  # local file header


def zstd_frames(data, level=3):
    """`data` as one Zstandard frame, made by the zstd tool, with its
    checksum."""
    return subprocess.run(["zstd", "-q", "-c", "--check", "-%d" % level], input=data,
                          check=True, stdout=subprocess.PIPE).stdout


def _as_zstd(payload, contents):
    """`payload` with the entries named in `contents` (name -> the bytes
    their stored data is the frames of) turned into Zstandard entries: the
    method, the version needed, the CRC-32 and the size of the contents, in
    both headers."""
    out = bytearray(payload)
    end_at = payload.rfind(_END_SIGNATURE)
    fields = _END_RECORD.unpack_from(payload, end_at)
    at, entries = fields[6], fields[4]
    for _ in range(entries):
        central = list(_CENTRAL_HEADER.unpack_from(payload, at))
        name = payload[at + _CENTRAL_HEADER.size:at + _CENTRAL_HEADER.size + central[10]].decode()
        if name in contents:
            data = contents[name]
            crc = zipfile.crc32(data) & 0xFFFFFFFF
            central[2], central[4], central[7], central[9] = 63, ZIP_ZSTD, crc, len(data)
            _CENTRAL_HEADER.pack_into(out, at, *central)
            local = list(_LOCAL_HEADER.unpack_from(payload, central[16]))
            local[1], local[3], local[6], local[8] = 63, ZIP_ZSTD, crc, len(data)
            _LOCAL_HEADER.pack_into(out, central[16], *local)
        at += _CENTRAL_HEADER.size + central[10] + central[11] + central[12]
    return bytes(out)


def replace_entry(f, name, stored, method, size, crc):
    """In the installer open as `f` (read and write), gives the entry `name`
    the stored data `stored` (as long as what it had), the method `method`,
    the size `size` and the CRC-32 `crc`, in both headers."""
    f.seek(0)
    data = f.read()
    end_at = data.rfind(_END_SIGNATURE)
    fields = _END_RECORD.unpack_from(data, end_at)
    shift = end_at - fields[5] - fields[6]  # where the payload starts in the file
    at = fields[6] + shift
    for _ in range(fields[4]):
        central = list(_CENTRAL_HEADER.unpack_from(data, at))
        length = central[10] + central[11] + central[12]
        if data[at + _CENTRAL_HEADER.size:at + _CENTRAL_HEADER.size + central[10]] == name.encode():
            assert central[8] == len(stored), "the stored data keeps its length"
            central[4], central[7], central[9] = method, crc, size
            f.seek(at)
            f.write(_CENTRAL_HEADER.pack(*central))
            local_at = central[16] + shift
            local = list(_LOCAL_HEADER.unpack_from(data, local_at))
            local[3], local[6], local[8] = method, crc, size
            f.seek(local_at)
            f.write(_LOCAL_HEADER.pack(*local))
            f.seek(local_at + _LOCAL_HEADER.size + local[9] + local[10])
            f.write(stored)
            return
        at += _CENTRAL_HEADER.size + length
    raise KeyError(name)


def build_payload(members, directory_entries=True, compression=zipfile.ZIP_DEFLATED):
    """The ZIP archive of `members` as bytes, offsets counted from its start.
    With directory_entries, each directory gets an entry of its own before
    the files, as `zip -r` makes them. `compression` is a zipfile method,
    ZIP_ZSTD, or ZIP_MIXED."""
    data = io.BytesIO()
    zstd = {}
    with zipfile.ZipFile(data, "w") as archive:
        names = [name for name, _ in members]
        if directory_entries:
            for directory in _directories(names):
                if directory not in names:
                    _write_member(archive, directory, b"")
        for number, (name, content) in enumerate(members):
            method = compression
            if compression == ZIP_MIXED:
                method = ZIP_ZSTD if number % 2 == 0 else zipfile.ZIP_DEFLATED
            if method == ZIP_ZSTD and not name.endswith("/"):
                zstd[name] = content
                _write_member(archive, name, zstd_frames(content), zipfile.ZIP_STORED)
            else:
                _write_member(archive, name, content, method)
    return _as_zstd(data.getvalue(), zstd) if zstd else data.getvalue()


def flip_data_byte(path, name):
    """Flips one byte in the middle of entry `name`'s data."""
    with zipfile.ZipFile(path) as archive:
        info = archive.getinfo(name)
    with open(path, "r+b") as f:
        f.seek(info.header_offset + 26)
        name_length, extra_length = int.from_bytes(f.read(2), "little"), \
            int.from_bytes(f.read(2), "little")
        at = info.header_offset + 30 + name_length + extra_length + info.compress_size // 2
        f.seek(at)
        byte = f.read(1)[0]
        f.seek(at)
        f.write(bytes([byte ^ 0x01]))


def build_installer(program, out, runtime=None, main_class=None, jars=None, extra=None,
                    directory_entries=True, build_dir=None,
                    header=None, members=None, compression=zipfile.ZIP_DEFLATED):
    """Writes `out`: the program file `program` followed by a ZIP payload.

    The payload is `members` (a list of (name, bytes)) when given, else the
    sample payload (see payload_members). The build directory for the product
    values defaults to the one two levels above the program
    (build/bin/conrun.exe), else the repository's build/. Returns `out`."""
    with open(program, "rb") as f:
        program_bytes = f.read()
    if members is None:
        if build_dir is None and header is None:
            build_dir = _build_dir_of(program)
        members = payload_members(main_class, jars, runtime, extra, build_dir, header)
    payload = build_payload(members, directory_entries, compression)
    directory = os.path.dirname(os.path.abspath(out))
    os.makedirs(directory, exist_ok=True)
    with open(out, "wb") as f:
        f.write(program_bytes)
        f.write(payload)
    return out


def _build_dir_of(program):
    candidate = os.path.dirname(os.path.dirname(os.path.abspath(program)))
    if os.path.exists(os.path.join(candidate, "generated", "product_config.h")):
        return candidate
    return os.path.join(REPO, "build")


# --- command line ------------------------------------------------------------

def main(argv=None):
    parser = argparse.ArgumentParser(
        description="Writes the sample payload as a folder, and the stand-in runtime beside "
                    "it, for a packer.")
    parser.add_argument("--payload-folder", metavar="DIR", required=True,
                        help="where the sample payload is written")
    parser.add_argument("--runtime-folder", metavar="DIR",
                        help="where the stand-in runtime is laid out")
    parser.add_argument("--standin-runtime", metavar="VERSION",
                        help="the version the stand-in Java runtime reports (from the build's "
                             "support/java_standin)")
    parser.add_argument("--build-dir", help="build tree with generated/product_config.h")
    args = parser.parse_args(argv)

    build_dir = args.build_dir or os.path.join(REPO, "build")
    write_folder(payload_members(build_dir=build_dir), args.payload_folder)
    if args.standin_runtime and args.runtime_folder:
        import runtimes  # noqa: E402 (beside this file)
        runtimes.make_runtime(build_dir, args.runtime_folder, version=args.standin_runtime)
    print("%s: the sample payload as a folder" % args.payload_folder)
    return 0


if __name__ == "__main__":
    sys.path.insert(0, HERE)
    sys.exit(main())
