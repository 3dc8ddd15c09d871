#include "ui/overlays/vd_feedback_infos_view_controller.h"

#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <fstream>
#include <memory>

#include "core/defaults_keys.h"
#include "core/log_capture.h"
#include "core/settings_store.h"

using namespace vandrel;

namespace {

class FeedbackInfosViewTest : public testing::Test {
protected:
    std::shared_ptr<FeedbackDiagnostics> diagnostics()
    {
        FeedbackDiagnostics::Sources sources;
        sources.settings = &settings;
        sources.debugLogUrl = logPath;
        sources.screenSize = [] { return std::optional<std::pair<double, double>>(); };
        return std::make_shared<FeedbackDiagnostics>(sources);
    }

    // The text of a tab, or none when the tab has no text view.
    static std::optional<QString> tabText(const VDFeedbackInfosViewController& view, int index)
    {
        auto* text = qobject_cast<QPlainTextEdit*>(view.tabView()->widget(index));
        if (!text) return std::nullopt;
        EXPECT_TRUE(text->isReadOnly());
        return text->toPlainText();
    }

    QTemporaryDir dir;
    SettingsStore settings{dir.filePath("config").toStdString()};
    std::string logPath = dir.filePath("debug.log").toStdString();
    test::ScopedLogCapture logs;
};

}  // namespace

TEST_F(FeedbackInfosViewTest, TheThreeTabsShowWhatTheUploadSends)
{
    std::ofstream(logPath) << "2026-12-09 00:00:01 [debug] started\n";
    settings.set(DefaultsKeys::app_isDevelopMode, true);
    settings.set(DefaultsKeys::feedback_email, "ada@example.org");
    VDFeedbackInfosViewController view(diagnostics());
    EXPECT_EQ(view.tabView(), nullptr);

    view.loadView();
    QTabWidget* tabs = view.tabView();
    ASSERT_NE(tabs, nullptr);
    ASSERT_EQ(tabs->count(), 3);
    EXPECT_EQ(tabs->tabText(0), "System");
    EXPECT_EQ(tabs->tabText(1), "Log");
    EXPECT_EQ(tabs->tabText(2), "Preferences");

    const QString system = tabText(view, 0).value_or("");
    EXPECT_EQ(nlohmann::json::parse(system.toStdString()), view.diagnostics()->systemInfo());
    EXPECT_TRUE(system.contains("\n  \"screenResolution\": \"0.0x0.0\""));  // indented
    EXPECT_EQ(tabText(view, 1), "2026-12-09 00:00:01 [debug] started\n");
    EXPECT_EQ(tabText(view, 2), "[\"app_isDevelopMode\": true]");

    // Built once: the log is not read again.
    std::ofstream(logPath, std::ios::app) << "later\n";
    view.loadView();
    EXPECT_EQ(view.tabView(), tabs);
    EXPECT_EQ(tabText(view, 1), "2026-12-09 00:00:01 [debug] started\n");
}

TEST_F(FeedbackInfosViewTest, AnUnreadableLogLeavesItsTabEmptyAndNoSettingsReadNil)
{
    VDFeedbackInfosViewController view(diagnostics());
    view.loadView();
    ASSERT_EQ(view.tabView()->count(), 3);
    EXPECT_EQ(tabText(view, 1), std::nullopt);
    EXPECT_TRUE(logs->contains(LogLevel::error, "get content of debug.log fail"));
    EXPECT_EQ(tabText(view, 2), "nil");
}
