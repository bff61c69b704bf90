#include "app/message_box-win32.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace {

// EnumThreadWindows' callback: the message box (a dialog with a static text), if any.
BOOL CALLBACK TakeMessageBox(HWND window, LPARAM out) {
    wchar_t name[8] = {};
    GetClassNameW(window, name, 8);
    if (std::wstring(name) != L"#32770" || !GetDlgItem(window, 0xFFFF)) return TRUE;
    *reinterpret_cast<HWND*>(out) = window;
    return FALSE;
}

HWND FindMessageBoxOf(DWORD thread) {
    HWND found = nullptr;
    EnumThreadWindows(thread, TakeMessageBox, reinterpret_cast<LPARAM>(&found));
    return found;
}

std::wstring TextOf(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

// What the box shows, read back in this process: a box made with the ANSI call would
// read the UTF-8 bytes in the system's code page.
TEST(MessageBoxes, ShowTheTextAndCaptionAsWritten) {
    const DWORD thread = GetCurrentThreadId();
    std::wstring shown_text, shown_caption;
    std::atomic<bool> returned{false};
    std::thread reader([&] {
        // The box is modal on this test's thread: found, read and closed from here.
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!returned && std::chrono::steady_clock::now() < end) {
            if (HWND box = FindMessageBoxOf(thread)) {
                shown_text = TextOf(GetDlgItem(box, 0xFFFF));
                shown_caption = TextOf(box);
                PostMessageW(box, WM_COMMAND, IDOK, 0);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    const std::string text = "\xE0\xA4\xA8\xE0\xA4\xAE\xE0\xA4\xB8\xE0\xA5\x8D\xE0\xA4\xA4\xE0\xA5\x87 \xF0\x9F\x92\xA4";
    const int result = ShowMessageBox(nullptr, Message{text, "K\xC3\xBC" "che", MessageIcon::kInformation});
    returned = true;
    reader.join();
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(shown_text, L"\u0928\u092E\u0938\u094D\u0924\u0947 \xD83D\xDCA4");
    EXPECT_EQ(shown_caption, L"K\u00FC" L"che");
}

}  // namespace
