// The launcher's command line: the wizard's arguments it builds, the paths it
// makes absolute, every error with its message and status, and the
// colour-depth question played through its seams.
#include "base/path.h"
#include "launcher/instance.h"
#include "launcher/options.h"
#include "launcher/run_state.h"
#include "ui/output.h"
#include "unit/cli_scratch.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

namespace {

int screenDepth = 24;
int questionsAsked = 0;
bool answerYes = false;

int PlayedScreen() { return screenDepth; }
bool PlayedUser()
{
    ++questionsAsked;
    return answerYes;
}

struct Outcome {
    bool ok = false;
    int status = -1;
    std::vector<std::string> wizard;  // the new vector, without its null end
    bool nullEnd = false;             // the vector ends with a null entry
    bool vectorNull = false;          // the vector output is null
    std::string javaHome;             // "<null>" when null
    std::string tmpDir;               // "<null>" when null
    int consoleMode = -1;
    std::string output;
};

std::string Shown(const char *text)
{
    return text != nullptr ? std::string(text) : std::string("<null>");
}

class ParseArgumentsTest : public testing::Test {
protected:
    void SetUp() override
    {
        screenDepth = 24;
        questionsAsked = 0;
        answerYes = false;
        run.ScreenColourDepth = PlayedScreen;
        run.AskForConsoleMode = PlayedUser;
        run.ProgramName = const_cast<char *>("setup.exe");
        previous = CurrentDirectory();
        ASSERT_TRUE(SetCurrentDirectoryA(scratch.root().c_str()));
        cwd = CurrentDirectory();
    }
    void TearDown() override { SetCurrentDirectoryA(previous.c_str()); }

    Outcome Parse(std::vector<std::string> arguments)
    {
        for (std::string &a : arguments) a = Expand(a, scratch.root());
        std::vector<char *> raw;
        for (std::string &a : arguments) raw.push_back(&a[0]);
        raw.push_back(nullptr);

        int argc = static_cast<int>(arguments.size());
        char **argv = raw.data();
        run.javaHome = nullptr;
        run.consoleMode = 7;
        int status = -1;

        Outcome result;
        testing::internal::CaptureStdout();
        result.ok = ParseArguments(run, &argc, &argv, &status);
        result.output = testing::internal::GetCapturedStdout();
        result.status = status;
        result.vectorNull = argv == nullptr;
        if (result.ok && argv != nullptr) {
            for (int i = 0; i < argc; ++i) result.wizard.push_back(argv[i]);
            result.nullEnd = argv[argc] == nullptr;
        }
        result.javaHome = Shown(run.javaHome);
        result.tmpDir = Shown(run.tmpDir);
        result.consoleMode = run.consoleMode;
        return result;
    }

    std::string Usage() { return CatalogueText("installusage", "setup.exe", "1.5"); }

    CliScratch scratch{"parse"};
    std::string previous;
    std::string cwd;
    RunState run;
};

// --- Arguments that parse --------------------------------------------------

struct WizardCase {
    const char *name;
    std::vector<std::string> arguments;
    std::vector<std::string> wizard;  // "{cwd}" stands for the current directory
    int consoleMode;
    std::string javaHome;             // "<null>" when none
};
void PrintTo(const WizardCase &c, std::ostream *os) { *os << c.name; }

class WizardArgumentsTest : public ParseArgumentsTest,
                            public testing::WithParamInterface<WizardCase> {};

TEST_P(WizardArgumentsTest, BuildsTheWizardsVector)
{
    const WizardCase &c = GetParam();
    Outcome r = Parse(c.arguments);
    ASSERT_TRUE(r.ok) << r.output;
    std::vector<std::string> expected;
    for (const std::string &w : c.wizard) expected.push_back(Expand(w, cwd));
    EXPECT_EQ(r.wizard, expected);
    EXPECT_TRUE(r.nullEnd);
    EXPECT_EQ(r.consoleMode, c.consoleMode);
    EXPECT_EQ(r.javaHome, Expand(c.javaHome, cwd));
    EXPECT_EQ(r.tmpDir, "<null>");
    EXPECT_EQ(r.output, "");
    EXPECT_EQ(questionsAsked, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WizardArgumentsTest,
    testing::Values(
        WizardCase{"none", {}, {}, 0, "<null>"},
        WizardCase{"log_is_not_the_wizards", {"-log", "run.log", "-console"}, {"-nodisplay"}, 1,
                   "<null>"},
        WizardCase{"silent_relative_state_file",
                   {"-silent", "answers.txt"},
                   {"-nodisplay", "-noconsole", "-state", "{cwd}\\answers.txt"}, 0, "<null>"},
        WizardCase{"silent_absolute_state_file",
                   {"-silent", "C:\\state\\answers.txt"},
                   {"-nodisplay", "-noconsole", "-state", "C:\\state\\answers.txt"}, 0, "<null>"},
        WizardCase{"savestate_then_silent_last_file_wins",
                   {"-savestate", "first.txt", "-silent", "second.txt"},
                   {"-nodisplay", "-noconsole", "-state", "{cwd}\\second.txt", "-saveState",
                    "{cwd}\\second.txt"},
                   0, "<null>"},
        WizardCase{"savestate_alone",
                   {"-savestate", "log.txt"}, {"-saveState", "{cwd}\\log.txt"}, 0, "<null>"},
        WizardCase{"id_twice_counts_once", {"-id", "-id"}, {"-id"}, 0, "<null>"},
        WizardCase{"console_and_silent_nodisplay_twice",
                   {"-console", "-silent", "a.txt"},
                   {"-nodisplay", "-nodisplay", "-noconsole", "-state", "{cwd}\\a.txt"}, 1,
                   "<null>"},
        WizardCase{"console", {"-console"}, {"-nodisplay"}, 1, "<null>"},
        WizardCase{"value_taken_whatever_it_looks_like",
                   {"-savestate", "-silent"}, {"-saveState", "{cwd}\\-silent"}, 0, "<null>"},
        WizardCase{"javahome_relative", {"-javahome", "jre"}, {}, 0, "{cwd}\\jre"},
        WizardCase{"javahome_absolute", {"-javahome", "D:\\java\\jre"}, {}, 0, "D:\\java\\jre"},
        // Drive- and root-relative forms are resolved now: after the launcher
        // has changed its current directory they would name something else.
        WizardCase{"javahome_rooted", {"-javahome", "\\java"}, {}, 0, "{drive}\\java"},
        WizardCase{"javahome_drive_relative", {"-javahome", "{drive}jdk"}, {}, 0, "{cwd}\\jdk"},
        WizardCase{"savestate_drive_relative",
                   {"-savestate", "{drive}answers.txt"}, {"-saveState", "{cwd}\\answers.txt"}, 0,
                   "<null>"},
        WizardCase{"javahome_last_wins", {"-javahome", "a", "-javahome", "b"}, {}, 0, "{cwd}\\b"},
        WizardCase{"all_together",
                   {"-id", "-savestate", "s.txt", "-console", "-debug", "-silent", "s.txt"},
                   {"-nodisplay", "-nodisplay", "-noconsole", "-state", "{cwd}\\s.txt",
                    "-saveState", "{cwd}\\s.txt", "-id"},
                   1, "<null>"}),
    [](const testing::TestParamInfo<WizardCase> &info) { return std::string(info.param.name); });

TEST_F(ParseArgumentsTest, SilentSwitchesOutputToTheConsole)
{
    SetPrintToConsole(0);
    ASSERT_TRUE(Parse({"-silent", "answers.txt"}).ok);
    EXPECT_EQ(GetPrintToConsole(), 1);
}

TEST_F(ParseArgumentsTest, PropertyOptionsSetTheirFlagsOnly)
{
    Outcome r = Parse({"-noportcheck", "-passwordvisible"});
    ASSERT_TRUE(r.ok);
    EXPECT_TRUE(r.wizard.empty());
    EXPECT_FALSE(run.debug);
    EXPECT_TRUE(run.noPortCheck);
    EXPECT_FALSE(run.noDomain);
    EXPECT_TRUE(run.passwordVisible);
    EXPECT_FALSE(run.printWizardId);

    r = Parse({"-debug", "-nodomain"});
    ASSERT_TRUE(r.ok);
    EXPECT_TRUE(run.debug);
    EXPECT_TRUE(run.noDomain);
}

TEST_F(ParseArgumentsTest, TmpdirIsHandedBackInItsAcceptedForm)
{
    std::string absolute = scratch.Dir("abs");
    Outcome r = Parse({"-tmpdir", absolute + "\\"});
    ASSERT_TRUE(r.ok) << r.output;
    EXPECT_EQ(r.tmpDir, absolute);

    scratch.Dir("rel");
    r = Parse({"-tmpdir", "rel"});
    ASSERT_TRUE(r.ok) << r.output;
    EXPECT_EQ(r.tmpDir, cwd + "\\rel");
    EXPECT_EQ(std::string(GetTempDir(run)), cwd + "\\rel");
}

// --- Help and errors -----------------------------------------------------------

struct ErrorCase {
    const char *name;
    std::vector<std::string> arguments;  // "{cwd}" stands for the scratch directory
    const char *key;                     // null: usage text only
    std::string argument;                // the message's one argument
    int status;
};
void PrintTo(const ErrorCase &c, std::ostream *os) { *os << c.name; }

class CommandLineErrorTest : public ParseArgumentsTest,
                             public testing::WithParamInterface<ErrorCase> {};

TEST_P(CommandLineErrorTest, ReportsThenPrintsUsage)
{
    const ErrorCase &c = GetParam();
    scratch.File("plain.txt");
    scratch.Dir("good");
    Outcome r = Parse(c.arguments);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.status, c.status);
    EXPECT_TRUE(r.vectorNull);
    EXPECT_EQ(r.javaHome, "<null>");
    EXPECT_EQ(r.tmpDir, "<null>");
    std::string expected = c.key != nullptr
        ? CatalogueText(c.key, Expand(c.argument, scratch.root()).c_str()) : std::string();
    EXPECT_EQ(r.output, expected + Usage());
    // Nothing after the failing argument was looked at.
    EXPECT_FALSE(run.debug);
    EXPECT_FALSE(run.printWizardId);
    EXPECT_EQ(questionsAsked, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandLineErrorTest,
    testing::Values(
        ErrorCase{"help", {"-help"}, nullptr, "", 0},
        ErrorCase{"h", {"-h"}, nullptr, "", 0},
        ErrorCase{"help_after_options", {"-javahome", "jre", "-tmpdir", "{cwd}\\good", "-h"},
                  nullptr, "", 0},
        ErrorCase{"help_stops_the_loop", {"-help", "-debug", "-bogus"}, nullptr, "", 0},
        ErrorCase{"silent_without_file", {"-silent"}, "missing_file_name", "-silent", 1},
        ErrorCase{"savestate_without_file", {"-savestate"}, "missing_file_name", "-savestate", 1},
        ErrorCase{"unknown_before_missing_value", {"-id0", "-savestate"}, "no_valid_arg", "-id0",
                  1},
        ErrorCase{"savestate_at_end", {"-console", "-savestate"}, "missing_file_name",
                  "-savestate", 1},
        ErrorCase{"javahome_at_end", {"-javahome"}, "missing_jvm_dir", "-javahome", 1},
        ErrorCase{"tmpdir_at_end", {"-tmpdir"}, "missing_writable_dir", "-tmpdir", 1},
        ErrorCase{"tmpdir_names_a_file", {"-tmpdir", "{cwd}\\plain.txt"}, "no_writable_dir",
                  "{cwd}\\plain.txt", 1},
        ErrorCase{"tmpdir_missing", {"-tmpdir", "{cwd}\\absent"}, "no_writable_dir",
                  "{cwd}\\absent", 1},
        ErrorCase{"tmpdir_relative_missing_reported_as_typed", {"-tmpdir", "absent\\"},
                  "no_writable_dir", "absent\\", 1},
        ErrorCase{"tmpdir_refused_frees_earlier_values",
                  {"-javahome", "jre", "-tmpdir", "{cwd}\\good", "-tmpdir", "plain.txt"},
                  "no_writable_dir", "plain.txt", 1},
        ErrorCase{"log_at_end", {"-console", "-log"}, "missing_file_name", "-log", 1},
        ErrorCase{"unknown_option", {"-bogus"}, "no_valid_arg", "-bogus", 1},
        ErrorCase{"plain_word", {"install"}, "no_valid_arg", "install", 1},
        ErrorCase{"letter_case_matters", {"-Debug"}, "no_valid_arg", "-Debug", 1},
        ErrorCase{"help_in_capitals", {"-HELP"}, "no_valid_arg", "-HELP", 1},
        ErrorCase{"help_after_an_error_not_reached", {"-bogus", "-help"}, "no_valid_arg",
                  "-bogus", 1},
        ErrorCase{"later_options_not_looked_at", {"-x", "-debug", "-id", "-tmpdir"},
                  "no_valid_arg", "-x", 1},
        ErrorCase{"error_after_good_options", {"-javahome", "jre", "-silent", "s", "-Id"},
                  "no_valid_arg", "-Id", 1}),
    [](const testing::TestParamInfo<ErrorCase> &info) { return std::string(info.param.name); });

// The log is looked for before the command line is parsed, by the same
// reading: a value option's value is never an option.
TEST(LogFileArgument, IsFoundAsTheParserReadsTheLine)
{
    const struct {
        std::vector<const char *> arguments;
        const char *log;
    } cases[] = {
        {{"-log", "a.log"}, "a.log"},
        {{"-console", "-log", "a.log", "-log", "b.log"}, "b.log"},
        {{"-javahome", "-log", "x"}, nullptr},
        {{"-silent", "-log", "a.log"}, nullptr},
        {{"-tmpdir", "t", "-log", "a.log"}, "a.log"},
        {{"-bogus", "-log", "a.log"}, "a.log"},
        {{"-help", "-log", "a.log"}, nullptr},
        {{"-log"}, nullptr},
        {{}, nullptr},
    };
    for (const auto &c : cases) {
        std::vector<char *> argv;
        for (const char *a : c.arguments) argv.push_back(const_cast<char *>(a));
        const char *found = LogFileArgument(static_cast<int>(argv.size()), argv.data());
        EXPECT_STREQ(found, c.log) << (c.arguments.empty() ? "(none)" : c.arguments[0]);
    }
}

TEST_F(ParseArgumentsTest, TmpdirOfAnyLengthIsRefusedSafely)
{
    std::string huge = "C:\\" + std::string(5000, 'x');
    Outcome r = Parse({"-tmpdir", huge});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, CatalogueText("no_writable_dir", huge.c_str()) + Usage());
}

// --- The colour-depth question ---------------------------------------------------

struct ColourCase {
    const char *name;
    int depth;
    std::vector<std::string> arguments;
    bool asked;
};
void PrintTo(const ColourCase &c, std::ostream *os) { *os << c.name; }

class ColourDepthTest : public ParseArgumentsTest,
                        public testing::WithParamInterface<ColourCase> {};

TEST_P(ColourDepthTest, AskedOnlyBelowEightBitsAndWithoutConsoleOrSilent)
{
    const ColourCase &c = GetParam();
    screenDepth = c.depth;
    answerYes = true;
    Outcome r = Parse(c.arguments);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(questionsAsked, c.asked ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ColourDepthTest,
    testing::Values(ColourCase{"depth_4", 4, {}, true}, ColourCase{"depth_7", 7, {}, true},
                    ColourCase{"depth_0_no_screen", 0, {}, true},
                    ColourCase{"depth_8", 8, {}, false}, ColourCase{"depth_32", 32, {}, false},
                    ColourCase{"depth_4_console", 4, {"-console"}, false},
                    ColourCase{"depth_4_silent", 4, {"-silent", "s.txt"}, false},
                    ColourCase{"depth_4_savestate", 4, {"-savestate", "s.txt"}, true}),
    [](const testing::TestParamInfo<ColourCase> &info) { return std::string(info.param.name); });

TEST_F(ParseArgumentsTest, FewColoursAnsweredYesRunsInConsoleMode)
{
    screenDepth = 4;
    answerYes = true;
    Outcome r = Parse({"-id"});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.consoleMode, 1);
    EXPECT_EQ(r.wizard, (std::vector<std::string>{"-nodisplay", "-id"}));
    EXPECT_EQ(r.output, "");
}

TEST_F(ParseArgumentsTest, FewColoursAnsweredNoEndsWithUsage)
{
    screenDepth = 4;
    answerYes = false;
    Outcome r = Parse({"-javahome", "jre"});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(questionsAsked, 1);
    EXPECT_TRUE(r.vectorNull);
    EXPECT_EQ(r.javaHome, "<null>");
    EXPECT_EQ(r.output, Usage());
}

} // namespace
