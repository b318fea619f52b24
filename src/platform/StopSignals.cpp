#include "platform/StopSignals.h"

#include <csignal>

namespace {

volatile std::sig_atomic_t g_received = 0;

void OnStopSignal(int sig) {
    g_received = 1;
    std::signal(sig, SIG_DFL);  // the next one is not asked twice
}

}  // namespace

void InstallStopSignalHandlers() {
    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);
}

bool StopSignalReceived() {
    return g_received != 0;
}

void SetStopSignalReceived(bool received) {
    g_received = received ? 1 : 0;
}
