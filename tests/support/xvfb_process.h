// A private Xvfb server and the fluxbox window manager for tests, started without talking X: the server
// reports its display number through a pipe, and the manager gets a home of its own with a quiet set-up.
// Both die with the test process should it crash. x11_test_server.h builds on these.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/desktop_test_process.h"

namespace vandrel::test {

// Starts Xvfb with one screen ("1024x768x24") and sets display (":N"); -1 (and failure set) when it did not
// come up within 15 s.
inline pid_t startXvfb(const std::string& screen, std::string& display, std::string& failure)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        failure = "pipe failed";
        return -1;
    }
    pid_t pid = spawnProgram({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", screen, "-nolisten", "tcp"},
                             environmentWith({}), fds[1]);
    close(fds[1]);
    std::string number;
    const auto deadline = std::chrono::steady_clock::now() + 15s;
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd fd{fds[0], POLLIN, 0};
        if (poll(&fd, 1, 100) <= 0) continue;
        char c = 0;
        if (read(fds[0], &c, 1) != 1) break;
        if (c == '\n') break;
        number += c;
    }
    close(fds[0]);
    if (number.empty()) {
        failure = "Xvfb did not start (is it installed?)";
        stopProgram(pid);
        return -1;
    }
    display = ":" + number;
    return pid;
}

// Starts fluxbox on the display with a new home folder (set in home; the caller removes it). Focus moves
// only when asked: no new window takes it, and the pointer is of no account. The version keeps fluxbox
// from upgrading the file and restarting; the stand-in for its wallpaper setter keeps a message window
// ("can't find an app to set the wallpaper") from turning up and taking focus.
inline pid_t startFluxbox(const std::string& display, std::string& home, std::string& failure)
{
    char folder[] = "/tmp/vandrel-x11-test-XXXXXX";
    if (!mkdtemp(folder)) {
        failure = "mkdtemp failed";
        return -1;
    }
    home = folder;
    std::filesystem::create_directories(home + "/.fluxbox");
    std::filesystem::create_directories(home + "/bin");
    std::ofstream(home + "/.fluxbox/init") << "session.configVersion: 13\n"
                                              "session.screen0.focusNewWindows: false\n"
                                              "session.screen0.focusModel: ClickFocus\n";
    std::ofstream(home + "/bin/fbsetbg") << "#!/bin/sh\nexit 0\n";
    std::filesystem::permissions(home + "/bin/fbsetbg", std::filesystem::perms::owner_all);
    const char* path = std::getenv("PATH");
    return spawnProgram({"fluxbox", "-display", display},
                        environmentWith({"DISPLAY=" + display, "HOME=" + home,
                                         "PATH=" + home + "/bin:" + (path ? path : "/usr/bin:/bin")}));
}

}  // namespace vandrel::test
