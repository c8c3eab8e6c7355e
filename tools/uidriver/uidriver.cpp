// uidriver: drives the windows of another program on the same desktop (under
// Wine: the same wineserver) for end-to-end tests.
//
//   uidriver COMMAND [ARG...]     run one command
//   uidriver -                    run commands from standard input, one a line
//
// Output is UTF-8, one line per result value. Texts are escaped so that each
// stays on one line: \\ \n \r \t and \uXXXX for other control characters; text
// arguments take the same escapes. Exit code: 0 done, 1 the command failed
// (not found, timed out, control disabled), 2 usage error. A script stops at
// the first command that fails.
//
// WIN is a top-level window: 0x1A2B (a handle printed by a command), CLASS,
// CLASS:TITLE or :TITLE (visible top-level windows, exact match). CTRL is a
// control inside WIN, searched among all descendants, child dialogs included:
// a control id (1199, 0xFFFF), "." for WIN itself, or a window class name for
// the first descendant of that class (SysListView32).
//
// One command looks at serial ports instead of windows: serial-probe lists
// the COM ports that a program of this desktop would find.

#include <windows.h>
#include <commctrl.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

enum Status { kOk = 0, kFailed = 1, kUsage = 2 };

constexpr int kTextMax = 4096;          // longest control text, in UTF-16 units
constexpr DWORD kSendTimeoutMs = 5000;  // a target that does not answer by then is hung
constexpr DWORD kSettleTimeoutMs = 10000;
constexpr DWORD kPollMs = 20;
constexpr int kMaxWindows = 512;
constexpr int kMaxIds = 256;
constexpr wchar_t kDialogClass[] = L"#32770";

wchar_t errorText[512];

Status fail(Status status, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    _vsnwprintf(errorText, sizeof errorText / sizeof errorText[0] - 1, format, args);
    errorText[sizeof errorText / sizeof errorText[0] - 1] = 0;
    va_end(args);
    return status;
}

// ---- text in and out -------------------------------------------------------

std::string toUtf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), &out[0], n, nullptr, nullptr);
    return out;
}

bool fromUtf8(const char* bytes, int length, std::wstring& out) {
    out.clear();
    if (length == 0) return true;
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, length, nullptr, 0);
    if (n <= 0) return false;
    out.resize(n);
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, length, &out[0], n);
    return true;
}

std::wstring escape(const wchar_t* text, size_t length) {
    std::wstring out;
    for (size_t i = 0; i < length; ++i) {
        wchar_t c = text[i];
        switch (c) {
        case L'\\': out += L"\\\\"; break;
        case L'\n': out += L"\\n"; break;
        case L'\r': out += L"\\r"; break;
        case L'\t': out += L"\\t"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                wchar_t code[8];
                swprintf(code, 8, L"\\u%04X", (unsigned)c);
                out += code;
            } else {
                out += c;
            }
        }
    }
    return out;
}

bool unescape(const std::wstring& in, std::wstring& out) {
    out.clear();
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] != L'\\') {
            out += in[i];
            continue;
        }
        if (++i == in.size()) return false;
        switch (in[i]) {
        case L'\\': out += L'\\'; break;
        case L'"': out += L'"'; break;
        case L'n': out += L'\n'; break;
        case L'r': out += L'\r'; break;
        case L't': out += L'\t'; break;
        case L'u': {
            if (in.size() - i - 1 < 4) return false;
            wchar_t digits[5] = {in[i + 1], in[i + 2], in[i + 3], in[i + 4], 0};
            wchar_t* end = nullptr;
            unsigned long code = wcstoul(digits, &end, 16);
            if (*end != 0) return false;
            out += (wchar_t)code;
            i += 4;
            break;
        }
        default: return false;
        }
    }
    return true;
}

void printLine(const std::wstring& line) {
    std::string bytes = toUtf8(line);
    bytes += '\n';
    fwrite(bytes.data(), 1, bytes.size(), stdout);
    fflush(stdout);
}

void printText(const wchar_t* text, size_t length) { printLine(escape(text, length)); }

std::wstring handleText(HWND hwnd) {
    wchar_t buffer[32];
    swprintf(buffer, 32, L"0x%llx", (unsigned long long)(UINT_PTR)hwnd);
    return buffer;
}

// ---- numbers ---------------------------------------------------------------

bool parseNumber(const std::wstring& text, long long low, long long high, long long& value) {
    if (text.empty()) return false;
    wchar_t* end = nullptr;
    bool hex = text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X');
    long long v = wcstoll(text.c_str(), &end, hex ? 16 : 10);
    if (*end != 0 || v < low || v > high) return false;
    value = v;
    return true;
}

bool parseTimeout(const std::wstring& text, DWORD& ms) {
    long long v = 0;
    if (!parseNumber(text, 0, 600000, v)) return false;
    ms = (DWORD)v;
    return true;
}

// ---- talking to another process's windows ----------------------------------

bool send(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    DWORD_PTR r = 0;
    if (!SendMessageTimeoutW(hwnd, msg, wp, lp, SMTO_ABORTIFHUNG, kSendTimeoutMs, &r)) return false;
    result = (LRESULT)r;
    return true;
}

DWORD processOf(HWND hwnd) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    return pid;
}

// Memory inside the target process, for messages whose parameters point at
// structures: the common controls' messages are not marshalled between
// processes.
class RemoteBuffer {
public:
    RemoteBuffer(HWND owner, SIZE_T size) : size_(size) {
        process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processOf(owner));
        if (process_) base_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
    ~RemoteBuffer() {
        if (base_) VirtualFreeEx(process_, base_, 0, MEM_RELEASE);
        if (process_) CloseHandle(process_);
    }
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;

    bool ok() const { return base_ != nullptr; }
    char* at(SIZE_T offset) const { return static_cast<char*>(base_) + offset; }
    bool write(SIZE_T offset, const void* data, SIZE_T n) const {
        SIZE_T done = 0;
        return offset + n <= size_ && WriteProcessMemory(process_, at(offset), data, n, &done) && done == n;
    }
    bool read(SIZE_T offset, void* data, SIZE_T n) const {
        SIZE_T done = 0;
        return offset + n <= size_ && ReadProcessMemory(process_, at(offset), data, n, &done) && done == n;
    }

private:
    HANDLE process_ = nullptr;
    void* base_ = nullptr;
    SIZE_T size_;
};

Status readText(HWND hwnd, std::wstring& text) {
    LRESULT length = 0;
    if (!send(hwnd, WM_GETTEXTLENGTH, 0, 0, length)) return fail(kFailed, L"window 0x%llx does not answer", (unsigned long long)(UINT_PTR)hwnd);
    if (length >= kTextMax) return fail(kFailed, L"text of %lld characters is longer than %d", (long long)length, kTextMax - 1);
    static wchar_t buffer[kTextMax];
    buffer[0] = 0;
    LRESULT copied = 0;
    if (!send(hwnd, WM_GETTEXT, kTextMax, (LPARAM)buffer, copied)) return fail(kFailed, L"window does not answer");
    if (copied < 0 || copied >= kTextMax) copied = 0;
    text.assign(buffer, (size_t)copied);
    return kOk;
}

// Top-level windows: a visible one matching a class and title.
struct WindowList {
    HWND items[kMaxWindows];
    int count = 0;
};

struct TopLevelQuery {
    const std::wstring* className;
    const std::wstring* title;
    bool anyClass;
    bool anyTitle;
    HWND found;
};

BOOL CALLBACK matchTopLevel(HWND hwnd, LPARAM lp) {
    auto* q = reinterpret_cast<TopLevelQuery*>(lp);
    if (!IsWindowVisible(hwnd)) return TRUE;
    wchar_t buffer[256];
    if (!q->anyClass) {
        if (!GetClassNameW(hwnd, buffer, 256) || *q->className != buffer) return TRUE;
    }
    if (!q->anyTitle) {
        // GetWindowText reads a top-level caption without sending a message.
        static wchar_t title[kTextMax];
        title[0] = 0;
        GetWindowTextW(hwnd, title, kTextMax);
        if (*q->title != title) return TRUE;
    }
    q->found = hwnd;
    return FALSE;
}

bool isHandleText(const std::wstring& s) {
    return s.size() > 2 && s[0] == L'0' && (s[1] == L'x' || s[1] == L'X');
}

// Finds WIN now; a selector that matches nothing gives nullptr.
Status findWindow(const std::wstring& selector, HWND& out) {
    out = nullptr;
    if (isHandleText(selector)) {
        long long value = 0;
        if (!parseNumber(selector, 1, 0x7FFFFFFFFFFFLL, value)) return fail(kUsage, L"bad window handle %ls", selector.c_str());
        HWND hwnd = (HWND)(UINT_PTR)value;
        if (IsWindow(hwnd)) out = hwnd;
        return kOk;
    }
    size_t colon = selector.find(L':');
    std::wstring className = selector.substr(0, colon);
    std::wstring title = colon == std::wstring::npos ? std::wstring() : selector.substr(colon + 1);
    TopLevelQuery q{&className, &title, className.empty(), colon == std::wstring::npos, nullptr};
    if (q.anyClass && q.anyTitle) return fail(kUsage, L"empty window selector");
    EnumWindows(matchTopLevel, (LPARAM)&q);
    out = q.found;
    return kOk;
}

Status needWindow(const std::wstring& selector, HWND& out) {
    Status s = findWindow(selector, out);
    if (s != kOk) return s;
    if (!out) return fail(kFailed, L"no window %ls", selector.c_str());
    return kOk;
}

// Descendants: by control id (low 16 bits, so 0xFFFF also finds the -1 of
// a static) or by class; a visible match wins over a hidden one.
struct ChildQuery {
    bool byId;
    int id;
    const std::wstring* className;
    HWND visible;
    HWND hidden;
};

BOOL CALLBACK matchChild(HWND hwnd, LPARAM lp) {
    auto* q = reinterpret_cast<ChildQuery*>(lp);
    bool match;
    if (q->byId) {
        match = (GetDlgCtrlID(hwnd) & 0xFFFF) == (q->id & 0xFFFF);
    } else {
        wchar_t buffer[256];
        match = GetClassNameW(hwnd, buffer, 256) && _wcsicmp(q->className->c_str(), buffer) == 0;
    }
    if (!match) return TRUE;
    if (IsWindowVisible(hwnd)) {
        q->visible = hwnd;
        return FALSE;
    }
    if (!q->hidden) q->hidden = hwnd;
    return TRUE;
}

Status findControl(HWND win, const std::wstring& token, HWND& out) {
    out = nullptr;
    if (token == L".") {
        out = win;
        return kOk;
    }
    long long id = 0;
    ChildQuery q{false, 0, &token, nullptr, nullptr};
    if (iswdigit(token[0])) {
        if (!parseNumber(token, 0, 0xFFFF, id)) return fail(kUsage, L"bad control id %ls", token.c_str());
        q.byId = true;
        q.id = (int)id;
    }
    EnumChildWindows(win, matchChild, (LPARAM)&q);
    out = q.visible ? q.visible : q.hidden;
    if (!out) return fail(kFailed, L"no control %ls in window 0x%llx", token.c_str(), (unsigned long long)(UINT_PTR)win);
    return kOk;
}

Status needControl(const std::wstring& winSel, const std::wstring& ctrl, HWND& out) {
    HWND win = nullptr;
    Status s = needWindow(winSel, win);
    if (s != kOk) return s;
    return findControl(win, ctrl, out);
}

// A user can reach a control when it and every window above it are enabled
// and it is visible; a modal dialog disables its owner.
bool reachable(HWND hwnd) {
    if (!IsWindowVisible(hwnd)) return false;
    HWND desktop = GetDesktopWindow();
    for (HWND w = hwnd; w && w != desktop; w = GetAncestor(w, GA_PARENT)) {
        if (!IsWindowEnabled(w)) return false;
    }
    return true;
}

struct ProcessQuery {
    DWORD pid;
    WindowList* list;
};

BOOL CALLBACK collectTopLevel(HWND hwnd, LPARAM lp) {
    auto* q = reinterpret_cast<ProcessQuery*>(lp);
    if (q->list->count < kMaxWindows && IsWindowVisible(hwnd) && processOf(hwnd) == q->pid) {
        q->list->items[q->list->count++] = hwnd;
    }
    return TRUE;
}

void topLevelOf(DWORD pid, WindowList& list) {
    list.count = 0;
    ProcessQuery q{pid, &list};
    EnumWindows(collectTopLevel, (LPARAM)&q);
}

bool contains(const WindowList& list, HWND hwnd) {
    for (int i = 0; i < list.count; ++i) {
        if (list.items[i] == hwnd) return true;
    }
    return false;
}

struct SendJob {
    HWND hwnd;
    UINT msg;
    WPARAM wp;
    LPARAM lp;
};

DWORD WINAPI sendJobThread(void* p) {
    auto* job = static_cast<SendJob*>(p);
    SendMessageW(job->hwnd, job->msg, job->wp, job->lp);
    delete job;
    return 0;
}

// Sends a message that may run a modal loop in the target (a message box, a
// dialog). Returns once the target has handled it, or once the target shows a
// new top-level window or its window becomes disabled: then the handler waits
// in a modal loop and the caller goes on to drive that window.
Status sendSettled(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    DWORD pid = processOf(hwnd);
    HWND root = GetAncestor(hwnd, GA_ROOT);
    bool rootEnabled = IsWindowEnabled(root) != FALSE;
    static WindowList before, now;
    topLevelOf(pid, before);

    HANDLE thread = CreateThread(nullptr, 0, sendJobThread, new SendJob{hwnd, msg, wp, lp}, 0, nullptr);
    if (!thread) return fail(kFailed, L"cannot start a thread");
    Status result = fail(kFailed, L"no answer within %lu ms", (unsigned long)kSettleTimeoutMs);
    for (DWORD waited = 0; waited < kSettleTimeoutMs; waited += kPollMs) {
        if (WaitForSingleObject(thread, kPollMs) == WAIT_OBJECT_0) {
            result = kOk;
            break;
        }
        if (rootEnabled && IsWindow(root) && !IsWindowEnabled(root)) {
            result = kOk;
            break;
        }
        topLevelOf(pid, now);
        bool opened = false;
        for (int i = 0; i < now.count && !opened; ++i) opened = !contains(before, now.items[i]);
        if (opened) {
            result = kOk;
            break;
        }
    }
    // A send still pending belongs to its thread, which ends with the process.
    CloseHandle(thread);
    return result;
}

// A message box of the process that owns WIN: a visible top-level dialog with
// the message static 0xFFFF; while several are up, the enabled one is on top.
struct MessageBoxQuery {
    DWORD pid;
    HWND enabled;
    HWND disabled;
};

BOOL CALLBACK matchMessageBox(HWND hwnd, LPARAM lp) {
    auto* q = reinterpret_cast<MessageBoxQuery*>(lp);
    wchar_t className[64];
    if (!IsWindowVisible(hwnd) || processOf(hwnd) != q->pid) return TRUE;
    if (!GetClassNameW(hwnd, className, 64) || wcscmp(className, kDialogClass) != 0) return TRUE;
    if (!GetDlgItem(hwnd, 0xFFFF)) return TRUE;
    if (IsWindowEnabled(hwnd)) {
        q->enabled = hwnd;
        return FALSE;
    }
    if (!q->disabled) q->disabled = hwnd;
    return TRUE;
}

Status waitMessageBox(HWND owner, DWORD timeoutMs, HWND& box) {
    MessageBoxQuery q{processOf(owner), nullptr, nullptr};
    for (DWORD waited = 0;; waited += kPollMs) {
        q.enabled = q.disabled = nullptr;
        EnumWindows(matchMessageBox, (LPARAM)&q);
        box = q.enabled ? q.enabled : q.disabled;
        if (box) return kOk;
        if (waited >= timeoutMs) return fail(kFailed, L"no message box within %lu ms", (unsigned long)timeoutMs);
        Sleep(kPollMs);
    }
}

Status waitGone(HWND hwnd, DWORD timeoutMs) {
    for (DWORD waited = 0;; waited += kPollMs) {
        if (!IsWindow(hwnd) || !IsWindowVisible(hwnd)) return kOk;
        if (waited >= timeoutMs) return fail(kFailed, L"window 0x%llx still shown after %lu ms", (unsigned long long)(UINT_PTR)hwnd, (unsigned long)timeoutMs);
        Sleep(kPollMs);
    }
}

// ---- commands --------------------------------------------------------------

using Args = std::vector<std::wstring>;  // args[0] is the command name

Status cmdWaitWindow(const Args& a) {
    DWORD timeout = 0;
    if (!parseTimeout(a[2], timeout)) return fail(kUsage, L"bad timeout %ls", a[2].c_str());
    for (DWORD waited = 0;; waited += kPollMs) {
        HWND hwnd = nullptr;
        Status s = findWindow(a[1], hwnd);
        if (s != kOk) return s;
        if (hwnd && IsWindowVisible(hwnd)) {
            printLine(handleText(hwnd));
            return kOk;
        }
        if (waited >= timeout) return fail(kFailed, L"no window %ls within %lu ms", a[1].c_str(), (unsigned long)timeout);
        Sleep(kPollMs);
    }
}

Status cmdWaitGone(const Args& a) {
    DWORD timeout = 0;
    if (!parseTimeout(a[2], timeout)) return fail(kUsage, L"bad timeout %ls", a[2].c_str());
    for (DWORD waited = 0;; waited += kPollMs) {
        HWND hwnd = nullptr;
        Status s = findWindow(a[1], hwnd);
        if (s != kOk) return s;
        if (!hwnd || !IsWindowVisible(hwnd)) {
            printLine(L"ok");
            return kOk;
        }
        if (waited >= timeout) return fail(kFailed, L"window %ls still shown after %lu ms", a[1].c_str(), (unsigned long)timeout);
        Sleep(kPollMs);
    }
}

Status cmdFind(const Args& a) {
    HWND ctl = nullptr;
    Status s = needControl(a[1], a[2], ctl);
    if (s == kOk) printLine(handleText(ctl));
    return s;
}

Status cmdGetText(const Args& a) {
    HWND ctl = nullptr;
    std::wstring text;
    Status s = needControl(a[1], a[2], ctl);
    if (s == kOk) s = readText(ctl, text);
    if (s == kOk) printText(text.data(), text.size());
    return s;
}

Status cmdWaitText(const Args& a) {
    std::wstring want, text;
    DWORD timeout = 0;
    if (!unescape(a[3], want)) return fail(kUsage, L"bad escape in %ls", a[3].c_str());
    if (!parseTimeout(a[4], timeout)) return fail(kUsage, L"bad timeout %ls", a[4].c_str());
    // The control is looked for again at every poll: it may belong to a
    // dialog that is still to be created (a page after a reply) or that is
    // being created anew.
    for (DWORD waited = 0;; waited += kPollMs) {
        HWND ctl = nullptr;
        Status s = needControl(a[1], a[2], ctl);
        if (s == kUsage) return s;
        if (s == kOk) s = readText(ctl, text);
        if (s == kOk && text == want) {
            printText(text.data(), text.size());
            return kOk;
        }
        if (waited >= timeout) {
            if (s != kOk) return s;
            return fail(kFailed, L"text is \"%ls\" after %lu ms", escape(text.data(), text.size()).c_str(), (unsigned long)timeout);
        }
        Sleep(kPollMs);
    }
}

Status cmdSetText(const Args& a) {
    std::wstring text;
    if (!unescape(a[3], text)) return fail(kUsage, L"bad escape in %ls", a[3].c_str());
    if (text.size() >= kTextMax) return fail(kUsage, L"text longer than %d", kTextMax - 1);
    HWND ctl = nullptr;
    Status s = needControl(a[1], a[2], ctl);
    LRESULT r = 0;
    if (s == kOk && !send(ctl, WM_SETTEXT, 0, (LPARAM)text.c_str(), r)) s = fail(kFailed, L"control does not answer");
    if (s == kOk && !r) s = fail(kFailed, L"the control refused the text");
    if (s == kOk) printLine(L"ok");
    return s;
}

Status cmdClick(const Args& a) {
    HWND ctl = nullptr;
    Status s = needControl(a[1], a[2], ctl);
    if (s != kOk) return s;
    if (!reachable(ctl)) return fail(kFailed, L"control %ls is disabled or hidden", a[2].c_str());
    s = sendSettled(ctl, BM_CLICK, 0, 0);
    if (s == kOk) printLine(L"ok");
    return s;
}

// WM_COMMAND as a click, a menu or an accelerator would send it: to the
// control's parent if WIN holds a control with that id, else to WIN itself.
Status cmdCommand(const Args& a) {
    HWND win = nullptr;
    long long id = 0;
    if (!parseNumber(a[2], 0, 0xFFFF, id)) return fail(kUsage, L"bad command id %ls", a[2].c_str());
    Status s = needWindow(a[1], win);
    if (s != kOk) return s;
    HWND ctl = nullptr;
    HWND to = win;
    if (findControl(win, a[2], ctl) == kOk && ctl != win) to = GetParent(ctl);
    else ctl = nullptr;
    s = sendSettled(to, WM_COMMAND, MAKEWPARAM((WORD)id, BN_CLICKED), (LPARAM)ctl);
    if (s == kOk) printLine(L"ok");
    return s;
}

// Selects item INDEX of a combo box as a user's pick does: CB_SETCURSEL,
// then CBN_SELCHANGE to the box's parent (CB_SETCURSEL alone notifies no one).
Status cmdSelect(const Args& a) {
    long long index = 0;
    if (!parseNumber(a[3], -1, 0xFFFF, index)) return fail(kUsage, L"bad item index %ls", a[3].c_str());
    HWND ctl = nullptr;
    Status s = needControl(a[1], a[2], ctl);
    if (s != kOk) return s;
    if (!reachable(ctl)) return fail(kFailed, L"control %ls is disabled or hidden", a[2].c_str());
    LRESULT r = 0;
    if (!send(ctl, CB_SETCURSEL, (WPARAM)index, 0, r)) return fail(kFailed, L"control does not answer");
    if (index >= 0 && r == CB_ERR) return fail(kFailed, L"the list has no item %lld", index);
    s = sendSettled(GetParent(ctl), WM_COMMAND, MAKEWPARAM((WORD)GetDlgCtrlID(ctl), CBN_SELCHANGE), (LPARAM)ctl);
    if (s == kOk) printLine(L"ok");
    return s;
}

Status cmdClose(const Args& a) {
    HWND win = nullptr;
    Status s = needWindow(a[1], win);
    if (s == kOk && !PostMessageW(win, WM_CLOSE, 0, 0)) s = fail(kFailed, L"cannot post to the window");
    if (s == kOk) s = waitGone(win, kSettleTimeoutMs);
    if (s == kOk) printLine(L"ok");
    return s;
}

// Minimises, maximises or restores WIN as its caption buttons and system
// menu do (WM_SYSCOMMAND), waits until it is in that state and prints its
// window rectangle: left top width height.
Status cmdShow(const Args& a) {
    static const struct {
        const wchar_t* name;
        WPARAM command;
    } kStates[] = {{L"min", SC_MINIMIZE}, {L"max", SC_MAXIMIZE}, {L"restore", SC_RESTORE}};
    WPARAM command = 0;
    for (const auto& state : kStates) {
        if (a[2] == state.name) command = state.command;
    }
    if (!command) return fail(kUsage, L"the state is min, max or restore");
    HWND win = nullptr;
    Status s = needWindow(a[1], win);
    if (s == kOk) s = sendSettled(win, WM_SYSCOMMAND, command, 0);
    for (DWORD waited = 0; s == kOk; waited += kPollMs) {
        const bool iconic = IsIconic(win) != FALSE, zoomed = IsZoomed(win) != FALSE;
        if (command == SC_MINIMIZE ? iconic : command == SC_MAXIMIZE ? zoomed : !iconic && !zoomed) break;
        if (waited >= kSettleTimeoutMs) s = fail(kFailed, L"the window did not take the state %ls", a[2].c_str());
        else Sleep(kPollMs);
    }
    RECT r = {};
    if (s == kOk && !GetWindowRect(win, &r)) s = fail(kFailed, L"cannot read the window's rectangle");
    if (s == kOk) {
        wchar_t line[64];
        swprintf(line, 64, L"%ld %ld %ld %ld", r.left, r.top, r.right - r.left, r.bottom - r.top);
        printLine(line);
    }
    return s;
}

Status cmdEnabled(const Args& a) {
    HWND ctl = nullptr;
    Status s = needControl(a[1], a[2], ctl);
    if (s == kOk) printLine(IsWindowEnabled(ctl) ? L"1" : L"0");
    return s;
}

Status cmdVisible(const Args& a) {
    HWND ctl = nullptr;
    Status s = needControl(a[1], a[2], ctl);
    if (s == kOk) printLine(IsWindowVisible(ctl) ? L"1" : L"0");
    return s;
}

Status cmdChecked(const Args& a) {
    HWND ctl = nullptr;
    LRESULT r = 0;
    Status s = needControl(a[1], a[2], ctl);
    if (s == kOk && !send(ctl, BM_GETCHECK, 0, 0, r)) s = fail(kFailed, L"control does not answer");
    if (s == kOk) printLine(std::to_wstring((long long)r));
    return s;
}

Status cmdSetCheck(const Args& a) {
    long long state = 0;
    if (!parseNumber(a[3], 0, 2, state)) return fail(kUsage, L"check state is 0, 1 or 2");
    HWND ctl = nullptr;
    LRESULT r = 0;
    Status s = needControl(a[1], a[2], ctl);
    if (s == kOk && !send(ctl, BM_SETCHECK, (WPARAM)state, 0, r)) s = fail(kFailed, L"control does not answer");
    if (s == kOk) printLine(L"ok");
    return s;
}

// Prints the address and the number of non-blank fields, tab-separated.
Status cmdGetIp(const Args& a) {
    HWND ctl = nullptr;
    Status s = needControl(a[1], a[2], ctl);
    if (s != kOk) return s;
    RemoteBuffer remote(ctl, sizeof(DWORD));
    DWORD address = 0;
    LRESULT fields = 0;
    if (!remote.ok() || !remote.write(0, &address, sizeof address)) return fail(kFailed, L"cannot reach the target's memory");
    if (!send(ctl, IPM_GETADDRESS, 0, (LPARAM)remote.at(0), fields)) return fail(kFailed, L"control does not answer");
    if (!remote.read(0, &address, sizeof address)) return fail(kFailed, L"cannot read the target's memory");
    wchar_t line[64];
    swprintf(line, 64, L"%u.%u.%u.%u\t%d", (unsigned)FIRST_IPADDRESS(address), (unsigned)SECOND_IPADDRESS(address),
             (unsigned)THIRD_IPADDRESS(address), (unsigned)FOURTH_IPADDRESS(address), (int)fields);
    printLine(line);
    return kOk;
}

// "blank" clears all four fields.
Status cmdSetIp(const Args& a) {
    bool blank = a[3] == L"blank";
    unsigned field[4] = {0, 0, 0, 0};
    if (!blank) {
        wchar_t tail = 0;
        if (swscanf(a[3].c_str(), L"%u.%u.%u.%u%lc", &field[0], &field[1], &field[2], &field[3], &tail) != 4 ||
            field[0] > 255 || field[1] > 255 || field[2] > 255 || field[3] > 255) {
            return fail(kUsage, L"bad address %ls (a.b.c.d or blank)", a[3].c_str());
        }
    }
    HWND ctl = nullptr;
    LRESULT r = 0;
    Status s = needControl(a[1], a[2], ctl);
    if (s != kOk) return s;
    bool sent = blank ? send(ctl, IPM_CLEARADDRESS, 0, 0, r)
                      : send(ctl, IPM_SETADDRESS, 0, MAKEIPADDRESS(field[0], field[1], field[2], field[3]), r);
    if (!sent) return fail(kFailed, L"control does not answer");
    printLine(L"ok");
    return kOk;
}

// Ids as separate arguments or comma lists, with ranges: 1046,1047 1083-1087.
Status parseIdList(const Args& a, size_t first, int* ids, int& count) {
    count = 0;
    for (size_t i = first; i < a.size(); ++i) {
        size_t start = 0;
        while (start <= a[i].size()) {
            size_t comma = a[i].find(L',', start);
            std::wstring item = a[i].substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start);
            start = comma == std::wstring::npos ? a[i].size() + 1 : comma + 1;
            if (item.empty()) continue;
            size_t dash = item.find(L'-');
            long long low = 0, high = 0;
            bool okLow = parseNumber(item.substr(0, dash), 0, 0xFFFF, low);
            bool okHigh = dash == std::wstring::npos ? (high = low, okLow) : parseNumber(item.substr(dash + 1), 0, 0xFFFF, high);
            if (!okLow || !okHigh || high < low) return fail(kUsage, L"bad id or range %ls", item.c_str());
            for (long long id = low; id <= high; ++id) {
                if (count == kMaxIds) return fail(kUsage, L"more than %d ids", kMaxIds);
                ids[count++] = (int)id;
            }
        }
    }
    if (count == 0) return fail(kUsage, L"no ids");
    return kOk;
}

// Every descendant of a window with its control id, listed once for commands
// that look up many ids.
struct ControlList {
    HWND items[kMaxWindows];
    int ids[kMaxWindows];
    int count = 0;
    bool overflow = false;
};

BOOL CALLBACK collectControl(HWND hwnd, LPARAM lp) {
    auto* list = reinterpret_cast<ControlList*>(lp);
    if (list->count == kMaxWindows) {
        list->overflow = true;
        return FALSE;
    }
    list->items[list->count] = hwnd;
    list->ids[list->count++] = GetDlgCtrlID(hwnd) & 0xFFFF;
    return TRUE;
}

// The same choice as findControl: the first visible match, else the first one.
HWND lookupControl(const ControlList& list, int id) {
    HWND hidden = nullptr;
    for (int i = 0; i < list.count; ++i) {
        if (list.ids[i] != id) continue;
        if (IsWindowVisible(list.items[i])) return list.items[i];
        if (!hidden) hidden = list.items[i];
    }
    return hidden;
}

// All texts are read before any is printed, so a missing id prints nothing.
Status cmdTexts(const Args& a) {
    static int ids[kMaxIds];
    static ControlList controls;
    int count = 0;
    Status s = parseIdList(a, 2, ids, count);
    HWND win = nullptr;
    if (s == kOk) s = needWindow(a[1], win);
    if (s != kOk) return s;
    controls.count = 0;
    controls.overflow = false;
    EnumChildWindows(win, collectControl, (LPARAM)&controls);
    if (controls.overflow) return fail(kFailed, L"more than %d controls in the window", kMaxWindows);
    std::vector<std::wstring> texts(count);
    for (int i = 0; s == kOk && i < count; ++i) {
        HWND ctl = lookupControl(controls, ids[i]);
        s = ctl ? readText(ctl, texts[i]) : fail(kFailed, L"no control %d in window 0x%llx", ids[i], (unsigned long long)(UINT_PTR)win);
    }
    if (s != kOk) return s;
    for (const auto& text : texts) printText(text.data(), text.size());
    return kOk;
}

constexpr SIZE_T kRemoteText = sizeof(wchar_t) * kTextMax;

int listColumnCount(HWND list) {
    LRESULT header = 0, count = 0;
    if (!send(list, LVM_GETHEADER, 0, 0, header) || !header) return 1;
    if (!send((HWND)header, HDM_GETITEMCOUNT, 0, 0, count) || count <= 0) return 1;
    return (int)count;
}

// The target wrote a text of at most kTextMax - 1 units there; its own
// terminator is trusted only within the buffer.
Status remoteString(const RemoteBuffer& remote, SIZE_T offset, std::wstring& text) {
    static wchar_t buffer[kTextMax];
    if (!remote.read(offset, buffer, sizeof(wchar_t) * kTextMax)) return fail(kFailed, L"cannot read the target's memory");
    buffer[kTextMax - 1] = 0;
    text.assign(buffer, wcsnlen(buffer, kTextMax));
    return kOk;
}

// One line per item, the cells separated by tabs.
Status cmdListItems(const Args& a) {
    HWND list = nullptr;
    LRESULT items = 0;
    Status s = needControl(a[1], a[2], list);
    if (s != kOk) return s;
    if (!send(list, LVM_GETITEMCOUNT, 0, 0, items)) return fail(kFailed, L"list does not answer");
    int columns = listColumnCount(list);
    RemoteBuffer remote(list, sizeof(LVITEMW) + kRemoteText);
    if (!remote.ok()) return fail(kFailed, L"cannot reach the target's memory");
    std::vector<std::wstring> lines;
    for (int item = 0; item < (int)items; ++item) {
        std::wstring line;
        for (int column = 0; column < columns; ++column) {
            LVITEMW lvi = {};
            lvi.mask = LVIF_TEXT;
            lvi.iItem = item;
            lvi.iSubItem = column;
            lvi.pszText = reinterpret_cast<LPWSTR>(remote.at(sizeof(LVITEMW)));
            lvi.cchTextMax = kTextMax;
            wchar_t nul = 0;
            LRESULT length = 0;
            std::wstring cell;
            if (!remote.write(0, &lvi, sizeof lvi) || !remote.write(sizeof(LVITEMW), &nul, sizeof nul)) return fail(kFailed, L"cannot write the target's memory");
            if (!send(list, LVM_GETITEMTEXTW, (WPARAM)item, (LPARAM)remote.at(0), length)) return fail(kFailed, L"list does not answer");
            s = remoteString(remote, sizeof(LVITEMW), cell);
            if (s != kOk) return s;
            if (column) line += L'\t';
            line += escape(cell.data(), cell.size());
        }
        lines.push_back(line);
    }
    for (const auto& line : lines) printLine(line);
    return kOk;
}

Status cmdListColumns(const Args& a) {
    HWND list = nullptr;
    Status s = needControl(a[1], a[2], list);
    if (s != kOk) return s;
    LRESULT header = 0, count = 0;
    if (!send(list, LVM_GETHEADER, 0, 0, header) || !header || !send((HWND)header, HDM_GETITEMCOUNT, 0, 0, count)) {
        return fail(kFailed, L"the list has no column header");
    }
    RemoteBuffer remote(list, sizeof(LVCOLUMNW) + kRemoteText);
    if (!remote.ok()) return fail(kFailed, L"cannot reach the target's memory");
    std::vector<std::wstring> lines;
    for (int column = 0; column < (int)count; ++column) {
        LVCOLUMNW lvc = {};
        lvc.mask = LVCF_TEXT | LVCF_WIDTH;
        lvc.pszText = reinterpret_cast<LPWSTR>(remote.at(sizeof(LVCOLUMNW)));
        lvc.cchTextMax = kTextMax;
        wchar_t nul = 0;
        LRESULT done = 0;
        if (!remote.write(0, &lvc, sizeof lvc) || !remote.write(sizeof(LVCOLUMNW), &nul, sizeof nul)) return fail(kFailed, L"cannot write the target's memory");
        if (!send(list, LVM_GETCOLUMNW, (WPARAM)column, (LPARAM)remote.at(0), done) || !done) return fail(kFailed, L"no column %d", column);
        std::wstring text;
        s = remoteString(remote, sizeof(LVCOLUMNW), text);
        if (s != kOk) return s;
        if (!remote.read(0, &lvc, sizeof lvc)) return fail(kFailed, L"cannot read the target's memory");
        lines.push_back(escape(text.data(), text.size()) + L"\t" + std::to_wstring(lvc.cx));
    }
    for (const auto& line : lines) printLine(line);
    return kOk;
}

// ---- geometry, properties, keys --------------------------------------------

// WIN's window rectangle on the screen, or with CTRL the control's rectangle
// in its parent's client area: left top width height.
Status cmdRect(const Args& a) {
    HWND win = nullptr, ctl = nullptr;
    Status s = needWindow(a[1], win);
    if (s == kOk) s = findControl(win, a.size() > 2 ? a[2] : L".", ctl);
    if (s != kOk) return s;
    RECT r;
    if (!GetWindowRect(ctl, &r)) return fail(kFailed, L"no rectangle for window 0x%llx", (unsigned long long)(UINT_PTR)ctl);
    HWND parent = GetAncestor(ctl, GA_PARENT);
    if (parent && parent != GetDesktopWindow()) MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    wchar_t line[64];
    swprintf(line, 64, L"%ld %ld %ld %ld", r.left, r.top, r.right - r.left, r.bottom - r.top);
    printLine(line);
    return kOk;
}

// The value of window property NAME (0 when WIN has none).
Status cmdProp(const Args& a) {
    HWND win = nullptr;
    std::wstring name;
    if (!unescape(a[2], name) || name.empty()) return fail(kUsage, L"bad property name %ls", a[2].c_str());
    Status s = needWindow(a[1], win);
    if (s != kOk) return s;
    printLine(std::to_wstring((unsigned long long)(UINT_PTR)GetPropW(win, name.c_str())));
    return kOk;
}

// The password character of an edit control; an empty line when it shows
// its text.
Status cmdPasswordChar(const Args& a) {
    HWND ctl = nullptr;
    LRESULT r = 0;
    Status s = needControl(a[1], a[2], ctl);
    if (s == kOk && !send(ctl, EM_GETPASSWORDCHAR, 0, 0, r)) s = fail(kFailed, L"control does not answer");
    if (s != kOk) return s;
    wchar_t c = (wchar_t)r;
    printText(&c, c ? 1 : 0);
    return kOk;
}

// Keys as a user types them: KEYS is modifiers and one key joined by "+",
// for example alt+/ or esc. WIN is brought to the foreground first, because
// typed keys go to the foreground window's thread; the program's message
// loop then sees them with the real key state (accelerators included).
struct NamedKey {
    const wchar_t* name;
    WORD vk;
};

const NamedKey kNamedKeys[] = {
    {L"alt", VK_MENU}, {L"ctrl", VK_CONTROL}, {L"shift", VK_SHIFT}, {L"esc", VK_ESCAPE},
    {L"enter", VK_RETURN}, {L"tab", VK_TAB}, {L"space", VK_SPACE}, {L"f1", VK_F1},
};

bool parseKey(const std::wstring& name, WORD& vk, bool& shift) {
    shift = false;
    for (const auto& k : kNamedKeys) {
        if (_wcsicmp(name.c_str(), k.name) == 0) {
            vk = k.vk;
            return true;
        }
    }
    if (name.size() != 1) return false;
    SHORT scan = VkKeyScanW(name[0]);
    if (scan == -1) return false;
    vk = LOBYTE(scan);
    shift = (HIBYTE(scan) & 1) != 0;
    return true;
}

Status cmdKey(const Args& a) {
    constexpr int kMaxKeys = 8;
    WORD keys[kMaxKeys];
    int count = 0;
    bool needShift = false;
    size_t start = 0;
    const std::wstring& typed = a[2];
    while (start <= typed.size()) {
        // A "+" right after a separator is the key itself (ctrl++).
        size_t plus = typed.find(L'+', start + 1);
        if (plus == std::wstring::npos) plus = typed.size();
        WORD vk = 0;
        bool shift = false;
        if (count == kMaxKeys - 1 || !parseKey(typed.substr(start, plus - start), vk, shift)) {
            return fail(kUsage, L"bad keys %ls (modifiers and one key joined by +)", typed.c_str());
        }
        keys[count++] = vk;
        needShift = needShift || shift;
        start = plus + 1;
    }
    if (needShift) {  // a shifted character: Shift goes down first and up last
        for (int i = count; i > 0; --i) keys[i] = keys[i - 1];
        keys[0] = VK_SHIFT;
        ++count;
    }
    HWND win = nullptr;
    Status s = needWindow(a[1], win);
    if (s != kOk) return s;
    SetForegroundWindow(win);
    for (DWORD waited = 0; GetForegroundWindow() != win; waited += kPollMs) {
        if (waited >= kSettleTimeoutMs) return fail(kFailed, L"window %ls does not come to the foreground", a[1].c_str());
        Sleep(kPollMs);
        SetForegroundWindow(win);
    }
    INPUT inputs[2 * kMaxKeys] = {};
    for (int i = 0; i < count; ++i) {
        inputs[i].type = INPUT_KEYBOARD;
        inputs[i].ki.wVk = keys[i];
        inputs[2 * count - 1 - i].type = INPUT_KEYBOARD;
        inputs[2 * count - 1 - i].ki.wVk = keys[i];
        inputs[2 * count - 1 - i].ki.dwFlags = KEYEVENTF_KEYUP;
    }
    if (SendInput((UINT)(2 * count), inputs, sizeof(INPUT)) != (UINT)(2 * count)) return fail(kFailed, L"the keys were not sent");
    printLine(L"ok");
    return kOk;
}

// ---- pixels: icons on the screen -------------------------------------------

// A screen rectangle's pixels as 0xRRGGBB, row by row.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<DWORD> rgb;
    DWORD at(int x, int y) const { return rgb[(size_t)y * width + x]; }
};

// Draws with paint into a fresh 32-bit bitmap of w x h filled with fill.
template <class Paint>
bool drawPixels(int w, int h, DWORD fill, Paint paint, Pixels& out) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = dc && dib;
    if (ok) {
        HGDIOBJ old = SelectObject(dc, dib);
        DWORD* p = static_cast<DWORD*>(bits);
        for (int i = 0; i < w * h; ++i) p[i] = fill;
        ok = paint(dc, screen);
        GdiFlush();
        out.width = w;
        out.height = h;
        out.rgb.assign(p, p + (size_t)w * h);
        for (auto& v : out.rgb) v &= 0xFFFFFF;
        SelectObject(dc, old);
    }
    if (dib) DeleteObject(dib);
    if (dc) DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return ok;
}

bool capture(const RECT& r, Pixels& out) {
    return drawPixels(r.right - r.left, r.bottom - r.top, 0, [&](HDC dc, HDC screen) {
        return BitBlt(dc, 0, 0, r.right - r.left, r.bottom - r.top, screen, r.left, r.top, SRCCOPY) != FALSE;
    }, out);
}

// An icon as drawn at w x h: its colours, and which pixels are opaque (the
// same over black and over white).
struct IconPicture {
    Pixels colour;
    std::vector<bool> opaque;
    int opaqueCount = 0;
};

bool drawIcon(HICON icon, int w, int h, IconPicture& out) {
    auto paint = [&](HDC dc, HDC) { return DrawIconEx(dc, 0, 0, icon, w, h, 0, nullptr, DI_NORMAL) != FALSE; };
    Pixels white;
    if (!drawPixels(w, h, 0, paint, out.colour) || !drawPixels(w, h, 0xFFFFFF, paint, white)) return false;
    out.opaque.assign((size_t)w * h, false);
    out.opaqueCount = 0;
    for (size_t i = 0; i < out.opaque.size(); ++i) {
        out.opaque[i] = out.colour.rgb[i] == white.rgb[i];
        out.opaqueCount += out.opaque[i] ? 1 : 0;
    }
    return true;
}

bool closeColour(DWORD a, DWORD b) {
    for (int shift = 0; shift < 24; shift += 8) {
        int d = (int)((a >> shift) & 0xFF) - (int)((b >> shift) & 0xFF);
        if (d < -16 || d > 16) return false;
    }
    return true;
}

// Whether the icon's opaque pixels appear somewhere in the screen pixels.
bool showsIcon(const Pixels& screen, const IconPicture& icon) {
    const Pixels& c = icon.colour;
    if (icon.opaqueCount * 8 < c.width * c.height) return false;  // too little to recognise
    for (int y0 = 0; y0 + c.height <= screen.height; ++y0) {
        for (int x0 = 0; x0 + c.width <= screen.width; ++x0) {
            bool same = true;
            for (int y = 0; same && y < c.height; ++y) {
                for (int x = 0; same && x < c.width; ++x) {
                    same = !icon.opaque[(size_t)y * c.width + x] || closeColour(c.at(x, y), screen.at(x0 + x, y0 + y));
                }
            }
            if (same) return true;
        }
    }
    return false;
}

// The program file of WIN's process, loaded for its resources only.
class ProgramResources {
public:
    explicit ProgramResources(HWND win) {
        HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processOf(win));
        wchar_t path[MAX_PATH];
        DWORD size = MAX_PATH;
        if (process && QueryFullProcessImageNameW(process, 0, path, &size)) {
            module_ = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        }
        if (process) CloseHandle(process);
    }
    ~ProgramResources() {
        if (module_) FreeLibrary(module_);
    }
    ProgramResources(const ProgramResources&) = delete;
    ProgramResources& operator=(const ProgramResources&) = delete;
    HMODULE module() const { return module_; }

private:
    HMODULE module_ = nullptr;
};

BOOL CALLBACK collectIconGroup(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR lp) {
    if (IS_INTRESOURCE(name)) reinterpret_cast<std::vector<int>*>(lp)->push_back((int)(UINT_PTR)name);
    return TRUE;
}

// The icons of WIN's own program that its caption shows, by resource id: each
// icon resource of the program file is drawn at the small icon size and
// looked for in the caption. (Another process's class icons cannot be read
// under Wine, so the caption is where they are seen.)
Status cmdIcon(const Args& a) {
    HWND win = nullptr;
    Status s = needWindow(a[1], win);
    if (s != kOk) return s;
    ProgramResources program(win);
    if (!program.module()) return fail(kFailed, L"cannot load the program file of window 0x%llx", (unsigned long long)(UINT_PTR)win);
    std::vector<int> groups;
    EnumResourceNamesW(program.module(), RT_GROUP_ICON, collectIconGroup, (LONG_PTR)&groups);
    const int w = GetSystemMetrics(SM_CXSMICON), h = GetSystemMetrics(SM_CYSMICON);
    std::vector<IconPicture> pictures(groups.size());
    for (size_t i = 0; i < groups.size(); ++i) {
        HICON icon = (HICON)LoadImageW(program.module(), MAKEINTRESOURCEW(groups[i]), IMAGE_ICON, w, h, 0);
        if (!icon || !drawIcon(icon, w, h, pictures[i])) return fail(kFailed, L"cannot draw icon %d", groups[i]);
        DestroyIcon(icon);
    }
    // The caption strip: the frame, the caption and some slack to the right.
    for (DWORD waited = 0;; waited += kPollMs) {
        RECT r;
        GetWindowRect(win, &r);
        r.right = r.left + 4 * GetSystemMetrics(SM_CXSIZE);
        r.bottom = r.top + GetSystemMetrics(SM_CYCAPTION) + 2 * GetSystemMetrics(SM_CYFRAME);
        Pixels strip;
        if (!capture(r, strip)) return fail(kFailed, L"cannot read the screen");
        std::wstring shown;
        for (size_t i = 0; i < groups.size(); ++i) {
            if (showsIcon(strip, pictures[i])) shown += (shown.empty() ? L"" : L" ") + std::to_wstring(groups[i]);
        }
        if (!shown.empty()) {
            printLine(shown);
            return kOk;
        }
        if (waited >= 2000) return fail(kFailed, L"the caption shows none of the program's %d icons", (int)groups.size());
        Sleep(kPollMs);
    }
}

INT_PTR CALLBACK idleDialogProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

// The size in pixels of dialog resource ID of WIN's program, created here
// hidden: the same fonts and metrics give the same size as in the program.
Status cmdDialogSize(const Args& a) {
    long long id = 0;
    if (!parseNumber(a[2], 1, 0xFFFF, id)) return fail(kUsage, L"bad dialog id %ls", a[2].c_str());
    HWND win = nullptr;
    Status s = needWindow(a[1], win);
    if (s != kOk) return s;
    ProgramResources program(win);
    HRSRC found = program.module() ? FindResourceW(program.module(), MAKEINTRESOURCEW(id), RT_DIALOG) : nullptr;
    HGLOBAL loaded = found ? LoadResource(program.module(), found) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    DWORD size = found ? SizeofResource(program.module(), found) : 0;
    if (!data || size < 16) return fail(kFailed, L"no dialog %lld in the program", id);
    std::vector<BYTE> copy((const BYTE*)data, (const BYTE*)data + size);
    copy.resize(size + 8);  // DWORD alignment slack
    // The style of an extended template follows its version, signature,
    // help id and extended style; a plain one starts with it.
    bool extended = copy[0] == 1 && copy[1] == 0 && copy[2] == 0xFF && copy[3] == 0xFF;
    DWORD style = 0;
    memcpy(&style, &copy[extended ? 12 : 0], sizeof style);
    style &= ~WS_VISIBLE;
    memcpy(&copy[extended ? 12 : 0], &style, sizeof style);
    HWND dialog = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(copy.data()),
                                             nullptr, idleDialogProc, 0);
    if (!dialog) return fail(kFailed, L"cannot create dialog %lld here", id);
    RECT r;
    GetWindowRect(dialog, &r);
    DestroyWindow(dialog);
    wchar_t line[32];
    swprintf(line, 32, L"%ld %ld", r.right - r.left, r.bottom - r.top);
    printLine(line);
    return kOk;
}

// The icon a message box shows, by the system icon it matches: information,
// warning, error, question; "other" for any other icon, "none" without one.
struct SystemIcon {
    const wchar_t* name;
    LPCWSTR id;
};

const SystemIcon kSystemIcons[] = {
    {L"information", IDI_INFORMATION}, {L"warning", IDI_WARNING}, {L"error", IDI_ERROR}, {L"question", IDI_QUESTION},
};

struct IconControlQuery {
    HWND found;
};

BOOL CALLBACK matchIconControl(HWND hwnd, LPARAM lp) {
    wchar_t className[16];
    LRESULT icon = 0;
    if (!IsWindowVisible(hwnd) || !GetClassNameW(hwnd, className, 16) || _wcsicmp(className, L"Static") != 0) return TRUE;
    if ((GetWindowLongW(hwnd, GWL_STYLE) & SS_TYPEMASK) != SS_ICON || !send(hwnd, STM_GETICON, 0, 0, icon) || !icon) return TRUE;
    reinterpret_cast<IconControlQuery*>(lp)->found = hwnd;
    return FALSE;
}

std::wstring messageBoxIcon(HWND box) {
    IconControlQuery q{nullptr};
    EnumChildWindows(box, matchIconControl, (LPARAM)&q);
    if (!q.found) return L"none";
    RECT r;
    GetWindowRect(q.found, &r);
    const int w = GetSystemMetrics(SM_CXICON), h = GetSystemMetrics(SM_CYICON);
    IconPicture pictures[sizeof kSystemIcons / sizeof kSystemIcons[0]];
    for (size_t i = 0; i < sizeof kSystemIcons / sizeof kSystemIcons[0]; ++i) {
        if (!drawIcon(LoadIconW(nullptr, kSystemIcons[i].id), w, h, pictures[i])) return L"other";
    }
    // The box may not have painted yet.
    for (DWORD waited = 0; waited < 2000; waited += kPollMs) {
        Pixels shown;
        if (!capture(r, shown)) break;
        for (size_t i = 0; i < sizeof kSystemIcons / sizeof kSystemIcons[0]; ++i) {
            if (showsIcon(shown, pictures[i])) return kSystemIcons[i].name;
        }
        Sleep(kPollMs);
    }
    return L"other";
}

// Prints: handle, caption, text, owner (0x0 for none) and icon (see
// messageBoxIcon), tab-separated.
Status cmdMsgBox(const Args& a) {
    DWORD timeout = 0;
    if (!parseTimeout(a[2], timeout)) return fail(kUsage, L"bad timeout %ls", a[2].c_str());
    HWND owner = nullptr, box = nullptr;
    Status s = needWindow(a[1], owner);
    if (s == kOk) s = waitMessageBox(owner, timeout, box);
    std::wstring caption, text;
    if (s == kOk) s = readText(box, caption);
    if (s == kOk) s = readText(GetDlgItem(box, 0xFFFF), text);
    if (s != kOk) return s;
    HWND boxOwner = GetWindow(box, GW_OWNER);
    printLine(handleText(box) + L"\t" + escape(caption.data(), caption.size()) + L"\t" + escape(text.data(), text.size()) +
              L"\t" + (boxOwner ? handleText(boxOwner) : std::wstring(L"0x0")) + L"\t" + messageBoxIcon(box));
    return s;
}

// Presses a button of the message box (IDOK unless given) and waits until the
// box has gone.
Status cmdAnswer(const Args& a) {
    long long button = IDOK;
    if (a.size() > 2 && !parseNumber(a[2], 0, 0xFFFF, button)) return fail(kUsage, L"bad button id %ls", a[2].c_str());
    HWND owner = nullptr, box = nullptr;
    Status s = needWindow(a[1], owner);
    if (s == kOk) s = waitMessageBox(owner, kSettleTimeoutMs, box);
    if (s != kOk) return s;
    HWND control = GetDlgItem(box, (int)button);
    if (!control) return fail(kFailed, L"the message box has no button %lld", button);
    s = sendSettled(box, WM_COMMAND, MAKEWPARAM((WORD)button, BN_CLICKED), (LPARAM)control);
    if (s == kOk) s = waitGone(box, kSettleTimeoutMs);
    if (s == kOk) printLine(L"ok");
    return s;
}

struct DumpQuery {
    std::vector<std::wstring>* lines;
};

BOOL CALLBACK dumpChild(HWND hwnd, LPARAM lp) {
    auto* q = reinterpret_cast<DumpQuery*>(lp);
    wchar_t className[256] = L"";
    GetClassNameW(hwnd, className, 256);
    std::wstring text;
    if (readText(hwnd, text) != kOk) text = L"?";
    wchar_t head[400];
    swprintf(head, 400, L"%ls\t%d\t%ls\t%d\t%d\t", handleText(hwnd).c_str(), GetDlgCtrlID(hwnd) & 0xFFFF, className,
             IsWindowVisible(hwnd) ? 1 : 0, IsWindowEnabled(hwnd) ? 1 : 0);
    q->lines->push_back(head + escape(text.data(), text.size()));
    return TRUE;
}

// One line per descendant: handle, id, class, visible, enabled, text.
Status cmdDump(const Args& a) {
    HWND win = nullptr;
    Status s = needWindow(a[1], win);
    if (s != kOk) return s;
    std::vector<std::wstring> lines;
    DumpQuery q{&lines};
    EnumChildWindows(win, dumpChild, (LPARAM)&q);
    for (const auto& line : lines) printLine(line);
    return kOk;
}

// Each of COM1..COM32 that opens as the serial tools probe them (no access
// rights, no sharing, OPEN_EXISTING), one a line.
Status cmdSerialProbe(const Args&) {
    for (int n = 1; n <= 32; ++n) {
        wchar_t name[16];
        swprintf(name, 16, L"\\\\.\\COM%d", n);
        HANDLE port = CreateFileW(name, 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (port == INVALID_HANDLE_VALUE) continue;
        CloseHandle(port);
        printLine(name + 4);
    }
    return kOk;
}

struct Command {
    const wchar_t* name;
    size_t minArgs;
    size_t maxArgs;
    Status (*run)(const Args&);
    const wchar_t* args;
    const wchar_t* help;
};

constexpr size_t kMany = 1000;

const Command kCommands[] = {
    {L"wait-window", 2, 2, cmdWaitWindow, L"WIN TIMEOUT_MS",
     L"wait until WIN is shown, print its handle"},
    {L"wait-gone", 2, 2, cmdWaitGone, L"WIN TIMEOUT_MS",
     L"wait until no window matches WIN"},
    {L"find", 2, 2, cmdFind, L"WIN CTRL",
     L"print the control's handle"},
    {L"get-text", 2, 2, cmdGetText, L"WIN CTRL",
     L"print the control's text"},
    {L"wait-text", 4, 4, cmdWaitText, L"WIN CTRL TEXT TIMEOUT_MS",
     L"wait until the text is TEXT"},
    {L"set-text", 3, 3, cmdSetText, L"WIN CTRL TEXT",
     L"set the control's text"},
    {L"click", 2, 2, cmdClick, L"WIN CTRL",
     L"click a button (it must be enabled and visible)"},
    {L"command", 2, 2, cmdCommand, L"WIN ID",
     L"send WM_COMMAND ID as a click or menu would"},
    {L"select", 3, 3, cmdSelect, L"WIN CTRL INDEX",
     L"select a combo box item (-1: none) and notify its parent"},
    {L"close", 1, 1, cmdClose, L"WIN",
     L"close WIN and wait until it has gone"},
    {L"show", 2, 2, cmdShow, L"WIN min|max|restore",
     L"minimise, maximise or restore WIN, print its rectangle: left top width height"},
    {L"enabled", 2, 2, cmdEnabled, L"WIN CTRL",
     L"print 1 if enabled, else 0"},
    {L"visible", 2, 2, cmdVisible, L"WIN CTRL",
     L"print 1 if visible, else 0"},
    {L"checked", 2, 2, cmdChecked, L"WIN CTRL",
     L"print the check state 0, 1 or 2"},
    {L"set-check", 3, 3, cmdSetCheck, L"WIN CTRL 0|1|2",
     L"set the check state"},
    {L"get-ip", 2, 2, cmdGetIp, L"WIN CTRL",
     L"print a.b.c.d and the number of non-blank fields"},
    {L"set-ip", 3, 3, cmdSetIp, L"WIN CTRL a.b.c.d|blank",
     L"set or clear an IP address control"},
    {L"texts", 2, kMany, cmdTexts, L"WIN ID[,ID|FIRST-LAST]...",
     L"print each control's text, one a line"},
    {L"list-items", 2, 2, cmdListItems, L"WIN CTRL",
     L"print a list view's items, cells tab-separated"},
    {L"list-columns", 2, 2, cmdListColumns, L"WIN CTRL",
     L"print a list view's column headers and widths"},
    {L"rect", 1, 2, cmdRect, L"WIN [CTRL]",
     L"print left top width height (a control: in its parent's client area)"},
    {L"prop", 2, 2, cmdProp, L"WIN NAME",
     L"print the value of window property NAME (0: none)"},
    {L"icon", 1, 1, cmdIcon, L"WIN",
     L"print the ids of the program's own icons that WIN's caption shows"},
    {L"dialog-size", 2, 2, cmdDialogSize, L"WIN DIALOG_ID",
     L"print width and height of the program's dialog resource, created here"},
    {L"password-char", 2, 2, cmdPasswordChar, L"WIN CTRL",
     L"print an edit's password character (empty: none)"},
    {L"key", 2, 2, cmdKey, L"WIN KEYS",
     L"bring WIN to the foreground and type KEYS (alt+/, esc, ctrl+shift+a)"},
    {L"msgbox", 2, 2, cmdMsgBox, L"WIN TIMEOUT_MS",
     L"wait for a message box of WIN's process, print handle, caption, text, owner, icon"},
    {L"answer", 1, 2, cmdAnswer, L"WIN [BUTTON_ID]",
     L"press a button of that message box (IDOK by default)"},
    {L"dump", 1, 1, cmdDump, L"WIN",
     L"print every descendant: handle, id, class, visible, enabled, text"},
    {L"serial-probe", 0, 0, cmdSerialProbe, L"",
     L"print each of COM1..COM32 that opens, one a line"},
};

void printUsage() {
    std::wstring text = L"usage: uidriver COMMAND [ARG...] | uidriver - (commands from standard input)\n";
    for (const auto& c : kCommands) {
        std::wstring head = std::wstring(L"  ") + c.name + L" " + c.args;
        if (head.size() < 40) head.resize(40, L' ');
        text += head + L" " + c.help + L"\n";
    }
    std::string bytes = toUtf8(text);
    fwrite(bytes.data(), 1, bytes.size(), stderr);
}

void printError(const Args& a) {
    std::wstring line = L"uidriver: " + (a.empty() ? std::wstring() : a[0]) + L": " + errorText + L"\n";
    std::string bytes = toUtf8(line);
    fwrite(bytes.data(), 1, bytes.size(), stderr);
    fflush(stderr);
}

Status run(const Args& a) {
    errorText[0] = 0;
    for (const auto& c : kCommands) {
        if (a[0] != c.name) continue;
        size_t n = a.size() - 1;
        if (n < c.minArgs || n > c.maxArgs) return fail(kUsage, L"usage: %ls %ls", c.name, c.args);
        return c.run(a);
    }
    return fail(kUsage, L"unknown command (run uidriver without arguments for the list)");
}

// Splits a script line into words; "double quotes" keep blanks, and \" inside
// them is a quote. Escapes stay for the commands to decode.
bool splitLine(const std::wstring& line, Args& words) {
    words.clear();
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == L' ' || line[i] == L'\t')) ++i;
        if (i == line.size()) break;
        std::wstring word;
        if (line[i] == L'"') {
            for (++i; i < line.size() && line[i] != L'"'; ++i) {
                if (line[i] == L'\\' && i + 1 < line.size()) word += line[i++];
                word += line[i];
            }
            if (i == line.size()) return false;
            ++i;
        } else {
            while (i < line.size() && line[i] != L' ' && line[i] != L'\t') word += line[i++];
        }
        words.push_back(word);
    }
    return true;
}

int runScript() {
    static char bytes[16384];
    int lineNumber = 0;
    Args words;
    std::wstring line;
    while (fgets(bytes, sizeof bytes, stdin)) {
        ++lineNumber;
        size_t n = strlen(bytes);
        if (n == sizeof bytes - 1 && bytes[n - 1] != '\n') {
            fprintf(stderr, "uidriver: line %d: longer than %d bytes\n", lineNumber, (int)sizeof bytes - 2);
            return kUsage;
        }
        while (n && (bytes[n - 1] == '\n' || bytes[n - 1] == '\r')) bytes[--n] = 0;
        if (!fromUtf8(bytes, (int)n, line)) {
            fprintf(stderr, "uidriver: line %d: not UTF-8\n", lineNumber);
            return kUsage;
        }
        if (!splitLine(line, words)) {
            fprintf(stderr, "uidriver: line %d: unterminated quote\n", lineNumber);
            return kUsage;
        }
        if (words.empty() || words[0][0] == L'#') continue;
        Status s = run(words);
        if (s != kOk) {
            fprintf(stderr, "uidriver: line %d:\n", lineNumber);
            printError(words);
            return s;
        }
    }
    return kOk;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stdin), _O_BINARY);
    if (argc < 2) {
        printUsage();
        return kUsage;
    }
    if (argc == 2 && wcscmp(argv[1], L"-") == 0) return runScript();
    Args words(argv + 1, argv + argc);
    Status s = run(words);
    if (s != kOk) printError(words);
    return s;
}
