// The program from its command line to its exit: the options, the one-instance check, the
// session environment, the start-up order, signals and quitting. main() only calls run().
#pragma once

#include <memory>

#include "app/command_line.h"
#include "platform/single_instance.h"

class QApplication;
class QSocketNotifier;

namespace tallowmere {

class AppDelegate;
struct BackendChoice;

class Program {
  public:
    Program(int argc, char** argv);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // The process's exit status.
    int run();

    // The command another start sent, done as the menu item with the same meaning does it.
    void carryOut(InstanceCommand command);

  private:
    int report(SingleInstance::Delivery delivery, InstanceCommand command);
    int runHere();
    int startShell();
    void catchSignals();
    void listenForCommands();
    void traceMenus();

    int argc_;
    char** argv_;
    CommandLine options_;
    std::unique_ptr<BackendChoice> backendChoice_;
    std::unique_ptr<SingleInstance> selection_;
    std::unique_ptr<QApplication> application_;
    struct Shell;
    std::unique_ptr<Shell> shell_;
    std::unique_ptr<QSocketNotifier> signalNotifier_;
    std::unique_ptr<QSocketNotifier> commandNotifier_;
    int exitCode_ = 0;
};

}  // namespace tallowmere
