"""The thread locale picks the language of every text, end to end: the
programs print in the language set of the locale, in its ANSI code page."""
import os

import pytest

from test_exec_name import parse

# (LC_ALL, locale name, code page, title, "checking_java" text without its
# line feed)
LANGUAGES = [
    ("en_US.UTF-8", "en_US", "1252", "Setup",
     "Checking Java(TM) 2 Runtime Environment..."),
    ("es_MX.UTF-8", "es_MX", "1252", "Instalación",
     "Comprobando Java(TM) 2 Runtime Environment..."),
    ("es_ES.UTF-8", "es_ES", "1252", "Instalación",
     "Comprobando Java(TM) 2 Runtime Environment..."),
    ("ja_JP.UTF-8", "ja_JP", "932", "セットアップ",
     "Java(TM) 2 Runtime Environment を確認しています..."),
    ("zh_CN.UTF-8", "zh_CN", "936", "设置",
     "正在检查 Java(TM) 2 Runtime Environment..."),
    # No Traditional Chinese set: the English texts.
    ("zh_TW.UTF-8", "zh_TW", "950", "Setup",
     "Checking Java(TM) 2 Runtime Environment..."),
]


@pytest.mark.parametrize("lc_all,locale,code_page,title,message", LANGUAGES)
def test_probe_speaks_the_locale_language(wine, lc_all, locale, code_page, title, message):
    probe = os.path.join(wine.build_dir, "support", "exec_name_probe.exe")
    result = wine.run(probe, lc_all=lc_all)
    values = parse(result.out)
    assert result.code == 0, result
    assert values["locale"] == locale
    assert values["codepage"] == code_page
    assert values["title"] == title
    assert values["message"] == message
    assert result.out.endswith(message + "\n")


# (LC_ALL, the "no_valid_arg" line for "-bogus", the usage text's first line)
INVALID_ARGUMENT = [
    ("en_US.UTF-8", "Error: '-bogus' is not a valid argument.",
     "Usage: 'conrun.exe' [-options]"),
    ("es_MX.UTF-8", "Error: '-bogus' no es un argumento válido.",
     "Uso: 'conrun.exe' [-opciones]"),
    ("ja_JP.UTF-8", "エラー: '-bogus' は有効な引数ではありません。",
     "使用法: 'conrun.exe' [-options]"),
    ("zh_CN.UTF-8", "错误：'-bogus' 不是有效的参数。",
     "用法：'conrun.exe' [-options]"),
]


@pytest.mark.parametrize("lc_all,error,usage", INVALID_ARGUMENT)
def test_console_program_reports_in_the_locale_language(wine, lc_all, error, usage):
    result = wine.run(wine.program("conrun.exe"), ["-bogus"], lc_all=lc_all)
    assert result.code == 1, result
    lines = result.out.splitlines()
    assert error in lines, result
    assert usage in lines, result
    assert lines.index(usage) > lines.index(error)
