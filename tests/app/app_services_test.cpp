#include "app/app_services.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <memory>

#include "core/defaults.h"
#include "core/program_folders.h"
#include "core/settings_store.h"
#include "platform/sim/sim_platform.h"
#include "rx/virtual_time_scheduler.h"
#include "ui/overlays/vd_feedback_window_controller.h"
#include "ui/prefs/preference_panes.h"
#include "ui/prefs/preferences_window_controller.h"

namespace vandrel {
namespace {

class AppServicesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The services keep clips under the support folder: in the test's folder.
        auto programFolders = ProgramFolders::standard();
        programFolders.support = dir.filePath("data").toStdString();
        folders.install(ProgramFolders::installed(), std::make_shared<const ProgramFolders>(programFolders));
    }
    void TearDown() override
    {
        // As the program does: the slots emptied, last installed first, then the services go.
        installations.clear();
        services.reset();
    }

    void make()
    {
        AppServices::Options options;
        options.platform = sim;
        options.main = options.windowBinding = options.clip = options.background = clock;
        options.quit = [](int) {};
        options.core.keyEventScheduler = clock;
        services = std::make_unique<AppServices>(std::move(options), installations);
    }

    QTemporaryDir dir;
    Installations folders;
    Installations installations;
    std::unique_ptr<AppServices> services;
    std::shared_ptr<rx::VirtualTimeScheduler> clock = rx::VirtualTimeScheduler::make();
    std::shared_ptr<SimPlatform> sim = SimPlatform::make(clock);
};

TEST_F(AppServicesTest, TheCoreObjectSharesItsCapsStateAndEnvironmentWithTheServicesMadeBeforeIt)
{
    make();
    const auto& core = services->core;
    ASSERT_NE(core, nullptr);
    EXPECT_EQ(core->platform(), sim);
    EXPECT_EQ(core->inputObserver(), services->inputObserver);
    EXPECT_EQ(core->state, services->inputObserver->state());
    EXPECT_EQ(core->env, services->environment);
    EXPECT_EQ(core->windowBindingService, services->windowBindingKeys);
}

TEST_F(AppServicesTest, EverySharedObjectItMakesIsInstalledInTheInstallationsItIsGiven)
{
    make();
    services->setUpUpdater();
    services->installWindowsAfterKeyboardsTaken();
    EXPECT_EQ(VDFeedbackWindowController::shared(), nullptr) << "the feedback form is made on first use";
    const auto form = services->feedbackForm();
    const auto installed = [&] {
        return std::vector<bool>{
            installedVandrel() == services->core,
            InputObserver::shared() == services->inputObserver,
            ClipService::shared() == services->clipService,
            PasteService::shared() == services->pasteService,
            MultiClipboardService::shared() == services->multiClipboardService,
            HotstringService::shared() == services->hotstringService,
            VDStatusBarMenu::shared() == services->statusBarMenu,
            VDUpdater::shared() == services->updater,
            VDFeedbackWindowController::shared() == form && services->feedbackForm() == form,
            PreferencePanes::installed().get() != nullptr,
            KeyboardMapWindowController::installed().get() != nullptr,
            VDCheatSheetWindowController::installed().get() != nullptr,
        };
    };
    EXPECT_EQ(installed(), std::vector<bool>(12, true));

    PreferencesWindowController::shared();  // made on first use
    installations.clear();
    EXPECT_EQ(installedVandrel(), nullptr);
    EXPECT_EQ(InputObserver::shared(), nullptr);
    EXPECT_EQ(ClipService::shared(), nullptr);
    EXPECT_EQ(PasteService::shared(), nullptr);
    EXPECT_EQ(MultiClipboardService::shared(), nullptr);
    EXPECT_EQ(HotstringService::shared(), nullptr);
    EXPECT_EQ(VDStatusBarMenu::shared(), nullptr);
    EXPECT_EQ(VDUpdater::shared(), nullptr);
    EXPECT_EQ(VDFeedbackWindowController::shared(), nullptr);
    EXPECT_EQ(PreferencePanes::installed().get(), nullptr);
    EXPECT_FALSE(PreferencesWindowController::hasShared());
    EXPECT_EQ(KeyboardMapWindowController::installed().get(), nullptr);
    EXPECT_EQ(VDCheatSheetWindowController::installed().get(), nullptr);
}

}  // namespace
}  // namespace vandrel
