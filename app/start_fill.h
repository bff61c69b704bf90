#pragma once
// What the main dialog shows when it opens.
#include <string>

#include "app/main_dialog_view.h"
#include "app/mac_resolution.h"
#include "cache/cache_value.h"

constexpr char kDefaultIp[] = "192.168.100.1";

/// Fills the IP, check and MAC fields when the dialog opens. A remembered IP text
/// (`last_ip` without the spaces and tabs around it, not empty) goes into the IP and
/// check fields, and its MAC is found with `find` and shown silently (ShowMacInField).
/// With none remembered, the default IP goes into both fields and the zero MAC text
/// into the MAC field.
void FillMainDialog(MainDialogView& view, const std::string& last_ip, const FindMac& find);
