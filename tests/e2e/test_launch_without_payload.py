"""A program without an appended archive: the application home is its own
directory, which holds what a payload would (main class file, libraries,
a runtime under package\\jre). The wizard runs there, the class path points
there, and the cleanup leaves it alone; only 100000 bytes of room are
required."""
import os
import shutil

import pytest

import installer
from launch_support import PROGRAMS, expected_options, expected_output, to_linux
from winerun import to_windows


def lay_out_home(launcher, program):
    """A directory with the program and, beside it, what the payload would
    carry; returns the program's path."""
    home = os.path.join(launcher.where, "home")
    os.makedirs(home)
    shutil.copyfile(launcher.wine.program(program, "test-bin"), os.path.join(home, program))
    runtime = launcher.runtime("runtime-source")
    for name, data in installer.payload_members(runtime=runtime, build_dir=launcher.build_dir):
        path = os.path.join(home, *name.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    return os.path.join(home, program)


def files_below(directory):
    return sorted(os.path.relpath(os.path.join(top, name), directory)
                  for top, dirs, names in os.walk(directory) for name in names + dirs)


@pytest.mark.parametrize("program", PROGRAMS)
def test_own_directory_is_the_application_home(launcher, catalogue, gui, program):
    path = lay_out_home(launcher, program)
    home = os.path.dirname(path)
    before = files_below(home)
    args = ["-silent", to_windows(os.path.join(launcher.where, "state.txt"))] \
        if program == "setup.exe" else []
    run = launcher.run(path, args)

    assert run.code == 0, run.result
    wizard = run.wizard
    assert wizard["cwd"] == to_windows(home)
    assert wizard["argv"][0] == to_windows(os.path.join(home, "package", "jre", "bin",
                                                        "java.exe"))
    working = wizard["options"][0][len("-Djava.io.tmpdir="):]
    assert wizard["options"] == expected_options(launcher.build_dir, working,
                                                 to_windows(run.tmp_dir),
                                                 home=to_windows(home))
    assert wizard["main_class_file"] is True
    assert wizard["path"].startswith(to_windows(home) + "\\package;")
    # Nothing to extract; nothing removed from the home; the (empty)
    # working directory is gone.
    keys = ["checking_disk_space", "checking_java", "executing_java", "performing_cleanup"]
    assert run.out == expected_output(catalogue, keys, 0), run.out
    assert files_below(home) == before
    assert not os.path.exists(to_linux(working))
    assert run.leftovers() == []


@pytest.mark.parametrize("free,goes_on", [(100000, True), (99999, False)],
                         ids=["exactly_the_margin", "one_byte_short"])
def test_only_the_margin_is_required(launcher, catalogue, free, goes_on):
    path = lay_out_home(launcher, "conrun.exe")
    run = launcher.run(path, env={"LAUNCHER_TEST_FREE_BYTES": str(free)})
    if goes_on:
        assert run.code == 0, run.result
        assert len(run.records) == 1
        return
    assert run.code == 1, run.result
    assert run.out == (catalogue.text("checking_disk_space")
                       + catalogue.format("no_space_system_tmpdir", to_windows(run.tmp_dir),
                                          100000, 99999)
                       + catalogue.format("no_writable_system_tmpdir_usage", "conrun.exe"))
    # Empty: a run proves it is alive without a file of its own there.
    assert os.listdir(run.left_working_directory()) == []
