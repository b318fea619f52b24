#pragma once
// The frame every run goes through on its own thread: the window is locked while
// the worker runs, the stop flag ends the clock, and then the end action chosen
// in the window is carried out.
#include <functional>

class RunState;
class RunWindow;

// exitAfterRun: the command line asked to end the program after this kind of run.
void RunFrame(RunWindow& window, RunState& state, bool exitAfterRun,
              const std::function<void()>& worker);
