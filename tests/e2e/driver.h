#pragma once
// Helpers that drive the real tarvex-wol.exe from another process: start it,
// find its windows, read and set controls, click, read and dismiss message
// boxes, and collect its exit code. Every wait has a bound.
#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/handles-win32.h"
#include "tests/support/test_files-win32.h"

namespace e2e {

/// Path of the program under test, from --program=PATH on the command line.
const std::string& ProgramPath();
void SetProgramPath(const std::string& path);

/// Polls `ready` every 10 ms until it returns true or `timeout_ms` passes.
template <typename Ready>
bool WaitUntil(Ready ready, DWORD timeout_ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (ready()) return true;
        if (GetTickCount() - start >= timeout_ms) return false;
        Sleep(10);
    }
}

/// Top-level windows of a process with the given class (nullptr: any) and
/// caption (nullptr: any), in z-order.
std::vector<HWND> TopLevelWindows(DWORD pid, const char* class_name, const char* caption);

/// Waits for a visible top-level window of the process; nullptr on time-out.
HWND WaitForWindow(DWORD pid, const char* class_name, const char* caption, DWORD timeout_ms);

/// Text of a window of another process (WM_GETTEXT; GetWindowText would not
/// ask another process's edit controls).
std::string WindowText(HWND window);
std::string ControlText(HWND dialog, int id);
void SetControlText(HWND dialog, int id, const std::string& text);

/// Types the text into a control as keyboard characters (WM_CHAR), so the
/// edit applies its own rules (such as its character limit).
void TypeText(HWND control, const std::string& text);

/// Puts the text on the clipboard and sends WM_PASTE to the control.
bool PasteText(HWND control, const std::string& text);

/// Presses a key in a control (WM_KEYDOWN / WM_CHAR / WM_KEYUP posted, as the
/// keyboard would deliver them through the dialog's message loop).
void PressKey(HWND control, WORD virtual_key);

/// Clicks a button without waiting for what it starts: a sent click would
/// block while the program shows a modal message box.
void Click(HWND dialog, int id);

/// The window with the keyboard focus in the thread that owns `window`.
HWND FocusedWindow(HWND window);

/// Direct child windows of a dialog in template (z) order.
std::vector<HWND> Children(HWND dialog);
std::string ClassName(HWND window);
LONG Style(HWND window);

/// The pixels of a screen rectangle, row by row, as the screen shows them now.
struct ScreenArea {
    int width = 0, height = 0;
    std::vector<COLORREF> pixels;
    COLORREF at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};
ScreenArea ReadScreen(const RECT& screen_rect);

/// Whether `icon`, drawn at size x size over the colour found at the search
/// area's top-left pixel, appears on the screen anywhere inside `search_area`
/// (screen coordinates); a few colour steps of scaling difference are allowed.
bool ScreenShowsIcon(HICON icon, int size, const RECT& search_area);

enum class MessageIcon { None, Error, Information, Other };

struct MessageBoxInfo {
    HWND window = nullptr;
    HWND owner = nullptr;
    std::string caption;
    std::string text;
    MessageIcon icon = MessageIcon::None;
};

/// Waits for a message box of the process (a #32770 window holding the
/// message text control) and reads it.
std::optional<MessageBoxInfo> WaitForMessageBox(DWORD pid, DWORD timeout_ms);

/// Presses the message box's OK button and waits until the box is gone;
/// false when it is still there after the timeout.
bool DismissMessageBox(const MessageBoxInfo& box, DWORD timeout_ms = 3000);

/// Output and exit status of a shell command run on the Linux side.
struct HostResult {
    int exit_code = -1;
    std::string output;  // stdout and stderr together
};

/// A fresh path "TARVEX_TMPDIR/PREFIX-..." for a file of the Linux side, in the
/// run's private directory (made by scripts/testnet.sh, mode 0700); empty when the
/// environment names no such directory.
std::string UniqueHostPath(const std::string& prefix);

/// The path through which this side reaches a Linux path: drive Z: is the Unix root.
std::string WindowsPath(const std::string& unix_path);

/// The whole of a file as bytes (none when it cannot be opened), and a file created or
/// replaced with bytes (true when all of them were written).
using ::ReadWholeFile;
using ::WriteWholeFile;

/// Runs `script` with /bin/sh on the Linux side of Wine (in the program's
/// network namespace, as root), for what only Linux can do or judge: start a
/// capture in the peer namespace, add a neighbour, count packets. Nothing on
/// time-out or without a private directory (see UniqueHostPath). The environment
/// names the test network: TARVEX_PEER_NS, TARVEX_PROG_NS, TARVEX_PEER_IF,
/// TARVEX_PROG_IF.
std::optional<HostResult> RunOnHost(const std::string& script, DWORD timeout_ms = 30000);

/// How a run of the program with arguments ended and what it wrote to its standard output.
struct CommandRun {
    std::optional<DWORD> exit_code;  // nothing: it did not end in time and was ended
    std::string output;
};

/// Runs the program with `arguments` (the command line after its name) and its standard
/// output on a pipe, and waits at most `timeout_ms` for it to end. The pipe is read as
/// the program writes, and `watch`, when given, is called about every 10 ms meanwhile
/// with the program's process id and all it has written so far.
CommandRun RunProgramWithArguments(
    const std::string& arguments, DWORD timeout_ms = 20000,
    const std::function<void(DWORD pid, const std::string& output)>& watch = nullptr);

/// A running copy of the program under test. The destructor ends a copy that
/// is still running, so a failed test leaves nothing behind.
class Program {
public:
    /// Starts the program in `directory` (empty: the current one); check
    /// running() for success.
    static Program Start(const std::string& directory = "");

    Program(Program&& other) noexcept = default;
    Program& operator=(Program&&) = delete;
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    ~Program();

    bool running() const { return process_.valid(); }
    DWORD pid() const { return pid_; }

    /// Waits for the main dialog; nullptr on time-out.
    HWND WaitForMainDialog(DWORD timeout_ms = 20000) const;

    /// Waits for the process to end; the exit code, or nothing on time-out.
    std::optional<DWORD> WaitForExit(DWORD timeout_ms = 10000) const;

private:
    Program(UniqueKernelObject process, DWORD pid) : process_(std::move(process)), pid_(pid) {}
    UniqueKernelObject process_;
    DWORD pid_ = 0;
};

}  // namespace e2e

namespace e2e {

/// A dialog template (DLGTEMPLATE form) as stored in an executable's resources.
struct TemplateItem {
    DWORD style = 0;
    DWORD ex_style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    WORD id = 0;
    std::string class_name;  // predefined classes by name: "BUTTON", "EDIT", "STATIC", ...
    std::string text;        // "#N" for a resource number
};

struct DialogTemplate {
    DWORD style = 0;
    DWORD ex_style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::string menu, window_class, caption;
    WORD point_size = 0;
    std::string font;
    std::vector<TemplateItem> items;
};

/// Reads dialog template `id` from the executable `path`; nothing when it is
/// missing or not a plain DLGTEMPLATE.
std::optional<DialogTemplate> ReadDialogTemplate(const std::string& path, int id);

}  // namespace e2e
