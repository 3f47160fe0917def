// robot.exe: drives the dialogs and message boxes of another program the way
// a user would, through window messages only (no hooks, no injected input),
// and writes one transcript line per action to stdout.
//
//   robot.exe [--wait MS] COMMAND ARGS... [-- COMMAND ARGS...]...
//
// Several commands separated by "--" run one after the other in one start
// of the robot, until one of them does not succeed.
// Every command that names a window first waits for a visible top-level
// window with exactly that caption, at most --wait milliseconds (default
// 10000). Exit codes: 0 done, 1 timed out or not found, 2 usage, 3 refused
// (the control is disabled or hidden, as it would be for a user), 4 the
// result did not hold (a check mark that did not change, for example).
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

enum Exit { kDone = 0, kNotFound = 1, kUsage = 2, kRefused = 3, kNotHeld = 4 };

constexpr DWORD kPollMs = 50;
constexpr UINT kSendTimeoutMs = 2000;

DWORD g_start = 0;
DWORD g_waitMs = 10000;

// One transcript line: milliseconds since the robot started, the command,
// then what it found or did.
void Say(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::printf("[%6lu] ", static_cast<unsigned long>(GetTickCount() - g_start));
    std::vprintf(format, args);
    std::printf("\n");
    std::fflush(stdout);
    va_end(args);
}

// Control characters written so that one control stays on one line.
std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '\t') out += "\\t";
        else out += c;
    }
    return out;
}

std::string WithoutMnemonic(const std::string& text) {
    std::string out;
    for (char c : text)
        if (c != '&') out += c;
    return out;
}

std::string ClassOf(HWND window) {
    char name[128] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

// The window's text as its own window procedure reports it (WM_GETTEXT,
// which Windows carries across processes), so that edit controls show what
// was typed. A window whose thread does not answer in time falls back to
// the caption Windows keeps for it.
std::string TextOf(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                             &length)) {
        char buffer[1024] = {};
        GetWindowTextA(window, buffer, sizeof buffer);
        return buffer;
    }
    std::vector<char> buffer(length + 2, '\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                        SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied);
    return std::string(buffer.data());
}

LRESULT Ask(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                             &result))
        return -1;
    return static_cast<LRESULT>(result);
}

struct Found {
    std::string title;
    HWND window = nullptr;
};

BOOL CALLBACK MatchTitle(HWND window, LPARAM param) {
    auto* found = reinterpret_cast<Found*>(param);
    if (!IsWindowVisible(window)) return TRUE;
    char caption[512] = {};
    GetWindowTextA(window, caption, sizeof caption);
    if (found->title == caption) {
        found->window = window;
        return FALSE;
    }
    return TRUE;
}

// The first visible top-level window (in z-order) with exactly this caption.
HWND FindTopLevel(const std::string& title) {
    Found found{title, nullptr};
    EnumWindows(MatchTitle, reinterpret_cast<LPARAM>(&found));
    return found.window;
}

HWND WaitForWindow(const std::string& title, DWORD timeoutMs) {
    DWORD begin = GetTickCount();
    for (;;) {
        if (HWND window = FindTopLevel(title)) return window;
        if (GetTickCount() - begin >= timeoutMs) return nullptr;
        Sleep(kPollMs);
    }
}

DWORD ProcessOf(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid;
}

BOOL CALLBACK AddChild(HWND child, LPARAM param) {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(child);
    return TRUE;
}

std::vector<HWND> Descendants(HWND parent) {
    std::vector<HWND> all;
    EnumChildWindows(parent, AddChild, reinterpret_cast<LPARAM>(&all));
    return all;
}

int Depth(HWND child, HWND top) {
    int depth = 0;
    for (HWND w = GetParent(child); w && w != top; w = GetParent(w)) ++depth;
    return depth;
}

bool IsCheckable(HWND control) {
    if (ClassOf(control) != "Button") return false;
    LONG type = GetWindowLongA(control, GWL_STYLE) & BS_TYPEMASK;
    return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON ||
           type == BS_AUTORADIOBUTTON || type == BS_3STATE || type == BS_AUTO3STATE;
}

// What a user sees of a control beyond its text: check mark, state, position.
std::string StateOf(HWND control) {
    std::string state;
    std::string cls = ClassOf(control);
    if (IsCheckable(control)) state += Ask(control, BM_GETCHECK) == BST_CHECKED ? " checked" : " unchecked";
    if (cls == PROGRESS_CLASSA) state += " pos=" + std::to_string(Ask(control, PBM_GETPOS));
    if (cls == "ListBox") state += " count=" + std::to_string(Ask(control, LB_GETCOUNT));
    if (!IsWindowEnabled(control)) state += " disabled";
    if (!IsWindowVisible(control)) state += " hidden";
    return state;
}

void PrintWindow(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    Say("window \"%s\" pid=%lu class=%s rect=%ld,%ld,%ldx%ld%s", Escaped(TextOf(window)).c_str(),
        ProcessOf(window), ClassOf(window).c_str(), r.left, r.top, r.right - r.left,
        r.bottom - r.top, IsWindowEnabled(window) ? "" : " disabled");
}

void PrintControls(HWND window) {
    for (HWND child : Descendants(window)) {
        std::string indent(2 * (1 + Depth(child, window)), ' ');
        std::printf("%s%d %s \"%s\"%s\n", indent.c_str(), GetDlgCtrlID(child), ClassOf(child).c_str(),
                    Escaped(TextOf(child)).c_str(), StateOf(child).c_str());
    }
    std::fflush(stdout);
}

// A direct child control by id (decimal, -1 allowed) or by its text without
// the mnemonic ampersand ("Yes" finds "&Yes").
HWND FindControl(HWND window, const std::string& idOrText) {
    char* end = nullptr;
    long id = std::strtol(idOrText.c_str(), &end, 10);
    bool numeric = !idOrText.empty() && *end == '\0';
    for (HWND child : Descendants(window)) {
        if (numeric ? GetDlgCtrlID(child) == id
                    : WithoutMnemonic(TextOf(child)) == WithoutMnemonic(idOrText))
            return child;
    }
    return nullptr;
}

HWND Need(const std::string& title) {
    HWND window = WaitForWindow(title, g_waitMs);
    if (!window) Say("no window \"%s\" within %lu ms", title.c_str(), g_waitMs);
    return window;
}

HWND NeedControl(HWND window, const std::string& title, const std::string& control) {
    HWND found = FindControl(window, control);
    if (!found) Say("no control %s in \"%s\"", control.c_str(), title.c_str());
    return found;
}

// A user can only use what is visible and enabled.
bool Usable(HWND control, const std::string& what) {
    if (IsWindowVisible(control) && IsWindowEnabled(control)) return true;
    Say("refused: %s is %s", what.c_str(), IsWindowVisible(control) ? "disabled" : "hidden");
    return false;
}

bool WaitUntil(DWORD timeoutMs, bool (*holds)(void*), void* context) {
    DWORD begin = GetTickCount();
    for (;;) {
        if (holds(context)) return true;
        if (GetTickCount() - begin >= timeoutMs) return false;
        Sleep(kPollMs);
    }
}

// --- commands

int WaitWindow(const std::string& title, DWORD timeoutMs) {
    HWND window = WaitForWindow(title, timeoutMs);
    if (!window) {
        Say("wait-window \"%s\": none within %lu ms", title.c_str(), timeoutMs);
        return kNotFound;
    }
    Say("wait-window \"%s\": found", title.c_str());
    PrintWindow(window);
    return kDone;
}

int WaitGone(const std::string& title, DWORD timeoutMs) {
    DWORD begin = GetTickCount();
    while (FindTopLevel(title)) {
        if (GetTickCount() - begin >= timeoutMs) {
            Say("wait-gone \"%s\": still there after %lu ms", title.c_str(), timeoutMs);
            return kNotFound;
        }
        Sleep(kPollMs);
    }
    Say("wait-gone \"%s\": gone", title.c_str());
    return kDone;
}

int Texts(const std::string& title) {
    HWND window = Need(title);
    if (!window) return kNotFound;
    PrintWindow(window);
    PrintControls(window);
    return kDone;
}

int WaitText(const std::string& title, const std::string& control, const std::string& text,
             DWORD timeoutMs) {
    HWND window = Need(title);
    if (!window) return kNotFound;
    HWND target = NeedControl(window, title, control);
    if (!target) return kNotFound;
    DWORD begin = GetTickCount();
    std::string seen;
    for (;;) {
        seen = TextOf(target);
        if (seen.find(text) != std::string::npos) {
            Say("wait-text \"%s\" %s: \"%s\"", title.c_str(), control.c_str(), Escaped(seen).c_str());
            return kDone;
        }
        if (GetTickCount() - begin >= timeoutMs || !IsWindow(target)) break;
        Sleep(kPollMs);
    }
    Say("wait-text \"%s\" %s: wanted \"%s\", shows \"%s\"", title.c_str(), control.c_str(),
        Escaped(text).c_str(), Escaped(seen).c_str());
    return kNotHeld;
}

int Click(const std::string& title, const std::string& control) {
    HWND window = Need(title);
    if (!window) return kNotFound;
    HWND button = NeedControl(window, title, control);
    if (!button) return kNotFound;
    if (!Usable(button, control)) return kRefused;
    std::string text = TextOf(button);
    // Posted, as a mouse click is queued: a handler that opens a modal box
    // does not hold the robot.
    PostMessageA(button, BM_CLICK, 0, 0);
    Say("click \"%s\" %s \"%s\"", title.c_str(), control.c_str(), Escaped(text).c_str());
    return kDone;
}

struct CheckWait {
    HWND button;
};

int Check(const std::string& title, const std::string& control) {
    HWND window = Need(title);
    if (!window) return kNotFound;
    HWND button = NeedControl(window, title, control);
    if (!button) return kNotFound;
    if (!Usable(button, control)) return kRefused;
    PostMessageA(button, BM_CLICK, 0, 0);
    CheckWait wait{button};
    bool checked = WaitUntil(
        2000,
        [](void* c) { return Ask(static_cast<CheckWait*>(c)->button, BM_GETCHECK) == BST_CHECKED; },
        &wait);
    Say("check \"%s\" %s \"%s\": %s", title.c_str(), control.c_str(), TextOf(button).c_str(),
        checked ? "checked" : "NOT checked");
    return checked ? kDone : kNotHeld;
}

// Typing replaces the selection, so select everything and type each
// character; the edit control applies its own rules (ES_NUMBER and so on).
int Type(const std::string& title, const std::string& control, const std::string& text) {
    HWND window = Need(title);
    if (!window) return kNotFound;
    HWND edit = NeedControl(window, title, control);
    if (!edit) return kNotFound;
    if (!Usable(edit, control)) return kRefused;
    Ask(edit, EM_SETSEL, 0, -1);
    if (text.empty()) Ask(edit, WM_CHAR, VK_BACK, 0);
    for (unsigned char c : text) Ask(edit, WM_CHAR, c, 1);
    Say("type \"%s\" %s: \"%s\"", title.c_str(), control.c_str(), Escaped(TextOf(edit)).c_str());
    return kDone;
}

int SetIp(const std::string& title, const std::string& control, const std::string& address) {
    unsigned a, b, c, d;
    char rest;
    if (std::sscanf(address.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &d, &rest) != 4 || a > 255 ||
        b > 255 || c > 255 || d > 255) {
        Say("set-ip: \"%s\" is not an address", address.c_str());
        return kUsage;
    }
    HWND window = Need(title);
    if (!window) return kNotFound;
    HWND ip = NeedControl(window, title, control);
    if (!ip) return kNotFound;
    if (!Usable(ip, control)) return kRefused;
    Ask(ip, IPM_SETADDRESS, 0, MAKEIPADDRESS(a, b, c, d));
    // IPM_GETADDRESS wants a pointer in the other process; its four fields
    // are edit controls whose texts travel fine.
    std::string fields;
    for (HWND field : Descendants(ip)) fields += (fields.empty() ? "" : " ") + TextOf(field);
    Say("set-ip \"%s\" %s %s: fields %s", title.c_str(), control.c_str(), address.c_str(),
        fields.c_str());
    return kDone;
}

// Answers a message box by its button, after recording what it says.
int Answer(const std::string& title, const std::string& answer) {
    HWND box = Need(title);
    if (!box) return kNotFound;
    PrintWindow(box);
    PrintControls(box);
    HWND button = FindControl(box, answer);
    if (!button) {
        Say("answer \"%s\": no button %s", title.c_str(), answer.c_str());
        return kNotFound;
    }
    if (!Usable(button, answer)) return kRefused;
    PostMessageA(button, BM_CLICK, 0, 0);
    DWORD begin = GetTickCount();
    while (IsWindow(box) && IsWindowVisible(box) && GetTickCount() - begin < g_waitMs) Sleep(kPollMs);
    bool gone = !IsWindow(box) || !IsWindowVisible(box);
    Say("answer \"%s\" %s: %s", title.c_str(), answer.c_str(), gone ? "closed" : "STILL OPEN");
    return gone ? kDone : kNotHeld;
}

// A key pressed while the window is active: the message goes to the control
// that has the focus in the window's thread, as the keyboard's would.
int Key(const std::string& title, const std::string& keyName) {
    struct Named {
        const char* name;
        WPARAM key;
    };
    static const Named kKeys[] = {{"escape", VK_ESCAPE}, {"enter", VK_RETURN}, {"space", VK_SPACE},
                                  {"tab", VK_TAB},       {"alt+f4", VK_F4}};
    WPARAM key = 0;
    for (const Named& k : kKeys)
        if (keyName == k.name) key = k.key;
    bool alt = keyName.rfind("alt+", 0) == 0;
    if (!key) {
        Say("key: unknown key \"%s\"", keyName.c_str());
        return kUsage;
    }
    HWND window = Need(title);
    if (!window) return kNotFound;
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    HWND target = window;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) && info.hwndFocus &&
        (info.hwndFocus == window || IsChild(window, info.hwndFocus)))
        target = info.hwndFocus;
    UINT scan = MapVirtualKeyA(static_cast<UINT>(key), 0);
    // With Alt held the keyboard sends system keys, context bit 29 set.
    UINT down = alt ? WM_SYSKEYDOWN : WM_KEYDOWN, up = alt ? WM_SYSKEYUP : WM_KEYUP;
    LPARAM context = alt ? (1u << 29) : 0;
    PostMessageA(target, down, key, 1 | (scan << 16) | context);
    PostMessageA(target, up, key, 1 | (scan << 16) | context | (1u << 30) | (1u << 31));
    Say("key \"%s\" %s (to %s %d)", title.c_str(), keyName.c_str(), ClassOf(target).c_str(),
        GetDlgCtrlID(target));
    return kDone;
}

int Foreground() {
    HWND window = GetForegroundWindow();
    if (!window) {
        Say("foreground: none");
        return kNotFound;
    }
    Say("foreground \"%s\" pid=%lu", Escaped(TextOf(window)).c_str(), ProcessOf(window));
    return kDone;
}

HWND NeedList(const std::string& title, const std::string& control) {
    HWND window = Need(title);
    if (!window) return nullptr;
    HWND list = NeedControl(window, title, control);
    if (list && ClassOf(list) != "ListBox") {
        Say("control %s of \"%s\" is a %s, not a list box", control.c_str(), title.c_str(),
            ClassOf(list).c_str());
        return nullptr;
    }
    return list;
}

// The check list keeps each item's check state in its item data.
// Asked in UTF-16: Wine carries LB_GETTEXT across processes as a wide
// string, and an ANSI request gets only its first character back.
std::string ItemText(HWND list, int index) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(list, LB_GETTEXTLEN, index, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &length) ||
        static_cast<LRESULT>(length) < 0)
        return "";
    std::vector<wchar_t> wide(length + 2, L'\0');
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(wide.data()), SMTO_ABORTIFHUNG,
                        kSendTimeoutMs, &ignored);
    char text[1024] = {};
    WideCharToMultiByte(CP_ACP, 0, wide.data(), -1, text, sizeof text - 1, nullptr, nullptr);
    return text;
}

int ListChecks(const std::string& title, const std::string& control) {
    HWND list = NeedList(title, control);
    if (!list) return kNotFound;
    LRESULT count = Ask(list, LB_GETCOUNT);
    Say("list-checks \"%s\" %s: %ld items%s", title.c_str(), control.c_str(), static_cast<long>(count),
        IsWindowEnabled(list) ? "" : " (list disabled)");
    for (int i = 0; i < count; ++i) {
        LRESULT data = Ask(list, LB_GETITEMDATA, i);
        std::printf("  %d \"%s\" %s\n", i, Escaped(ItemText(list, i)).c_str(),
                    data == BST_CHECKED ? "checked" : data == BST_UNCHECKED ? "unchecked" : "other");
    }
    std::fflush(stdout);
    return kDone;
}

// A click on the item's check box: the box is the square at the left of the
// item, as wide as the item is high.
int ToggleCheck(const std::string& title, const std::string& control, int index) {
    HWND list = NeedList(title, control);
    if (!list) return kNotFound;
    if (!Usable(list, control)) return kRefused;
    LRESULT count = Ask(list, LB_GETCOUNT);
    if (index < 0 || index >= count) {
        Say("toggle-check: no item %d (%ld items)", index, static_cast<long>(count));
        return kNotFound;
    }
    LRESULT before = Ask(list, LB_GETITEMDATA, index);
    LRESULT top = Ask(list, LB_GETTOPINDEX);
    LRESULT height = Ask(list, LB_GETITEMHEIGHT, 0);
    int x = static_cast<int>(height / 2);
    int y = static_cast<int>((index - top) * height + height / 2);
    PostMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    PostMessageA(list, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    struct Context {
        HWND list;
        int index;
        LRESULT before;
    } context{list, index, before};
    bool changed = WaitUntil(
        2000,
        [](void* c) {
            auto* ctx = static_cast<Context*>(c);
            return Ask(ctx->list, LB_GETITEMDATA, ctx->index) != ctx->before;
        },
        &context);
    LRESULT after = Ask(list, LB_GETITEMDATA, index);
    Say("toggle-check \"%s\" %s %d \"%s\": %ld -> %ld", title.c_str(), control.c_str(), index,
        Escaped(ItemText(list, index)).c_str(), static_cast<long>(before), static_cast<long>(after));
    return changed ? kDone : kNotHeld;
}

BOOL CALLBACK ListOne(HWND window, LPARAM) {
    if (IsWindowVisible(window)) PrintWindow(window);
    return TRUE;
}

int Windows() {
    Say("windows:");
    EnumWindows(ListOne, 0);
    return kDone;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: robot.exe [--wait MS] COMMAND ARGS\n"
                 "  wait-window TITLE TIMEOUT_MS | wait-gone TITLE TIMEOUT_MS\n"
                 "  texts TITLE | wait-text TITLE CONTROL TEXT TIMEOUT_MS\n"
                 "  click TITLE CONTROL_ID_OR_TEXT | check TITLE CONTROL_ID\n"
                 "  type TITLE CONTROL_ID TEXT | set-ip TITLE CONTROL_ID A.B.C.D\n"
                 "  answer TITLE Yes|No|OK | key TITLE escape|enter|space|tab|alt+f4\n"
                 "  foreground | windows\n"
                 "  list-checks TITLE CONTROL_ID | toggle-check TITLE CONTROL_ID INDEX\n");
    return kUsage;
}

DWORD Milliseconds(const char* text) { return static_cast<DWORD>(std::strtoul(text, nullptr, 10)); }

int Run(const std::vector<std::string>& args) {
    if (args.empty()) return Usage();
    const std::string& command = args[0];
    size_t n = args.size() - 1;
    auto arg = [&](size_t i) -> const std::string& { return args[i]; };

    if (command == "wait-window" && n == 2) return WaitWindow(arg(1), Milliseconds(arg(2).c_str()));
    if (command == "wait-gone" && n == 2) return WaitGone(arg(1), Milliseconds(arg(2).c_str()));
    if (command == "texts" && n == 1) return Texts(arg(1));
    if (command == "wait-text" && n == 4)
        return WaitText(arg(1), arg(2), arg(3), Milliseconds(arg(4).c_str()));
    if (command == "click" && n == 2) return Click(arg(1), arg(2));
    if (command == "check" && n == 2) return Check(arg(1), arg(2));
    if (command == "type" && n == 3) return Type(arg(1), arg(2), arg(3));
    if (command == "set-ip" && n == 3) return SetIp(arg(1), arg(2), arg(3));
    if (command == "answer" && n == 2) return Answer(arg(1), arg(2));
    if (command == "key" && n == 2) return Key(arg(1), arg(2));
    if (command == "foreground" && n == 0) return Foreground();
    if (command == "windows" && n == 0) return Windows();
    if (command == "list-checks" && n == 2) return ListChecks(arg(1), arg(2));
    if (command == "toggle-check" && n == 3) return ToggleCheck(arg(1), arg(2), std::atoi(arg(3).c_str()));
    return Usage();
}

}  // namespace

int main(int argc, char** argv) {
    g_start = GetTickCount();
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() >= 2 && args[0] == "--wait") {
        g_waitMs = Milliseconds(args[1].c_str());
        args.erase(args.begin(), args.begin() + 2);
    }
    std::vector<std::string> command;
    for (size_t i = 0; i <= args.size(); ++i) {
        if (i < args.size() && args[i] != "--") {
            command.push_back(args[i]);
            continue;
        }
        if (int result = Run(command)) return result;
        command.clear();
    }
    return kDone;
}
