#pragma once
// /listen on this PC: RunListen with this PC's sockets, adapters, clock and Ctrl-C.
#include <functional>
#include <string>

/// Listens on the ports of kListenPorts for `seconds` or until Ctrl-C (a console
/// control handler, installed for as long as it listens), with the adapters and
/// addresses GetAdaptersInfo lists, and gives each line to `say` as it is made.
/// Returns RunListen's exit code. Needs WSAStartup.
int ListenOnThisPc(int seconds, const std::function<void(const std::string& line)>& say);
