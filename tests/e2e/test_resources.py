"""The programs' resources, read from the built executables: setup.exe
carries the status window's dialog and the icon group, conrun.exe nothing."""
import os
import subprocess
import sys

import pytest

import peres

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
ENGLISH_US = 1033


@pytest.fixture(scope="module")
def setup_resources(wine):
    return peres.resources(wine.shipped("setup.exe"))


def test_setup_carries_exactly_the_dialog_and_the_icon(setup_resources):
    kinds = sorted({(t, n) for t, n, _ in setup_resources if t != peres.RT_ICON})
    assert kinds == [(peres.RT_DIALOG, 103), (peres.RT_GROUP_ICON, 101)]
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


def test_conrun_carries_no_resources(wine):
    assert peres.resources(wine.shipped("conrun.exe")) == {}


def test_committed_icon_is_what_its_script_draws(tmp_path):
    out = tmp_path / "setup.ico"
    subprocess.run([sys.executable, os.path.join(REPO, "ui", "make_setup_icon.py"), str(out)],
                   check=True)
    with open(os.path.join(REPO, "ui", "setup.ico"), "rb") as committed:
        assert out.read_bytes() == committed.read()
