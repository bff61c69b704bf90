#pragma once
// The Check command of the main dialog: validate the typed address, probe it for
// half a second and tell the user the outcome. Written over a small dialog interface
// so that its order and its messages can be checked natively with fakes; the Win32
// side (check_command-win32.cpp) only reads the control and shows the message box.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

/// Message box icons, with the values of MB_ICONERROR and MB_ICONINFORMATION.
constexpr unsigned kIconError = 16;
constexpr unsigned kIconInformation = 64;

constexpr char kCheckCaption[] = "Check IP";
constexpr std::int32_t kCheckLimitMs = 500;
/// Size of the buffer the message is formatted into, terminating zero included.
constexpr std::size_t kCheckMessageSize = 255;

/// What the Check command needs of the main dialog.
class CheckDialog {
public:
    virtual ~CheckDialog() = default;
    /// The text of the check field as typed.
    virtual std::string ReadCheckField() = 0;
    /// Shows a modal message box with one OK button, owned by the dialog.
    virtual void ShowMessage(const std::string& text, const char* caption, unsigned icon) = 0;
};

/// Probes `ip_text`, waiting at most `limit_ms`; true when it answered.
using CheckProbe = std::function<bool(std::string ip_text, std::int32_t limit_ms)>;

/// Reads the check field and, when IsValidIpText accepts it, probes it with the limit
/// of 500 ms, then shows one message with caption "Check IP", the text as typed:
/// "The IP %s is not valid\nCheck it and try again." (error icon, nothing probed),
/// "The PC with IP %s is on" (information icon) or "The PC with IP %s is off" (error icon).
void RunCheckCommand(CheckDialog& dialog, const CheckProbe& probe);
