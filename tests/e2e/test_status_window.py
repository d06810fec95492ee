"""The status window on an X display, driven through output_probe.exe (the
sources and resources of setup.exe): where the text appears, how held texts
join, tabs and "&", growth, hiding, the window thread's failed starts, and
the text with its progress bar at 100 % and 200 % in each language.

Screenshots are kept in build/test-artifacts/<test>-<label>.png."""
import pytest

from probe import Probe, reports, run_script

SCREEN_CENTRE = (512, 384)  # the 1024x768 Xvfb screen


def show_in_turn(wine, gui, texts, lc_all="en_US.UTF-8", before=()):
    """Shows each status text in turn; returns a Shown for each one, and the
    probe's Result."""
    script = list(before) + ["load", "waitwindow"]
    for i, text in enumerate(texts):
        script += ["status " + text, "mark shown%d" % i, "waitfile next%d" % i]
    probe = Probe(wine, gui, script, lc_all)
    seen = []
    for i in range(len(texts)):
        probe.wait_mark("shown%d" % i)
        seen.append(probe.shown("text%d" % i))
        probe.go("next%d" % i)
    return seen, probe.finish()


def ink_centre(image):
    left, top, right, bottom = image.ink()
    return ((left + right) / 2.0, (top + bottom) / 2.0)


def test_status_text_appears_centred_in_a_centred_window(wine, gui):
    (shown,), result = show_in_turn(wine, gui, [r"Checking available disk space...\n"])
    geometry, image = shown.geometry, shown.image

    assert shown.title == "Setup"
    assert abs(geometry.centre[0] - SCREEN_CENTRE[0]) <= 1
    assert abs(geometry.centre[1] - SCREEN_CENTRE[1]) <= 1
    x, y = ink_centre(image)
    assert abs(x - geometry.width / 2.0) <= 2, image.ink()
    assert abs(y - geometry.height / 2.0) <= 4, image.ink()

    assert result.code == 0
    assert result.out == ""  # nothing went to the console
    assert reports(result, "status") == [len("Checking available disk space...")]


def test_text_without_line_feed_is_held_and_joined_to_the_next(wine, gui):
    script = ["load", "waitwindow", "status Checking ", "report", "mark held", "waitfile go0",
              r"status available disk space...\n", "mark joined", "waitfile go1",
              r"status Checking available disk space...\n", "mark whole", "waitfile go2"]
    probe = Probe(wine, gui, script)
    probe.wait_mark("held")
    assert gui.status_windows("output_probe.exe") == []  # nothing shown yet
    probe.go("go0")
    probe.wait_mark("joined")
    joined = probe.shown("joined").image
    probe.go("go1")
    probe.wait_mark("whole")
    whole = probe.shown("whole").image
    probe.go("go2")
    result = probe.finish()

    assert joined.rgb == whole.rgb
    assert reports(result, "status") == [0, len("Checking available disk space..."),
                                         len("Checking available disk space...")]
    assert "visible=0" in result.err
    assert result.out == ""


def ink_width(image):
    left, _, right, _ = image.ink()
    return right - left


def test_tabs_expand_and_ampersand_shows_literally(wine, gui):
    texts = [r"A B\n", r"A\tB\n", r"ab\n", r"a&b\n"]
    seen, result = show_in_turn(wine, gui, texts)
    spaced, tabbed, plain, amp = (shown.image for shown in seen)

    # A tab reaches the next tab stop (eight average characters), far wider
    # than a space.
    assert ink_width(tabbed) >= ink_width(spaced) + 20
    # "&" is drawn, not taken as a prefix that underlines the next letter.
    assert ink_width(amp) >= ink_width(plain) + 4
    assert amp.ink()[3] == plain.ink()[3], "no underline below the text"
    assert result.code == 0


def test_large_text_grows_window_symmetrically_and_size_stays(wine, gui):
    texts = [r"Short\n",
             "W" * 90 + r"\n",
             r"\n".join("Line %d" % i for i in range(1, 11)) + r"\n",
             r"Short\n"]
    seen, result = show_in_turn(wine, gui, texts)
    first, wide, tall, last = (shown.geometry for shown in seen)
    wide_image, tall_image = seen[1].image, seen[2].image

    assert wide.width > first.width and wide.height == first.height
    assert tall.height > wide.height and tall.width == wide.width
    for grown in (wide, tall):
        assert abs(grown.centre[0] - first.centre[0]) <= 0.5, (first, grown)
        assert abs(grown.centre[1] - first.centre[1]) <= 0.5, (first, grown)
    assert last == tall  # a short text keeps the larger window

    # The whole text is inside the grown window, within its margins; the
    # window grew just enough for the widest text and its two margins of 10
    # (rounded up to an even growth, and the letters' side bearings).
    left, top, right, bottom = wide_image.ink()
    assert left >= 8 and right <= wide.width - 8
    assert 20 <= wide.width - (right - left + 1) <= 24, (wide, wide_image.ink())
    left, top, right, bottom = tall_image.ink()
    assert top >= 8 and bottom <= tall.height - 8
    assert result.code == 0


def test_text_ending_in_two_line_feeds_keeps_one(wine, gui):
    seen, result = show_in_turn(wine, gui, [r"abc\n", r"abc\n\n"])
    # Only the final line feed goes: the window gets "abc\n".
    assert reports(result, "status") == [3, 4]
    one, two = (shown.image.ink() for shown in seen)
    # Windows measures the kept line feed as an empty last line, so the text
    # sits higher; Wine's DrawTextA ends the block at a final line feed.
    # Either way the text is drawn, never lower than alone.
    assert two is not None and two[1] <= one[1], (one, two)


def test_hidden_window_shows_again_with_the_next_text(wine, gui):
    script = ["load", "waitwindow", r"status Working\n", "mark shown", "waitfile go0",
              "hide", "report", "mark hidden", "waitfile go1",
              r"status Cleaning up\n", "mark again", "waitfile go2"]
    probe = Probe(wine, gui, script)
    probe.wait_mark("shown")
    probe.status_window()
    probe.go("go0")
    probe.wait_mark("hidden")
    assert gui.status_windows("output_probe.exe") == []
    probe.go("go1")
    probe.wait_mark("again")
    probe.shown("again")
    probe.go("go2")
    result = probe.finish()
    assert "window=1 visible=0" in result.err
    assert result.code == 0


def test_hide_right_after_a_text_stays_hidden(wine, gui):
    """The wizard's text, then at once the hide once the wizard runs: the
    window must not come back with the text the window thread takes later."""
    result = run_script(wine, gui, ["load", "waitwindow", r"status Starting\n", "hide",
                                    "drain", "report"])
    assert result.code == 0
    assert "window=1 visible=0" in result.err, result.err


def test_console_mode_hide_starts_thread_but_window_stays_hidden(wine, gui):
    result = run_script(wine, gui, ["console", "hide", "waitwindow", r"status Working\n",
                                    "report"])
    assert result.code == 0
    assert result.out == "Working\n"
    assert "window=1 visible=0" in result.err


@pytest.mark.parametrize("fault", ["thread", "priority", "priority-late"])
def test_failed_start_uses_console_and_next_output_retries(wine, gui, fault):
    """A start that fails (no thread, or a thread whose priority cannot be
    raised, before or after it has created its window) sends that output to
    the console, leaves no window behind and does not hang; the next output
    starts the window thread again."""
    script = ["failstart " + fault, r"status First\n", "report", "load", "waitwindow",
              r"status Second\n", "mark shown", "waitfile go"]
    probe = Probe(wine, gui, script, timeout=60)
    probe.wait_mark("shown")
    probe.shown("second")
    probe.go("go")
    result = probe.finish()

    assert result.code == 0
    assert result.out == "First\n"
    assert "window=0 visible=0" in result.err.splitlines()[1]
    assert reports(result, "load") == [1]
    assert reports(result, "status")[1] == len("Second")


@pytest.fixture
def display_dpi(wine):
    """Sets the display's DPI (Wine's LogPixels) for the programs started
    after the call; the prefix's own (96) comes back afterwards."""
    key = r"HKCU\Control Panel\Desktop"
    yield lambda dpi: wine.reg("add", key, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(dpi))
    wine.reg("delete", key, "/v", "LogPixels")


@pytest.mark.parametrize("lc_all", ["en_US.UTF-8", "ja_JP.UTF-8", "zh_CN.UTF-8"])
def test_text_and_bar_scale_with_the_display_and_nothing_is_cut(wine, gui, display_dpi, lc_all):
    seen = {}
    for dpi in (96, 192):
        display_dpi(dpi)
        probe = Probe(wine, gui, ["load", "waitwindow", "progresstotal 1000",
                                  "progressstep unzipping_files", "progressadd 420", "waitshown",
                                  "mark shown", "waitfile go"], lc_all)
        probe.wait_mark("shown")
        seen[dpi] = probe.shown("at-%d-dpi" % dpi)
        probe.go("go")
        assert probe.finish().code == 0
    for dpi, shown in seen.items():
        width, height = shown.geometry.width, shown.geometry.height
        margin = 10 * dpi // 96
        left, top, right, bottom = shown.image.ink()
        fill, bar_top = shown.image.progress_bar()
        # The whole text inside the margins and above the bar, which shows
        # its share.
        assert left >= margin - 2 and right <= width - margin + 2, (dpi, shown.image.ink())
        assert top >= margin - 2 and bottom < bar_top, (dpi, shown.image.ink(), bar_top)
        assert abs(fill - 0.42) < 0.02, (dpi, fill)
    # At 200 % the window, the text and the bar's place are twice as large.
    small, large = seen[96], seen[192]
    for measure in (lambda s: s.geometry.width, lambda s: s.geometry.height,
                    lambda s: s.image.ink()[2] - s.image.ink()[0],
                    lambda s: s.image.progress_bar()[1]):
        assert 1.7 <= measure(large) / measure(small) <= 2.3, (small.geometry, large.geometry)
