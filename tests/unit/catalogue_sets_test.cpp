// The four language sets: complete, consistent with English, and exported as
// the only names of the image.
#include "ui/catalogue.h"
#include "ui/catalogue_internal.h"
#include "unit/catalogue_keys.h"
#include "unit/expected_text.h"
#include "unit/param_name.h"

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

// Each entry holds exactly the expected text; the expected texts in turn keep
// the English conversions in order, end printed texts with a line feed, and
// differ from English but where that is stated.
TEST_P(CatalogueEntryTest, HoldsTheExpectedText)
{
    const SetAndKey &p = GetParam();
    const wchar_t *text = EntryText(p.tag, p.key);
    ASSERT_NE(text, nullptr) << "messages_" << p.tag << p.key;
    std::string language = p.tag.empty() ? "en" : p.tag.substr(0, p.tag.size() - 1);
    std::wstring want = expected::Wide(expected::Text(language, p.key));
    EXPECT_EQ(std::wstring(text), want);

    std::wstring english = expected::Wide(expected::Text("en", p.key));
    ASSERT_FALSE(want.empty());
    std::vector<std::wstring> conversions = Conversions(english);
    // The Spanish usage texts take only the program name.
    bool spanishUsage = language == "es" && (p.key == "installusage" ||
                                             p.key == "uninstallusage");
    if (spanishUsage) conversions.resize(1);
    EXPECT_EQ(Conversions(want), conversions);
    for (const std::wstring &conversion : conversions) EXPECT_EQ(conversion, L"%s");
    if (IsShortKey(p.key)) {
        EXPECT_EQ(want.find(L'\n'), std::wstring::npos);
    } else {
        EXPECT_EQ(want.back(), L'\n');
    }
    bool sameByDesign =
        language == "en" ||
        (language == "es" && (p.key == "ok" || p.key == "no" ||
                              p.key == "setup_already_started" ||
                              p.key == "uninstall_already_started")) ||
        (language == "ja" && (p.key == "yes" || p.key == "no"));
    EXPECT_EQ(want == english, sameByDesign);
}

INSTANTIATE_TEST_SUITE_P(AllSets, CatalogueEntryTest, testing::ValuesIn(TranslatedEntries()),
                         EntryName);

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
    SetCodePage{"zh_CN_", 936}),
                         PrintedName());

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
    ASSERT_EQ(expected.size(), 168u);

    std::vector<std::string> names = OwnExportNames();
    EXPECT_EQ(names.size(), 168u);
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), expected);
}

} // namespace
