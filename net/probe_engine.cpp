#include "net/probe_engine.h"

bool ConnectionEvidence::Counts(bool control_connected, bool service_connected) {
    if (control_connected) control_connected_ = true;
    return service_connected && !control_connected_;
}
