// The web link's fonts and style, checked in this process where its fonts can be
// read back (another process's font handles cannot).
#include "app/about_dialog-win32.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

LOGFONTA FontOf(HWND window) {
    LOGFONTA font{};
    const auto handle = reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0));
    EXPECT_NE(handle, nullptr);
    EXPECT_EQ(GetObjectA(handle, sizeof font, &font), static_cast<int>(sizeof font));
    return font;
}

TEST(Hyperlink, UnderlinesOnlyWhileTheMouseIsOverItWithTheLinkFont) {
    HWND parent = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 200, 50, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(parent, nullptr);
    HWND link = CreateWindowExA(0, "STATIC", "www.tarvex.example", WS_CHILD | WS_VISIBLE | SS_LEFT, 0, 0, 150, 16,
                                parent, nullptr, nullptr, nullptr);
    ASSERT_NE(link, nullptr);
    SetUpHyperlink(link);
    EXPECT_NE(GetWindowLongA(link, GWL_STYLE) & SS_NOTIFY, 0);

    struct Step {
        UINT message;
        BYTE underline;
    };
    // Every move repaints in the hover state; a leave goes back.
    const Step steps[] = {{0, FALSE}, {WM_MOUSEMOVE, TRUE}, {WM_MOUSEMOVE, TRUE}, {WM_MOUSELEAVE, FALSE},
                          {WM_MOUSEMOVE, TRUE}, {WM_MOUSELEAVE, FALSE}};
    for (const Step& step : steps) {
        SCOPED_TRACE(step.message);
        if (step.message) SendMessageA(link, step.message, 0, MAKELPARAM(5, 5));
        const LOGFONTA font = FontOf(link);
        EXPECT_EQ(font.lfUnderline, step.underline);
        EXPECT_EQ(font.lfHeight, -11);
        EXPECT_EQ(font.lfEscapement, 1);
        EXPECT_EQ(font.lfOrientation, 1);
        EXPECT_EQ(font.lfWeight, FW_NORMAL);
        EXPECT_EQ(font.lfItalic, 0);
        EXPECT_EQ(font.lfStrikeOut, 0);
        EXPECT_EQ(font.lfCharSet, DEFAULT_CHARSET);
        EXPECT_EQ(font.lfPitchAndFamily, FF_ROMAN | DEFAULT_PITCH);
        EXPECT_STREQ(font.lfFaceName, "Microsoft Sans Serif");
    }
    DestroyWindow(parent);
}

}  // namespace
