#pragma once
// Move-only owner of a Winsock socket: closed with closesocket, INVALID_SOCKET as "none".
#include <winsock2.h>

#include "common/unique_handle.h"

struct SocketTraits {
    using Type = SOCKET;
    static Type Invalid() { return INVALID_SOCKET; }
    static void Close(Type s) { closesocket(s); }
};
using UniqueSocket = UniqueHandle<SocketTraits>;
