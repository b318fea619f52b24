#pragma once
// The two log switches ("Enable log" and "Archive log"). The window owns them as
// check marks of its menu; the log only asks, possibly from a worker thread.
#include <atomic>

class LogSwitches {
  public:
    virtual ~LogSwitches() = default;
    virtual bool LogEnabled() const = 0;
    virtual bool ArchiveEnabled() const = 0;
};

// Switches held as values; safe to read from any thread while the window flips them.
class ValueLogSwitches final : public LogSwitches {
  public:
    ValueLogSwitches(bool enabled = true, bool archive = true)
        : enabled_(enabled), archive_(archive) {}
    bool LogEnabled() const override { return enabled_.load(); }
    bool ArchiveEnabled() const override { return archive_.load(); }
    void SetLogEnabled(bool on) { enabled_.store(on); }
    void SetArchiveEnabled(bool on) { archive_.store(on); }

  private:
    std::atomic<bool> enabled_;
    std::atomic<bool> archive_;
};
