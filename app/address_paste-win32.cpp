#include "app/address_paste-win32.h"

#include <commctrl.h>

#include <optional>
#include <string>

#include "addr/typed_text.h"

namespace {

constexpr UINT_PTR kSubclassId = 1;

/// The clipboard, open for as long as this lives.
class OpenedClipboard {
public:
    explicit OpenedClipboard(HWND owner) : open_(OpenClipboard(owner) != FALSE) {}
    ~OpenedClipboard() {
        if (open_) CloseClipboard();
    }
    OpenedClipboard(const OpenedClipboard&) = delete;
    OpenedClipboard& operator=(const OpenedClipboard&) = delete;
    bool is_open() const { return open_; }

private:
    bool open_;
};

/// A global memory block, locked for as long as this lives.
class LockedMemory {
public:
    explicit LockedMemory(HGLOBAL memory) : memory_(memory), data_(memory ? GlobalLock(memory) : nullptr) {}
    ~LockedMemory() {
        if (data_) GlobalUnlock(memory_);
    }
    LockedMemory(const LockedMemory&) = delete;
    LockedMemory& operator=(const LockedMemory&) = delete;
    const char* text() const { return static_cast<const char*>(data_); }
    SIZE_T size() const { return data_ ? GlobalSize(memory_) : 0; }

private:
    HGLOBAL memory_;
    void* data_;
};

std::optional<std::string> ClipboardText(HWND owner) {
    const OpenedClipboard clipboard(owner);
    if (!clipboard.is_open()) return std::nullopt;
    // The clipboard keeps the block; it is only looked at here.
    const LockedMemory block(GetClipboardData(CF_TEXT));
    if (!block.text()) return std::nullopt;
    // Up to its NUL, never past the block.
    std::string text(block.text(), block.size());
    text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
    return text;
}

LRESULT CALLBACK AddressEditProc(HWND edit, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR, DWORD_PTR) {
    switch (message) {
    case WM_PASTE:
        if (const std::optional<std::string> text = ClipboardText(edit)) {
            // Replaced like typing: the field's limit still holds.
            SendMessageA(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(PastedAddressText(*text).c_str()));
            return 0;
        }
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(edit, AddressEditProc, kSubclassId);
        break;
    default:
        break;
    }
    return DefSubclassProc(edit, message, wparam, lparam);
}

}  // namespace

void TrimPastesInto(HWND edit) { SetWindowSubclass(edit, AddressEditProc, kSubclassId, 0); }
