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


def pytest_addoption(parser):
    parser.addoption("--build-dir", default=os.path.join(winerun.REPO, "build"),
                     help="the CMake build tree holding bin/ and test-bin/")


@pytest.fixture(scope="session")
def build_dir(request):
    return os.path.abspath(request.config.getoption("--build-dir"))


@pytest.fixture(scope="session")
def wine(build_dir):
    session = winerun.WineSession(build_dir)
    session.start()
    yield session


@pytest.fixture(scope="session")
def gui(wine, build_dir):
    """An X display (Xvfb) for GUI tests, with screenshot and window helpers."""
    display = winerun.XDisplay.ensure(os.path.join(build_dir, "test-artifacts"))
    yield display
