"""The expected catalogue texts of expected_texts.inc, by language and key,
and the language a locale must select."""
import os
import re

HERE = os.path.dirname(os.path.abspath(__file__))
_ESCAPES = {"n": "\n", "t": "\t", "\"": "\"", "\\": "\\"}


def _load():
    with open(os.path.join(HERE, "expected_texts.inc"), encoding="utf-8") as f:
        source = f.read()
    texts = {}
    for m in re.finditer(r'^EXPECTED_TEXT\((\w+), (\w+),\s*((?:"(?:[^"\\]|\\.)*"\s*)+)\)',
                         source, re.M):
        pieces = re.findall(r'"((?:[^"\\]|\\.)*)"', m.group(3))
        text = "".join(re.sub(r"\\(.)", lambda e: _ESCAPES[e.group(1)], p) for p in pieces)
        texts.setdefault(m.group(1), {})[m.group(2)] = text
    return texts


TEXTS = _load()

# The text set each test locale selects (zh_TW and the like have no set of
# their own and fall back to English).
LANGUAGES = {"en_US.UTF-8": "en", "es_MX.UTF-8": "es", "es_ES.UTF-8": "es",
             "ja_JP.UTF-8": "ja", "zh_CN.UTF-8": "zh_CN", "zh_TW.UTF-8": "en"}


def text(key, lc_all="en_US.UTF-8"):
    return TEXTS[LANGUAGES[lc_all]][key]
