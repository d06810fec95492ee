// Output channels without a window on the screen: composing window texts,
// the status window's growth and text placement, and the channels' fallbacks
// to standard output. The status window itself is tested end to end with
// output_probe.exe.
#include "ui/output.h"
#include "ui/output_internal.h"
#include "ui/progress.h"
#include "unit/param_name.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <ostream>
#include <string>

namespace {

std::string Compose(const char *pending, int *formatted, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    char *text = ComposeWindowText(pending, format, args, formatted);
    va_end(args);
    std::string result(text);
    free(text);
    return result;
}

// --- composing ------------------------------------------------------------

struct ComposeCase {
    size_t pendingLength;
    size_t textLength;
};

void PrintTo(const ComposeCase &c, std::ostream *os)
{
    *os << "pending " << c.pendingLength << " text " << c.textLength;
}

class ComposeWindowTextTest : public testing::TestWithParam<ComposeCase> {};

// Around each 1024-byte step of the formatting buffer, with and without a
// pending prefix: the whole text arrives, whatever its length.
TEST_P(ComposeWindowTextTest, KeepsPendingPrefixAndWholeText)
{
    std::string pending(GetParam().pendingLength, 'p');
    std::string text(GetParam().textLength, 't');
    int formatted = -2;
    std::string composed =
        Compose(pending.empty() ? nullptr : pending.c_str(), &formatted, "%s", text.c_str());
    EXPECT_EQ(composed, pending + text);
    EXPECT_EQ(formatted, static_cast<int>(text.size()));
}

INSTANTIATE_TEST_SUITE_P(Steps, ComposeWindowTextTest,
    testing::Values(ComposeCase{0, 0}, ComposeCase{0, 1023}, ComposeCase{0, 1024},
                    ComposeCase{0, 1025}, ComposeCase{0, 2047}, ComposeCase{0, 2048},
                    ComposeCase{0, 9000}, ComposeCase{5, 1023}, ComposeCase{1500, 1024},
                    ComposeCase{3000, 3000}),
                         PrintedName());

TEST(ComposeWindowText, FormatsArguments)
{
    int formatted = 0;
    EXPECT_EQ(Compose("Held ", &formatted, "%s has %d%%\n", "disk", 42), "Held disk has 42%\n");
    EXPECT_EQ(formatted, 13);
}

// msvcrt's _vsnprintf gives -1 for a wide argument it cannot convert, however
// large the buffer: that must end the growth, not loop for ever.
TEST(ComposeWindowText, UnformattableTextAddsNothing)
{
    int formatted = 0;
    EXPECT_EQ(Compose("kept ", &formatted, "%ls", L"\x4e00\xd800"), "kept ");
    EXPECT_EQ(formatted, -1);
}

// --- the status window's geometry -------------------------------------------

struct GrowCase {
    RECT measured;  // against the layout {10, 10, 290, 70}
    RECT expected;  // from the window {100, 200, 400, 280}
    bool grows;
};

void PrintTo(const GrowCase &c, std::ostream *os)
{
    *os << "measured " << c.measured.left << " " << c.measured.top << " " << c.measured.right
        << " " << c.measured.bottom;
}

class GrowStatusWindowRectTest : public testing::TestWithParam<GrowCase> {};

TEST_P(GrowStatusWindowRectTest, GrowsSymmetricallyNeverShrinks)
{
    RECT window = {100, 200, 400, 280};
    const RECT layout = {10, 10, 290, 70};
    EXPECT_EQ(GrowStatusWindowRect(&window, GetParam().measured, layout), GetParam().grows);
    EXPECT_EQ(window.left, GetParam().expected.left);
    EXPECT_EQ(window.top, GetParam().expected.top);
    EXPECT_EQ(window.right, GetParam().expected.right);
    EXPECT_EQ(window.bottom, GetParam().expected.bottom);
}

INSTANTIATE_TEST_SUITE_P(Overhangs, GrowStatusWindowRectTest,
    testing::Values(
        // fits, exactly fits, smaller: unchanged
        GrowCase{{10, 10, 200, 30}, {100, 200, 400, 280}, false},
        GrowCase{{10, 10, 290, 70}, {100, 200, 400, 280}, false},
        GrowCase{{10, 10, 12, 12}, {100, 200, 400, 280}, false},
        // wider by 1, 2, 3: each side by half, rounded up
        GrowCase{{10, 10, 291, 30}, {99, 200, 401, 280}, true},
        GrowCase{{10, 10, 292, 30}, {99, 200, 401, 280}, true},
        GrowCase{{10, 10, 293, 30}, {98, 200, 402, 280}, true},
        // taller by 41
        GrowCase{{10, 10, 100, 111}, {100, 179, 400, 301}, true},
        // both
        GrowCase{{10, 10, 390, 90}, {50, 190, 450, 290}, true}),
                         PrintedName());

struct PlaceCase {
    int width, height, textHeight, dpi;
    bool withBar;
    RECT room, text, bar;
};

void PrintTo(const PlaceCase &c, std::ostream *os)
{
    *os << c.width << "x" << c.height << " text " << c.textHeight << " at " << c.dpi << " dpi"
        << (c.withBar ? " with bar" : "");
}

class LayOutStatusWindowTest : public testing::TestWithParam<PlaceCase> {};

void ExpectRect(const RECT &actual, const RECT &expected, const char *what)
{
    EXPECT_EQ(actual.left, expected.left) << what;
    EXPECT_EQ(actual.top, expected.top) << what;
    EXPECT_EQ(actual.right, expected.right) << what;
    EXPECT_EQ(actual.bottom, expected.bottom) << what;
}

TEST_P(LayOutStatusWindowTest, CentresTextAndBarAsOneBlock)
{
    const PlaceCase &c = GetParam();
    StatusLayout layout = LayOutStatusWindow(c.width, c.height, c.textHeight, c.dpi, c.withBar);
    ExpectRect(layout.room, c.room, "room");
    ExpectRect(layout.text, c.text, "text");
    ExpectRect(layout.bar, c.bar, "bar");
}

INSTANTIATE_TEST_SUITE_P(Blocks, LayOutStatusWindowTest,
    testing::Values(
        // without a bar, at 100 %: 10-pixel margins, the text centred
        PlaceCase{352, 83, 13, 96, false, {10, 10, 342, 73}, {10, 35, 342, 48}, {0, 0, 0, 0}},
        PlaceCase{352, 83, 14, 96, false, {10, 10, 342, 73}, {10, 34, 342, 48}, {0, 0, 0, 0}},
        PlaceCase{352, 83, 63, 96, false, {10, 10, 342, 73}, {10, 10, 342, 73}, {0, 0, 0, 0}},
        // taller than the window: truncation toward zero
        PlaceCase{352, 83, 100, 96, false, {10, 10, 342, 73}, {10, -8, 342, 92}, {0, 0, 0, 0}},
        // the bar (8 apart, 12 high, 20 in from the sides) under the text,
        // the two centred together; the room for the text leaves it place
        PlaceCase{302, 81, 13, 96, true, {10, 10, 292, 51}, {10, 24, 292, 37},
                  {20, 45, 282, 57}},
        // 150 % and 200 %: every distance scales
        PlaceCase{453, 122, 20, 144, true, {15, 15, 438, 77}, {15, 36, 438, 56},
                  {30, 68, 423, 86}},
        PlaceCase{604, 162, 26, 192, false, {20, 20, 584, 142}, {20, 68, 584, 94},
                  {0, 0, 0, 0}},
        PlaceCase{604, 162, 26, 192, true, {20, 20, 584, 102}, {20, 48, 584, 74},
                  {40, 90, 564, 114}}),
                         PrintedName());

struct PermilleCase {
    uint64_t written, total;
    int permille;
};

void PrintTo(const PermilleCase &c, std::ostream *os)
{
    *os << c.written << " of " << c.total;
}

class ProgressPermilleTest : public testing::TestWithParam<PermilleCase> {};

TEST_P(ProgressPermilleTest, RoundsDownAndStopsAtFull)
{
    EXPECT_EQ(ProgressPermille(GetParam().written, GetParam().total), GetParam().permille);
}

INSTANTIATE_TEST_SUITE_P(Shares, ProgressPermilleTest,
    testing::Values(PermilleCase{0, 0, 0}, PermilleCase{5, 0, 0}, PermilleCase{0, 10, 0},
                    PermilleCase{999, 1000, 999}, PermilleCase{1999, 2000, 999},
                    PermilleCase{1000, 1000, 1000},
                    // a counter past the total (a part written twice) is full
                    PermilleCase{3000, 1000, 1000},
                    // beyond 4 GiB, and where written * 1000 would overflow
                    PermilleCase{5000000000ull, 10000000000ull, 500},
                    PermilleCase{UINT64_MAX / 2, UINT64_MAX, 499},
                    PermilleCase{UINT64_MAX - 1, UINT64_MAX, 999}),
                         PrintedName());

// --- fallbacks to standard output -------------------------------------------

int PrintStatus(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    int n = PrintToStatusWindow(format, args);
    va_end(args);
    return n;
}

// Each case starts from the channels as a process starts them, and leaves
// them so, whichever case ran before it in the same process.
class OutputFallback : public testing::Test {
protected:
    void SetUp() override { ResetOutputChannels(); }
    void TearDown() override { ResetOutputChannels(); }
};

// Without an instance handle there are no windows: the window channel writes
// the composed text as it stands, line feed included, never as a format.
TEST_F(OutputFallback, WithoutWindowsTextIsWrittenVerbatim)
{
    AppInstance = nullptr;
    EXPECT_FALSE(LoadWindows());
    testing::internal::CaptureStdout();
    int n = PrintStatus("%s\n", "100%d");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "100%d\n");
    EXPECT_EQ(n, 6);
}

TEST_F(OutputFallback, ConsoleRoutesEveryPrintToStandardOutput)
{
    AppInstance = GetModuleHandleA(nullptr);
    SetPrintToConsole(0x101);  // the low byte counts
    EXPECT_EQ(GetPrintToConsole(), 1);
    testing::internal::CaptureStdout();
    statusf("one %d\n", 1);
    _fprintf(stderr, "two\n");
    _printf("three\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "one 1\ntwo\nthree\n");
    SetPrintToConsole(0);
}

// This test program carries no dialog 103: the window thread starts, fails to
// create the window and ends, and the channels stay in use without a window;
// texts then go to standard output without their final line feed.
TEST_F(OutputFallback, WithoutDialogStatusTextsLoseFinalLineFeed)
{
    AppInstance = GetModuleHandleA(nullptr);
    ASSERT_TRUE(LoadWindows());
    EXPECT_TRUE(LoadWindows());
    testing::internal::CaptureStdout();
    EXPECT_EQ(statusf("Checking "), 0);  // held
    statusf("disk\n\n");
    HideStatusWindow();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Checking disk\n");
}

HANDLE WINAPI NoThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD,
                       LPDWORD)
{
    return nullptr;
}

BOOL WINAPI NoPriority(HANDLE, int)
{
    return FALSE;
}

// A second handle on the last window thread started, to see whether it ended.
HANDLE StartedThread = nullptr;

HANDLE WINAPI RecordedThread(LPSECURITY_ATTRIBUTES security, SIZE_T stack,
                             LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags,
                             LPDWORD id)
{
    HANDLE thread = CreateThread(security, stack, start, parameter, flags, id);
    if (thread != nullptr) {
        DuplicateHandle(GetCurrentProcess(), thread, GetCurrentProcess(), &StartedThread,
                        SYNCHRONIZE, FALSE, 0);
    }
    return thread;
}

// A failed start goes to the console and leaves the next output free to try
// again; a thread that was created is waited for, not left behind.
TEST_F(OutputFallback, FailedStartsFallBackAndRetry)
{
    AppInstance = GetModuleHandleA(nullptr);
    StartWindowThread = NoThread;
    EXPECT_FALSE(LoadWindows());
    StartWindowThread = CreateThread;

    StartWindowThread = RecordedThread;
    RaiseWindowThreadPriority = NoPriority;
    testing::internal::CaptureStdout();
    statusf("to the console\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "to the console\n");
    RaiseWindowThreadPriority = SetThreadPriority;
    StartWindowThread = CreateThread;
    // The thread had started; by the time the output is done it has ended.
    ASSERT_NE(StartedThread, nullptr);
    EXPECT_EQ(WaitForSingleObject(StartedThread, 0), WAIT_OBJECT_0);
    CloseHandle(StartedThread);

    EXPECT_TRUE(LoadWindows());
}

} // namespace
