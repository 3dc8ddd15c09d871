// The Debian package installed into the VM's root: the program started from its installed place, with the source
// and build folders hidden, finds its files, takes over a keyboard and types through; the login item it writes
// names the installed helper; removing the package leaves nothing of it running.
#include <glob.h>
#include <sys/mount.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "e2e_support.h"

namespace vandrel::vmtest {
namespace {

std::vector<std::string> globbed(const std::string& pattern)
{
    glob_t found{};
    std::vector<std::string> paths;
    if (::glob(pattern.c_str(), 0, nullptr, &found) == 0) paths.assign(found.gl_pathv, found.gl_pathv + found.gl_pathc);
    ::globfree(&found);
    return paths;
}

ExitStatus runCommand(const std::string& program, std::vector<std::string> args, std::string& output)
{
    ChildProcess::Options options;
    options.program = program;
    options.args = std::move(args);
    options.env = {{"PATH", "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin"}};
    Result<ChildProcess> child = ChildProcess::start(std::move(options));
    if (!child) {
        output = child.error();
        return {};
    }
    const std::optional<ExitStatus> status = child.value().wait(kProgramStartTimeout);
    output = child.value().output() + child.value().errorOutput();
    return status ? *status : child.value().stop();
}

TEST(InstalledPackage, RunsFromItsInstalledPlaceWritesItsLoginItemAndStopsOnRemoval)
{
    const std::vector<std::string> debs = globbed(VANDREL_DEB_FOLDER "/vandrel_*.deb");
    ASSERT_EQ(debs.size(), 1u) << "one package in " VANDREL_DEB_FOLDER;
    std::string output;
    // The manual page would have man-db index every page again, minutes under emulation (the VM's root is a
    // throwaway overlay of the host's).
    std::filesystem::remove("/var/lib/man-db/auto-update");
    ASSERT_TRUE(runCommand("/usr/bin/dpkg", {"--install", debs.front()}, output).exitedWith(0)) << output;

    // Nothing of the build machine's folders stays visible: the program can only use what the package installed.
    for (const char* folder : {VANDREL_BUILD_FOLDER, VANDREL_SOURCE_FOLDER})
        ASSERT_EQ(::mount("tmpfs", folder, "tmpfs", MS_RDONLY, nullptr), 0) << folder << ": " << std::strerror(errno);
    ASSERT_FALSE(std::filesystem::exists(VANDREL_SOURCE_FOLDER "/resources"));

    std::optional<UinputKeyboard> keyboard;
    std::optional<InputDevice> node;
    ASSERT_NO_FATAL_FAILURE(plugKeyboardWithNode(keyboard, node));
    std::optional<ProgramRun> run = ProgramRun::start({}, {}, R"({"app_isStartAtLogin": true})");
    ASSERT_TRUE(run);
    ASSERT_TRUE(keyboard->typeText("ok"));
    EXPECT_EQ(run->keysBeforeSentinel(*keyboard), (std::vector<Key>{{KEY_O, 1}, {KEY_O, 0}, {KEY_K, 1}, {KEY_K, 0}}));
    const std::string log = run->log();
    const std::size_t files = log.find("The program's files ->");
    ASSERT_NE(files, std::string::npos) << log;
    const std::string line = log.substr(files, log.find('\n', files) - files);
    EXPECT_NE(line.find("/usr/share/vandrel"), std::string::npos) << line;

    // Start at login is on: the program renews its entry (once its start-up is through, which may come after the
    // keyboard is taken), and the entry runs the installed helper.
    const char* const entryPattern = "/tmp/vandrel-e2e-config.*/autostart/vandrel.desktop";
    EXPECT_TRUE(eventually([&] { return !globbed(entryPattern).empty(); }));
    const std::vector<std::string> entries = globbed(entryPattern);
    ASSERT_EQ(entries.size(), 1u) << run->log();
    std::ifstream in(entries.front());
    const std::string entry{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_NE(entry.find("\nExec=\"/usr/libexec/vandrel/vandrel-helper\"\n"), std::string::npos) << entry;
    EXPECT_EQ(::access("/usr/libexec/vandrel/vandrel-helper", X_OK), 0);

    // Removal stops the running program the normal way: it lets the keyboard go.
    ASSERT_TRUE(runCommand("/usr/bin/dpkg", {"--remove", "vandrel"}, output).exitedWith(0)) << output;
    const std::optional<ExitStatus> end = run->process().wait(kKeyTimeout);
    ASSERT_TRUE(end) << "still running after removal";
    EXPECT_TRUE(end->exitedWith(0)) << end->describe() << "\n" << run->log();
    const Result<bool> grabbed = node->isGrabbedByOther();
    ASSERT_TRUE(grabbed) << grabbed.error();
    EXPECT_FALSE(grabbed.value());
    EXPECT_FALSE(std::filesystem::exists("/usr/bin/vandrel"));
}

}  // namespace
}  // namespace vandrel::vmtest
