#include "app/wake_command-win32.h"

#include <cstring>
#include <string>
#include <utility>

#include "app/progress_dialog-win32.h"
#include "app/wake_command.h"
#include "cache/registry_cache-win32.h"
#include "common/dialog_fields-win32.h"
#include "net/echo_probe-win32.h"
#include "net/magic_sender-win32.h"
#include "resource.h"

namespace {

class MainDialogWake final : public WakeDialog, public WakeActions {
public:
    explicit MainDialogWake(HWND dialog) : dialog_(dialog) {}

    WakeFields ReadFields() override {
        return WakeFields{DialogFieldText(dialog_, IDC_IP_ADDRESS, 15), DialogFieldText(dialog_, IDC_MAC_ADDRESS, 17),
                          DialogFieldText(dialog_, IDC_PASSWORD, 6)};
    }

    void ShowMessage(const std::string& text, const char* caption, unsigned icon) override {
        ShowOwnedMessage(dialog_, text, caption, icon);
    }

    void FocusMacField() override { SetFocus(GetDlgItem(dialog_, IDC_MAC_ADDRESS)); }

    void RunProgress() override { RunProgressDialog(dialog_); }

    void WriteCache(const std::string& name, const std::string& text) override {
        WriteCacheValue(name, text);
    }

    bool SendMagicPacket(const std::string& mac, int port, const std::string& password) override {
        return ::SendMagicPacket(mac, port, password);
    }

    void StartWatcher(const std::string& ip) override {
        auto target = std::make_unique<WakeTarget>();
        // The text has at most 15 characters; the copy is bounded all the same.
        std::strncpy(target->ip, ip.c_str(), sizeof target->ip - 1);
        target->ip[sizeof target->ip - 1] = '\0';
        target->owner = dialog_;
        // When no thread can start, nothing is reported and the record is released.
        StartOwningThread(WakeWatcherThread, std::move(target));
    }

private:
    HWND dialog_;
};

}  // namespace

void TurnOnCommand(HWND dialog) {
    MainDialogWake wake(dialog);
    RunTurnOnCommand(wake, wake);
}

void WakeWatcherThread(std::unique_ptr<WakeTarget> target) {
    const HWND owner = target->owner;
    RunWakeWatcher(
        target->ip, kWatchSchedule,
        [](std::string host, std::int32_t limit_ms) {
            return StartEchoProbe(std::move(host), limit_ms, HostReading::kAddressOrName);
        },
        [](int ms) { Sleep(static_cast<DWORD>(ms)); },
        [owner](const std::string& text, const char* caption, unsigned icon) {
            ShowOwnedMessage(owner, text, caption, icon);
        });
}
