// What the catalogue tests share: the simulated platform behind a wrapper that tells recorded posts from
// ordinary ones (the simulated keyboard records both alike), the actions' environment made of a working
// environment over that platform (it drives the Emacs conditions) and the services a test hands in, a
// settings store in a temporary folder, English texts and a log capture.
#pragma once

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <atomic>
#include <memory>
#include <string>

#include "catalogue/build_in_vd_key_scheme.h"
#include "catalogue/built_in_vd_action.h"
#include "catalogue/system_terminal.h"
#include "core/defaults.h"
#include "core/defaults_keys.h"
#include "core/localize.h"
#include "core/log_capture.h"
#include "core/main_queue.h"
#include "engine/engine_fixture.h"
#include "engine/working_environment.h"
#include "model/vd_action.h"
#include "platform/sim/scenario.h"
#include "platform/sim/sim_platform.h"

namespace vandrel::test {

class RecordingTaps final : public EventTapService {
public:
    explicit RecordingTaps(SimKeyboard& keyboard) : keyboard_(keyboard) {}

    std::shared_ptr<EventTap> createTap(KeyEventType type, TapCallback callback, TapPlacement placement) override
    {
        return keyboard_.createTap(type, std::move(callback), placement);
    }
    bool postEvent(const KeyEvent& event, EventTapLocation location) override
    {
        return keyboard_.postEvent(event, location);
    }
    bool postRecordedEvent(const KeyEvent& event, EventTapLocation location) override
    {
        ++recorded_;
        return keyboard_.postEvent(event, location);
    }
    int recordedCount() const { return recorded_; }

private:
    SimKeyboard& keyboard_;
    std::atomic<int> recorded_{0};
};

class RecordingPlatform final : public Platform {
public:
    explicit RecordingPlatform(std::shared_ptr<SimPlatform> sim) : sim_(std::move(sim)), taps_(sim_->keyboard()) {}

    RecordingTaps& eventTaps() override { return taps_; }
    HidKeyboard& hidKeyboard() override { return sim_->hidKeyboard(); }
    Workspace& workspace() override { return sim_->workspace(); }
    KeyboardLayout& keyboardLayout() override { return sim_->keyboardLayout(); }
    WindowSystem& windowSystem() override { return sim_->windowSystem(); }
    PasteboardServer& pasteboards() override { return sim_->pasteboards(); }
    bool isInputAccessTrusted(bool prompt) override { return sim_->isInputAccessTrusted(prompt); }

private:
    std::shared_ptr<SimPlatform> sim_;
    RecordingTaps taps_;
};

// The applications the tests bring to the front: an editor, one whose word moves go to word starts, a terminal
// emulator and the system terminal, the last two terminal-like. The emulator moves by word starts too, as a Qt
// one does.
struct TestApplications {
    static constexpr const char* editorId = "org.example.Editor";
    static constexpr const char* wordStartEditorId = "org.example.WordStartEditor";
    static constexpr const char* emulatorId = "org.example.Emulator";
    static constexpr const char* systemTerminalId = "org.example.SystemTerminal";

    static void addTo(SimWorkspace& workspace)
    {
        workspace.setTerminalLikeApplicationIds({emulatorId, systemTerminalId});
        workspace.setWordStartApplicationIds({wordStartEditorId, emulatorId});
        SystemTerminal::setApplicationIds({systemTerminalId});
        for (const char* id : {editorId, wordStartEditorId, emulatorId, systemTerminalId}) {
            RunningApplication app;
            app.bundleIdentifier = id;
            app.localizedName = id;
            workspace.addApplication(app);
        }
    }
    static void bringToFront(SimWorkspace& workspace, const std::string& id)
    {
        ASSERT_EQ(workspace.runningApplicationsWithBundleId(id).size(), 1u) << id;
        workspace.activate(workspace.runningApplicationsWithBundleId(id).front().processIdentifier);
    }
    ~TestApplications() { SystemTerminal::setApplicationIds(SystemTerminal::defaultApplicationIds()); }
};

struct CatalogueTest : ::testing::Test, TestApplications {
    QTemporaryDir dir;
    std::shared_ptr<SimPlatform> sim = SimPlatform::make();
    std::shared_ptr<RecordingPlatform> platform = std::make_shared<RecordingPlatform>(sim);
    PlatformInstallation installed{platform};
    Scenario scenario{*sim};
    ScopedLogCapture logged;
    std::shared_ptr<WorkingEnvironment> env;
    Installations actionEnvironment;

    CatalogueTest()
    {
        addTo(sim->workspace());
        installServices({});
        bringToFront(editorId);
    }

    // The actions run with these services and a fresh working environment following the workspace. The
    // actions are process-wide objects, so what they reach is installed for the process, as the program does.
    void installServices(VandrelServices services)
    {
        env = std::make_shared<WorkingEnvironment>(platform, sim->scheduler());
        env->startMonitoring();
        auto environment = std::make_shared<BuiltInVDAction::Environment>();
        environment->services = std::move(services);
        environment->mainScheduler = MainQueue::shared();
        environment->isOnEmacsShortcutApp = [env = env] { return env->isOnEmacsShortcutApp.value(); };
        actionEnvironment.install(BuiltInVDAction::environment(),
                                  std::shared_ptr<const BuiltInVDAction::Environment>(std::move(environment)));
    }

    void bringToFront(const std::string& id) { TestApplications::bringToFront(sim->workspace(), id); }

    std::string posted() const { return scenario.posted(); }
    int recordedPosts() const { return platform->eventTaps().recordedCount(); }

    static void drainMainQueue() { test::drainMainQueue(); }
};

}  // namespace vandrel::test
