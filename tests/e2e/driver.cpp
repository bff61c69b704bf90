#include "tests/e2e/driver.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace e2e {

namespace {

std::string g_program_path;

// Wine's message box: the text is control 0xFFFF; the icon is a static control
// with SS_ICON.
constexpr int kMessageBoxTextId = 0xFFFF;

struct EnumState {
    DWORD pid;
    const char* class_name;
    const char* caption;
    std::vector<HWND>* found;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM param) {
    auto* state = reinterpret_cast<EnumState*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != state->pid) return TRUE;
    if (state->class_name && ClassName(window) != state->class_name) return TRUE;
    if (state->caption && WindowText(window) != state->caption) return TRUE;
    state->found->push_back(window);
    return TRUE;
}

// A message box is an owned #32770 window with the message text control and
// at least one of the standard answer buttons (the program's own dialogs have
// unnumbered labels too, but no button numbered IDOK to IDNO).
bool IsMessageBox(HWND window) {
    if (!IsWindowVisible(window) || !GetDlgItem(window, kMessageBoxTextId)) return false;
    for (int id = IDOK; id <= IDNO; ++id) {
        HWND button = GetDlgItem(window, id);
        if (button && ClassName(button) == "Button") return true;
    }
    return false;
}

// Classifies the icon of a message box by its colours on the screen: the
// error icon is mostly red, the information icon mostly blue.
MessageIcon ReadIcon(HWND box) {
    HWND icon_control = nullptr;
    for (HWND child : Children(box)) {
        if (ClassName(child) == "Static" && (Style(child) & SS_TYPEMASK) == SS_ICON) {
            icon_control = child;
            break;
        }
    }
    if (!icon_control || !IsWindowVisible(icon_control)) return MessageIcon::None;

    RECT rect;
    GetWindowRect(icon_control, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) return MessageIcon::None;

    int red = 0, blue = 0;
    for (COLORREF c : ReadScreen(rect).pixels) {
        const int r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
        if (r > 150 && g < 100 && b < 100) ++red;
        if (b > 150 && r < 100) ++blue;
    }
    if (red == 0 && blue == 0) return MessageIcon::Other;
    return red > blue ? MessageIcon::Error : MessageIcon::Information;
}

}  // namespace

ScreenArea ReadScreen(const RECT& rect) {
    ScreenArea area;
    area.width = rect.right - rect.left;
    area.height = rect.bottom - rect.top;
    if (area.width <= 0 || area.height <= 0) return area;
    const UniqueScreenDc screen(GetDC(nullptr));
    const UniqueMemoryDc memory(CreateCompatibleDC(screen.get()));
    if (!memory) return area;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = area.width;
    info.bmiHeader.biHeight = -area.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const UniqueGdiObject bitmap(CreateDIBSection(memory.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (bitmap) {
        HGDIOBJ old = SelectObject(memory.get(), bitmap.get());
        BitBlt(memory.get(), 0, 0, area.width, area.height, screen.get(), rect.left, rect.top, SRCCOPY);
        GdiFlush();
        const auto* p = static_cast<const BYTE*>(bits);
        area.pixels.reserve(static_cast<size_t>(area.width) * area.height);
        for (int i = 0; i < area.width * area.height; ++i) {
            area.pixels.push_back(RGB(p[4 * i + 2], p[4 * i + 1], p[4 * i]));
        }
        SelectObject(memory.get(), old);
    }
    return area;
}

bool ScreenShowsIcon(HICON icon, int size, const RECT& area) {
    const int width = area.right - area.left, height = area.bottom - area.top;
    if (!icon || width < size || height < size) return false;
    const std::vector<COLORREF> screen = ReadScreen(area).pixels;
    if (screen.size() != static_cast<size_t>(width) * height) return false;

    // The icon as this process draws it over the caption's colour at each place.
    std::vector<DWORD> drawn(static_cast<size_t>(size) * size);
    const UniqueScreenDc desktop(GetDC(nullptr));
    const UniqueMemoryDc memory(CreateCompatibleDC(desktop.get()));
    if (!memory) return false;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = size;
    info.bmiHeader.biHeight = -size;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    const UniqueGdiObject bitmap(CreateDIBSection(memory.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap) return false;
    HGDIOBJ old = SelectObject(memory.get(), bitmap.get());
    bool found = false;
    for (int y = 0; y + size <= height && !found; ++y) {
        for (int x = 0; x + size <= width && !found; ++x) {
            const DWORD background = screen[static_cast<size_t>(y) * width + x];
            {
                const UniqueGdiObject brush(CreateSolidBrush(background));
                RECT all{0, 0, size, size};
                FillRect(memory.get(), &all, static_cast<HBRUSH>(brush.get()));
            }
            DrawIconEx(memory.get(), 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
            GdiFlush();
            const auto* px = static_cast<const BYTE*>(bits);
            long difference = 0, changed = 0;
            for (int j = 0; j < size; ++j) {
                for (int i = 0; i < size; ++i) {
                    const BYTE* p = px + 4 * (j * size + i);
                    const DWORD s = screen[static_cast<size_t>(y + j) * width + x + i];
                    difference += std::abs(p[2] - GetRValue(s)) + std::abs(p[1] - GetGValue(s)) +
                                  std::abs(p[0] - GetBValue(s));
                    if (RGB(p[2], p[1], p[0]) != background) ++changed;
                }
            }
            // The icon must cover a good part of its square and match it.
            found = changed > size * size / 4 && difference / (size * size) < 24;
        }
    }
    SelectObject(memory.get(), old);
    return found;
}

const std::string& ProgramPath() { return g_program_path; }
void SetProgramPath(const std::string& path) { g_program_path = path; }

std::vector<HWND> TopLevelWindows(DWORD pid, const char* class_name, const char* caption) {
    std::vector<HWND> found;
    EnumState state{pid, class_name, caption, &found};
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&state));
    return found;
}

HWND WaitForWindow(DWORD pid, const char* class_name, const char* caption, DWORD timeout_ms) {
    HWND result = nullptr;
    WaitUntil(
        [&] {
            for (HWND w : TopLevelWindows(pid, class_name, caption)) {
                if (IsWindowVisible(w)) {
                    result = w;
                    return true;
                }
            }
            return false;
        },
        timeout_ms);
    return result;
}

std::string WindowText(HWND window) {
    char buffer[1024] = {};
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof(buffer), reinterpret_cast<LPARAM>(buffer),
                             SMTO_ABORTIFHUNG, 5000, &copied)) {
        return {};
    }
    return std::string(buffer, copied);
}

std::string ControlText(HWND dialog, int id) { return WindowText(GetDlgItem(dialog, id)); }

void SetControlText(HWND dialog, int id, const std::string& text) {
    SendMessageA(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void TypeText(HWND control, const std::string& text) {
    // Sent, not posted: the edit handles each character before the call
    // returns, so the caller reads the result without racing the queue.
    for (unsigned char c : text) SendMessageA(control, WM_CHAR, c, 1);
}

bool PasteText(HWND control, const std::string& text) {
    if (!OpenClipboard(nullptr)) return false;
    EmptyClipboard();
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    if (!memory) {
        CloseClipboard();
        return false;
    }
    memcpy(GlobalLock(memory), text.c_str(), text.size() + 1);
    GlobalUnlock(memory);
    const bool set = SetClipboardData(CF_TEXT, memory) != nullptr;
    if (!set) GlobalFree(memory);
    CloseClipboard();
    if (!set) return false;
    SendMessageA(control, WM_PASTE, 0, 0);
    return true;
}

void PressKey(HWND control, WORD virtual_key) {
    const UINT scan = MapVirtualKeyA(virtual_key, 0);
    PostMessageA(control, WM_KEYDOWN, virtual_key, 1 | (scan << 16));
    if (virtual_key == VK_RETURN || virtual_key == VK_ESCAPE) {
        PostMessageA(control, WM_CHAR, virtual_key == VK_RETURN ? '\r' : 0x1B, 1 | (scan << 16));
    }
    PostMessageA(control, WM_KEYUP, virtual_key, 1 | (scan << 16) | 0xC0000000u);
}

void Click(HWND dialog, int id) { PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

HWND FocusedWindow(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

std::vector<HWND> Children(HWND dialog) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        children.push_back(child);
    }
    return children;
}

std::string ClassName(HWND window) {
    char name[256] = {};
    GetClassNameA(window, name, sizeof(name));
    return name;
}

LONG Style(HWND window) { return GetWindowLongA(window, GWL_STYLE); }

std::optional<MessageBoxInfo> WaitForMessageBox(DWORD pid, DWORD timeout_ms) {
    HWND box = nullptr;
    WaitUntil(
        [&] {
            for (HWND w : TopLevelWindows(pid, "#32770", nullptr)) {
                if (IsMessageBox(w)) {
                    box = w;
                    return true;
                }
            }
            return false;
        },
        timeout_ms);
    if (!box) return std::nullopt;
    // Let the box paint itself before its icon is read from the screen.
    WaitUntil([&] { return GetUpdateRect(box, nullptr, FALSE) == FALSE; }, 1000);
    Sleep(100);

    MessageBoxInfo info;
    info.window = box;
    info.owner = GetWindow(box, GW_OWNER);
    info.caption = WindowText(box);
    info.text = ControlText(box, kMessageBoxTextId);
    info.icon = ReadIcon(box);
    return info;
}

bool DismissMessageBox(const MessageBoxInfo& box, DWORD timeout_ms) {
    PostMessageA(box.window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    // Until the window is destroyed, a search for the next box would find this one again.
    return WaitUntil([&] { return !IsWindow(box.window); }, timeout_ms);
}

std::string UniqueHostPath(const std::string& prefix) {
    // The run's private directory: a shared one would let another user plant the
    // scripts that RunOnHost runs as root.
    static const std::string directory = [] {
        char name[MAX_PATH] = {};
        const DWORD length = GetEnvironmentVariableA("TARVEX_TMPDIR", name, sizeof(name));
        return length > 0 && length < sizeof(name) ? std::string(name) : std::string();
    }();
    if (directory.empty()) return "";
    static int counter = 0;
    return directory + "/" + prefix + "-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
}

std::string WindowsPath(const std::string& unix_path) {
    std::string path = "Z:" + unix_path;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::optional<HostResult> RunOnHost(const std::string& script, DWORD timeout_ms) {
    // Wine starts a Unix executable named on a command line, but hands back no
    // exit code for it: the script writes its status and output to files that
    // this side reads through drive Z:, which is the Unix root.
    const std::string base = UniqueHostPath("tvx-host");
    if (base.empty()) return std::nullopt;
    const std::string wrapped = "(\n" + script + "\n) >" + base + ".out 2>&1\necho $? >" + base + ".rc.tmp\nmv " +
                                base + ".rc.tmp " + base + ".rc\n";
    {
        const UniqueFile file(CreateFileA(WindowsPath(base + ".sh").c_str(), GENERIC_WRITE, 0, nullptr,
                                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return std::nullopt;
        DWORD written = 0;
        WriteFile(file.get(), wrapped.data(), static_cast<DWORD>(wrapped.size()), &written, nullptr);
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    std::string command = "/bin/sh " + base + ".sh";
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return std::nullopt;
    }
    // The script reports through its files, not its exit code. Wine runs a Unix
    // program without a Windows process: the two "handles" it fills in are whatever
    // its stack held (not even null), so they are neither owned nor closed here:
    // closing them could close a live handle of this process (a later send failed so).

    const auto read_file = [&](const std::string& unix_path, std::string& text) {
        const UniqueFile file(CreateFileA(WindowsPath(unix_path).c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return false;
        char buffer[4096];
        DWORD got = 0;
        text.clear();
        while (ReadFile(file.get(), buffer, sizeof(buffer), &got, nullptr) && got > 0) text.append(buffer, got);
        return true;
    };
    std::string status;
    if (!WaitUntil([&] { return read_file(base + ".rc", status); }, timeout_ms)) return std::nullopt;
    HostResult result;
    result.exit_code = std::atoi(status.c_str());
    read_file(base + ".out", result.output);
    for (const char* suffix : {".sh", ".out", ".rc"}) DeleteFileA(WindowsPath(base + suffix).c_str());
    return result;
}

Program Program::Start(const std::string& directory) {
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    std::string command = "\"" + ProgramPath() + "\"";
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                        directory.empty() ? nullptr : directory.c_str(), &startup, &process)) {
        return Program(UniqueKernelObject(), 0);
    }
    const UniqueKernelObject thread(process.hThread);
    return Program(UniqueKernelObject(process.hProcess), process.dwProcessId);
}

CommandRun RunProgramWithArguments(const std::string& arguments, DWORD timeout_ms,
                                   const std::function<void(DWORD pid, const std::string& output)>& watch) {
    CommandRun run;
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE read_end = nullptr, write_end = nullptr;
    if (!CreatePipe(&read_end, &write_end, &inheritable, 0)) return run;
    const UniqueKernelObject reader(read_end);
    UniqueKernelObject writer(write_end);
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write_end;
    startup.hStdError = write_end;
    PROCESS_INFORMATION process{};
    std::string command = "\"" + ProgramPath() + "\" " + arguments;
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        return run;
    }
    const UniqueKernelObject thread(process.hThread), started(process.hProcess);
    // Only the program holds the write end now: the pipe ends when the program does.
    writer.reset();
    // What is in the pipe, without waiting for its end: a process Wine started on the
    // program's behalf may have inherited the write end and hold it open.
    const auto read_what_is_there = [&] {
        char buffer[4096];
        DWORD available = 0;
        while (PeekNamedPipe(reader.get(), nullptr, 0, nullptr, &available, nullptr) && available > 0) {
            DWORD got = 0;
            if (!ReadFile(reader.get(), buffer, sizeof buffer, &got, nullptr) || got == 0) break;
            run.output.append(buffer, got);
        }
    };
    const DWORD start = GetTickCount();
    DWORD ended = WAIT_TIMEOUT;
    while (ended == WAIT_TIMEOUT && GetTickCount() - start < timeout_ms) {
        read_what_is_there();
        if (watch) watch(process.dwProcessId, run.output);
        ended = WaitForSingleObject(started.get(), 10);
    }
    if (ended != WAIT_OBJECT_0) {
        TerminateProcess(started.get(), 1);
        WaitForSingleObject(started.get(), 5000);
    } else {
        DWORD code = 0;
        GetExitCodeProcess(started.get(), &code);
        run.exit_code = code;
    }
    read_what_is_there();
    return run;
}

Program::~Program() {
    if (!process_) return;
    if (WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
        for (HWND w : TopLevelWindows(pid_, nullptr, nullptr)) PostMessageA(w, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(process_.get(), 5000) == WAIT_TIMEOUT) {
            TerminateProcess(process_.get(), 1);
            WaitForSingleObject(process_.get(), 5000);
        }
    }
}

HWND Program::WaitForMainDialog(DWORD timeout_ms) const {
    return WaitForWindow(pid_, "#32770", "TARVEX WOL - Wake On Lan", timeout_ms);
}

std::optional<DWORD> Program::WaitForExit(DWORD timeout_ms) const {
    if (WaitForSingleObject(process_.get(), timeout_ms) != WAIT_OBJECT_0) return std::nullopt;
    DWORD code = 0;
    GetExitCodeProcess(process_.get(), &code);
    return code;
}

}  // namespace e2e
