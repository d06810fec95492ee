"""The programs' resources, read from the built executables: setup.exe
carries the status window's dialog and the icon group; both carry the version
resource and the manifest, made from the build's product values."""
import os
import re
import subprocess
import sys

import pefile
import pytest

import peres

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
ENGLISH_US = 1033
RT_VERSION, RT_MANIFEST = 16, 24
WINDOWS_10 = "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"


@pytest.fixture(scope="module")
def setup_resources(wine):
    return peres.resources(wine.shipped("setup.exe"))


def test_setup_carries_exactly_the_dialog_the_icon_version_and_manifest(setup_resources):
    kinds = sorted({(t, n) for t, n, _ in setup_resources if t != peres.RT_ICON})
    assert kinds == [(peres.RT_DIALOG, 103), (peres.RT_GROUP_ICON, 101), (RT_VERSION, 1),
                     (RT_MANIFEST, 1)]
    assert {lang for _, _, lang in setup_resources} == {ENGLISH_US}


def test_status_dialog_template(setup_resources):
    dialog = peres.dialog(setup_resources[(peres.RT_DIALOG, 103, ENGLISH_US)])
    # WS_POPUP | WS_BORDER | DS_CENTER | DS_SETFONT | DS_3DLOOK, nothing more:
    # no WS_VISIBLE, no caption or system menu.
    assert dialog["style"] == 0x80800844
    assert dialog["ex_style"] == 0
    assert dialog["items"] == 0
    assert dialog["rect"] == (0, 0, 200, 50)
    assert dialog["menu"] == "" and dialog["window_class"] == "" and dialog["title"] == ""
    assert (dialog["point_size"], dialog["face"]) == (8, "MS Sans Serif")


def test_icon_group_has_the_seven_images(setup_resources):
    entries = peres.icon_group(setup_resources[(peres.RT_GROUP_ICON, 101, ENGLISH_US)])
    assert [(e["width"], e["height"], e["bits"]) for e in entries] == [
        (16, 16, 4), (16, 16, 8), (24, 24, 4), (32, 32, 4), (32, 32, 8), (48, 48, 4), (48, 48, 8)]
    for entry in entries:
        image = setup_resources[(peres.RT_ICON, entry["ordinal"], ENGLISH_US)]
        assert len(image) == entry["size"]
        # a BMP-based image: BITMAPINFOHEADER, doubled height for the mask
        header_size, width, height = (int.from_bytes(image[i:i + 4], "little", signed=True)
                                      for i in (0, 4, 8))
        assert (header_size, width, height) == (40, entry["width"], 2 * entry["height"])
        assert entry["colours"] == (16 if entry["bits"] == 4 else 0)


def test_conrun_carries_only_version_and_manifest(wine):
    assert sorted(peres.resources(wine.shipped("conrun.exe"))) == [
        (RT_VERSION, 1, ENGLISH_US), (RT_MANIFEST, 1, ENGLISH_US)]


def cache_value(wine, name):
    with open(os.path.join(os.path.dirname(wine.shipped("")), "..", "CMakeCache.txt"),
              encoding="utf-8") as f:
        match = re.search(r"^%s:\w+=(.*)$" % name, f.read(), re.M)
    assert match, name
    return match.group(1)


@pytest.mark.parametrize("program", ["setup", "conrun"])
def test_version_resource_carries_the_product_values(wine, program):
    pe = pefile.PE(wine.shipped(program + ".exe"))
    strings = {}
    for info in pe.FileInfo[0]:
        for table in getattr(info, "StringTable", []):
            strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
    version = cache_value(wine, "PRODUCT_VERSION")
    assert strings == {
        "CompanyName": cache_value(wine, "PRODUCT_COMPANY"),
        "FileDescription": cache_value(wine, "PRODUCT_DESCRIPTION"),
        "FileVersion": version, "ProductVersion": version,
        "InternalName": program, "OriginalFilename": program + ".exe",
        "LegalCopyright": cache_value(wine, "PRODUCT_COPYRIGHT"),
        "ProductName": cache_value(wine, "PRODUCT_NAME"),
    }
    numbers = [int(n) for n in version.split(".")]
    fixed = pe.VS_FIXEDFILEINFO[0]
    assert [fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF,
            fixed.FileVersionLS >> 16, fixed.FileVersionLS & 0xFFFF] == numbers


@pytest.mark.parametrize("program", ["setup", "conrun"])
def test_manifest_declares_windows_versions_and_dpi_but_no_execution_level(wine, program):
    manifest = peres.resources(wine.shipped(program + ".exe"))[(RT_MANIFEST, 1, ENGLISH_US)]
    text = manifest.decode("utf-8")
    assert 'supportedOS Id="%s"' % WINDOWS_10 in text
    assert re.search(r"<dpiAware[^>]*>true</dpiAware>", text)
    # Undeclared, Windows elevates a program called setup as an installer.
    assert "requestedExecutionLevel" not in text


def embedded(tree):
    """The version texts and the manifest of a program linked from the
    version resource that the configured `tree` generated (what the build
    embeds in conrun.exe), read back from that program."""
    res, exe = tree / "version.res", tree / "version.exe"
    subprocess.run(["i686-w64-mingw32-windres", "-O", "coff", "-i",
                    str(tree / "generated" / "version_conrun.rc"), "-o", str(res)], check=True)
    subprocess.run(["i686-w64-mingw32-gcc", "-x", "c", "-", "-x", "none", str(res), "-o",
                    str(exe)],
                   input=b"int main(void) { return 0; }\n", check=True)
    pe = pefile.PE(str(exe))
    texts = {}
    for info in pe.FileInfo[0]:
        for table in getattr(info, "StringTable", []):
            texts.update({k.decode(): v.decode() for k, v in table.entries.items()})
    return texts, peres.resources(str(exe))[(RT_MANIFEST, 1, ENGLISH_US)].decode("utf-8")


@pytest.mark.parametrize("variable, value, refusal", [
    ("PRODUCT_EXECUTION_LEVEL", "requireAdministrator", None),
    ("PRODUCT_EXECUTION_LEVEL", "asInvoker", None),
    ("PRODUCT_NAME", "Acme Installer", None),
    ("PRODUCT_EXECUTION_LEVEL", "highestAvailable", "PRODUCT_EXECUTION_LEVEL must be"),
    # Every class-path entry lies in the application home.
    ("PRODUCT_CLASSPATH_ELEMENT", r"\\package\\a.jar;C:\\evil.jar", "outside"),
    ("PRODUCT_CLASSPATH_ELEMENT", r"\\package\\a.jar;\\\\server\\share\\b.jar", "outside"),
    ("PRODUCT_CLASSPATH_ELEMENT", r"\\package\\..\\..\\c.jar", "outside"),
], ids=["require-admin", "as-invoker", "product-name", "highest-available", "drive", "share",
        "dot-dot"])
def test_configure_takes_product_choices_and_refuses_bad_ones(tmp_path, variable, value,
                                                              refusal):
    tree = tmp_path / "tree"
    result = subprocess.run(["cmake", "-S", REPO, "-B", str(tree), "-DBUILD_TESTING=OFF",
                             "-D%s=%s" % (variable, value)],
                            capture_output=True, text=True)
    if refusal:
        assert result.returncode != 0
        assert refusal in result.stderr, result.stderr
        return
    assert result.returncode == 0, result.stderr
    # What a program built from this tree carries, not the generated files.
    texts, manifest = embedded(tree)
    if variable == "PRODUCT_NAME":
        assert texts["ProductName"] == value
        assert "requestedExecutionLevel" not in manifest
    else:
        assert '<requestedExecutionLevel level="%s" uiAccess="false"/>' % value in manifest


def test_committed_icon_is_what_its_script_draws(tmp_path):
    out = tmp_path / "setup.ico"
    subprocess.run([sys.executable, os.path.join(REPO, "ui", "make_setup_icon.py"), str(out)],
                   check=True)
    with open(os.path.join(REPO, "ui", "setup.ico"), "rb") as committed:
        assert out.read_bytes() == committed.read()
