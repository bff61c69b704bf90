#pragma once
// The Winsock pieces every socket user shares: the socket owner and the start-up session.
#include <winsock2.h>

#include "common/unique_handle.h"

struct SocketTraits {
    using Type = SOCKET;
    static Type Invalid() { return INVALID_SOCKET; }
    static void Close(Type s) { closesocket(s); }
};
/// Move-only owner of a Winsock socket: closed with closesocket, INVALID_SOCKET as "none".
using UniqueSocket = UniqueHandle<SocketTraits>;

/// Winsock start-up for the life of the object. WSACleanup runs only when
/// WSAStartup succeeded, so the count of start-ups stays balanced.
class WinsockSession {
public:
    WinsockSession() noexcept {
        WSADATA data;
        started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~WinsockSession() {
        if (started_) WSACleanup();
    }
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;

    bool started() const noexcept { return started_; }

private:
    bool started_ = false;
};
