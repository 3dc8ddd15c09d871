// Restarting the program (the Experimental pane's "Restart Now"): a helper process waits until this
// process has ended and only then starts the new instance, so the new one never meets this one still
// holding the keyboards; then this process quits through its normal shutdown, which lets them go.
//
//   AppRestart restart(AppRestart::forThisProcess([](int code) { QCoreApplication::exit(code); }));
//   AppUtils::setRestartHandler([&restart] { restart.restart(); });
//
// When the helper cannot be started the program keeps running (it says so in the log): quitting then would
// leave the user without it. Main thread.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vandrel {

class AppRestart {
public:
    struct Options {
        // Starts argv once the process pid has ended, without waiting; the helper's pid, absent when it
        // could not start.
        std::function<std::optional<std::int64_t>(std::int64_t pid, const std::vector<std::string>& argv)>
            launchAfterExit;
        // How the new instance is started: the program and its arguments.
        std::vector<std::string> commandLine;
        std::int64_t pid = 0;
        // Asks the event loop to end with the code.
        std::function<void(int code)> quit;
    };

    // This process, started again as it was started, through the desktop launcher.
    static Options forThisProcess(std::function<void(int code)> quit);

    explicit AppRestart(Options options);

    // True when the new instance is on its way and this one quits; a second call then does nothing.
    bool restart();

private:
    Options options_;
    bool restarting_ = false;
};

}  // namespace vandrel
