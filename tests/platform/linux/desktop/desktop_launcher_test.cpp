// DesktopLauncher starting real detached processes: the restart path that waits for the old process, and what a
// launched program inherits.
#include "platform/linux/desktop/desktop_launcher.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "core/file_destination.h"
#include "core/instance_channel.h"
#include "support/desktop_test_process.h"

namespace vandrel {
namespace {

namespace fs = std::filesystem;

// What the process's descriptors refer to, as "device:inode".
std::set<std::string> openFilesOf(pid_t pid)
{
    std::set<std::string> files;
    for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd")) {
        struct stat info {};
        if (::stat(entry.path().c_str(), &info) == 0)
            files.insert(std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino));
    }
    return files;
}

TEST(DesktopLauncher, OwnCommandLineStartsWithTheExecutable)
{
    const auto line = DesktopLauncher::ownCommandLine();
    ASSERT_FALSE(line.empty());
    EXPECT_EQ(line[0], fs::read_symlink("/proc/self/exe").string());
}

TEST(DesktopLauncher, ARestartStartsOnlyOnceTheOldProcessHasEnded)
{
    const fs::path folder = fs::temp_directory_path() / ("vandrel-launcher-" + std::to_string(getpid()));
    fs::create_directories(folder);
    // Shell syntax in an argument stays text.
    const fs::path marker = folder / "new instance $(false) 'q' \"x\"";
    auto old = std::make_unique<test::TestProcess>();
    DesktopLauncher launcher;

    ASSERT_TRUE(launcher.launchAfterExit(old->pid(), {"touch", marker.string()}));
    EXPECT_FALSE(test::waitFor([&] { return fs::exists(marker); }, std::chrono::milliseconds(300)));
    old.reset();  // ends the old process and waits for it
    EXPECT_TRUE(test::waitFor([&] { return fs::exists(marker); }));

    EXPECT_FALSE(launcher.launchAfterExit(0, {"touch", marker.string()}));
    EXPECT_FALSE(launcher.launchAfterExit(getpid(), {}));
    fs::remove_all(folder);
}

TEST(DesktopLauncher, ALaunchedProgramHoldsNoDescriptorOfOurs)
{
    QTemporaryDir dir;
    const fs::path folder = dir.path().toStdString();
    const auto before = openFilesOf(::getpid());
    // What the program holds open all along: its log, its instance lock and socket, and a file it was started
    // with (not close-on-exec).
    FileDestination logFile(folder / "debug.log");
    InstanceChannel channel(InstanceChannel::Paths::in(folder));
    ASSERT_TRUE(channel.open({}));
    const int inherited = ::open((folder / "inherited").c_str(), O_CREAT | O_RDONLY, 0600);
    std::set<std::string> ours;
    std::ranges::set_difference(openFilesOf(::getpid()), before, std::inserter(ours, ours.end()));
    ASSERT_GE(ours.size(), 4u);

    // The program lists what it holds once it runs (after the exec).
    const fs::path script = folder / "list";
    std::ofstream(script)
        << "#!/bin/sh\nstat -L -c %d:%i /proc/$$/fd/* >\"$0.tmp\" 2>/dev/null; mv \"$0.tmp\" \"$0.out\"\n";
    fs::permissions(script, fs::perms::owner_all);
    ASSERT_TRUE(DesktopLauncher({}, std::string()).launchExecutable(script.string()));
    ASSERT_TRUE(test::waitFor([&] { return fs::exists(folder / "list.out"); }));
    std::ifstream listed(folder / "list.out");
    for (std::string file; listed >> file;) EXPECT_FALSE(ours.contains(file)) << file << " was inherited";
    ::close(inherited);
}

}  // namespace
}  // namespace vandrel
