#include "net/udp_listener.h"

PortOpening OpenListeningPort(std::uint16_t port, const PortSteps& steps) {
    if (const int error = steps.create()) return PortOpening{port, SocketFailure{"socket", error}};
    // A refused exclusive use is not the port's end: it is bound all the same.
    steps.exclusive();
    if (const int error = steps.bind()) return PortOpening{port, SocketFailure{"bind", error}};
    return PortOpening{port, SocketFailure{}};
}
