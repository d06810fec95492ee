"""A short fuzzing run of the archive code, built natively with clang's
libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer, and again with
ThreadSanitizer for the extraction's workers, which write real files into a
scratch directory: any crash, leak, undefined behaviour, data race or file
made outside the destination fails the test. The packer's resource editor
runs the same way (pe_resources_fuzzer): a program it rewrites must read
back with exactly the resources written."""
import io
import os
import shutil
import subprocess
import zipfile

import pytest

import installer
import winerun

FUZZ_SECONDS = int(os.environ.get("ZIP_FUZZ_SECONDS", "30"))


@pytest.fixture(scope="module", params=["zip_fuzzer", "zip_fuzzer_tsan", "pe_resources_fuzzer"])
def fuzzer(build_dir, request):
    # scripts/bootstrap installs clang: without it the environment is broken,
    # which must show as a failure, not a skip.
    assert shutil.which("clang++"), "clang++ is missing (scripts/bootstrap installs it)"
    native = os.path.join(build_dir, "native")
    env = dict(os.environ, CC="clang", CXX="clang++")
    if not os.path.exists(os.path.join(native, "CMakeCache.txt")):
        subprocess.run(["cmake", "-S", winerun.REPO, "-B", native, "-DNATIVE_BUILD=ON",
                        "-DCMAKE_BUILD_TYPE=Release"], env=env, check=True,
                       stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", native, "--target", request.param, "-j2"], env=env,
                   check=True, stdout=subprocess.DEVNULL)
    return os.path.join(native, "native", request.param)


def _seeds(corpus):
    """A few small archives that reach every path of the reader."""
    with zipfile.ZipFile(corpus / "plain.zip", "w") as z:
        z.writestr("a/", b"")
        z.writestr("a/b.txt", b"hello " * 40, compress_type=zipfile.ZIP_DEFLATED)
        z.writestr(zipfile.ZipInfo("META-INF/MANIFEST.MF"), b"Manifest-Version: 1.0\n")
        info = zipfile.ZipInfo("c.bin")
        info.extra = b"\x55\x54\x05\x00\x01\x00\x00\x00\x00"
        info.comment = b"entry comment"
        z.writestr(info, bytes(range(256)))
        z.comment = b"archive comment"
    with zipfile.ZipFile(corpus / "stored.zip", "w") as z:
        z.writestr("x", b"x" * 1000)
        z.writestr("Aa", b"1")
        z.writestr("BB", b"2")
    # Names the extraction must order: one name in two cases, an 8.3 alias,
    # a file and then a directory of its name, "./" and "\\" forms.
    with zipfile.ZipFile(corpus / "names.zip", "w") as z:
        for name in ("README", "readme", "ABCDEF~1.TXT", "abcdefghij.txt", "a", "A/b",
                     "./c/d", "e\\f"):
            z.writestr(name, name.encode() * 30, compress_type=zipfile.ZIP_DEFLATED)
    # Names flagged UTF-8 (Python sets the flag for names beyond ASCII).
    with zipfile.ZipFile(corpus / "utf8.zip", "w") as z:
        for name in ("\u65e5\u672c/\u8a9e.txt", "caf\u00e9", "\u0e44\u0e17\u0e22/a"):
            z.writestr(name, name.encode() * 10, compress_type=zipfile.ZIP_DEFLATED)
    (corpus / "appended.exe").write_bytes(b"MZ" + b"\0" * 200 + (corpus / "stored.zip").read_bytes())
    # ZIP64: sizes and offsets in the central headers' ZIP64 extra fields and
    # a ZIP64 end record (Python's limits lowered), once behind an end record
    # whose fields are saturated, as large archives have them.
    saved = zipfile.ZIP64_LIMIT, zipfile.ZIP_FILECOUNT_LIMIT
    zipfile.ZIP64_LIMIT, zipfile.ZIP_FILECOUNT_LIMIT = 64, 1
    try:
        with zipfile.ZipFile(corpus / "zip64.zip", "w") as z:
            z.writestr("a/big.txt", b"zip64 " * 50, compress_type=zipfile.ZIP_DEFLATED)
            z.writestr("b.bin", bytes(range(200)))
    finally:
        zipfile.ZIP64_LIMIT, zipfile.ZIP_FILECOUNT_LIMIT = saved
    data = bytearray((corpus / "zip64.zip").read_bytes())
    end = data.rfind(b"PK\x05\x06")
    data[end + 8:end + 20] = b"\xff" * 12
    (corpus / "zip64-saturated.zip").write_bytes(bytes(data))
    (corpus / "empty.zip").write_bytes(b"PK\x05\x06" + b"\0" * 18)
    # Zstandard entries: one frame, several, and beside deflated ones.
    texts = [("z/one.txt", b"zstd " * 300), ("z/two.bin", bytes(range(256)) * 8),
             ("z/none.txt", b"")]
    (corpus / "zstd.zip").write_bytes(installer.build_payload(texts, compression=installer.ZIP_ZSTD))
    (corpus / "mixed.zip").write_bytes(installer.build_payload(texts,
                                                               compression=installer.ZIP_MIXED))
    # Entries too large for the decoders' buffers: decoded in views, the
    # frames of one at once.
    big = b"class Big { int x; }\n" * 100000
    data = io.BytesIO()
    with zipfile.ZipFile(data, "w") as z:
        z.writestr("big/frames.txt", installer.zstd_frames(big[:1 << 20]) +
                   installer.zstd_frames(big[1 << 20:]))
        z.writestr("big/deflated.txt", big, zipfile.ZIP_DEFLATED)
    (corpus / "large.zip").write_bytes(installer._as_zstd(data.getvalue(), {"big/frames.txt": big}))


def _program_seeds(corpus, build_dir):
    """Both programs cut down to their headers, resources and relocations
    (the sections keep their addresses): what the editor reads and rewrites,
    small enough for the fuzzer to vary quickly."""
    pefile = pytest.importorskip("pefile")
    for name in ("setup.exe", "conrun.exe"):
        program = pefile.PE(os.path.join(build_dir, "test-bin", name))
        kept = [s for s in program.sections if s.Name.rstrip(b"\0") in (b".rsrc", b".reloc")]
        headers = program.OPTIONAL_HEADER.SizeOfHeaders
        data = bytearray(program.__data__[:headers])
        table = program.sections[0].get_file_offset()
        data[table:table + 40 * len(program.sections)] = bytes(40 * len(program.sections))
        body, raw = bytearray(), headers
        alignment = program.OPTIONAL_HEADER.FileAlignment
        for i, section in enumerate(kept):
            header = bytearray(section.__pack__())
            header[20:24] = raw.to_bytes(4, "little")
            data[table + 40 * i:table + 40 * (i + 1)] = header
            raw_data = program.__data__[section.PointerToRawData:
                                        section.PointerToRawData + section.SizeOfRawData]
            body += raw_data + bytes(-len(raw_data) % alignment)
            raw += len(raw_data) + (-len(raw_data) % alignment)
        count = program.FILE_HEADER.get_field_absolute_offset("NumberOfSections")
        data[count:count + 2] = len(kept).to_bytes(2, "little")
        (corpus / name).write_bytes(bytes(data + body))


def test_fuzz_briefly(fuzzer, build_dir, tmp_path):
    corpus = tmp_path / "corpus"
    corpus.mkdir()
    if fuzzer.endswith("pe_resources_fuzzer"):
        _program_seeds(corpus, build_dir)
    else:
        _seeds(corpus)
    done = subprocess.run([fuzzer, "-max_total_time=%d" % FUZZ_SECONDS, "-max_len=65536",
                           "-artifact_prefix=%s/" % tmp_path, "-print_final_stats=1", str(corpus)],
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=FUZZ_SECONDS + 300,
                          env=dict(os.environ, TMPDIR=str(tmp_path)))  # its scratch directory
    log = done.stdout.decode(errors="replace")
    assert done.returncode == 0, log[-4000:]
    assert "stat::number_of_executed_units" in log
