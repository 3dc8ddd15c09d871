// DesktopLauncher starting real detached processes: the restart path that waits for the old process.
#include "platform/linux/desktop/desktop_launcher.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "support/desktop_test_process.h"

namespace vandrel {
namespace {

namespace fs = std::filesystem;

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

}  // namespace
}  // namespace vandrel
