"""Java runtime registrations in the Wine prefix's registry, as Java
installers make them: HKLM\\Software\\JavaSoft\\<kind>\\<version>, value
JavaHome. The `registry` fixture starts and ends each test with no JavaSoft key
in either view (32-bit, the one a 32-bit program sees, and 64-bit)."""
import pytest

JAVASOFT = r"HKLM\Software\JavaSoft"
KEYS = {"jdk": JAVASOFT + r"\Java Development Kit",
        "jre": JAVASOFT + r"\Java Runtime Environment",
        # where runtimes 9 and later register
        "jdk9": JAVASOFT + r"\JDK",
        "jre9": JAVASOFT + r"\JRE"}


class Registry:
    def __init__(self, wine):
        self.wine = wine

    def register(self, kind, version, java_home, view=32):
        """Registers `java_home` (a Windows path) under `kind` (a key of
        KEYS) and `version` in the given registry view."""
        r = self.wine.reg("add", KEYS[kind] + "\\" + version, "/v", "JavaHome", "/t", "REG_SZ",
                          "/d", java_home, view=view)
        assert r.returncode == 0, r.stderr

    def register_jre(self, version, java_home):
        self.register("jre", version, java_home)

    def clean(self):
        for view in (32, 64):
            self.wine.reg("delete", JAVASOFT, view=view)

    def is_clean(self):
        return all(self.wine.reg("query", JAVASOFT, "/reg:%d" % view).returncode != 0
                   for view in (32, 64))


@pytest.fixture
def registry(wine):
    reg = Registry(wine)
    reg.clean()
    assert reg.is_clean()
    yield reg
    reg.clean()
    assert reg.is_clean()
