#include "app/check_command-win32.h"

#include <string>
#include <utility>

#include "common/dialog_fields-win32.h"
#include "app/check_command.h"
#include "net/echo_probe-win32.h"
#include "resource.h"

static_assert(kIconError == MB_ICONERROR, "error icon");
static_assert(kIconInformation == MB_ICONINFORMATION, "information icon");

namespace {

class MainDialogCheck final : public CheckDialog {
public:
    explicit MainDialogCheck(HWND dlg) : dlg_(dlg) {}

    std::string ReadCheckField() override {
        return DialogFieldText(dlg_, IDC_CHECK_IP, 15);
    }

    void ShowMessage(const std::string& text, const char* caption, unsigned icon) override {
        ShowOwnedMessage(dlg_, text, caption, icon);
    }

private:
    HWND dlg_;
};

}  // namespace

void CheckCommand(HWND dlg) {
    MainDialogCheck dialog(dlg);
    RunCheckCommand(dialog, [](std::string ip_text, std::int32_t limit_ms) {
        return ProbeWithTimeout(std::move(ip_text), limit_ms);
    });
}
