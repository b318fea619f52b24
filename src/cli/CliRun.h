#pragma once
// kelvane-cli from its arguments to its exit status.
#include <string>
#include <vector>

// Exit statuses beyond those of a run (0 done, 1 partly done, 2 interrupted,
// 3 nothing to do).
inline constexpr int kExitUsage = 4;
inline constexpr int kExitNotGuaranteed = 5;

int RunCli(const std::vector<std::string>& args);
