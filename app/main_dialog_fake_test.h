#pragma once
// The main dialog as the command tests see it: fields they fill in, and a log of
// everything a command does to the dialog, in order, as text.
#include <map>
#include <string>
#include <vector>

#include "app/main_dialog_view.h"

class FakeMainDialog final : public MainDialogView {
public:
    std::map<DialogField, std::string> fields;
    /// "read ip", "set mac 00-...", "focus mac", "show TEXT | CAPTION | ICON", "progress".
    std::vector<std::string> log;

    std::string ReadField(DialogField field) override {
        log.push_back("read " + Name(field));
        return fields[field];
    }
    void SetField(DialogField field, const std::string& text) override {
        log.push_back("set " + Name(field) + " " + text);
        fields[field] = text;
    }
    void FocusField(DialogField field) override { log.push_back("focus " + Name(field)); }
    void ShowMessage(const Message& message) override {
        log.push_back("show " + message.text + " | " + message.caption + " | " +
                      std::to_string(static_cast<unsigned>(message.icon)));
    }
    void RunProgress() override { log.push_back("progress"); }

    /// Appends to the same log, so that a fake action can take its place in the order.
    void Note(const std::string& entry) { log.push_back(entry); }

private:
    static std::string Name(DialogField field) {
        switch (field) {
        case DialogField::kIpAddress: return "ip";
        case DialogField::kMacAddress: return "mac";
        case DialogField::kCheckIp: return "check";
        case DialogField::kPassword: return "password";
        case DialogField::kLocalMacs: return "local macs";
        }
        return "?";
    }
};
