// The main dialog as a user meets it: controls, limits, keys, closing.
#include <gtest/gtest.h>

#include <string>

#include "resource.h"
#include "tests/e2e/driver.h"
#include "tests/e2e/program_case.h"

namespace {

using e2e::Program;

struct ExpectedControl {
    int id;
    const char* class_name;
    LONG style;  // besides WS_CHILD | WS_VISIBLE
    const char* text;
    RECT units;  // x, y, width, height in dialog units
};

constexpr LONG kEdit = WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;
constexpr LONG kButton = BS_PUSHBUTTON | WS_TABSTOP;
constexpr LONG kLabel = SS_LEFT | WS_GROUP;

// Template order, which is also the tab order.
const ExpectedControl kMainControls[] = {
    {IDC_IP_ADDRESS, "Edit", kEdit, "", {63, 43, 67, 13}},
    {IDC_GET_MAC, "Button", kButton, "Get MAC", {132, 43, 50, 13}},
    {IDC_MAC_ADDRESS, "Edit", kEdit, "", {63, 62, 67, 13}},
    {IDC_PASSWORD, "Edit", kEdit | ES_PASSWORD, "", {63, 81, 67, 13}},
    {IDC_CHECK_IP, "Edit", kEdit, "", {17, 139, 67, 13}},
    {IDC_CHECK, "Button", kButton, "Check", {87, 139, 50, 13}},
    {IDC_LOCAL_MACS, "Edit", kEdit | ES_MULTILINE | ES_READONLY | ES_WANTRETURN, "", {17, 167, 165, 24}},
    {IDC_TURN_ON, "Button", kButton, "Turn on PC", {200, 11, 50, 14}},
    {IDC_ABOUT, "Button", kButton, "About...", {200, 28, 50, 14}},
    {IDC_CONTRIBUTE, "Button", kButton, "Contribute $", {200, 46, 50, 14}},
    {IDC_EXIT, "Button", kButton, "Exit", {200, 64, 50, 14}},
    {IDC_STATIC, "Static", kLabel,
     "Insert the IP or MAC address of the machine that\nyou want to remotely turn on.", {17, 19, 158, 17}},
    {IDC_STATIC, "Static", kLabel, "IP Address", {17, 48, 43, 8}},
    {IDC_STATIC, "Static", kLabel, "MAC Address", {17, 67, 43, 8}},
    {IDC_STATIC, "Button", BS_GROUPBOX, "Main", {7, 7, 184, 95}},
    {IDC_STATIC, "Static", kLabel, "Insert the IP Address of a machine to check the state of the PC.",
     {17, 119, 147, 17}},
    {IDC_STATIC, "Static", kLabel, "MAC Addresses in this PC.", {17, 157, 113, 10}},
    {IDC_STATIC, "Button", BS_GROUPBOX, "Utilities", {7, 106, 184, 92}},
    {IDC_STATIC, "Static", kLabel, "Password", {17, 86, 43, 8}},
    {IDC_STATIC, "Static", SS_BITMAP, "#105", {198, 83, 55, 115}},
};

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return text;
}

INT_PTR CALLBACK IgnoreAll(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// Dialog units to pixels for a dialog in MS Sans Serif 8, worked out by a
// dialog of the same font in this process.
RECT UnitsToPixels(RECT units) {
    struct {
        DLGTEMPLATE header;
        WORD menu, window_class, title;
        WORD point_size;
        wchar_t face[14];
    } tmpl{};
    tmpl.header.style = DS_SETFONT | WS_POPUP;
    tmpl.header.cx = 10;
    tmpl.header.cy = 10;
    tmpl.point_size = 8;
    wcscpy(tmpl.face, L"MS Sans Serif");
    HWND probe = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), &tmpl.header, nullptr,
                                            IgnoreAll, 0);
    // Position and size are mapped separately, as the dialog manager does.
    RECT mapped = units;
    MapDialogRect(probe, &mapped);
    DestroyWindow(probe);
    return RECT{mapped.left, mapped.top, mapped.left + mapped.right, mapped.top + mapped.bottom};
}

RECT ClientRectOf(HWND dialog, HWND control) {
    RECT rect;
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

class MainDialog : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(e2e::StartWithMainDialog(program_, dialog_));
    }

    std::optional<Program> program_;
    HWND dialog_ = nullptr;
};

TEST(MainDialogTemplate, HoldsEveryControlWithExactStylesTextsAndPositions) {
    const auto dlg = e2e::ReadDialogTemplate(e2e::ProgramPath(), IDD_MAIN);
    ASSERT_TRUE(dlg.has_value());
    EXPECT_EQ(dlg->style, static_cast<DWORD>(WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME | DS_CENTER |
                                             DS_SETFONT));
    EXPECT_EQ(dlg->ex_style, 0u);
    EXPECT_EQ(dlg->cx, 259);
    EXPECT_EQ(dlg->cy, 206);
    EXPECT_EQ(dlg->menu, "");
    EXPECT_EQ(dlg->window_class, "");
    EXPECT_EQ(dlg->caption, "TARVEX WOL - Wake On Lan");
    EXPECT_EQ(dlg->point_size, 8);
    EXPECT_EQ(dlg->font, "MS Sans Serif");

    ASSERT_EQ(dlg->items.size(), std::size(kMainControls));
    for (size_t i = 0; i < dlg->items.size(); ++i) {
        const ExpectedControl& want = kMainControls[i];
        const e2e::TemplateItem& item = dlg->items[i];
        SCOPED_TRACE("item #" + std::to_string(i) + " id " + std::to_string(want.id));
        EXPECT_EQ(item.id, static_cast<WORD>(want.id));
        EXPECT_EQ(item.class_name, Upper(want.class_name));
        EXPECT_EQ(item.style, static_cast<DWORD>(WS_CHILD | WS_VISIBLE | want.style)) << std::hex << item.style;
        EXPECT_EQ(item.ex_style, 0u);
        EXPECT_EQ(item.text, want.text);
        EXPECT_EQ(item.x, want.units.left);
        EXPECT_EQ(item.y, want.units.top);
        EXPECT_EQ(item.cx, want.units.right);
        EXPECT_EQ(item.cy, want.units.bottom);
    }
}

TEST_F(MainDialog, ShowsEveryControlInTemplateOrderAtItsPlace) {
    const std::vector<HWND> children = e2e::Children(dialog_);
    ASSERT_EQ(children.size(), std::size(kMainControls));
    for (size_t i = 0; i < children.size(); ++i) {
        const ExpectedControl& want = kMainControls[i];
        HWND control = children[i];
        SCOPED_TRACE("control #" + std::to_string(i) + " id " + std::to_string(want.id));
        EXPECT_EQ(static_cast<WORD>(GetDlgCtrlID(control)), static_cast<WORD>(want.id));
        EXPECT_STREQ(e2e::ClassName(control).c_str(), want.class_name);
        const LONG style = e2e::Style(control);
        // The dialog manager draws an edit's border as a client edge.
        const bool bordered = (style & WS_BORDER) || (GetWindowLongA(control, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
        EXPECT_EQ(bordered, (want.style & WS_BORDER) != 0);
        const LONG rest = want.style & ~WS_BORDER;
        EXPECT_EQ(style & (WS_CHILD | WS_VISIBLE | rest), WS_CHILD | WS_VISIBLE | rest) << std::hex << style;
        // The start-up fill writes into the address edits and the adapter list.
        const bool filled = want.id == IDC_IP_ADDRESS || want.id == IDC_MAC_ADDRESS || want.id == IDC_CHECK_IP ||
                            want.id == IDC_LOCAL_MACS;
        if (want.text[0] != '#' && !filled) {
            EXPECT_EQ(e2e::WindowText(control), want.text);
        }

        const RECT expected = UnitsToPixels(want.units);
        const RECT actual = ClientRectOf(dialog_, control);
        EXPECT_EQ(actual.left, expected.left);
        EXPECT_EQ(actual.top, expected.top);
        if (want.text[0] == '#') {
            // The picture takes the banner's own size.
            EXPECT_EQ(actual.right - actual.left, 82);
            EXPECT_EQ(actual.bottom - actual.top, 185);
        } else {
            EXPECT_EQ(actual.right, expected.right);
            EXPECT_EQ(actual.bottom, expected.bottom);
        }
    }
}

TEST_F(MainDialog, IsTopLevelCaptionedWithIconsAndNoDefaultButton) {
    EXPECT_EQ(e2e::WindowText(dialog_), "TARVEX WOL - Wake On Lan");
    const LONG style = e2e::Style(dialog_);
    EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX), WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
    EXPECT_EQ(style & WS_POPUP, 0);
    EXPECT_EQ(GetWindowLongA(dialog_, GWL_EXSTYLE) & WS_EX_TOOLWINDOW, 0);
    EXPECT_EQ(GetParent(dialog_), nullptr);

    // Wine does not answer WM_GETICON across processes, so the program's icon
    // is looked for where the caption draws it, at the small icon size.
    RECT window, client;
    GetWindowRect(dialog_, &window);
    GetClientRect(dialog_, &client);
    MapWindowPoints(dialog_, nullptr, reinterpret_cast<POINT*>(&client), 2);
    const RECT caption_start{window.left, window.top, window.left + 40, client.top};
    const UniqueLibrary exe(LoadLibraryExA(e2e::ProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(exe);
    // A shared icon: it goes with the module.
    const HICON icon = LoadIconA(exe.get(), MAKEINTRESOURCEA(IDI_APP));
    EXPECT_TRUE(e2e::ScreenShowsIcon(icon, GetSystemMetrics(SM_CXSMICON), caption_start));

    for (HWND control : e2e::Children(dialog_)) {
        if (e2e::ClassName(control) == "Button") {
            EXPECT_NE(e2e::Style(control) & BS_TYPEMASK, BS_DEFPUSHBUTTON) << GetDlgCtrlID(control);
        }
    }
}

TEST_F(MainDialog, IsCentredOnTheScreen) {
    RECT rect;
    GetWindowRect(dialog_, &rect);
    const int screen_w = GetSystemMetrics(SM_CXSCREEN), screen_h = GetSystemMetrics(SM_CYSCREEN);
    EXPECT_NEAR((rect.left + rect.right) / 2, screen_w / 2, 2);
    EXPECT_NEAR((rect.top + rect.bottom) / 2, screen_h / 2, 2);
}

struct LimitCase {
    int id;
    size_t limit;
    const char* padded;  // pasted: a text with blanks around it
    const char* kept;    // what the field then holds
};

TEST_F(MainDialog, EditsStopAtTheirLimitWhenTypingOrPasting) {
    // The address fields take a paste without the blanks around it, whole; the
    // password keeps its blanks, as characters like any other.
    const LimitCase cases[] = {{IDC_IP_ADDRESS, 15, " 192.168.100.200\t", "192.168.100.200"},
                               {IDC_MAC_ADDRESS, 17, " 00-1A-2B-3C-4D-5E \r\n", "00-1A-2B-3C-4D-5E"},
                               {IDC_CHECK_IP, 15, "\t192.168.100.200 ", "192.168.100.200"},
                               {IDC_PASSWORD, 6, " abcdef ", " abcde"}};
    const std::string longer = "1234567890ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    for (const LimitCase& c : cases) {
        SCOPED_TRACE(c.id);
        HWND edit = GetDlgItem(dialog_, c.id);
        e2e::SetControlText(dialog_, c.id, "");
        e2e::TypeText(edit, longer);
        EXPECT_EQ(e2e::ControlText(dialog_, c.id), longer.substr(0, c.limit));

        e2e::SetControlText(dialog_, c.id, "");
        ASSERT_TRUE(e2e::PasteText(edit, longer));
        EXPECT_EQ(e2e::ControlText(dialog_, c.id), longer.substr(0, c.limit));

        e2e::SetControlText(dialog_, c.id, "");
        ASSERT_TRUE(e2e::PasteText(edit, c.padded));
        EXPECT_EQ(e2e::ControlText(dialog_, c.id), c.kept);
    }
}

TEST_F(MainDialog, EnterAndEscapeDoNothing) {
    HWND edit = GetDlgItem(dialog_, IDC_IP_ADDRESS);
    SetForegroundWindow(dialog_);
    SetFocus(edit);
    e2e::PressKey(edit, VK_RETURN);
    e2e::PressKey(edit, VK_ESCAPE);
    PostMessageA(dialog_, WM_COMMAND, IDOK, 0);
    PostMessageA(dialog_, WM_COMMAND, IDCANCEL, 0);
    Sleep(500);
    EXPECT_TRUE(IsWindow(dialog_));
    EXPECT_TRUE(IsWindowVisible(dialog_));
    EXPECT_FALSE(program_->WaitForExit(0).has_value());
    EXPECT_FALSE(e2e::WaitForMessageBox(program_->pid(), 0).has_value());
}

TEST_F(MainDialog, ExitButtonEndsTheProcessWithCode24) {
    e2e::Click(dialog_, IDC_EXIT);
    EXPECT_EQ(program_->WaitForExit(), std::optional<DWORD>(24));
}

TEST_F(MainDialog, CloseBoxEndsTheProcessWithCode24) {
    PostMessageA(dialog_, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(program_->WaitForExit(), std::optional<DWORD>(24));
}

}  // namespace
