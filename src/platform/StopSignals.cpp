#include "platform/StopSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace {

volatile std::sig_atomic_t g_received = 0;
int g_wake[2] = {-1, -1};  // the handler writes a byte; the window reads it

void Wake() {
    if (g_wake[1] < 0) return;
    const int saved = errno;
    (void)!::write(g_wake[1], "s", 1);
    errno = saved;
}

void OnStopSignal(int sig) {
    g_received = 1;
    Wake();
    std::signal(sig, SIG_DFL);  // the next one is not asked twice
}

}  // namespace

void InstallStopSignalHandlers() {
    if (g_wake[0] < 0 && ::pipe2(g_wake, O_CLOEXEC | O_NONBLOCK) != 0) g_wake[0] = g_wake[1] = -1;
    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);
}

bool StopSignalReceived() {
    return g_received != 0;
}

int StopSignalWakeFd() {
    return g_wake[0];
}

void DrainStopSignalWakeFd() {
    char buffer[16];
    if (g_wake[0] >= 0)
        while (::read(g_wake[0], buffer, sizeof buffer) > 0) {
        }
}

void SetStopSignalReceived(bool received) {
    g_received = received ? 1 : 0;
    if (received) Wake();
}
