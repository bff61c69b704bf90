#include "app/main_dialog-win32.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "addr/typed_text.h"
#include "app/about_dialog-win32.h"
#include "app/address_paste-win32.h"
#include "app/check_command.h"
#include "app/dialog_result-win32.h"
#include "app/mac_resolution-win32.h"
#include "app/main_dialog_view.h"
#include "app/message_box-win32.h"
#include "app/probe_commands-win32.h"
#include "app/progress_dialog-win32.h"
#include "app/start_fill.h"
#include "app/wake_command-win32.h"
#include "app/wake_report.h"
#include "cache/registry_cache-win32.h"
#include "net/adapter_list-win32.h"
#include "net/probe_engine-win32.h"
#include "resource.h"

static_assert(static_cast<unsigned>(MessageIcon::kError) == MB_ICONERROR, "error icon");
static_assert(static_cast<unsigned>(MessageIcon::kWarning) == MB_ICONWARNING, "warning icon");
static_assert(static_cast<unsigned>(MessageIcon::kInformation) == MB_ICONINFORMATION, "information icon");

namespace {

struct FieldControl {
    int id;
    int limit;  // characters the edit admits by typing; 0: the system's default, never read
};
// One row per DialogField, in its order; the limits are set in this order at start-up.
constexpr FieldControl kFieldControls[] = {
    {IDC_IP_ADDRESS, 15}, {IDC_MAC_ADDRESS, 17}, {IDC_CHECK_IP, 15}, {IDC_PASSWORD, 6}, {IDC_LOCAL_MACS, 0},
};
static_assert(sizeof kFieldControls / sizeof kFieldControls[0] == static_cast<std::size_t>(DialogField::kLocalMacs) + 1,
              "a control for every field");

const FieldControl& ControlOf(DialogField field) { return kFieldControls[static_cast<std::size_t>(field)]; }

/// The text of edit `id`, at most `limit` characters (the buffer holds one more, for
/// the terminator).
std::string ReadEditText(HWND dialog, int id, int limit) {
    std::string text(static_cast<std::size_t>(limit) + 1, '\0');
    const UINT length = GetDlgItemTextA(dialog, id, &text[0], limit + 1);
    text.resize(length);
    return text;
}


class Win32MainDialog final : public MainDialogView {
public:
    explicit Win32MainDialog(HWND dialog) : dialog_(dialog) {}

    std::string ReadField(DialogField field) override {
        return ReadEditText(dialog_, ControlOf(field).id, ControlOf(field).limit);
    }
    void SetField(DialogField field, const std::string& text) override {
        SetDlgItemTextA(dialog_, ControlOf(field).id, text.c_str());
    }
    void FocusField(DialogField field) override { SetFocus(GetDlgItem(dialog_, ControlOf(field).id)); }
    void ShowMessage(const Message& message) override { ShowMessageBox(dialog_, message); }
    void RunProgress() override { RunProgressDialog(dialog_); }

private:
    HWND dialog_;
};

// A watch's end, posted by the probe engine's thread: LPARAM is a WakeSighting the
// dialog then owns.
constexpr UINT kWatchDoneMessage = WM_APP + 1;

void OnInitDialog(HWND dialog) {
    // LoadIconA gives a shared icon: the window keeps using it, and
    // DestroyIcon leaves a shared icon alone.
    HICON icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_APP));
    SendMessageA(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    DestroyIcon(icon);

    for (const FieldControl& control : kFieldControls) {
        if (control.limit > 0) SendDlgItemMessageA(dialog, control.id, EM_LIMITTEXT, control.limit, 0);
    }
    for (const DialogField address : {DialogField::kIpAddress, DialogField::kMacAddress, DialogField::kCheckIp}) {
        TrimPastesInto(GetDlgItem(dialog, ControlOf(address).id));
    }
    Win32MainDialog view(dialog);
    FillMainDialog(view, ReadCacheValue(kLastIpName), FindMacOnThisPc);
    view.SetField(DialogField::kLocalMacs, FormatAdapterList(ReadLocalAdapters()));
}

// WM_CLOSE and WM_DESTROY alike. The close box runs this twice (WM_CLOSE ends
// the dialog, whose destruction then sends WM_DESTROY); "Exit" runs it once.
void OnClose(HWND dialog) {
    // One character more than the field admits by typing: the start-up fill may have
    // put back a longer remembered text. Saved also when empty, so that the next start
    // shows the defaults.
    WriteCacheValue(kLastIpName,
                    TrimBlanks(ReadEditText(dialog, IDC_IP_ADDRESS, ControlOf(DialogField::kIpAddress).limit + 1)));
    // Every watch and probe ends here: nothing leaves the machine once the dialog is gone.
    StopEveryProbe();
    EndDialog(dialog, kDialogResult);
}

void OnCommand(HWND dialog, int control) {
    Win32MainDialog view(dialog);
    switch (control) {
    case IDC_ABOUT:
        AboutCommand(dialog);
        break;
    case IDC_CONTRIBUTE:
        ContributeCommand(dialog);
        break;
    case IDC_CHECK:
        // Waits on this thread, as the click's answer: the engine wakes it the moment the
        // reply arrives, or at the limit.
        CheckCommand(view, CheckProbeOnThisPc);
        break;
    case IDC_GET_MAC:
        GetMacCommand(view, FindMacOnThisPc);
        break;
    case IDC_TURN_ON: {
        // The watch ends on the probe engine's thread, which only posts its result: the
        // box is shown here, on the dialog's own thread. A dialog that is gone by then
        // never gets the message.
        SystemWakeActions actions([dialog](const WakeSighting& seen) {
            // The dialog owns what it is posted; a dialog that is gone never gets it.
            auto posted = std::make_unique<WakeSighting>(seen);
            if (PostMessageA(dialog, kWatchDoneMessage, 0, reinterpret_cast<LPARAM>(posted.get()))) posted.release();
        });
        TurnOnCommand(view, actions);
        break;
    }
    case IDC_EXIT:
        // The WM_DESTROY that follows saves the last IP and ends the dialog.
        DestroyWindow(dialog);
        break;
    default:
        // IDOK and IDCANCEL (Enter, Escape) and anything unknown do nothing.
        break;
    }
}

}  // namespace

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(dialog);
        return FALSE;
    case WM_CLOSE:
    case WM_DESTROY:
        OnClose(dialog);
        return FALSE;
    case WM_COMMAND:
        OnCommand(dialog, LOWORD(wparam));
        return FALSE;
    case kWatchDoneMessage: {
        const std::unique_ptr<WakeSighting> seen(reinterpret_cast<WakeSighting*>(lparam));
        ShowMessageBox(dialog, WakeReportBox(*seen));
        return TRUE;
    }
    default:
        return FALSE;
    }
}
