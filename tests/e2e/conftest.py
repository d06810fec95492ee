"""Black-box harness: runs the built programs under Wine.

Every test gets the `wine` fixture (see winerun.py). The suite uses the Wine
prefix of the build tree (created once, 64-bit with 32-bit support) and keeps
one wineserver running for the whole run.
"""
import os
import sys

import pytest

sys.path.insert(0, os.path.dirname(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "support"))

import winerun  # noqa: E402
from java_registry import registry, vendor_registry  # noqa: E402,F401 (fixtures for every test)
from launch_support import catalogue, launcher, standin  # noqa: E402,F401 (the same)


def pytest_addoption(parser):
    parser.addoption("--build-dir", default=os.path.join(winerun.REPO, "build"),
                     help="the CMake build tree holding bin/ and test-bin/")
    parser.addoption("--shipped-dir", default=None,
                     help="the build tree of the shipped 32-bit programs, when the "
                          "programs that run are a 64-bit build (default: --build-dir)")


@pytest.fixture(scope="session")
def build_dir(request):
    return os.path.abspath(request.config.getoption("--build-dir"))


@pytest.fixture(scope="session")
def wine(build_dir, request):
    shipped = request.config.getoption("--shipped-dir")
    session = winerun.WineSession(build_dir, os.path.abspath(shipped) if shipped else None)
    session.start()
    yield session


@pytest.fixture(scope="session")
def x_display(wine, build_dir):
    if not winerun.XDisplay.available():
        pytest.skip("Xvfb and xdotool are needed for GUI tests")
    return winerun.XDisplay.ensure(os.path.join(build_dir, "test-artifacts"))


@pytest.fixture
def gui(x_display, request):
    """An X display (Xvfb) for GUI tests, with window, screenshot and message
    box helpers (winerun.XDisplay); screenshots are named after the test.
    Afterwards every probe the test started is ended, and a message box still
    open is closed and fails the test."""
    x_display.test_name = request.node.name
    x_display.probes = []
    yield x_display
    for probe in x_display.probes:
        probe.kill()
    left = x_display.any_message_boxes()
    for window in left:
        x_display.screenshot("left-open", window)
        x_display.close_box(window)
    assert not left, "message boxes left open: %r" % left
