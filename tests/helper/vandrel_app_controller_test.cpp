#include "helper/vandrel_app_controller.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/defaults_keys.h"
#include "core/instance_channel.h"
#include "core/log_capture.h"
#include "core/settings_store.h"

namespace vandrel {
namespace {

namespace fs = std::filesystem;

struct Launch {
    fs::path program;
    std::vector<std::string> arguments;
    bool operator==(const Launch&) const = default;
};

class VandrelAppControllerTest : public ::testing::Test {
protected:
    fs::path path(const char* name) const { return fs::path(dir.path().toStdString()) / name; }

    VandrelAppController::Options options(fs::path helper = "/opt/vandrel/libexec/vandrel/vandrel-helper")
    {
        VandrelAppController::Options o;
        o.helperExecutable = std::move(helper);
        o.groupSettings = group;
        o.instance = InstanceChannel::Paths::in(dir.path().toStdString());
        o.launch = [this](const fs::path& program, const std::vector<std::string>& arguments) {
            launches.push_back({program, arguments});
            return true;
        };
        return o;
    }

    QTemporaryDir dir;
    std::shared_ptr<SettingsStore> group =
        std::make_shared<SettingsStore>(dir.path().toStdString(), SettingsStore::groupFileName);
    std::vector<Launch> launches;
    test::ScopedLogCapture logs;
};

TEST_F(VandrelAppControllerTest, TheProgramIsBesideTheHelperOrInstalledNeverTheHelperItself)
{
    const auto executable = [this](const char* name) {
        const fs::path file = path(name);
        fs::create_directories(file.parent_path());
        std::ofstream(file) << "#!/bin/sh\n";
        fs::permissions(file, fs::perms::owner_all);
        return file;
    };
    // A build folder keeps both side by side; an install puts the helper under libexec/vandrel/.
    executable("build/src/app/vandrel");
    EXPECT_EQ(VandrelAppController::vandrelAppPathFor(executable("build/src/app/vandrel-helper")),
              path("build/src/app/vandrel"));
    EXPECT_EQ(VandrelAppController::vandrelAppPathFor("/usr/libexec/vandrel/vandrel-helper"), "/usr/bin/vandrel");

    VandrelAppController controller(options());
    controller.launchVandrelApp();
    EXPECT_EQ(launches, (std::vector<Launch>{{"/opt/vandrel/bin/vandrel", {}}}));

    // A helper that is itself named like the program starts nothing rather than itself.
    launches.clear();
    VandrelAppController(options(executable("other/vandrel"))).launchVandrelApp();
    EXPECT_TRUE(launches.empty());
    EXPECT_EQ(logs->count(LogLevel::error), 1u);

    // Without a given path the helper takes its own executable.
    EXPECT_EQ(VandrelAppController(options("")).vandrelAppPath(),
              VandrelAppController::vandrelAppPathFor(fs::read_symlink("/proc/self/exe")));
}

TEST_F(VandrelAppControllerTest, ModeOneAsksTheRunningProgramToGiveCapsLockBackEveryOtherModeStartsPlainly)
{
    VandrelAppController controller(options());
    controller.launchVandrelAppTo(1);
    EXPECT_TRUE(logs->contains(LogLevel::info, "Vandrel is not running: there is nothing to undo"));
    {
        InstanceChannel running(InstanceChannel::Paths::in(dir.path().toStdString()));
        std::vector<InstanceChannel::Command> received;
        ASSERT_TRUE(running.open([&](InstanceChannel::Command command) {
            received.push_back(command);
            return std::string("given back");
        }));
        controller.launchVandrelAppTo(1);
        EXPECT_EQ(received, std::vector<InstanceChannel::Command>{InstanceChannel::Command::unremapCapsLock});
        EXPECT_TRUE(logs->contains(LogLevel::info, "Vandrel answers ->"));
    }
    EXPECT_TRUE(launches.empty()) << "mode 1 starts no program";

    controller.launchVandrelAppTo(0);
    controller.launchVandrelAppTo(7);
    controller.launchVandrelAppTo(-1);
    const fs::path program = "/opt/vandrel/bin/vandrel";
    EXPECT_EQ(launches, (std::vector<Launch>{{program, {}}, {program, {}}, {program, {}}}));
}

TEST_F(VandrelAppControllerTest, OnlyANegativeStoredIdIsANormalEnd)
{
    VandrelAppController controller(options());
    EXPECT_FALSE(controller.isVandrelTerminatedNormally()) << "missing";
    EXPECT_TRUE(logs->contains(LogLevel::info, "vandrelLastPid -> 0"));

    const auto stored = [&](std::int64_t value) {
        group->set(DefaultsKeys::app_theVandrelCurrentPID, value);
        return controller.isVandrelTerminatedNormally();
    };
    EXPECT_TRUE(stored(-1));
    EXPECT_FALSE(stored(1234));
    EXPECT_FALSE(stored(0));
    // 64-bit values count by their low 32 bits.
    EXPECT_TRUE(stored(0xFFFFFFFFLL));
    EXPECT_FALSE(stored(0x1000004D2LL));
    EXPECT_TRUE(logs->contains(LogLevel::info, "vandrelLastPid -> 1234"));
    EXPECT_FALSE(stored(-4294967296LL));  // low bits 0
    EXPECT_TRUE(stored(0x7FFFFFFF80000000LL));
    // A value of another type reads as missing.
    group->setObject("not a number", DefaultsKeys::app_theVandrelCurrentPID.key());
    EXPECT_FALSE(controller.isVandrelTerminatedNormally());
}

TEST_F(VandrelAppControllerTest, AtLoginTheProgramStartsOnlyWhenItDoesNotRun)
{
    VandrelAppController controller(options());
    EXPECT_FALSE(controller.isVandrelRunning());
    {
        InstanceChannel running(InstanceChannel::Paths::in(dir.path().toStdString()));
        ASSERT_TRUE(running.open({}));
        EXPECT_TRUE(controller.isVandrelRunning());
        EXPECT_FALSE(controller.runAtLogin());
        EXPECT_TRUE(launches.empty());
    }
    // The program has gone (its lock with it).
    EXPECT_FALSE(controller.isVandrelRunning());
    EXPECT_TRUE(controller.runAtLogin());
    EXPECT_EQ(launches, (std::vector<Launch>{{"/opt/vandrel/bin/vandrel", {}}}));
}

}  // namespace
}  // namespace vandrel
