// Locale selection, the lookup's fallback chain, and the conversion of the
// found text to 8 bits.
#include "base/mbcs.h"
#include "ui/catalogue.h"
#include "ui/catalogue_internal.h"
#include "unit/expected_text.h"
#include "unit/param_name.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace {

// Owns a text from the catalogue (freed with free()).
struct FreeText {
    void operator()(char *text) const { free(text); }
};
typedef std::unique_ptr<char, FreeText> Text;

// --- Locale selection ---------------------------------------------------------

struct LocaleCase {
    uint32_t lcid;
    const char *locale;
    const char *title;  // "setup_title" under that locale, in UTF-8
};

void PrintTo(const LocaleCase &c, std::ostream *os)
{
    *os << "0x" << std::hex << c.lcid << " " << c.locale;
}

class LocaleSelectionTest : public testing::TestWithParam<LocaleCase> {};

TEST_P(LocaleSelectionTest, MapsThreadLocaleToNameAndLanguageSet)
{
    const char *name = LocaleNameForLcid(GetParam().lcid);
    ASSERT_STREQ(name, GetParam().locale);
    Text title(LocalizedMessageFor(name, "setup_title", CP_UTF8));
    EXPECT_STREQ(title.get(), GetParam().title);
}

INSTANTIATE_TEST_SUITE_P(Lcids, LocaleSelectionTest, testing::Values(
    LocaleCase{0x080A, "es_MX", u8"Instalación"},
    LocaleCase{0x0C0A, "es_ES", u8"Instalación"},
    LocaleCase{0x040A, "es_ES", u8"Instalación"},
    LocaleCase{0x000A, "es", u8"Instalación"},
    LocaleCase{0x0804, "zh_CN", u8"设置"},
    LocaleCase{0x0404, "zh_TW", "Setup"},
    LocaleCase{0x0C04, "zh_HK", "Setup"},
    LocaleCase{0x1004, "zh_SG", "Setup"},
    LocaleCase{0x0004, "zh", "Setup"},
    LocaleCase{0x0411, "ja_JP", u8"セットアップ"},
    LocaleCase{0x0409, "en_US", "Setup"},
    LocaleCase{0x4C09, "en", "Setup"},       // unknown sublanguage: primary row
    LocaleCase{0x0000, "en", "Setup"},       // nothing matches
    LocaleCase{0x0400, "en", "Setup"},
    LocaleCase{0x0457, "en", "Setup"},
    LocaleCase{0x00010411, "ja_JP", u8"セットアップ"},  // sort bits ignored
    LocaleCase{0x00050804, "zh_CN", u8"设置"},
    LocaleCase{0x0814, "no_NO_NY", "Setup"},
    LocaleCase{0x2409, "en", "Setup"},
    LocaleCase{0x0001, "ar", "Setup"},
    LocaleCase{0x500A, "es_PR", u8"Instalación"},
    LocaleCase{0x0812, "ko_KR", "Setup"}),
                         PrintedName());

TEST(LocaleTable, HasSortedUniqueRowsWithPrimaryRowsFirst)
{
    ASSERT_EQ(LocaleTableSize, 215);
    for (int i = 1; i < LocaleTableSize; ++i)
        EXPECT_LT(LocaleTable[i - 1].langId, LocaleTable[i].langId) << "row " << i;
    for (int i = 0; i < LocaleTableSize; ++i) {
        const LocaleRow &row = LocaleTable[i];
        if (i < 71) {
            EXPECT_GE(row.langId, 0x01) << i;
            EXPECT_LE(row.langId, 0x56) << i;
            EXPECT_EQ(strlen(row.name), 2u) << row.name;
        } else {
            EXPECT_NE(row.langId >> 10, 0) << "row " << i << " has no sublanguage";
        }
    }
}

TEST(LocaleTable, EveryRowIsFoundByItsLangId)
{
    for (int i = 0; i < LocaleTableSize; ++i)
        EXPECT_STREQ(LocaleNameForLcid(LocaleTable[i].langId), LocaleTable[i].name)
            << std::hex << LocaleTable[i].langId;
}

// Restores the thread locale and lets GetLocale decide again, as at the
// start of a process, before and after a case that changes them.
struct FreshLocale {
    LCID before = GetThreadLocale();
    FreshLocale() { ForgetLocale(); }
    ~FreshLocale()
    {
        SetThreadLocale(before);
        ForgetLocale();
    }
};

TEST(GetLocale, IsDecidedOnceFromTheThreadLocale)
{
    FreshLocale fresh;
    ASSERT_TRUE(SetThreadLocale(MAKELCID(0x0411, SORT_DEFAULT)));
    EXPECT_STREQ(GetLocale(), "ja_JP");
    ASSERT_TRUE(SetThreadLocale(MAKELCID(0x080A, SORT_DEFAULT)));
    EXPECT_STREQ(GetLocale(), "ja_JP");

    // GetLocalizedMessage converts the Japanese text to the ANSI code page.
    Text message(GetLocalizedMessage("setup_title"));
    EXPECT_EQ(std::string(message.get()),
              expected::InCodePage(expected::Text("ja", "setup_title"), LauncherCodePage()));
}

// --- The fallback chain --------------------------------------------------------

struct ChainCase {
    const char *locale;
    const char *key;
    std::vector<std::string> tried;  // names asked for, in order
    bool found;
};

void PrintTo(const ChainCase &c, std::ostream *os)
{
    *os << c.locale << " " << c.key;
}

class FallbackChainTest : public testing::TestWithParam<ChainCase> {};

TEST_P(FallbackChainTest, TriesNamesFromMostSpecificToEnglish)
{
    std::vector<std::string> tried;
    CatalogueEntry entry = LookupCatalogueEntry(
        GetParam().locale, GetParam().key, [&](const char *name) {
            tried.push_back(name);
            return ResolveOwnExport(name);
        });
    EXPECT_EQ(tried, GetParam().tried);
    EXPECT_EQ(entry != nullptr, GetParam().found);
    if (entry != nullptr) {
        EXPECT_EQ(entry, ResolveOwnExport(tried.back().c_str()));
    }
}

INSTANTIATE_TEST_SUITE_P(Locales, FallbackChainTest, testing::Values(
    ChainCase{"no_NO_NY", "checking_java",
              {"messages_no_NO_NY_checking_java", "messages_no_NO_checking_java",
               "messages_no_checking_java", "messages_checking_java"}, true},
    ChainCase{"es_MX", "checking_java",
              {"messages_es_MX_checking_java", "messages_es_checking_java"}, true},
    ChainCase{"en_US", "checking_java",
              {"messages_en_US_checking_java", "messages_en_checking_java",
               "messages_checking_java"}, true},
    ChainCase{"zh_CN", "ok", {"messages_zh_CN_ok"}, true},
    ChainCase{"zh_TW", "ok", {"messages_zh_TW_ok", "messages_zh_ok", "messages_ok"}, true},
    ChainCase{"", "ok", {"messages_ok"}, true},
    ChainCase{"ja_JP", "no_such_key",
              {"messages_ja_JP_no_such_key", "messages_ja_no_such_key",
               "messages_no_such_key"}, false}),
                         PrintedName());

TEST(FallbackChain, NoEntryAnywhereGivesFreshEmptyText)
{
    Text text(LocalizedMessageFor("es_MX", "no_such_key", 1252));
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text.get(), "");
}

TEST(FallbackChain, SpanishUninstallUsageUnderMexicanLocale)
{
    Text text(LocalizedMessageFor("es_MX", "uninstallusage", 1252));
    EXPECT_EQ(std::string(text.get()),
              expected::InCodePage(expected::Text("es", "uninstallusage"), 1252));
}

TEST(FallbackChain, ExtraArgumentsToAShorterTranslationAreIgnored)
{
    Text format(LocalizedMessageFor("es_MX", "installusage", 1252));
    int length = snprintf(nullptr, 0, format.get(), "setup.exe", "1.5");
    std::vector<char> out(static_cast<size_t>(length) + 1);
    snprintf(out.data(), out.size(), format.get(), "setup.exe", "1.5");
    std::string printed(out.data());
    EXPECT_EQ(printed.rfind("Uso: 'setup.exe'", 0), 0u);
    EXPECT_EQ(printed.find("1.5"), std::string::npos);
}

// --- Conversion to 8 bits ------------------------------------------------------

struct ConversionCase {
    const char *locale;
    const char *key;
    unsigned codePage;
    const char *bytes;
};

void PrintTo(const ConversionCase &c, std::ostream *os)
{
    *os << c.locale << " " << c.key << " cp" << c.codePage;
}

class ConversionTest : public testing::TestWithParam<ConversionCase> {};

TEST_P(ConversionTest, GivesExactBytes)
{
    Text text(LocalizedMessageFor(GetParam().locale, GetParam().key, GetParam().codePage));
    EXPECT_STREQ(text.get(), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(CodePages, ConversionTest, testing::Values(
    // Japanese in its own code page: two bytes a character.
    ConversionCase{"ja_JP", "setup_title", 932, "\x83\x5A\x83\x62\x83\x67\x83\x41\x83\x62\x83\x76"},
    ConversionCase{"ja_JP", "checking_java", 932,
                   "Java(TM) 2 Runtime Environment "
                   "\x82\xF0\x8A\x6D\x94\x46\x82\xB5\x82\xC4\x82\xA2\x82\xDC\x82\xB7...\n"},
    // Japanese where the code page lacks it: the default character.
    ConversionCase{"ja_JP", "setup_title", 1252, "??????"},
    ConversionCase{"ja_JP", "checking_java", 1252,
                   "Java(TM) 2 Runtime Environment ????????...\n"},
    ConversionCase{"ja_JP", "yes", 1252, "Yes"},
    ConversionCase{"zh_CN", "setup_title", 936, "\xC9\xE8\xD6\xC3"},
    ConversionCase{"zh_CN", "checking_java", 936,
                   "\xD5\xFD\xD4\xDA\xBC\xEC\xB2\xE9 Java(TM) 2 Runtime Environment...\n"},
    ConversionCase{"es_MX", "setup_title", 1252, "Instalaci\xF3n"},
    ConversionCase{"es_MX", "yes", 1252, "S\xED"},
    ConversionCase{"en_US", "setup_title", 932, "Setup"}),
                         PrintedName());

TEST(MessageFromEntry, NullEntryGivesFreshEmptyText)
{
    Text text(MessageFromEntry(nullptr, 1252));
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text.get(), "");
}

const wchar_t *NullTextEntry()
{
    return nullptr;
}

TEST(MessageFromEntry, NullTextGivesFreshEmptyText)
{
    Text text(MessageFromEntry(NullTextEntry, 1252));
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text.get(), "");
}

TEST(MessageFromEntry, FailedConversionGivesFreshEmptyText)
{
    // No such code page: the conversion reports failure.
    Text text(MessageFromEntry(ResolveOwnExport("messages_checking_java"), 54321));
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text.get(), "");
}

} // namespace
