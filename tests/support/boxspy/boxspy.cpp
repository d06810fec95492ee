// boxspy: reports every visible message box on the screen, one line each:
//
//   box owner=<0|1> icon=<0|1> buttons=<text>[,<text>...] text=<text>
//
// A message box is a top-level dialog window (class "#32770") with a caption.
// Texts are written in the ANSI code page; a line feed in a text is written
// as "\n", a backslash as "\\". The status window has no caption and is not
// reported. Exit status 0.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// Message boxes identify their text by this control ID.
const int MessageTextId = 0xFFFF;

std::string TextOf(HWND window)
{
    int length = GetWindowTextLengthA(window);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    int got = GetWindowTextA(window, &text[0], length + 1);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

std::string Escaped(const std::string &text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (c != '\r') {
            out += c;
        }
    }
    return out;
}

std::string ClassOf(HWND window)
{
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

struct Box {
    std::string text;
    std::vector<std::string> buttons;
    bool icon = false;
};

BOOL CALLBACK VisitControl(HWND control, LPARAM param)
{
    Box &box = *reinterpret_cast<Box *>(param);
    std::string kind = ClassOf(control);
    LONG style = GetWindowLongA(control, GWL_STYLE);
    if (kind == "Button" && (style & WS_VISIBLE)) {
        box.buttons.push_back(TextOf(control));
    } else if (kind == "Static" && GetDlgCtrlID(control) == MessageTextId) {
        box.text = TextOf(control);
    } else if (kind == "Static" && (style & SS_TYPEMASK) == SS_ICON && (style & WS_VISIBLE)) {
        box.icon = SendMessageA(control, STM_GETICON, 0, 0) != 0;
    }
    return TRUE;
}

BOOL CALLBACK VisitWindow(HWND window, LPARAM)
{
    if (!IsWindowVisible(window) || ClassOf(window) != "#32770") return TRUE;
    if ((GetWindowLongA(window, GWL_STYLE) & WS_CAPTION) != WS_CAPTION) return TRUE;
    Box box;
    EnumChildWindows(window, VisitControl, reinterpret_cast<LPARAM>(&box));
    std::string buttons;
    for (const std::string &button : box.buttons) {
        if (!buttons.empty()) buttons += ",";
        buttons += button;
    }
    printf("box owner=%d icon=%d buttons=%s title=%s text=%s\n",
           GetWindow(window, GW_OWNER) != nullptr, box.icon, buttons.c_str(),
           Escaped(TextOf(window)).c_str(), Escaped(box.text).c_str());
    return TRUE;
}

} // namespace

int main()
{
    EnumWindows(VisitWindow, 0);
    return 0;
}
