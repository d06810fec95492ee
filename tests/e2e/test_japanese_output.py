"""Japanese texts under LC_ALL=ja_JP.UTF-8 (thread locale 0x0411, code page
932) in the status window and in message boxes: catalogue texts as the
launcher fetches them, compared with the tests' own texts, and texts handed
over in code page 932 through a script file. Screenshots in
build/test-artifacts show the rendering."""
import expected_texts
from probe import Probe

JA = "ja_JP.UTF-8"
TITLE = "セットアップ"


def catalogue_text(key):
    return expected_texts.text(key, JA)


def test_status_window_shows_japanese_texts(wine, gui):
    # "一" (U+4E00) is one horizontal stroke in every CJK font: drawn right,
    # a row of them is a thin line. Read in another code page its two bytes
    # (0x88 0xEA in code page 932) would become accented Latin letters.
    strokes = "一" * 8
    # The catalogue's text, then the text it must be handed over directly:
    # both must come out alike, pixel for pixel.
    checking = catalogue_text("checking_java").replace("\n", "\\n")
    script = ["load", "waitwindow", "statuskey checking_java", "mark catalogue", "waitfile go0",
              "status %s" % checking, "mark handed", "waitfile go1",
              "status %s\\n" % strokes, "mark strokes", "waitfile go2"]
    probe = Probe(wine, gui, script, lc_all=JA)
    probe.wait_mark("catalogue")
    catalogue = probe.shown("catalogue")
    probe.go("go0")
    probe.wait_mark("handed")
    handed = probe.shown("handed")
    probe.go("go1")
    probe.wait_mark("strokes")
    line = probe.shown("strokes").image.ink()
    probe.go("go2")
    result = probe.finish()

    assert catalogue.title == TITLE
    assert catalogue.image.ink() is not None
    assert (catalogue.image.width, catalogue.image.height) == (handed.image.width,
                                                               handed.image.height)
    assert catalogue.image.rgb == handed.image.rgb
    left, top, right, bottom = line
    assert bottom - top <= 3, line
    assert right - left >= 8 * 8, line
    assert result.code == 0 and result.out == ""


def test_message_box_shows_catalogue_text_in_japanese(wine, gui):
    probe = Probe(wine, gui, ["errorkey no_resolve_exec_path"], lc_all=JA)
    box = probe.expect_box()
    assert box.title == TITLE
    assert box.text == catalogue_text("no_resolve_exec_path").rstrip("\n")
    assert box.buttons and box.icon_colour == "red"
    probe.close(box)
    assert probe.finish().code == 0


def test_message_box_shows_japanese_text_handed_in_code_page_932(wine, gui):
    text = "エラー: 一時ディレクトリに書き込めません。"
    probe = Probe(wine, gui, ["load", "waitwindow", "status %s\\n" % "展開しています...",
                              "error %s\\n" % text], lc_all=JA)
    box = probe.expect_box()
    assert box.title == TITLE
    assert box.text == text
    probe.close(box)
    assert probe.finish().code == 0


def test_setup_command_line_error_in_japanese(wine, gui):
    result = wine.run(wine.program("setup.exe"), ["-bogus"], lc_all=JA, boxes=2)
    assert result.code == 1
    assert [b.title for b in result.boxes] == [TITLE, TITLE]
    expected = catalogue_text("no_valid_arg").replace("%s", "-bogus").rstrip("\n")
    assert result.boxes[0].text == expected
