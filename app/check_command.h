#pragma once
// The Check command of the main dialog: validate the typed address, probe it for
// half a second and tell the user the outcome. CheckIp decides; CheckCommand reads the
// field and shows what CheckIp decided, so the same decision serves without a window.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "app/main_dialog_view.h"

constexpr char kCheckCaption[] = "Check IP";
constexpr std::int32_t kCheckLimitMs = 500;
/// Size of the buffer the message is formatted into, terminating zero included.
constexpr std::size_t kCheckMessageSize = 255;

enum class CheckResult { kInvalid, kOn, kOff };

struct CheckOutcome {
    CheckResult result;
    Message message;
};

/// Probes `ip_text`, waiting at most `limit_ms`; true when it answered.
using CheckProbe = std::function<bool(std::string ip_text, std::int32_t limit_ms)>;

/// Reads `ip_text` without the spaces and tabs around it. When IsValidIpText accepts that
/// text and ReadIpv4Octets reads an address from it, probes it with the limit of 500 ms.
/// The message has caption "Check IP" and that text: "The IP %s is not valid\nCheck it
/// and try again." (error icon, nothing probed), "The PC with IP %s is on" (information
/// icon) or "The PC with IP %s is off" (error icon).
CheckOutcome CheckIp(const std::string& ip_text, const CheckProbe& probe);

/// The "Check" button: CheckIp of the check field, then its message.
void CheckCommand(MainDialogView& view, const CheckProbe& probe);
