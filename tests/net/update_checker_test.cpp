#include "net/update_checker.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <memory>
#include <optional>
#include <string>

#include "core/defaults_keys.h"
#include "core/log_capture.h"
#include "core/main_queue.h"
#include "core/settings_store.h"
#include "support/event_loop_wait.h"
#include "net/feed_server.h"

namespace vandrel {
namespace {

using Status = UpdateCheckResult::Status;

QByteArray feedOf(std::initializer_list<const char*> versions)
{
    QByteArray body = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel>";
    for (const char* v : versions)
        body += QByteArray("<item><title>Vandrel ") + v + "</title><enclosure url=\"https://dl.example.org/" + v +
                "\" shortVersionString=\"" + v + "\"/></item>";
    return body + "</channel></rss>";
}

class UpdateCheckerTest : public ::testing::Test {
protected:
    UpdateChecker::Options options(std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        UpdateChecker::Options o;
        o.timeout = timeout;
        o.current = VDVersion("1.3.0");
        o.settings = &settings;
        return o;
    }

    UpdateCheckResult check(UpdateChecker& checker, const std::optional<std::string>& url)
    {
        std::optional<UpdateCheckResult> result;
        bool inside = true;
        checker.check(url, [&](const UpdateCheckResult& r) {
            EXPECT_FALSE(inside) << "delivered inside check()";
            result = r;
        });
        inside = false;
        EXPECT_TRUE(test::runEventLoopUntil([&] { return result.has_value(); }, 10000));
        return result.value_or(UpdateCheckResult{});
    }

    QTemporaryDir dir;
    SettingsStore settings{dir.path().toStdString()};
    test::FeedServer server;
    test::ScopedLogCapture logs;
};

TEST_F(UpdateCheckerTest, NewerEqualAndOlderReleases)
{
    UpdateChecker checker(options());
    server.reply(200, feedOf({"1.2.0", "1.4.1", "1.4.0"}));
    auto result = check(checker, server.url());
    ASSERT_EQ(result.status, Status::updateAvailable) << result.reason;
    EXPECT_EQ(result.item->version, "1.4.1");
    EXPECT_EQ(result.item->link, "https://dl.example.org/1.4.1");
    EXPECT_EQ(server.paths, std::vector<std::string>{"/app/appcast.xml"});

    server.reply(200, feedOf({"1.3.0"}));
    EXPECT_EQ(check(checker, server.url()).status, Status::upToDate);
    server.reply(200, feedOf({"1.2.9", "1.3.0rc"}));
    EXPECT_EQ(check(checker, server.url()).status, Status::upToDate);
}

TEST_F(UpdateCheckerTest, TheChannelSettingsChooseWhichStagesCount)
{
    UpdateChecker checker(options());
    server.reply(200, feedOf({"1.3.1", "1.4.0b", "1.5.0a"}));
    EXPECT_EQ(check(checker, server.url()).item->version, "1.3.1");
    settings.set(DefaultsKeys::app_isCheckBetaUpdate, true);
    EXPECT_EQ(check(checker, server.url()).item->version, "1.4.0b");
    settings.set(DefaultsKeys::app_isCheckAlphaUpdate, true);
    EXPECT_EQ(check(checker, server.url()).item->version, "1.5.0a");
    settings.set(DefaultsKeys::app_isCheckBetaUpdate, false);
    EXPECT_EQ(check(checker, server.url()).item->version, "1.5.0a");
}

TEST_F(UpdateCheckerTest, WithoutAFeedAddressNothingIsAsked)
{
    UpdateChecker checker(options());
    for (const std::optional<std::string>& url : {std::optional<std::string>(), std::optional<std::string>("")}) {
        const auto result = check(checker, url);
        EXPECT_EQ(result.status, Status::noSource);
        EXPECT_EQ(result.reason, "no update source configured");
    }
    EXPECT_EQ(check(checker, std::string("ftp://127.0.0.1/app/appcast.xml")).status, Status::noSource);
    EXPECT_TRUE(server.paths.empty());
}

TEST_F(UpdateCheckerTest, BadDocumentsAndHttpErrorsFailWithTheirReason)
{
    UpdateChecker checker(options());
    server.reply(200, "<rss version=\"2.0\"><channel><item>");
    auto result = check(checker, server.url());
    EXPECT_EQ(result.status, Status::failed);
    EXPECT_NE(result.reason.find("not well-formed"), std::string::npos) << result.reason;

    server.reply(404, feedOf({"9.0.0"}));
    result = check(checker, server.url());
    EXPECT_EQ(result.status, Status::failed);
    EXPECT_NE(result.reason.find("HTTP 404"), std::string::npos) << result.reason;

    server.reply(500, "");
    EXPECT_EQ(check(checker, server.url()).status, Status::failed);
}

TEST_F(UpdateCheckerTest, AServerThatNeverAnswersTimesOut)
{
    server.neverAnswer();
    UpdateChecker checker(options(std::chrono::milliseconds(300)));
    const auto result = check(checker, server.url());
    EXPECT_EQ(result.status, Status::failed);
    EXPECT_EQ(result.reason, "the update server did not answer in time");
}

}  // namespace
}  // namespace vandrel
