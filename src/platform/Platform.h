#pragma once
// Operating-system actions that tests must be able to replace: opening a file or
// address with the desktop's default handler, shutting the computer down, and the
// calendar clock. Code calls these through Platform(); tests install their own
// functions with ScopedPlatform and never reach the real ones.
#include <cstdint>
#include <functional>
#include <string>

struct PlatformServices {
    // Open a file or URL with the user's default application. Returns false when
    // nothing could be started.
    std::function<bool(const std::u16string& target)> shellOpen;
    // Start the system shutdown (the "Shut down windows" end action).
    std::function<bool()> shutdown;
    // Calendar time in seconds since the epoch.
    std::function<int64_t()> now;
};

PlatformServices& Platform();

// The real services: xdg-open, systemctl poweroff, time().
PlatformServices DefaultPlatformServices();

// Replaces the services for the lifetime of the object (tests).
class ScopedPlatform {
public:
    explicit ScopedPlatform(PlatformServices replacement) : saved_(Platform()) {
        Platform() = std::move(replacement);
    }
    ~ScopedPlatform() { Platform() = saved_; }
    ScopedPlatform(const ScopedPlatform&) = delete;
    ScopedPlatform& operator=(const ScopedPlatform&) = delete;

private:
    PlatformServices saved_;
};
