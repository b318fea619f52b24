#pragma once
// The log line that ends each drive of a free-space run: "[done]" with the
// bytes written, or "[FAILED!]" with the reason.
#include <string>

#include "engine/FillDrive.h"

std::u16string FillOutcomeLine(const std::u16string& root, const FillOutcome& outcome);
