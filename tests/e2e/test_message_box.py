"""Errors and information texts in message boxes, driven through
output_probe.exe and, for the real thing, setup.exe's command-line errors.

Each box is read with boxspy.exe (text, buttons, icon), kept as a screenshot
in build/test-artifacts, told apart by its icon's colour (Wine's error icon
is a red disc, its information icon a blue one) and closed with Return."""
import pytest

from probe import Probe, reports


def test_error_box_has_title_error_icon_one_ok_button(wine, gui):
    script = ["load", "waitwindow", r"status Working\n",
              r"error Error: The temporary directory is full.\n", "mark closed"]
    probe = Probe(wine, gui, script)
    box = probe.expect_box()

    assert box.title == "Setup"
    assert box.text == "Error: The temporary directory is full."  # final line feed gone
    assert box.buttons == ["OK"]
    assert box.has_icon and box.icon_colour == "red"
    assert box.owned  # by the status window
    assert not probe.marked("closed")  # the box blocks the program

    probe.close(box)
    probe.wait_mark("closed")
    result = probe.finish()
    assert result.code == 0
    assert result.out == ""
    assert reports(result, "error") == [len("Error: The temporary directory is full.\n")]


@pytest.mark.parametrize("command", ["info", "notice"])
def test_information_texts_get_information_icon(wine, gui, command):
    """_printf, and _fprintf on a stream other than the standard error."""
    probe = Probe(wine, gui, ["%s Setup is ready.\\n" % command])
    box = probe.expect_box()
    assert box.text == "Setup is ready."
    assert box.buttons == ["OK"]
    assert box.icon_colour == "blue"
    probe.close(box)
    assert probe.finish().code == 0


def test_two_errors_come_as_two_boxes_in_turn(wine, gui):
    script = [r"error Error: 'x' is not a valid argument.\n", "mark between",
              r"error Usage: 'setup.exe' [-options]\n", "mark done"]
    probe = Probe(wine, gui, script)
    first = probe.expect_box()
    assert first.text == "Error: 'x' is not a valid argument."
    assert not probe.marked("between")
    probe.close(first)

    probe.wait_mark("between")
    second = probe.expect_box()
    assert second.text == "Usage: 'setup.exe' [-options]"
    assert second.appeared > first.closed
    probe.close(second)
    probe.wait_mark("done")
    assert probe.finish().code == 0


def test_error_without_line_feed_is_held_and_joined(wine, gui):
    probe = Probe(wine, gui, ["error Error: the file ", "mark held",
                              r"error setup.ini could not be read.\n"])
    probe.wait_mark("held")
    box = probe.expect_box()
    assert box.text == "Error: the file setup.ini could not be read."
    probe.close(box)
    result = probe.finish()
    assert reports(result, "error") == [0, len("setup.ini could not be read.\n")]


def test_setup_command_line_error_shows_error_then_usage(wine, gui):
    """The real program: a command-line error and the usage text are two
    error boxes, the second after the first has been closed."""
    result = wine.run(wine.program("setup.exe"), ["-bogus"], boxes=2)
    assert result.code == 1
    assert [b.title for b in result.boxes] == ["Setup", "Setup"]
    first, second = result.boxes
    assert first.text == "Error: '-bogus' is not a valid argument."
    assert second.text.startswith("Usage: 'setup.exe' [-options]")
    assert not second.text.endswith("\n")
    for box in result.boxes:
        assert box.buttons == ["OK"] and box.icon_colour == "red"
    assert second.appeared > first.closed
    assert result.out == "" and result.err == ""
