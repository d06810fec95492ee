"""Java runtime registrations in the Wine prefix's registry, as Java
installers make them: HKLM\\Software\\JavaSoft\\<kind>\\<version>, value
JavaHome, and the keys of other vendors' installers. The `registry` fixture
starts and ends each test with none of these keys in either view (32-bit,
the one a 32-bit program sees, and 64-bit), per machine or per user."""
import pytest

JAVASOFT = r"HKLM\Software\JavaSoft"
KEYS = {"jdk": JAVASOFT + r"\Java Development Kit",
        "jre": JAVASOFT + r"\Java Runtime Environment",
        # where runtimes 9 and later register
        "jdk9": JAVASOFT + r"\JDK",
        "jre9": JAVASOFT + r"\JRE"}


# The tops of the other vendors' keys (below HKLM and HKCU).
VENDOR_TOPS = [r"Software\Eclipse Adoptium", r"Software\Eclipse Foundation",
               r"Software\AdoptOpenJDK", r"Software\Azul Systems", r"Software\BellSoft",
               r"Software\Microsoft\JDK", r"Software\Semeru"]


class Registry:
    def __init__(self, wine, vendors=False):
        self.wine = wine
        self.vendors = vendors
        self.added = set()  # the vendors' tops this test registered under

    def register(self, kind, version, java_home, view=32):
        """Registers `java_home` (a Windows path) under `kind` (a key of
        KEYS) and `version` in the given registry view."""
        r = self.wine.reg("add", KEYS[kind] + "\\" + version, "/v", "JavaHome", "/t", "REG_SZ",
                          "/d", java_home, view=view)
        assert r.returncode == 0, r.stderr

    def register_jre(self, version, java_home):
        self.register("jre", version, java_home)

    def register_vendor(self, key, value, java_home, view=64):
        """A vendor's registration: `key` a full key path (HKLM\\... or
        HKCU\\...) below one of VENDOR_TOPS, `value` the value that holds the
        directory."""
        assert self.vendors, "vendors' keys are cleaned only by the vendor_registry fixture"
        top = [t for t in VENDOR_TOPS if key[5:].startswith(t + "\\")]
        assert top, key
        self.added.add(key[:5] + top[0])
        r = self.wine.reg("add", key, "/v", value, "/t", "REG_SZ", "/d", java_home, view=view)
        assert r.returncode == 0, r.stderr

    def _keys(self):
        # Every run of reg.exe costs: only the vendors' keys this test made.
        return [JAVASOFT] + sorted(self.added)

    def clean(self):
        for view in (32, 64):
            for key in self._keys():
                self.wine.reg("delete", key, view=view)

    def is_clean(self):
        return all(self.wine.reg("query", key, "/reg:%d" % view).returncode != 0
                   for view in (32, 64) for key in self._keys())


def _clean_around(reg):
    reg.clean()
    assert reg.is_clean()
    yield reg
    reg.clean()
    assert reg.is_clean()


@pytest.fixture
def registry(wine):
    yield from _clean_around(Registry(wine))


@pytest.fixture
def vendor_registry(wine):
    """The registry fixture for tests that register vendors' keys too: those
    it registered are removed as well."""
    yield from _clean_around(Registry(wine, vendors=True))
