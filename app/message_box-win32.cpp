#include "app/message_box-win32.h"

#include "common/utf16-win32.h"

int ShowMessageBox(HWND owner, const Message& message) {
    const std::wstring caption = WideFromUtf8(message.caption ? message.caption : "");
    return MessageBoxW(owner, WideFromUtf8(message.text).c_str(), caption.c_str(),
                       MB_OK | static_cast<unsigned>(message.icon));
}
