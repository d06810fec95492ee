// The four language sets: complete, consistent with English, and exported as
// the only names of the image.
#include "ui/catalogue.h"
#include "ui/catalogue_internal.h"
#include "unit/catalogue_keys.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <ostream>
#include <set>
#include <string>
#include <vector>

using catalogue_test::IsShortKey;
using catalogue_test::Keys;
using catalogue_test::LanguageTags;

namespace {

const wchar_t *EntryText(const std::string &tag, const std::string &key)
{
    CatalogueEntry entry = ResolveOwnExport(("messages_" + tag + key).c_str());
    return entry != nullptr ? entry() : nullptr;
}

// Every printf conversion of the text, in order ("%s", or anything else that
// follows a '%', which would be a fault).
std::vector<std::wstring> Conversions(const std::wstring &text)
{
    std::vector<std::wstring> found;
    for (size_t at = text.find(L'%'); at != std::wstring::npos; at = text.find(L'%', at + 2))
        found.push_back(text.substr(at, 2));
    return found;
}

struct SetAndKey {
    std::string tag;
    std::string key;
};

std::vector<SetAndKey> TranslatedEntries()
{
    std::vector<SetAndKey> all;
    for (const std::string &tag : LanguageTags())
        for (const std::string &key : Keys()) all.push_back({tag, key});
    return all;
}

std::string EntryName(const testing::TestParamInfo<SetAndKey> &info)
{
    return (info.param.tag.empty() ? std::string("en_") : info.param.tag) + info.param.key;
}

class CatalogueEntryTest : public testing::TestWithParam<SetAndKey> {};

TEST_P(CatalogueEntryTest, ExistsWithEnglishConversionsAndLineEnd)
{
    const SetAndKey &p = GetParam();
    const wchar_t *text = EntryText(p.tag, p.key);
    ASSERT_NE(text, nullptr) << "messages_" << p.tag << p.key;
    const wchar_t *english = EntryText("", p.key);
    ASSERT_NE(english, nullptr);

    std::wstring value = text;
    ASSERT_FALSE(value.empty());
    std::vector<std::wstring> expected = Conversions(english);
    // The Spanish usage texts take only the program name.
    if (p.tag == "es_" && (p.key == "installusage" || p.key == "uninstallusage"))
        expected.resize(1);
    EXPECT_EQ(Conversions(value), expected);
    for (const std::wstring &conversion : expected) EXPECT_EQ(conversion, L"%s");

    if (IsShortKey(p.key)) {
        EXPECT_EQ(value.find(L'\n'), std::wstring::npos);
    } else {
        EXPECT_EQ(value.back(), L'\n');
    }
}

INSTANTIATE_TEST_SUITE_P(AllSets, CatalogueEntryTest, testing::ValuesIn(TranslatedEntries()),
                         EntryName);

struct ShortText {
    const char *tag;
    const char *key;
    const wchar_t *text;
};

void PrintTo(const ShortText &t, std::ostream *os)
{
    *os << (t.tag[0] != '\0' ? t.tag : "en_") << t.key;
}

class ShortTextTest : public testing::TestWithParam<ShortText> {};

TEST_P(ShortTextTest, IsExactly)
{
    const wchar_t *text = EntryText(GetParam().tag, GetParam().key);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::wstring(text), std::wstring(GetParam().text))
        << GetParam().tag << GetParam().key;
}

INSTANTIATE_TEST_SUITE_P(Translations, ShortTextTest, testing::Values(
    ShortText{"", "cancel", L"Cancel"}, ShortText{"", "ok", L"OK"},
    ShortText{"", "yes", L"Yes"}, ShortText{"", "no", L"No"},
    ShortText{"", "setup_title", L"Setup"}, ShortText{"", "uninstall_title", L"Uninstall"},
    ShortText{"es_", "cancel", L"Cancelar"}, ShortText{"es_", "ok", L"OK"},
    ShortText{"es_", "yes", L"S\u00ED"}, ShortText{"es_", "no", L"No"},
    ShortText{"es_", "setup_title", L"Instalaci\u00F3n"},
    ShortText{"es_", "uninstall_title", L"Desinstalaci\u00F3n"},
    ShortText{"ja_", "cancel", L"\u53D6\u6D88\u3057"}, ShortText{"ja_", "ok", L"\u4E86\u89E3"},
    ShortText{"ja_", "yes", L"Yes"}, ShortText{"ja_", "no", L"No"},
    ShortText{"ja_", "setup_title", L"\u30BB\u30C3\u30C8\u30A2\u30C3\u30D7"},
    ShortText{"ja_", "uninstall_title",
              L"\u30A2\u30F3\u30A4\u30F3\u30B9\u30C8\u30FC\u30EB"},
    ShortText{"zh_CN_", "cancel", L"\u53D6\u6D88"}, ShortText{"zh_CN_", "ok", L"\u786E\u5B9A"},
    ShortText{"zh_CN_", "yes", L"\u662F"}, ShortText{"zh_CN_", "no", L"\u5426"},
    ShortText{"zh_CN_", "setup_title", L"\u8BBE\u7F6E"},
    ShortText{"zh_CN_", "uninstall_title", L"\u5378\u8F7D"}));

TEST(SpanishSet, KeepsEnglishAlreadyStartedTexts)
{
    for (const char *key : {"setup_already_started", "uninstall_already_started"})
        EXPECT_EQ(std::wstring(EntryText("es_", key)), std::wstring(EntryText("", key))) << key;
}

TEST(SpanishSet, UsageTextsNameNoVersionAndDiskSpaceTextStartsAtOnce)
{
    for (const char *key : {"installusage", "uninstallusage"}) {
        std::wstring text = EntryText("es_", key);
        EXPECT_EQ(text.rfind(L"Uso: '%s'", 0), 0u) << key;
        EXPECT_EQ(text.find(L'%', text.find(L'%') + 1), std::wstring::npos) << key;
        EXPECT_EQ(text.find(L"1."), std::wstring::npos) << key;
    }
    EXPECT_EQ(std::wstring(EntryText("", "no_space_system_tmpdir")).front(), L'\n');
    EXPECT_EQ(std::wstring(EntryText("es_", "no_space_system_tmpdir")).rfind(L"Error: ", 0), 0u);
}

TEST(TranslatedSets, DifferFromEnglishApartFromTheirStatedExceptions)
{
    // A text copied over untranslated is a fault unless it is one of the
    // stated exceptions or reads the same in both languages.
    for (const std::string &tag : {std::string("es_"), std::string("ja_"),
                                   std::string("zh_CN_")}) {
        for (const std::string &key : Keys()) {
            bool sameByDesign =
                (tag == "es_" && (key == "ok" || key == "no" || key == "setup_already_started" ||
                                  key == "uninstall_already_started")) ||
                (tag == "ja_" && (key == "yes" || key == "no"));
            if (sameByDesign) continue;
            EXPECT_NE(std::wstring(EntryText(tag, key)), std::wstring(EntryText("", key)))
                << tag << key;
        }
    }
}

struct SetCodePage {
    const char *tag;
    UINT codePage;
};

void PrintTo(const SetCodePage &s, std::ostream *os)
{
    *os << (s.tag[0] != '\0' ? s.tag : "en_") << " cp" << s.codePage;
}

class NativeCodePageTest : public testing::TestWithParam<SetCodePage> {};

// On a system of the set's own language every character must come through
// the conversion to the ANSI code page.
TEST_P(NativeCodePageTest, EveryTextConvertsWithoutDefaultCharacter)
{
    for (const std::string &key : Keys()) {
        const wchar_t *text = EntryText(GetParam().tag, key);
        ASSERT_NE(text, nullptr);
        BOOL usedDefault = FALSE;
        int size = WideCharToMultiByte(GetParam().codePage, 0, text, -1, nullptr, 0, nullptr,
                                       &usedDefault);
        EXPECT_GT(size, 0) << key;
        EXPECT_FALSE(usedDefault) << GetParam().tag << key;
    }
}

INSTANTIATE_TEST_SUITE_P(Sets, NativeCodePageTest, testing::Values(
    SetCodePage{"", 1252}, SetCodePage{"es_", 1252}, SetCodePage{"ja_", 932},
    SetCodePage{"zh_CN_", 936}));

// The names in the export directory of the running image.
std::vector<std::string> OwnExportNames()
{
    auto base = reinterpret_cast<const unsigned char *>(GetModuleHandleA(nullptr));
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY &dir =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    std::vector<std::string> names;
    if (dir.VirtualAddress == 0) return names;
    auto exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY *>(base + dir.VirtualAddress);
    auto nameRvas = reinterpret_cast<const DWORD *>(base + exports->AddressOfNames);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i)
        names.emplace_back(reinterpret_cast<const char *>(base + nameRvas[i]));
    return names;
}

TEST(CatalogueExports, AreExactlyTheFourSetsAndNothingElse)
{
    std::set<std::string> expected;
    for (const std::string &tag : LanguageTags())
        for (const std::string &key : Keys()) expected.insert("messages_" + tag + key);
    ASSERT_EQ(expected.size(), 164u);

    std::vector<std::string> names = OwnExportNames();
    EXPECT_EQ(names.size(), 164u);
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), expected);
}

} // namespace
