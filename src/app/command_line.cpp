#include "app/command_line.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <array>
#include <utility>

namespace tallowmere {
namespace {

struct CommandOption {
    const char* name;
    InstanceCommand command;
    const char* description;
};

constexpr std::array<CommandOption, 4> kCommands = {{
    {"settings", InstanceCommand::settings,
     "Show the settings window of the running tallowmere (what a second start does)."},
    {"realign", InstanceCommand::realign,
     "Line up the frontmost watched application's windows, as the menu's 再整頓 does."},
    {"center", InstanceCommand::center,
     "Line them up centred on the screen, as the menu's 中央に再整頓 does."},
    {"quit", InstanceCommand::quit, "Quit the running tallowmere."},
}};

}  // namespace

CommandLine parseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Keeps the windows of chosen applications lined up in one row.\n"
        "One tallowmere runs per X display; the commands below go to it.");
    const QCommandLineOption help({"h", "help"}, "Print this usage and exit.");
    const QCommandLineOption version("version", "Print the version and exit.");
    const QCommandLineOption verbose(
        "verbose",
        "Print the engine's diagnostic lines, the items of every menu opened "
        "(\"tallowmere: menu: ...\") and what the shortcut fields show "
        "(\"tallowmere: shortcut field: ...\"), on standard error.");
    parser.addOption(help);
    parser.addOption(version);
    parser.addOption(verbose);
    for (const CommandOption& command : kCommands) {
        parser.addOption(QCommandLineOption(command.name, QString::fromUtf8(command.description)));
    }

    CommandLine result;
    const QString usage =
        parser.helpText().replace("<executable_name>", "tallowmere");  // no application yet
    auto fail = [&](const QString& why) {
        result.outcome = CommandLine::Outcome::usageError;
        result.text = ("tallowmere: " + why + "\n\n" + usage).toStdString();
        return result;
    };
    if (!parser.parse(arguments)) {
        return fail(parser.errorText());
    }
    if (!parser.positionalArguments().isEmpty()) {
        return fail("unexpected argument '" + parser.positionalArguments().first() + "'.");
    }
    if (parser.isSet(help)) {
        result.outcome = CommandLine::Outcome::help;
        result.text = usage.toStdString();
        return result;
    }
    if (parser.isSet(version)) {
        result.outcome = CommandLine::Outcome::version;
        result.text = std::string("tallowmere ") + TALLOWMERE_VERSION + "\n";
        return result;
    }
    result.verbose = parser.isSet(verbose);
    for (const CommandOption& command : kCommands) {
        if (parser.isSet(command.name)) {
            if (result.command) {
                return fail("give one command at a time.");
            }
            result.command = command.command;
        }
    }
    return result;
}

}  // namespace tallowmere
