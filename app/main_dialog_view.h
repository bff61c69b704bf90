#pragma once
// The one view of the main dialog that the commands read and write it through, and the
// message a command or the watcher has for the user. Portable, so that the commands
// can be checked natively with one fake (main_dialog_fake_test.h); main_dialog-win32.cpp
// implements it over the real dialog, beside MainDialogProc.
#include <string>

/// The main dialog's edit fields.
enum class DialogField { kIpAddress, kMacAddress, kCheckIp, kPassword, kLocalMacs };

/// Message box icons, with the values of MB_ICONERROR, MB_ICONWARNING and MB_ICONINFORMATION.
enum class MessageIcon : unsigned { kError = 16, kWarning = 48, kInformation = 64 };

/// What one message box says. An empty text is no message at all.
struct Message {
    std::string text;
    const char* caption = "";
    MessageIcon icon = MessageIcon::kError;
};

class MainDialogView {
public:
    virtual ~MainDialogView() = default;
    /// The field's text as typed, at most as many characters as the field admits by typing.
    virtual std::string ReadField(DialogField field) = 0;
    virtual void SetField(DialogField field, const std::string& text) = 0;
    /// Gives the field the keyboard focus.
    virtual void FocusField(DialogField field) = 0;
    /// Shows a modal message box with one OK button, owned by the dialog.
    virtual void ShowMessage(const Message& message) = 0;
    /// Runs the progress dialog over the main dialog and returns when it has ended.
    virtual void RunProgress() = 0;
};
