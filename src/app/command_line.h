// What the command line asks for: run, print the usage or the version, or hand a command to the
// program already running on this display.
#pragma once

#include <QStringList>
#include <optional>
#include <string>

#include "platform/single_instance.h"

namespace tallowmere {

struct CommandLine {
    enum class Outcome { run, help, version, usageError };
    Outcome outcome = Outcome::run;
    bool verbose = false;
    std::optional<InstanceCommand> command;
    // The usage, the version, or the error followed by the usage.
    std::string text;
};

// `arguments` starts with the program's name. Needs no QCoreApplication.
CommandLine parseCommandLine(const QStringList& arguments);

}  // namespace tallowmere
