#include "app/vd_updater.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/defaults.h"
#include "core/defaults_keys.h"
#include "core/log_capture.h"
#include "core/settings_store.h"
#include "net/feed_server.h"
#include "support/event_loop_wait.h"
#include "ui/base/vd_modal.h"

namespace vandrel {
namespace {

using Status = UpdateCheckResult::Status;

class VDUpdaterTest : public ::testing::Test {
protected:
    UpdaterServices services()
    {
        UpdaterServices s;
        s.settings = settings;
        UpdateChecker::Options checker;
        checker.current = VDVersion("1.0.0");
        checker.settings = settings.get();
        s.checker = std::make_shared<UpdateChecker>(checker);
        s.presentResult = [this](const UpdateCheckResult& r) { results.push_back(r); };
        return s;
    }

    QTemporaryDir dir;
    std::shared_ptr<SettingsStore> settings = std::make_shared<SettingsStore>(dir.path().toStdString());
    test::FeedServer server;
    std::vector<UpdateCheckResult> results;
    test::ScopedLogCapture logs;
};

TEST_F(VDUpdaterTest, TheFeedAddressIsNoneUntilPreFetchedAndNoneWithoutADownloadHost)
{
    VDUpdater updater(services());
    settings->set(DefaultsKeys::app_downloadBase, std::string("https://dl.example.org/"));
    EXPECT_EQ(updater.feedURLString(), std::nullopt);
    updater.preFetchAppcast();
    EXPECT_EQ(updater.feedURLString(), "https://dl.example.org/app/appcast.xml");
    EXPECT_EQ(updater.appcastURLString.value(), "https://dl.example.org/app/appcast.xml");

    settings->set(DefaultsKeys::app_downloadBase, std::string());
    VDUpdater without(services());
    without.preFetchAppcast();
    EXPECT_EQ(without.feedURLString(), std::nullopt);
}

TEST_F(VDUpdaterTest, CheckNowFetchesTheFeedOnceAndPresentsTheResult)
{
    const std::string url = server.url("");
    settings->set(DefaultsKeys::app_downloadBase, url);
    server.reply(200,
                 "<rss version=\"2.0\"><channel><item><title>Vandrel 1.1</title><link>https://example.org/1.1"
                 "</link><enclosure url=\"https://dl.example.org/1.1\" version=\"1.1\"/></item></channel></rss>");
    VDUpdater updater(services());
    updater.preFetchAppcast();
    updater.checkForUpdates();
    updater.checkForUpdates();  // while the first runs: not again
    ASSERT_TRUE(test::runEventLoopUntil([&] { return !results.empty(); }));
    EXPECT_EQ(server.paths, std::vector<std::string>{"/app/appcast.xml"});
    EXPECT_EQ(results[0].status, Status::updateAvailable);
    EXPECT_FALSE(updater.isChecking());
}

TEST_F(VDUpdaterTest, TheAutomaticSwitchIsStoredAndChecksQuietlyAtOnceAndAtLaunch)
{
    settings->set(DefaultsKeys::app_downloadBase, server.url(""));
    server.reply(200, "<rss version=\"2.0\"><channel></channel></rss>");
    VDUpdater updater(services());
    updater.preFetchAppcast();
    updater.checkAtLaunchWhenAutomatic();
    EXPECT_FALSE(updater.isChecking()) << "off: no check at launch";

    updater.setAutomaticallyChecksForUpdates(true);
    EXPECT_TRUE(settings->get(DefaultsKeys::app_isAutoCheckUpdates));
    ASSERT_TRUE(test::runEventLoopUntil([&] { return !updater.isChecking(); }));
    EXPECT_EQ(server.paths.size(), 1u);
    EXPECT_TRUE(results.empty()) << "up to date is not announced by an automatic check";

    // The next start checks by itself.
    VDUpdater next(services());
    next.preFetchAppcast();
    next.checkAtLaunchWhenAutomatic();
    ASSERT_TRUE(test::runEventLoopUntil([&] { return !next.isChecking(); }));
    EXPECT_EQ(server.paths.size(), 2u);

    updater.setAutomaticallyChecksForUpdates(false);
    EXPECT_FALSE(settings->get(DefaultsKeys::app_isAutoCheckUpdates));
}

TEST_F(VDUpdaterTest, WithoutASourceTheCheckSaysSoAndAsksNobody)
{
    VDUpdater updater(services());
    updater.preFetchAppcast();
    updater.checkForUpdates();
    ASSERT_TRUE(test::runEventLoopUntil([&] { return !results.empty(); }));
    EXPECT_EQ(results[0].status, Status::noSource);
    EXPECT_EQ(results[0].reason, "no update source configured");
    EXPECT_TRUE(server.paths.empty());
}

TEST_F(VDUpdaterTest, TheDialogsDownloadButtonOpensTheReleasePage)
{
    std::vector<std::string> texts;
    int answer = 0;
    const VDModal modal([&](QMessageBox& box) {
        std::string buttons;
        for (auto* b : box.buttons()) buttons += "[" + b->text().toStdString() + "]";
        texts.push_back(box.text().toStdString() + " | " + box.informativeText().toStdString() + " | " + buttons);
        // Whatever the texts hold, no label shows markup or opens a link.
        for (auto* label : box.findChildren<QLabel*>()) {
            EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->text().toStdString();
            EXPECT_FALSE(label->openExternalLinks()) << label->text().toStdString();
        }
        return answer;
    });
    std::vector<std::string> opened;
    auto open = [&](const std::string& u) {
        opened.push_back(u);
        return true;
    };
    AppcastItem item{"Vandrel 2.0 with a new cheat sheet", "2.0", VDVersion("2.0"), "https://example.org/2.0", ""};
    VDUpdater::showResult({Status::updateAvailable, item, {}}, open, modal);
    answer = 1;  // Later
    VDUpdater::showResult({Status::updateAvailable, item, {}}, open, modal);
    VDUpdater::showResult({Status::upToDate, std::nullopt, {}}, open, modal);
    VDUpdater::showResult({Status::noSource, std::nullopt, "no update source configured"}, open, modal);
    // A feed's title and a server's reason phrase are outside text: shown as they are, never as a link.
    answer = 1;
    const std::string link = R"(<a href="file:///etc/passwd">Release notes</a>)";
    item.title = link;
    VDUpdater::showResult({Status::updateAvailable, item, {}}, open, modal);
    VDUpdater::showResult({Status::failed, std::nullopt, "the update feed could not be read (HTTP 500, " + link + ")"},
                          open, modal);

    EXPECT_EQ(opened, std::vector<std::string>{"https://example.org/2.0"});
    ASSERT_EQ(texts.size(), 6u);
    EXPECT_NE(texts[4].find(link), std::string::npos) << texts[4];
    EXPECT_NE(texts[5].find(link), std::string::npos) << texts[5];
    EXPECT_NE(texts[0].find("Vandrel 2.0 is available."), std::string::npos) << texts[0];
    EXPECT_NE(texts[0].find("[Download]"), std::string::npos) << texts[0];
    EXPECT_NE(texts[2].find("Vandrel is up to date."), std::string::npos) << texts[2];
    EXPECT_NE(texts[3].find("no update source configured"), std::string::npos) << texts[3];
}

}  // namespace
}  // namespace vandrel
