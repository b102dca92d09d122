// Whether a running process runs a program that a desktop entry's Exec names.
#pragma once

#include <string>

#include "platform/geometry.h"

namespace tallowmere::ui {

// `program` is a path, or a name looked up on PATH. True when the process's executable is that
// file, or its first argument names the same program (a program that re-executes itself or runs
// through a wrapper keeps its name there). False when the process cannot be read.
bool processRunsProgram(Pid pid, const std::string& program);

}  // namespace tallowmere::ui
