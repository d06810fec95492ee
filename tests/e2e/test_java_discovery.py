"""Finding a Java runtime: the payload runtime and the registry search, with
stand-in runtimes and real registry entries (the directory rules of one
runtime are the unit tests')."""
import os
import re
import shutil
import zipfile

import pytest

import runtimes
from launch_support import to_linux
from winerun import to_windows

UNZIPPING = "Extracting Java(TM) 2 Runtime Environment files..."


@pytest.fixture
def probe(wine, build_dir):
    path = os.path.join(build_dir, "support", "java_probe", "java_probe.exe")
    assert os.path.exists(path), "java_probe.exe is not built"

    def run(*args, program=path):
        result = wine.run(program, list(args))
        assert result.code == 0, result
        return result
    return run


def results(result):
    return [line[len("result="):] for line in result.out.splitlines()
            if line.startswith("result=")]


@pytest.fixture
def make(build_dir, tmp_path):
    """Lays out a stand-in runtime under the test's directory; returns the
    Windows form of the directory to register (dest) and of the runtime."""
    def lay_out(name, jdk=False, **kwargs):
        dest = tmp_path / name
        runtime = runtimes.make_runtime(build_dir, str(dest), jdk=jdk, **kwargs)
        return to_windows(str(dest)), to_windows(runtime)
    return lay_out


@pytest.fixture
def home(tmp_path):
    path = tmp_path / "home"
    path.mkdir()
    return path


# --- The registry search -------------------------------------------------------

def test_nothing_registered_and_no_payload_gives_null(probe, registry, home):
    assert results(probe("public", to_windows(str(home)))) == ["(null)"]


@pytest.mark.parametrize("version, accepted", [
    ("1.4.2_10", False), ("1.10", False), ("10", False), ("9.0.4", False),
    ("1.50", True), ("1.6.0_03", True),
])
def test_subkey_names_are_version_tested(probe, registry, make, home, version, accepted):
    dest, runtime = make("rt")
    registry.register("jre", version, dest)
    assert results(probe("public", to_windows(str(home)))) == [runtime if accepted else "(null)"]


def test_development_kit_beats_newer_plain_runtime(probe, registry, make, home):
    plain, _ = make("plain")
    kit, kit_rt = make("kit", jdk=True)
    registry.register("jre", "1.6.0_03", plain)
    registry.register("jdk", "1.5.0_06", kit)
    assert results(probe("public", to_windows(str(home)))) == [kit_rt]


def test_versions_compare_byte_wise(probe, registry, make, home):
    nine, nine_rt = make("nine")
    ten, _ = make("ten")
    registry.register("jre", "1.5.0_10", ten)
    registry.register("jre", "1.5.0_9", nine)
    assert results(probe("public", to_windows(str(home)))) == [nine_rt]


def test_registration_without_runtime_is_skipped(probe, registry, make, home, tmp_path):
    good, good_rt = make("good")
    registry.register("jre", "1.9.0", to_windows(str(tmp_path / "missing")))
    registry.register("jre", "1.5.0", good)
    assert results(probe("public", to_windows(str(home)))) == [good_rt]


@pytest.mark.parametrize("registrations, winner", [
    ([("jdk", 32), ("jdk", 64)], ("jdk", 64)),
    ([("jdk", 64), ("jre", 32)], ("jre", 32)),
    ([("jre", 32), ("jre", 64)], ("jre", 64)),
    ([("jdk", 32), ("jdk", 64), ("jre", 32), ("jre", 64)], ("jre", 64)),
    ([("jre", 64)], ("jre", 64)),
], ids=["jdk-views", "second-key", "jre-views", "all-four", "64-bit-only"])
def test_equal_versions_last_met_wins(probe, registry, make, home, registrations, winner):
    paths = {}
    for kind, view in registrations:
        dest, runtime = make("%s%d" % (kind, view))
        registry.register(kind, "1.6.0_03", dest, view=view)
        paths[(kind, view)] = runtime
    assert results(probe("public", to_windows(str(home)))) == [paths[winner]]


# Registrations (key, version, view) and the version chosen by the build as
# specified and by one that accepts runtimes 9 and later (None: no runtime).
MODERN_CASES = [
    ("newest-feature-wins", [("jre", "1.8.0_401", 32), ("jre9", "11.0.2", 64),
                             ("jdk9", "17.0.10", 64)], "1.8.0_401", "17.0.10"),
    ("ten-beats-nine", [("jre9", "10", 64), ("jre9", "9.0.4", 32)], None, "10"),
    ("old-scheme-numeric", [("jre", "1.5.0_10", 32), ("jre", "1.5.0_9", 32)],
     "1.5.0_9", "1.5.0_10"),
    ("new-key-old-version", [("jdk9", "1.8.0_401", 32)], None, "1.8.0_401"),
    ("old-key-new-version", [("jre", "21", 64)], None, "21"),
]


@pytest.mark.parametrize("registrations, specified, modern", [c[1:] for c in MODERN_CASES],
                         ids=[c[0] for c in MODERN_CASES])
def test_modern_runtimes_only_in_the_build_that_accepts_them(probe, registry, make, home,
                                                             build_dir, registrations, specified,
                                                             modern):
    paths = {}
    for kind, version, view in registrations:
        dest, runtime = make("%s-%s-%d" % (kind, version, view))
        registry.register(kind, version, dest, view=view)
        paths[version] = runtime
    modern_probe = os.path.join(build_dir, "support", "java_probe", "java_probe_modern.exe")
    for program, version in ((None, specified), (modern_probe, modern)):
        args = ("public", to_windows(str(home)))
        found = probe(*args, program=program) if program else probe(*args)
        assert results(found) == [paths[version] if version else "(null)"], program


# --- The payload runtime -------------------------------------------------------

def test_payload_plain_runtime_beats_registered_plain(probe, registry, make, home, build_dir):
    dest, _ = make("registered")
    registry.register("jre", "1.9.9", dest)
    payload = runtimes.make_runtime(build_dir, str(home / "package" / "jre"))
    assert results(probe("public", to_windows(str(home)))) == [to_windows(payload)]


def test_registered_kit_beats_payload_plain(probe, registry, make, home, build_dir):
    kit, kit_rt = make("kit", jdk=True)
    registry.register("jdk", "1.5.0", kit)
    runtimes.make_runtime(build_dir, str(home / "package" / "jre"))
    assert results(probe("public", to_windows(str(home)))) == [kit_rt]


def test_payload_kit_beats_registered_kit(probe, registry, make, home, build_dir):
    kit, _ = make("kit", jdk=True)
    registry.register("jdk", "1.9.9", kit)
    payload = runtimes.make_runtime(build_dir, str(home / "package" / "jre"))
    (home / "package" / "lib").mkdir()
    (home / "package" / "lib" / "tools.jar").write_bytes(b"")
    assert results(probe("public", to_windows(str(home)))) == [to_windows(payload)]


@pytest.fixture
def payload_probe(build_dir, tmp_path):
    """A copy of the probe carrying a payload with a runtime in package/jre."""
    app = tmp_path / "app"
    app.mkdir()
    program = app / "java_probe.exe"
    shutil.copyfile(os.path.join(build_dir, "support", "java_probe", "java_probe.exe"),
                    program)
    standins = runtimes.standin_dir(build_dir)
    with zipfile.ZipFile(program, "a", zipfile.ZIP_DEFLATED) as z:
        z.writestr("tarvisk.class", b"main class")
        z.writestr("package/", b"")
        z.writestr("package/jre/", b"")
        z.writestr("package/jre/bin/", b"")
        z.writestr("package/jre/bin/java.dll", b"")
        z.write(os.path.join(standins, "java.exe"), "package/jre/bin/java.exe")
        z.write(os.path.join(standins, "javaw.exe"), "package/jre/bin/javaw.exe")
        z.writestr("package/jre-extra/readme", b"along with the runtime")
        z.writestr("package/wizard.jar", b"not a runtime file")
    return str(program)


def test_payload_runtime_extracted_once_before_registry(probe, registry, make, home,
                                                        payload_probe):
    kit, kit_rt = make("kit", jdk=True)
    registry.register("jdk", "1.6.0_03", kit)
    win_home = to_windows(str(home))

    first = probe("public", win_home, "twice", program=payload_probe)
    # The registered kit still wins, but the payload was looked for first,
    # and the second call in the same run uses what the first extracted.
    assert results(first) == [kit_rt, kit_rt]
    assert first.out.count(UNZIPPING) == 1
    assert first.out.index(UNZIPPING) < first.out.index("result=")
    assert (home / "package" / "jre" / "bin" / "javaw.exe").exists()
    assert (home / "package" / "jre-extra" / "readme").exists()
    assert not (home / "tarvisk.class").exists()
    assert not (home / "package" / "wizard.jar").exists()

    # A later run finds the extracted runtime without opening the archive:
    # no progress line, and a file changed since is left alone.
    registry.clean()
    marker = home / "package" / "jre" / "bin" / "java.dll"
    marker.write_bytes(b"changed since extraction")
    second = probe("public", win_home, program=payload_probe)
    assert results(second) == [win_home + "\\package\\jre"]
    assert UNZIPPING not in second.out
    assert marker.read_bytes() == b"changed since extraction"


def test_failed_extraction_goes_on_to_registry(probe, registry, make, home, build_dir):
    # The plain probe carries no archive: nothing is extracted or shown.
    dest, runtime = make("rt")
    registry.register("jre", "1.6.0_03", dest)
    result = probe("public", to_windows(str(home)))
    assert results(result) == [runtime]
    assert UNZIPPING not in result.out
    assert not (home / "package").exists()


# --- Where else runtimes are, when modern runtimes are accepted -------------------

MODERN_PROBE = os.path.join("support", "java_probe", "java_probe_modern.exe")
STANDARD_PROBE = os.path.join("support", "java_probe", "java_probe.exe")

# (id, key below HKLM or HKCU, the value that holds the directory, view)
VENDOR_CASES = [
    ("temurin", r"HKLM\Software\Eclipse Adoptium\JDK\17.0.2.8\hotspot\MSI", "Path", 64),
    ("temurin-jre-32", r"HKLM\Software\Eclipse Adoptium\JRE\17.0.2.8\hotspot\MSI", "Path", 32),
    ("early-temurin", r"HKLM\Software\Eclipse Foundation\JDK\11.0.12.7\hotspot\MSI", "Path", 64),
    ("adoptopenjdk", r"HKLM\Software\AdoptOpenJDK\JDK\11.0.11.9\hotspot\MSI", "Path", 64),
    ("adoptopenjdk-openj9", r"HKLM\Software\AdoptOpenJDK\JRE\11.0.11.9\openj9\MSI", "Path", 64),
    ("zulu", r"HKLM\Software\Azul Systems\Zulu\zulu-17", "InstallationPath", 64),
    ("liberica", r"HKLM\Software\BellSoft\Liberica\Liberica JDK 17", "InstallationPath", 64),
    ("microsoft", r"HKLM\Software\Microsoft\JDK\17.0.2.8\hotspot\MSI", "Path", 64),
    ("semeru", r"HKLM\Software\Semeru\JDK\17.0.2.8\openj9\MSI", "Path", 64),
    ("per-user", r"HKCU\Software\Eclipse Adoptium\JDK\17.0.2.8\hotspot\MSI", "Path", 64),
]


def public_result(wine, build_dir, home, probe=MODERN_PROBE, env=None):
    found = wine.run(os.path.join(build_dir, probe), ["public", to_windows(str(home))], env=env)
    assert found.code == 0, found
    return results(found)


@pytest.mark.parametrize("key, value, view", [c[1:] for c in VENDOR_CASES],
                         ids=[c[0] for c in VENDOR_CASES])
def test_vendor_registrations_are_found_when_modern_runtimes_are_accepted(
        wine, build_dir, vendor_registry, make, home, key, value, view):
    dest, runtime = make("vendor", version="17.0.2")
    vendor_registry.register_vendor(key, value, dest + "\\", view=view)  # installers end it so
    assert public_result(wine, build_dir, home) == [runtime]
    assert public_result(wine, build_dir, home, STANDARD_PROBE) == ["(null)"]


def test_java_home_then_path_and_no_shim(wine, build_dir, vendor_registry, make, home, tmp_path):
    _, by_home = make("by-java-home", version="21")
    _, by_path = make("by-path", version="17.0.2")
    # Folders of a java.exe that merely forwards: one named as such, and one
    # called bin that lies in no runtime.
    shims = [tmp_path / "javapath", tmp_path / "forwarder" / "bin"]
    for shim in shims:
        shim.mkdir(parents=True)
        shutil.copyfile(os.path.join(runtimes.standin_dir(build_dir), "java.exe"),
                        shim / "java.exe")
    path = {"WINEPATH": ";".join(to_windows(str(shim)) for shim in shims) + ";" + by_path +
            "\\bin"}
    assert public_result(wine, build_dir, home, env=path) == [by_path]
    both = dict(path, JAVA_HOME=by_home)
    assert public_result(wine, build_dir, home, env=both) == [by_home]
    assert public_result(wine, build_dir, home, STANDARD_PROBE, env=both) == ["(null)"]


def test_places_are_searched_in_order_and_traced(launcher, vendor_registry, make, build_dir,
                                                 tmp_path):
    """Two candidates at once: the earlier place wins; the trace names every
    place looked at, in order, and why each candidate went as it did."""
    _, temurin = make("temurin", version="11.0.2")
    _, older = make("temurin-older", version="11.0.1")
    _, zulu = make("zulu", version="21")
    _, by_home = make("by-java-home", version="21")
    vendor_registry.register_vendor(r"HKLM\Software\Azul Systems\Zulu\zulu-21",
                                    "InstallationPath", zulu)
    # Within one place the newest wins.
    vendor_registry.register_vendor(r"HKLM\Software\Eclipse Adoptium\JDK\11.0.1.1\hotspot\MSI",
                                    "Path", older)
    vendor_registry.register_vendor(r"HKLM\Software\Eclipse Adoptium\JDK\11.0.2.9\hotspot\MSI",
                                    "Path", temurin)
    trace = tmp_path / "trace.txt"
    run = launcher.run(launcher.installer(variant="test-bin-modern", runtime=False),
                       env={"JAVA_HOME": by_home, "SETUP_TRACE": to_windows(str(trace))})
    assert run.code == 0, run.result
    assert run.wizard["argv"][0].startswith(temurin + "\\bin\\"), run.wizard
    text = trace.read_text(encoding="cp1252")
    places = ["Software\\JavaSoft\\Java Development Kit", "Software\\JavaSoft\\JDK",
              "Software\\Eclipse Adoptium\\JDK", "runtime: chose " + temurin]
    at = [text.find(p) for p in places]
    assert -1 not in at and at == sorted(at), (at, text)
    assert "Azul" not in text  # found before it was needed
    assert "runtime: passed over %s, version 11.0.1" % older in text


def test_release_file_gives_the_version_without_a_process(wine, build_dir, vendor_registry,
                                                          make, home):
    # The report alone would be refused (1.4): the release file decides.
    dest, runtime = make("released", version="1.4.2_19")
    with open(os.path.join(to_linux(runtime), "release"), "w") as f:
        f.write('IMPLEMENTOR="Stand-in"\nJAVA_VERSION="17.0.2"\nOS_ARCH="x86_64"\n')
    vendor_registry.register_vendor(r"HKLM\Software\Microsoft\JDK\17.0.2.8\hotspot\MSI", "Path",
                                    dest)
    assert public_result(wine, build_dir, home) == [runtime]
    asked = os.path.join(to_linux(runtime), "bin", "version-asked.txt")
    assert not os.path.exists(asked)

    # Without a usable JAVA_VERSION the runtime is asked, and refused.
    with open(os.path.join(to_linux(runtime), "release"), "w") as f:
        f.write('JAVA_VERSION=""\n')
    assert public_result(wine, build_dir, home) == ["(null)"]
    assert os.path.exists(asked)


# Places the user controls, each naming a runtime the test made (and so the
# user's, under Wine) that has no release file: choosing it would start it.
USERS_PLACES = {
    "JAVA_HOME": lambda registry, dest, runtime: {"JAVA_HOME": runtime},
    "PATH": lambda registry, dest, runtime: {"WINEPATH": runtime + "\\bin"},
    "per-user key": lambda registry, dest, runtime: registry.register_vendor(
        r"HKCU\Software\Eclipse Adoptium\JDK\17.0.2.8\hotspot\MSI", "Path", dest) or {},
}


@pytest.mark.parametrize("token", ["limited", "elevated", "system"])
@pytest.mark.parametrize("place", sorted(USERS_PLACES))
def test_elevated_and_system_runs_never_start_a_runtime_the_user_controls(
        launcher, vendor_registry, make, tmp_path, place, token):
    dest, runtime = make("users", version="17.0.2")
    env = USERS_PLACES[place](vendor_registry, dest, runtime)
    trace = tmp_path / "trace.txt"
    env.update({"SETUP_TRACE": to_windows(str(trace)), "LAUNCHER_TEST_TOKEN": token})
    run = launcher.run(launcher.installer(variant="test-bin-modern", runtime=False), env=env)
    asked = os.path.join(to_linux(runtime), "bin", "version-asked.txt")
    text = trace.read_text(encoding="cp1252")
    if token == "limited":
        assert run.code == 0, run.result
        assert run.wizard["argv"][0].startswith(runtime + "\\bin\\"), run.wizard
        return
    assert run.code == 1, run.result
    assert not os.path.exists(asked), "the refused runtime was started"
    assert not run.records
    assert re.search(r"refused, not started: the run's account is %s, and %s is owned by S-1-5-21-"
                     % (token, re.escape(runtime)), text), text
