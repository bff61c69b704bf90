#include "app/about_dialog-win32.h"

#include <commctrl.h>

#include <string>

#include "app/dialog_result-win32.h"
#include "app/internet_shortcut-win32.h"
#include "common/handles-win32.h"
#include "resource.h"

namespace {

constexpr COLORREF kLinkColour = RGB(0, 0, 200);
constexpr COLORREF kHoverColour = RGB(200, 0, 0);
static_assert(kLinkColour == 0x00C80000 && kHoverColour == 0x000000C8, "COLORREF is 0x00BBGGRR");

// The link of the About dialog that is open (or was open last) and what belongs to
// it. One About dialog at a time, always on the main dialog's thread.
struct HyperlinkState {
    HWND link = nullptr;
    WNDPROC previous_proc = nullptr;
    bool hover = false;
    UniqueFont normal_font;
    UniqueFont underlined_font;
    HCURSOR hand = nullptr;
};
HyperlinkState g_hyperlink;

LOGFONTA LinkFont(bool underlined) {
    LOGFONTA font{};
    font.lfHeight = -11;
    font.lfWidth = 0;
    // A tenth of a degree, not level: the link has always been drawn with this font.
    // (Wine drops the underline of text at any escapement; Windows draws it.)
    font.lfEscapement = 1;
    font.lfOrientation = 1;
    font.lfWeight = FW_NORMAL;
    font.lfItalic = FALSE;
    font.lfUnderline = underlined ? TRUE : FALSE;
    font.lfStrikeOut = FALSE;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfOutPrecision = OUT_DEFAULT_PRECIS;
    font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    font.lfQuality = DEFAULT_QUALITY;
    font.lfPitchAndFamily = FF_ROMAN | DEFAULT_PITCH;
    lstrcpyA(font.lfFaceName, "Microsoft Sans Serif");
    return font;
}

HFONT StateFont() {
    return g_hyperlink.hover ? g_hyperlink.underlined_font.get() : g_hyperlink.normal_font.get();
}

// Sets the hover flag and repaints the link at once in that state's colour and font.
// The font is also handed to the control itself: a static control that was given a
// font (the dialog gives each control its own) selects that one only after it has
// asked for its colours, over whatever font the answer selected.
void ShowLinkState(HWND link, bool hover) {
    g_hyperlink.hover = hover;
    SendMessageA(link, WM_SETFONT, reinterpret_cast<WPARAM>(StateFont()), FALSE);
    RedrawWindow(link, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

void OnLinkMouseMove(HWND link) {
    ShowLinkState(link, true);
    // Asked again on every move: a leave notice is delivered once and then ends.
    TRACKMOUSEEVENT track{};
    track.cbSize = sizeof track;
    track.dwFlags = TME_LEAVE;
    track.hwndTrack = link;
    _TrackMouseEvent(&track);
    SetCursor(g_hyperlink.hand);
}

HBRUSH OnLinkColour(HDC dc) {
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    SetTextColor(dc, g_hyperlink.hover ? kHoverColour : kLinkColour);
    // Drawn with this font where the control selects its own font first (see ShowLinkState).
    SelectObject(dc, StateFont());
    return GetSysColorBrush(COLOR_BTNFACE);
}

void OnLinkCommand(WORD notification) {
    if (notification == STN_CLICKED) {
        OpenInternetShortcut(kHomeShortcutName, kHomePageUrl);
    } else {
        // A double click (its first click has opened it already), enable or disable.
        EnsureInternetShortcut(kHomeShortcutName, BuildInternetShortcutText(kHomePageUrl));
    }
}

LRESULT CallPreviousProc(HWND link, UINT message, WPARAM wparam, LPARAM lparam) {
    if (IsWindowUnicode(link)) return CallWindowProcW(g_hyperlink.previous_proc, link, message, wparam, lparam);
    return CallWindowProcA(g_hyperlink.previous_proc, link, message, wparam, lparam);
}

}  // namespace

void SetUpHyperlink(HWND link) {
    g_hyperlink.link = link;
    g_hyperlink.previous_proc = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(link, GWLP_WNDPROC));
    SetWindowLongPtrA(link, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(HyperlinkWndProc));
    // Without SS_NOTIFY a static control lets the mouse through to the dialog.
    SetWindowLongPtrA(link, GWL_STYLE, GetWindowLongPtrA(link, GWL_STYLE) | SS_NOTIFY);
    // A new link starts in its normal colours: an earlier dialog that ended with the
    // mouse over its link never had the leave notice.
    g_hyperlink.hover = false;

    LOGFONTA font = LinkFont(false);
    g_hyperlink.normal_font.reset(CreateFontIndirectA(&font));
    font = LinkFont(true);
    g_hyperlink.underlined_font.reset(CreateFontIndirectA(&font));
    g_hyperlink.hand = LoadCursorA(nullptr, IDC_HAND);
    // Not painted yet: the dialog paints it once it is shown.
    SendMessageA(link, WM_SETFONT, reinterpret_cast<WPARAM>(StateFont()), FALSE);
}

LRESULT CALLBACK HyperlinkWndProc(HWND link, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_CTLCOLORSTATIC:
        return reinterpret_cast<LRESULT>(OnLinkColour(reinterpret_cast<HDC>(wparam)));
    case WM_COMMAND:
        if (LOWORD(wparam) != IDC_WEB_LINK) break;
        OnLinkCommand(HIWORD(wparam));
        return 0;
    case WM_MOUSEMOVE:
        OnLinkMouseMove(link);
        break;
    case WM_MOUSELEAVE:
        ShowLinkState(link, false);
        break;
    default:
        break;
    }
    return CallPreviousProc(link, message, wparam, lparam);
}

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_INITDIALOG:
        SetUpHyperlink(GetDlgItem(dialog, IDC_WEB_LINK));
        // The focus is left where the system puts it.
        return FALSE;
    case WM_CLOSE:
    case WM_DESTROY:
        EndDialog(dialog, kDialogResult);
        return FALSE;
    case WM_COMMAND:
        // IDOK and IDCANCEL (Enter, Escape) are ignored with the rest.
        if (LOWORD(wparam) == IDC_WEB_LINK && reinterpret_cast<HWND>(lparam) == g_hyperlink.link) {
            HyperlinkWndProc(g_hyperlink.link, message, wparam, lparam);
        }
        return FALSE;
    case WM_CTLCOLORSTATIC:
        if (reinterpret_cast<HWND>(lparam) != g_hyperlink.link) return FALSE;
        return static_cast<INT_PTR>(HyperlinkWndProc(g_hyperlink.link, message, wparam, lparam));
    default:
        return FALSE;
    }
}

void AboutCommand(HWND main_dialog) {
    DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ABOUT), main_dialog, AboutDialogProc, 0);
    // The dialog and its link are gone: nothing draws with the fonts any more.
    g_hyperlink.normal_font.reset();
    g_hyperlink.underlined_font.reset();
}

void ContributeCommand(HWND) {
    OpenInternetShortcut(kContributeShortcutName, kContributeUrl);
}
