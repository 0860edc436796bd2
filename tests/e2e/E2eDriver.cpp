// e2e-driver: acts on the windows of another process as a person would, for the desktop
// end-to-end test. Run with a command it does that one thing and exits; failures go to
// standard error with a non-zero status, so that the caller can stop at the first surprise.
// Run as "e2e-driver serve" it reads one command a line from standard input (arguments
// separated by tabs, UTF-8) and answers each with its output lines, each starting with
// "|", then one line "." STATUS MESSAGE: under Wine each process start costs about a
// second, far more than the commands themselves.
//
//   e2e-driver wait TITLE [SECONDS]            a visible top-level window TITLE appears
//   e2e-driver wait-gone TITLE [SECONDS]       no visible top-level window TITLE is left
//   e2e-driver wait-control TITLE TEXT [SECONDS]
//                                              a visible control of TITLE reads TEXT
//   e2e-driver dump TITLE                      the window and every descendant, one a line:
//                                              handle parent class enabled visible check
//                                              x y width height text (tab-separated)
//   e2e-driver click TITLE CAPTION [--post]    BM_CLICK on the push button or check box
//   e2e-driver press TITLE TEXT                left press and release inside a label or task
//   e2e-driver rows TITLE                      the list's rows: ticked, column 0, column 1
//   e2e-driver tick TITLE ROW 0|1              sets the check box of a row of the list
//   e2e-driver set-edit TITLE INDEX TEXT       the INDEXth edit (0 = first created)
//   e2e-driver get-edit TITLE INDEX
//   e2e-driver message TITLE                   the text of the window's rich edit
//   e2e-driver close TITLE [--post]            WM_CLOSE, as the close box sends it
//   e2e-driver rect TITLE                      X Y WIDTH HEIGHT on the screen
//   e2e-driver x-window TITLE                  the id of the X window that shows TITLE, in
//                                              hex, for capturing it by its own id
//   e2e-driver hold PATH                       opens the file with no sharing and keeps it
//                                              open, as a mail client has its mailbox
//   e2e-driver release PATH                    closes what hold opened (serving mode only)
//   e2e-driver settle TITLE [SECONDS]          returns once the window's thread has handled
//                                              every message posted to it before
//
// Texts are printed as UTF-8; tab, line feed, carriage return and backslash inside a text
// are written as \t, \n, \r and \\ so that one line stays one record.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <utility>
#include <vector>

namespace {

// A window that does not answer a sent message within this time is taken as hung.
constexpr UINT SendTimeout = 10000;

std::string utf8(const std::wstring& text) {
    if (text.empty())
        return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

std::wstring fromUtf8(const std::string& text) {
    if (text.empty())
        return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

struct Failure {
    std::wstring message;
    int status;
};

[[noreturn]] void fail(const std::wstring& message, int status = 1) {
    throw Failure{message, status};
}

bool serving = false;

void printLine(const std::wstring& text) {
    std::string line = (serving ? "|" : "") + utf8(text) + "\n";
    fwrite(line.data(), 1, line.size(), stdout);
}

std::wstring escaped(const std::wstring& text) {
    std::wstring out;
    for (wchar_t c : text) {
        switch (c) {
        case L'\t':
            out += L"\\t";
            break;
        case L'\n':
            out += L"\\n";
            break;
        case L'\r':
            out += L"\\r";
            break;
        case L'\\':
            out += L"\\\\";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::wstring hex(HWND handle) {
    wchar_t buffer[32];
    swprintf(buffer, 32, L"%llx",
             static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(handle)));
    return buffer;
}

LRESULT sendOrFail(HWND window, UINT message, WPARAM first, LPARAM second) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, first, second, SMTO_NORMAL, SendTimeout, &result))
        fail(L"window " + hex(window) + L" did not answer message " + std::to_wstring(message));
    return static_cast<LRESULT>(result);
}

// A press whose handler opens a question box returns only when the box is answered:
// such a message is posted instead, and the caller waits for the box.
void deliver(HWND window, UINT message, bool post) {
    if (!post)
        sendOrFail(window, message, 0, 0);
    else if (!PostMessageW(window, message, 0, 0))
        fail(L"cannot post message " + std::to_wstring(message) + L" to " + hex(window));
}

std::wstring className(HWND window) {
    wchar_t buffer[256] = {};
    GetClassNameW(window, buffer, 256);
    return buffer;
}

bool classIs(HWND window, const wchar_t* name) {
    return lstrcmpiW(className(window).c_str(), name) == 0;
}

// The caption of a top-level window is kept by the system: reading it sends nothing, so
// a busy program cannot block the search.
std::wstring caption(HWND window) {
    wchar_t buffer[512] = {};
    GetWindowTextW(window, buffer, 512);
    return buffer;
}

// Controls of another process: WM_GETTEXT is marshalled and also reaches edits whose
// text is not their caption.
std::wstring controlText(HWND window) {
    auto length = static_cast<size_t>(sendOrFail(window, WM_GETTEXTLENGTH, 0, 0));
    std::wstring text(length + 1, L'\0');
    auto copied = static_cast<size_t>(
        sendOrFail(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data())));
    text.resize(copied < length ? copied : length);
    return text;
}

struct TopSearch {
    std::wstring title;
    HWND found = nullptr;
};

BOOL CALLBACK matchTop(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<TopSearch*>(parameter);
    if (IsWindowVisible(window) && caption(window) == search->title) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND findTop(const std::wstring& title) {
    TopSearch search{title};
    EnumWindows(matchTop, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND needTop(const std::wstring& title) {
    HWND window = findTop(title);
    if (!window)
        fail(L"no window \"" + title + L"\"");
    return window;
}

BOOL CALLBACK collect(HWND window, LPARAM parameter) {
    reinterpret_cast<std::vector<HWND>*>(parameter)->push_back(window);
    return TRUE;
}

// Every descendant, depth first, siblings in the system's order (creation order).
std::vector<HWND> descendants(HWND top) {
    std::vector<HWND> all;
    EnumChildWindows(top, collect, reinterpret_cast<LPARAM>(&all));
    return all;
}

bool isCheckBox(HWND window) {
    if (!classIs(window, L"Button"))
        return false;
    LONG_PTR type = GetWindowLongPtrW(window, GWL_STYLE) & BS_TYPEMASK;
    return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE ||
           type == BS_AUTO3STATE || type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
}

// What a person can reach: the control and every window above it enabled and visible.
bool usable(HWND window) {
    for (HWND w = window; w; w = GetParent(w)) {
        if (!IsWindowEnabled(w) || !IsWindowVisible(w))
            return false;
        if (!(GetWindowLongPtrW(w, GWL_STYLE) & WS_CHILD))
            break;
    }
    return true;
}

std::vector<HWND> controlsWithText(HWND top, const std::wstring& text, bool buttons) {
    std::vector<HWND> found;
    for (HWND w : descendants(top)) {
        if (!IsWindowVisible(w) || classIs(w, L"Button") != buttons)
            continue;
        if (controlText(w) == text)
            found.push_back(w);
    }
    return found;
}

HWND needOne(const std::vector<HWND>& found, const std::wstring& what, const std::wstring& title) {
    if (found.empty())
        fail(L"window \"" + title + L"\" has no " + what);
    if (found.size() > 1)
        fail(L"window \"" + title + L"\" has " + std::to_wstring(found.size()) + L" " + what);
    if (!usable(found[0]))
        fail(what + L" of \"" + title + L"\" is disabled");
    return found[0];
}

HWND firstOfClass(HWND top, const wchar_t* name, const std::wstring& title) {
    for (HWND w : descendants(top)) {
        if (classIs(w, name))
            return w;
    }
    fail(L"window \"" + title + L"\" has no " + name);
}

double seconds(const std::vector<std::wstring>& args, size_t index, double fallback) {
    return args.size() > index ? _wtof(args[index].c_str()) : fallback;
}

template <typename Condition> bool waitFor(double limit, Condition condition) {
    DWORD start = GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount() - start > static_cast<DWORD>(limit * 1000))
            return false;
        Sleep(50);
    }
}

// The list's item structures must live in the list's own process.
class RemoteBuffer {
public:
    RemoteBuffer(HWND window, size_t size) : size_(size) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE |
                                   PROCESS_QUERY_INFORMATION,
                               FALSE, pid);
        if (!process_)
            fail(L"cannot open the list's process");
        address_ =
            VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        if (!address_)
            fail(L"cannot allocate memory in the list's process");
    }
    ~RemoteBuffer() {
        VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
        CloseHandle(process_);
    }
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;

    char* address() const { return static_cast<char*>(address_); }
    void write(size_t offset, const void* data, size_t n) {
        SIZE_T done = 0;
        if (offset + n > size_ ||
            !WriteProcessMemory(process_, address() + offset, data, n, &done) || done != n)
            fail(L"cannot write into the list's process");
    }
    void read(size_t offset, void* data, size_t n) {
        SIZE_T done = 0;
        if (offset + n > size_ ||
            !ReadProcessMemory(process_, address() + offset, data, n, &done) || done != n)
            fail(L"cannot read from the list's process");
    }

private:
    HANDLE process_ = nullptr;
    void* address_ = nullptr;
    size_t size_;
};

constexpr int TextCapacity = 2048;

std::wstring rowText(HWND list, RemoteBuffer& remote, int row, int column) {
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iSubItem = column;
    item.pszText = reinterpret_cast<LPWSTR>(remote.address() + sizeof item);
    item.cchTextMax = TextCapacity;
    remote.write(0, &item, sizeof item);
    wchar_t zero = 0;
    remote.write(sizeof item, &zero, sizeof zero);
    auto n = static_cast<size_t>(sendOrFail(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                                            reinterpret_cast<LPARAM>(remote.address())));
    std::wstring text(TextCapacity, L'\0');
    remote.read(sizeof item, text.data(), TextCapacity * sizeof(wchar_t));
    text.resize(n < static_cast<size_t>(TextCapacity) ? n : TextCapacity - 1);
    return text;
}

bool rowTicked(HWND list, int row) {
    auto state = static_cast<UINT>(
        sendOrFail(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK));
    return ((state & LVIS_STATEIMAGEMASK) >> 12) == 2;
}

HWND editAt(HWND top, const std::wstring& title, size_t index) {
    std::vector<HWND> edits;
    for (HWND w : descendants(top)) {
        if (classIs(w, L"Edit"))
            edits.push_back(w);
    }
    if (index >= edits.size())
        fail(L"window \"" + title + L"\" has " + std::to_wstring(edits.size()) +
             L" edits, no edit " + std::to_wstring(index));
    return edits[index];
}

std::wstring describe(HWND w) {
    RECT r = {};
    GetWindowRect(w, &r);
    int check = -1;
    if (isCheckBox(w))
        check = static_cast<int>(sendOrFail(w, BM_GETCHECK, 0, 0));
    std::wstring text = (GetWindowLongPtrW(w, GWL_STYLE) & WS_CHILD) ? controlText(w) : caption(w);
    std::wstring line = hex(w) + L"\t" + hex(GetParent(w)) + L"\t" + className(w) + L"\t" +
                        std::to_wstring(IsWindowEnabled(w) ? 1 : 0) + L"\t" +
                        std::to_wstring(IsWindowVisible(w) ? 1 : 0) + L"\t" +
                        std::to_wstring(check) + L"\t" + std::to_wstring(r.left) + L"\t" +
                        std::to_wstring(r.top) + L"\t" + std::to_wstring(r.right - r.left) + L"\t" +
                        std::to_wstring(r.bottom - r.top) + L"\t" + escaped(text);
    return line;
}

int usage() {
    fail(L"usage: e2e-driver wait|wait-gone|wait-control|dump|click|press|rows|tick|set-edit|"
         L"get-edit|message|close|rect|x-window|settle TITLE, hold|release PATH ... (see the "
         L"source's head)",
         2);
}

// Files held open between commands of one serving driver.
std::vector<std::pair<std::wstring, HANDLE>> held;

int hold(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        fail(L"cannot open " + path + L" (error " + std::to_wstring(GetLastError()) + L")");
    held.emplace_back(path, file);
    return 0;
}

int release(const std::wstring& path) {
    for (auto it = held.begin(); it != held.end(); ++it) {
        if (it->first == path) {
            CloseHandle(it->second);
            held.erase(it);
            return 0;
        }
    }
    fail(path + L" is not held");
}

int run(const std::vector<std::wstring>& args) {
    if (args.size() < 2)
        return usage();
    const std::wstring& command = args[0];
    const std::wstring& title = args[1];
    if (command == L"hold")
        return hold(args[1]);
    if (command == L"release")
        return release(args[1]);

    if (command == L"wait") {
        double limit = seconds(args, 2, 20);
        if (!waitFor(limit, [&] { return findTop(title) != nullptr; }))
            fail(L"window \"" + title + L"\" did not appear within " + std::to_wstring(limit) +
                 L" s");
        printLine(hex(findTop(title)));
        return 0;
    }
    if (command == L"wait-gone") {
        double limit = seconds(args, 2, 20);
        if (!waitFor(limit, [&] { return findTop(title) == nullptr; }))
            fail(L"window \"" + title + L"\" was still there after " + std::to_wstring(limit) +
                 L" s");
        return 0;
    }
    if (command == L"wait-control" && args.size() >= 3) {
        double limit = seconds(args, 3, 20);
        bool seen = waitFor(limit, [&] {
            HWND top = findTop(title);
            if (!top)
                return false;
            for (HWND w : descendants(top)) {
                if (IsWindowVisible(w) && controlText(w) == args[2])
                    return true;
            }
            return false;
        });
        if (!seen)
            fail(L"window \"" + title + L"\" showed no \"" + args[2] + L"\" within " +
                 std::to_wstring(limit) + L" s");
        return 0;
    }

    HWND top = needTop(title);
    if (command == L"dump") {
        printLine(describe(top));
        for (HWND w : descendants(top))
            printLine(describe(w));
        return 0;
    }
    if (command == L"click" && args.size() >= 3) {
        HWND button =
            needOne(controlsWithText(top, args[2], true), L"button \"" + args[2] + L"\"", title);
        deliver(button, BM_CLICK, args.size() >= 4 && args[3] == L"--post");
        return 0;
    }
    if (command == L"press" && args.size() >= 3) {
        HWND target =
            needOne(controlsWithText(top, args[2], false), L"label \"" + args[2] + L"\"", title);
        RECT r = {};
        GetClientRect(target, &r);
        LPARAM point = MAKELPARAM(r.right / 2, r.bottom / 2);
        // Posted like the real mouse's messages: a task may open a question box and run
        // its message loop inside the handler of the release.
        if (!PostMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, point) ||
            !PostMessageW(target, WM_LBUTTONUP, 0, point))
            fail(L"cannot post the press");
        return 0;
    }
    if (command == L"rows") {
        HWND list = firstOfClass(top, WC_LISTVIEWW, title);
        auto count = static_cast<int>(sendOrFail(list, LVM_GETITEMCOUNT, 0, 0));
        RemoteBuffer remote(list, sizeof(LVITEMW) + TextCapacity * sizeof(wchar_t));
        for (int row = 0; row < count; ++row) {
            printLine(std::to_wstring(rowTicked(list, row) ? 1 : 0) + L"\t" +
                      escaped(rowText(list, remote, row, 0)) + L"\t" +
                      escaped(rowText(list, remote, row, 1)));
        }
        return 0;
    }
    if (command == L"tick" && args.size() >= 4) {
        HWND list = firstOfClass(top, WC_LISTVIEWW, title);
        if (!usable(list))
            fail(L"the list of \"" + title + L"\" is disabled");
        int row = _wtoi(args[2].c_str());
        bool flag = args[3] == L"1";
        auto count = static_cast<int>(sendOrFail(list, LVM_GETITEMCOUNT, 0, 0));
        if (row < 0 || row >= count)
            fail(L"the list of \"" + title + L"\" has no row " + args[2]);
        LVITEMW item = {};
        item.stateMask = LVIS_STATEIMAGEMASK;
        item.state = INDEXTOSTATEIMAGEMASK(flag ? 2 : 1);
        RemoteBuffer remote(list, sizeof item);
        remote.write(0, &item, sizeof item);
        sendOrFail(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                   reinterpret_cast<LPARAM>(remote.address()));
        if (rowTicked(list, row) != flag)
            fail(L"row " + args[2] + L" did not take its new check state");
        return 0;
    }
    if (command == L"set-edit" && args.size() >= 4) {
        HWND edit = editAt(top, title, static_cast<size_t>(_wtoi(args[2].c_str())));
        if (!usable(edit))
            fail(L"edit " + args[2] + L" of \"" + title + L"\" is disabled");
        sendOrFail(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(args[3].c_str()));
        if (controlText(edit) != args[3])
            fail(L"edit " + args[2] + L" did not take its new text");
        return 0;
    }
    if (command == L"get-edit" && args.size() >= 3) {
        printLine(
            escaped(controlText(editAt(top, title, static_cast<size_t>(_wtoi(args[2].c_str()))))));
        return 0;
    }
    if (command == L"message") {
        for (HWND w : descendants(top)) {
            if (className(w).rfind(L"RichEdit", 0) == 0 || classIs(w, L"RICHEDIT50W")) {
                printLine(escaped(controlText(w)));
                return 0;
            }
        }
        fail(L"window \"" + title + L"\" has no rich edit");
    }
    if (command == L"close") {
        deliver(top, WM_CLOSE, args.size() >= 3 && args[2] == L"--post");
        return 0;
    }
    if (command == L"settle") {
        // Posted messages of one thread are handled in order: once a marker posted now
        // has taken effect, so has every press and every text posted before it. The
        // marker is a button's highlight, switched on and off again.
        HWND button = nullptr;
        for (HWND w : descendants(top)) {
            if (classIs(w, L"Button") && !isCheckBox(w)) {
                button = w;
                break;
            }
        }
        if (!button)
            fail(L"window \"" + title + L"\" has no button to settle with");
        double limit = seconds(args, 2, 20);
        for (WPARAM on : {TRUE, FALSE}) {
            if (!PostMessageW(button, BM_SETSTATE, on, 0))
                fail(L"cannot post to \"" + title + L"\"");
            bool reached = waitFor(limit, [&] {
                bool pushed = (sendOrFail(button, BM_GETSTATE, 0, 0) & BST_PUSHED) != 0;
                return pushed == (on == TRUE);
            });
            if (!reached)
                fail(L"window \"" + title + L"\" did not settle within " + std::to_wstring(limit) +
                     L" s");
        }
        return 0;
    }
    if (command == L"x-window") {
        // Wine's X11 driver keeps the id of a top-level window's X window among the
        // window's properties; they live in the server, so another process reads them.
        // Captured by that id, a window shows what it holds now; on a capture of the
        // whole screen without a window manager, every window after the first reads black.
        auto id = reinterpret_cast<uintptr_t>(GetPropW(top, L"__wine_x11_whole_window"));
        if (id == 0)
            fail(L"window \"" + title + L"\" has no X window of its own");
        wchar_t buffer[32];
        swprintf(buffer, 32, L"0x%llx", static_cast<unsigned long long>(id));
        printLine(buffer);
        return 0;
    }
    if (command == L"rect") {
        RECT r = {};
        GetWindowRect(top, &r);
        printLine(std::to_wstring(r.left) + L" " + std::to_wstring(r.top) + L" " +
                  std::to_wstring(r.right - r.left) + L" " + std::to_wstring(r.bottom - r.top));
        return 0;
    }
    return usage();
}

std::vector<std::wstring> splitTabs(const std::wstring& line) {
    std::vector<std::wstring> parts;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find(L'\t', start);
        parts.push_back(line.substr(start, tab == std::wstring::npos ? tab : tab - start));
        if (tab == std::wstring::npos)
            return parts;
        start = tab + 1;
    }
}

int serve() {
    serving = true;
    std::string line;
    int c;
    while ((c = fgetc(stdin)) != EOF) {
        if (c != '\n') {
            line += static_cast<char>(c);
            continue;
        }
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        int status = 0;
        std::wstring message;
        try {
            status = run(splitTabs(fromUtf8(line)));
        } catch (const Failure& failure) {
            status = failure.status;
            message = failure.message;
        }
        std::string end = "." + std::to_string(status) + " " + utf8(escaped(message)) + "\n";
        fwrite(end.data(), 1, end.size(), stdout);
        fflush(stdout);
        line.clear();
    }
    return 0;
}

} // namespace

int main() {
    // The caller reads lines ended by "\n" alone.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stdin), _O_BINARY);
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> args;
    for (int i = 1; argv && i < count; ++i)
        args.emplace_back(argv[i]);
    LocalFree(argv);
    if (args.size() == 1 && args[0] == L"serve")
        return serve();
    try {
        int status = run(args);
        fflush(stdout);
        return status;
    } catch (const Failure& failure) {
        fflush(stdout);
        std::string text = "e2e-driver: " + utf8(failure.message) + "\n";
        fputs(text.c_str(), stderr);
        return failure.status;
    }
}
