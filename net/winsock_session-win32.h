#pragma once
#include <winsock2.h>

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
