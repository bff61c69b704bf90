// The About dialog, its web link and the "Contribute $" command, as a user meets
// them: texts, shortcut files in the working directory, the shell asked to open
// them, keys, colours on the screen, and no GDI objects lost over many openings.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <numeric>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "resource.h"
#include "tests/e2e/driver.h"
#include "tests/e2e/program_case.h"

namespace {

using e2e::Program;

constexpr char kAboutCaption[] = "About...";
constexpr char kHomeFile[] = "Tarvex online.url";
constexpr char kContributeFile[] = "Contribute.url";
constexpr char kHomeUrl[] = "http://tarvex.example/";
constexpr char kContributeUrl[] = "http://tarvex.example/contribuir.php";
constexpr char kHomeBytes[] = "[InternetShortcut]\x0A" "URL=http://tarvex.example/";
constexpr char kContributeBytes[] = "[InternetShortcut]\x0A" "URL=http://tarvex.example/contribuir.php";
constexpr char kDescription[] =
    "TARVEX WOL allows you to remotely turn\non a machine from the IP or MAC Address.\nIt also allows to figure "
    "out the MAC\nAddresses of the PC, and check if a\nIP Address is valid between a network.";
constexpr char kCopyright[] = "Copyright (C) 2026 Tarvex. All rights reserved.";
constexpr char kLinkText[] = "www.tarvex.example";

constexpr COLORREF kLinkColour = RGB(0, 0, 200);
constexpr COLORREF kHoverColour = RGB(200, 0, 0);

// --- Files of the scratch directory -------------------------------------------------

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A fresh, empty working directory for one test, removed with what the program
// left in it.
class ScratchDirectory {
public:
    ScratchDirectory() {
        static int counter = 0;
        char temp[MAX_PATH] = {};
        GetTempPathA(sizeof temp, temp);
        path_ = std::string(temp) + "tvx-about-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(++counter);
        CreateDirectoryA(path_.c_str(), nullptr);
    }
    ~ScratchDirectory() {
        // A handler the shell started for a shortcut works in this directory too and
        // may still be ending.
        e2e::WaitUntil(
            [&] {
                WIN32_FIND_DATAA found;
                const UniqueFind search(FindFirstFileA((path_ + "\\*").c_str(), &found));
                if (search) {
                    do {
                        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                            DeleteFileA(File(found.cFileName).c_str());
                        }
                    } while (FindNextFileA(search.get(), &found));
                }
                return RemoveDirectoryA(path_.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
            },
            10000);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

// --- What the program does beyond its windows ----------------------------------------

// Records what the shell is handed to open for an http address: for as long as it
// lives, the handler of http addresses is a command that appends its argument as one
// line to a file. A shortcut file the shell opened instead would reach the handler
// with the address the file holds, whatever that is.
class HandedAddresses {
public:
    explicit HandedAddresses(std::string record) : record_(std::move(record)) {
        RegCreateKeyExA(HKEY_CLASSES_ROOT, kCommandKey, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr,
                        key_.put(), nullptr);
        if (!key_) return;
        char old[1024] = {};
        DWORD size = sizeof old - 1;
        if (RegQueryValueExA(key_.get(), nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(old), &size) ==
            ERROR_SUCCESS) {
            old_ = std::string(old);
        }
        const std::string command = "C:\\windows\\system32\\cmd.exe /c echo %1>>\"" + record_ + "\"";
        installed_ = RegSetValueExA(key_.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                                    static_cast<DWORD>(command.size() + 1)) == ERROR_SUCCESS;
    }
    ~HandedAddresses() {
        if (!installed_) return;
        if (old_) {
            RegSetValueExA(key_.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(old_->c_str()),
                           static_cast<DWORD>(old_->size() + 1));
        } else {
            RegDeleteValueA(key_.get(), nullptr);
        }
    }
    HandedAddresses(const HandedAddresses&) = delete;
    HandedAddresses& operator=(const HandedAddresses&) = delete;

    bool installed() const { return installed_; }

    /// The addresses handed so far, sorted (the handlers run side by side).
    std::vector<std::string> Handed() const {
        std::vector<std::string> lines;
        std::istringstream text(e2e::ReadWholeFile(record_).value_or(""));
        for (std::string line; std::getline(text, line);) {
            while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
            if (!line.empty()) lines.push_back(line);
        }
        std::sort(lines.begin(), lines.end());
        return lines;
    }

    /// Waits until `count` addresses have been handed; then returns them.
    std::vector<std::string> WaitFor(std::size_t count) const {
        e2e::WaitUntil([&] { return Handed().size() >= count; }, 10000);
        return Handed();
    }

private:
    static constexpr char kCommandKey[] = "http\\shell\\open\\command";
    std::string record_;
    UniqueKey key_;
    std::optional<std::string> old_;
    bool installed_ = false;
};

// Wine keeps the GDI objects of a process in a table of its own, found through the
// process's PEB (GdiSharedHandleTable, at 0x94 in a 32-bit PEB, 0xF8 in a 64-bit one; the
// program is built like this driver): 0x10000 entries of 24 bytes in both, each with its object type in byte 14, 0 for a free entry. Returns how many
// objects of each type the process holds.
std::optional<std::array<DWORD, 256>> WineGdiObjectsByType(DWORD pid) {
    const UniqueKernelObject process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
    if (!process) return std::nullopt;
    struct BasicInformation {  // PROCESS_BASIC_INFORMATION
        LONG exit_status;
        void* peb;
        ULONG_PTR affinity, priority, pid, parent_pid;
    } basic{};
    using Query = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess")));
    constexpr size_t kTableOffset = sizeof(void*) == 8 ? 0xF8 : 0x94, kEntrySize = 24, kTypeOffset = 14, kEntries = 0x10000;
    std::optional<std::array<DWORD, 256>> counts;
    void* table = nullptr;
    SIZE_T got = 0;
    if (query && query(process.get(), 0, &basic, sizeof basic, nullptr) == 0 &&
        ReadProcessMemory(process.get(), static_cast<BYTE*>(basic.peb) + kTableOffset, &table, sizeof table, &got) &&
        table) {
        std::vector<BYTE> entries(kEntrySize * kEntries);
        if (ReadProcessMemory(process.get(), table, entries.data(), entries.size(), &got) && got == entries.size()) {
            counts.emplace();
            counts->fill(0);
            for (size_t i = 0; i < kEntries; ++i) ++(*counts)[entries[i * kEntrySize + kTypeOffset]];
            (*counts)[0] = 0;  // free entries
        }
    }
    return counts;
}

constexpr BYTE kWineFontType = 0x0A;

// GDI objects the process holds. Windows answers GetGuiResources; Wine only stubs it
// (ERROR_CALL_NOT_IMPLEMENTED), so there they are counted in its table.
std::optional<DWORD> GdiObjectCount(DWORD pid) {
    const UniqueKernelObject process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid));
    if (!process) return std::nullopt;
    SetLastError(0);
    const DWORD reported = GetGuiResources(process.get(), GR_GDIOBJECTS);
    if (reported != 0 || GetLastError() != ERROR_CALL_NOT_IMPLEMENTED) return reported;
    const auto by_type = WineGdiObjectsByType(pid);
    if (!by_type) return std::nullopt;
    return std::accumulate(by_type->begin(), by_type->end(), DWORD{0});
}

// Reads `count` until two readings 100 ms apart agree, so that painting still under
// way does not count; nothing if it does not settle within two seconds.
template <typename Count>
std::optional<DWORD> SettledCount(Count count) {
    std::optional<DWORD> last = count();
    for (int i = 0; i < 20 && last; ++i) {
        Sleep(100);
        const std::optional<DWORD> now = count();
        if (now == last) return now;
        last = now;
    }
    return std::nullopt;
}

// --- The screen -----------------------------------------------------------------------

using e2e::ReadScreen;
using e2e::ScreenArea;

// How much of the link's text is drawn in one colour.
struct TextLook {
    int pixels = 0;
};

TextLook LookAt(const ScreenArea& area, COLORREF colour) {
    TextLook look;
    for (int y = 0; y < area.height; ++y) {
        for (int x = 0; x < area.width; ++x) {
            if (area.at(x, y) == colour) ++look.pixels;
        }
    }
    return look;
}

RECT ScreenRectOf(HWND window) {
    RECT rect;
    GetWindowRect(window, &rect);
    return rect;
}

struct LinkLook {
    TextLook normal;  // in the link colour
    TextLook hover;   // in the hover colour
};

LinkLook ReadLink(HWND link) {
    const ScreenArea area = ReadScreen(ScreenRectOf(link));
    return LinkLook{LookAt(area, kLinkColour), LookAt(area, kHoverColour)};
}

// Text of the link, in pixels of exactly one colour; the rest are smoothed edges.
constexpr int kLinkTextPixels = 40;

// Waits until the link's text is drawn in `colour`.
bool WaitForLinkColour(HWND link, COLORREF colour) {
    return e2e::WaitUntil(
        [&] {
            const LinkLook look = ReadLink(link);
            return (colour == kLinkColour ? look.normal : look.hover).pixels > kLinkTextPixels;
        },
        3000);
}

HCURSOR CurrentCursor() {
    CURSORINFO info{};
    info.cbSize = sizeof info;
    return GetCursorInfo(&info) ? info.hCursor : nullptr;
}

POINT CentreOf(const RECT& rect) { return POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2}; }

// --- The program with its About dialog -------------------------------------------------

class About : public testing::Test {
protected:
    void SetUp() override {
        // Off every window: the pointer stays where an earlier test left it, and a
        // link that opens under it would show its hover colours.
        SetCursorPos(0, 0);
        ASSERT_TRUE(handed_.installed());
        ASSERT_NO_FATAL_FAILURE(e2e::StartWithMainDialog(program_, main_, scratch_.path()));
    }

    void TearDown() override {
        if (!program_ || !program_->running()) return;
        if (HWND about = FindAbout()) {
            PostMessageA(about, WM_CLOSE, 0, 0);
            e2e::WaitUntil([&] { return !IsWindow(about); }, 5000);
        }
        e2e::Click(main_, IDC_EXIT);
        EXPECT_EQ(program_->WaitForExit(), std::optional<DWORD>(24));
    }

    HWND FindAbout() const {
        for (HWND w : e2e::TopLevelWindows(program_->pid(), "#32770", kAboutCaption)) {
            if (IsWindowVisible(w)) return w;
        }
        return nullptr;
    }

    // Presses "About..." and waits for the dialog, painted.
    HWND OpenAbout() {
        e2e::Click(main_, IDC_ABOUT);
        HWND about = e2e::WaitForWindow(program_->pid(), "#32770", kAboutCaption, 5000);
        if (about) e2e::WaitUntil([&] { return GetUpdateRect(about, nullptr, FALSE) == FALSE; }, 1000);
        return about;
    }

    void CloseAbout(HWND about) {
        PostMessageA(about, WM_CLOSE, 0, 0);
        EXPECT_TRUE(e2e::WaitUntil([&] { return !IsWindow(about); }, 5000));
    }

    // Sends a WM_COMMAND to the About dialog and waits until it has been handled.
    static bool SendCommand(HWND about, WORD id, WORD code, HWND from) {
        DWORD_PTR ignored = 0;
        return SendMessageTimeoutA(about, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(from),
                                   SMTO_ABORTIFHUNG, 10000, &ignored) != 0;
    }

    // The link's notification, sent to the dialog as the link itself sends it.
    static bool Notify(HWND about, WORD code) {
        return SendCommand(about, IDC_WEB_LINK, code, GetDlgItem(about, IDC_WEB_LINK));
    }

    // Whether the program's dialog thread answers (messages sent to it are handled
    // before those posted to it, so this is no sign that those have been).
    static bool Responsive(HWND window) {
        DWORD_PTR ignored = 0;
        return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored) != 0;
    }

    ScratchDirectory scratch_;
    HandedAddresses handed_{scratch_.File("handed.txt")};
    std::optional<Program> program_;
    HWND main_ = nullptr;
};

struct ExpectedItem {
    int id;
    const char* class_name;
    DWORD style;  // besides WS_CHILD | WS_VISIBLE
    const char* text;
    short x, y, cx, cy;
};

const ExpectedItem kAboutItems[] = {
    {IDC_STATIC, "STATIC", SS_CENTER | WS_GROUP, kDescription, 43, 12, 137, 42},
    {IDC_STATIC, "STATIC", SS_CENTER | WS_GROUP, kCopyright, 7, 72, 173, 10},
    {IDC_WEB_LINK, "STATIC", SS_LEFT | WS_GROUP, kLinkText, 50, 83, 85, 8},
    {IDC_STATIC, "STATIC", SS_ICON | SS_REALSIZEIMAGE, "#114", 12, 18, 21, 20},
    {IDC_STATIC, "BUTTON", BS_GROUPBOX, "", 7, 64, 173, 31},
    {IDC_STATIC, "BUTTON", BS_GROUPBOX, "", 7, 0, 173, 65},
};

TEST(AboutTemplate, HoldsEveryControlWithExactStylesTextsAndPositions) {
    const auto dlg = e2e::ReadDialogTemplate(e2e::ProgramPath(), IDD_ABOUT);
    ASSERT_TRUE(dlg.has_value());
    EXPECT_EQ(dlg->style, static_cast<DWORD>(WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME |
                                             DS_CENTER | DS_SETFOREGROUND | DS_SETFONT));
    EXPECT_EQ(dlg->ex_style, 0u);
    EXPECT_EQ(dlg->cx, 187);
    EXPECT_EQ(dlg->cy, 98);
    EXPECT_EQ(dlg->caption, kAboutCaption);
    EXPECT_EQ(dlg->point_size, 8);
    EXPECT_EQ(dlg->font, "MS Sans Serif");

    ASSERT_EQ(dlg->items.size(), std::size(kAboutItems));
    for (size_t i = 0; i < dlg->items.size(); ++i) {
        const ExpectedItem& want = kAboutItems[i];
        const e2e::TemplateItem& item = dlg->items[i];
        SCOPED_TRACE("item #" + std::to_string(i));
        EXPECT_EQ(item.id, static_cast<WORD>(want.id));
        EXPECT_EQ(item.class_name, want.class_name);
        EXPECT_EQ(item.style, WS_CHILD | WS_VISIBLE | want.style) << std::hex << item.style;
        EXPECT_EQ(item.ex_style, 0u);
        EXPECT_EQ(item.text, want.text);
        EXPECT_EQ(item.x, want.x);
        EXPECT_EQ(item.y, want.y);
        EXPECT_EQ(item.cx, want.cx);
        EXPECT_EQ(item.cy, want.cy);
    }
}

TEST_F(About, OpensOwnedByTheMainDialogWithItsTextsAndALinkThatReportsClicks) {
    HWND about = OpenAbout();
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(GetWindow(about, GW_OWNER), main_);
    EXPECT_FALSE(IsWindowEnabled(main_));

    const std::vector<HWND> children = e2e::Children(about);
    ASSERT_EQ(children.size(), std::size(kAboutItems));
    for (size_t i = 0; i < children.size(); ++i) {
        SCOPED_TRACE("control #" + std::to_string(i));
        EXPECT_EQ(static_cast<WORD>(GetDlgCtrlID(children[i])), static_cast<WORD>(kAboutItems[i].id));
        if (kAboutItems[i].text[0] != '#') {
            EXPECT_EQ(e2e::WindowText(children[i]), kAboutItems[i].text);
        }
    }
    // The link is a static control that now reports clicks; the others still do not.
    HWND link = GetDlgItem(about, IDC_WEB_LINK);
    EXPECT_EQ(e2e::ClassName(link), "Static");
    EXPECT_EQ(e2e::Style(link) & SS_NOTIFY, SS_NOTIFY);
    EXPECT_EQ(e2e::Style(children[0]) & SS_NOTIFY, 0);

    // The icon control shows the program's icon.
    const UniqueLibrary exe(LoadLibraryExA(e2e::ProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(exe);
    // Shown at its real size: the icon's first image, 48 by 48.
    const UniqueIcon icon(
        static_cast<HICON>(LoadImageA(exe.get(), MAKEINTRESOURCEA(IDI_APP), IMAGE_ICON, 48, 48, 0)));
    const RECT icon_rect = ScreenRectOf(children[3]);
    EXPECT_TRUE(e2e::WaitUntil([&] { return e2e::ScreenShowsIcon(icon.get(), 48, icon_rect); }, 3000));
}

TEST_F(About, EnterAndEscapeLeaveItOpenAndTheCloseBoxEndsIt) {
    HWND about = OpenAbout();
    ASSERT_NE(about, nullptr);
    HWND link = GetDlgItem(about, IDC_WEB_LINK);
    e2e::PressKey(link, VK_RETURN);
    e2e::PressKey(link, VK_ESCAPE);
    e2e::PressKey(about, VK_RETURN);
    e2e::PressKey(about, VK_ESCAPE);
    PostMessageA(about, WM_COMMAND, IDOK, 0);
    PostMessageA(about, WM_COMMAND, IDCANCEL, 0);
    // Posted last, so handled last: its shortcut file shows the keys have been seen to.
    PostMessageA(about, WM_COMMAND, MAKEWPARAM(IDC_WEB_LINK, STN_DBLCLK), reinterpret_cast<LPARAM>(link));
    ASSERT_TRUE(e2e::WaitUntil([&] { return FileExists(scratch_.File(kHomeFile)); }, 5000));
    EXPECT_TRUE(IsWindowVisible(about));
    EXPECT_FALSE(IsWindowEnabled(main_));

    PostMessageA(about, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(e2e::WaitUntil([&] { return !IsWindow(about); }, 5000));
    // Back in the main dialog, which works as before.
    EXPECT_TRUE(e2e::WaitUntil([&] { return IsWindowEnabled(main_) != FALSE; }, 2000));
    EXPECT_FALSE(program_->WaitForExit(0).has_value());
    EXPECT_TRUE(FindAbout() == nullptr);
}

TEST_F(About, AClickOnTheLinkWritesTheHomeShortcutAndOpensTheHomePage) {
    HWND about = OpenAbout();
    ASSERT_NE(about, nullptr);

    ASSERT_TRUE(Notify(about, STN_CLICKED));
    EXPECT_EQ(e2e::ReadWholeFile(scratch_.File(kHomeFile)), std::optional<std::string>(kHomeBytes));
    EXPECT_EQ(handed_.WaitFor(1), std::vector<std::string>{kHomeUrl});
    EXPECT_FALSE(FileExists(scratch_.File(kContributeFile)));
    // Opening the page holds nothing up: the dialog answers and stays open.
    EXPECT_TRUE(Responsive(about));
    EXPECT_TRUE(IsWindowVisible(about));
}

TEST_F(About, OtherNotificationsOfTheLinkOnlyWriteTheShortcut) {
    HWND about = OpenAbout();
    ASSERT_NE(about, nullptr);

    for (WORD code : {STN_DBLCLK, STN_ENABLE, STN_DISABLE}) {
        SCOPED_TRACE(code);
        DeleteFileA(scratch_.File(kHomeFile).c_str());
        ASSERT_TRUE(Notify(about, code));
        EXPECT_EQ(e2e::ReadWholeFile(scratch_.File(kHomeFile)), std::optional<std::string>(kHomeBytes));
    }
    // Long enough for a handler the shell had been asked to start to write.
    Sleep(2000);
    EXPECT_EQ(handed_.Handed(), std::vector<std::string>{});
}

TEST_F(About, NotificationsFromAnythingButTheLinkAreIgnored) {
    HWND about = OpenAbout();
    ASSERT_NE(about, nullptr);
    // The link's identifier without the link's window, and a click of another control.
    ASSERT_TRUE(SendCommand(about, IDC_WEB_LINK, STN_CLICKED, nullptr));
    ASSERT_TRUE(SendCommand(about, static_cast<WORD>(IDC_STATIC), STN_CLICKED, e2e::Children(about)[0]));
    EXPECT_FALSE(FileExists(scratch_.File(kHomeFile)));
    EXPECT_TRUE(IsWindowVisible(about));
}

TEST_F(About, PlantedShortcutsAreNeitherOpenedNorRewritten) {
    // Files of these names that were in the folder first, pointing elsewhere.
    const std::string home = "[InternetShortcut]\r\nURL=http://elsewhere.example/\r\n";
    const std::string contribute = "[InternetShortcut]\r\nURL=file:///C:/windows/system32/calc.exe\r\n";
    ASSERT_TRUE(e2e::WriteWholeFile(scratch_.File(kHomeFile), home));
    ASSERT_TRUE(e2e::WriteWholeFile(scratch_.File(kContributeFile), contribute));

    HWND about = OpenAbout();
    ASSERT_NE(about, nullptr);
    // The link's click and "Contribute $" open the program's own addresses. (One at a
    // time: two handlers appending to the record at once could lose a line.)
    ASSERT_TRUE(Notify(about, STN_CLICKED));
    EXPECT_EQ(handed_.WaitFor(1), std::vector<std::string>{kHomeUrl});
    ASSERT_TRUE(Notify(about, STN_DBLCLK));
    CloseAbout(about);
    e2e::Click(main_, IDC_CONTRIBUTE);
    EXPECT_EQ(handed_.WaitFor(2), (std::vector<std::string>{kHomeUrl, kContributeUrl}));
    EXPECT_EQ(e2e::ReadWholeFile(scratch_.File(kHomeFile)), std::optional<std::string>(home));
    EXPECT_EQ(e2e::ReadWholeFile(scratch_.File(kContributeFile)), std::optional<std::string>(contribute));
}

TEST_F(About, ContributeWritesItsShortcutAndOpensItsPageEveryTime) {
    e2e::Click(main_, IDC_CONTRIBUTE);
    // Read once the program is done with it: a file seen while it is being written may
    // not open yet.
    ASSERT_TRUE(e2e::WaitUntil(
        [&] { return e2e::ReadWholeFile(scratch_.File(kContributeFile)) == std::optional<std::string>(kContributeBytes); },
        5000));
    EXPECT_EQ(handed_.WaitFor(1), std::vector<std::string>{kContributeUrl});

    e2e::Click(main_, IDC_CONTRIBUTE);
    EXPECT_EQ(handed_.WaitFor(2), (std::vector<std::string>{kContributeUrl, kContributeUrl}));
    EXPECT_EQ(e2e::ReadWholeFile(scratch_.File(kContributeFile)), std::optional<std::string>(kContributeBytes));
    EXPECT_FALSE(FileExists(scratch_.File(kHomeFile)));
    EXPECT_TRUE(Responsive(main_));
    EXPECT_FALSE(e2e::WaitForMessageBox(program_->pid(), 0).has_value());
}

TEST_F(About, TheLinkIsBlueAndTurnsRedUnderTheMouse) {
    HWND about = OpenAbout();
    ASSERT_NE(about, nullptr);
    HWND link = GetDlgItem(about, IDC_WEB_LINK);
    const RECT about_rect = ScreenRectOf(about);
    // On the dialog away from the link: the empty middle of the first group box.
    const POINT away{(about_rect.left + about_rect.right) / 2, about_rect.top + 40};
    const POINT on_link = CentreOf(ScreenRectOf(link));

    // Several times: the leave notice must be asked for again after each leave (Wine
    // happens to deliver one more than asked for, so twice would not show it).
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        SetCursorPos(away.x, away.y);
        ASSERT_TRUE(WaitForLinkColour(link, kLinkColour));
        const HCURSOR away_cursor = CurrentCursor();
        LinkLook look = ReadLink(link);
        EXPECT_GT(look.normal.pixels, 0);
        EXPECT_EQ(look.hover.pixels, 0);

        SetCursorPos(on_link.x, on_link.y);
        ASSERT_TRUE(WaitForLinkColour(link, kHoverColour));
        look = ReadLink(link);
        EXPECT_GT(look.hover.pixels, 0);
        EXPECT_EQ(look.normal.pixels, 0);
        // Another cursor than the dialog's arrow. (Which one cannot be read from here:
        // a cursor of another process gives away no picture.)
        // The cursor follows the colour at the next mouse message, which a busy machine
        // may deliver a little later.
        EXPECT_TRUE(e2e::WaitUntil([&] { return CurrentCursor() != away_cursor; }, 2000));
    }
}

TEST_F(About, ARealMouseClickOnTheLinkWritesTheHomeShortcut) {
    HWND about = OpenAbout();
    ASSERT_NE(about, nullptr);
    const POINT on_link = CentreOf(ScreenRectOf(GetDlgItem(about, IDC_WEB_LINK)));
    SetCursorPos(on_link.x, on_link.y);
    INPUT clicks[2] = {};
    clicks[0].type = clicks[1].type = INPUT_MOUSE;
    clicks[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    clicks[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    ASSERT_EQ(SendInput(2, clicks, sizeof(INPUT)), 2u);
    ASSERT_TRUE(e2e::WaitUntil([&] { return FileExists(scratch_.File(kHomeFile)); }, 5000));
    EXPECT_EQ(e2e::ReadWholeFile(scratch_.File(kHomeFile)), std::optional<std::string>(kHomeBytes));
    EXPECT_TRUE(IsWindowVisible(about));
}

TEST_F(About, AReopenedLinkStartsBlueEvenIfTheLastOneClosedUnderTheMouse) {
    HWND about = OpenAbout();
    ASSERT_NE(about, nullptr);
    HWND link = GetDlgItem(about, IDC_WEB_LINK);
    const POINT on_link = CentreOf(ScreenRectOf(link));
    SetCursorPos(on_link.x, on_link.y);
    ASSERT_TRUE(WaitForLinkColour(link, kHoverColour));
    // Closed with the mouse still on the link: no leave notice comes.
    CloseAbout(about);
    // Where the new link will not be: a corner of the main dialog.
    const RECT main_rect = ScreenRectOf(main_);
    SetCursorPos(main_rect.left + 5, main_rect.bottom - 5);

    about = OpenAbout();
    ASSERT_NE(about, nullptr);
    link = GetDlgItem(about, IDC_WEB_LINK);
    ASSERT_TRUE(WaitForLinkColour(link, kLinkColour));
    EXPECT_EQ(ReadLink(link).hover.pixels, 0);
}

TEST_F(About, OpeningAndClosingFiftyTimesKeepsTheGdiObjectCount) {
    const auto open_and_close = [&] {
        HWND about = OpenAbout();
        if (!about) return false;
        const bool painted = WaitForLinkColour(GetDlgItem(about, IDC_WEB_LINK), kLinkColour);
        CloseAbout(about);
        return painted;
    };
    // Counted once the main dialog has repainted where the About dialog was.
    const auto settled_count = [&] { return SettledCount([&] { return GdiObjectCount(program_->pid()); }); };
    // Openings until the count stays put: what the system creates once and then
    // keeps (device contexts it caches for windows, the shared icon) is not a leak.
    std::optional<DWORD> before;
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(open_and_close());
        const std::optional<DWORD> now = settled_count();
        ASSERT_TRUE(now.has_value());
        if (now == before) break;
        before = now;
    }
    ASSERT_TRUE(before.has_value());
    ASSERT_GT(*before, 0u);

    for (int i = 0; i < 50; ++i) ASSERT_TRUE(open_and_close()) << "opening " << i;
    const std::optional<DWORD> after = settled_count();
    ASSERT_TRUE(after.has_value());
    EXPECT_NEAR(static_cast<double>(*after), static_cast<double>(*before), 2.0);
}

TEST_F(About, TheLinkFontsAreReleasedWhenTheDialogEnds) {
    const auto fonts = [&]() -> std::optional<DWORD> {
        const auto by_type = WineGdiObjectsByType(program_->pid());
        if (!by_type) return std::nullopt;
        return (*by_type)[kWineFontType];
    };
    if (!fonts()) GTEST_SKIP() << "counts fonts in Wine's GDI table only";
    for (int opening = 0; opening < 2; ++opening) {
        SCOPED_TRACE(opening);
        const std::optional<DWORD> before = SettledCount(fonts);
        ASSERT_TRUE(before.has_value());
        HWND about = OpenAbout();
        ASSERT_NE(about, nullptr);
        HWND link = GetDlgItem(about, IDC_WEB_LINK);
        ASSERT_TRUE(WaitForLinkColour(link, kLinkColour));
        // The link's two fonts at least; the dialog makes its own font too.
        EXPECT_GE(SettledCount(fonts).value_or(0), *before + 2);
        CloseAbout(about);
        EXPECT_EQ(SettledCount(fonts), before);
    }
}

}  // namespace
