// Both network clients against a server whose reply never ends or comes a byte at a time: the request is
// stopped at its size or time bound with a message saying which, and the same client takes the next request.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <chrono>
#include <optional>
#include <string>

#include "core/defaults_keys.h"
#include "core/settings_store.h"
#include "net/feed_server.h"
#include "net/feedback_uploader.h"
#include "net/update_checker.h"
#include "support/event_loop_wait.h"

namespace vandrel {
namespace {

TEST(ReplyBoundTest, AnEndlessOrDrippingReplyIsStoppedAndTheNextRequestIsTaken)
{
    QTemporaryDir dir;
    SettingsStore settings{dir.path().toStdString()};
    test::FeedServer server;
    settings.set(DefaultsKeys::feedback_apiBase, server.url("/service/"));
    UpdateChecker::Options updateOptions;
    updateOptions.current = VDVersion("1.3.0");
    updateOptions.settings = &settings;
    updateOptions.deadline = std::chrono::milliseconds(3000);
    UpdateChecker checker(updateOptions);
    FeedbackUploader::Options feedbackOptions;
    feedbackOptions.settings = &settings;
    feedbackOptions.deadline = std::chrono::milliseconds(3000);
    feedbackOptions.appFacts = FeedbackAppFacts{"2.1.0", "350", VDVersion("2.1.0")};
    FeedbackUploader uploader(feedbackOptions);

    enum class Client { update, feedback };
    // Whether the request succeeded, and the text it came back with.
    auto request = [&](Client client) {
        std::optional<std::pair<bool, std::string>> outcome;
        if (client == Client::update)
            checker.check(server.url(), [&](const UpdateCheckResult& r) {
                outcome.emplace(r.status == UpdateCheckResult::Status::updateAvailable, r.reason);
            });
        else
            uploader.upload({"Ada", "ada@example.org", "", "words", "bugReport", std::nullopt, false}, nullptr,
                            [&](const FeedbackOutcome& o) { outcome.emplace(o.success, o.message); });
        EXPECT_TRUE(test::runEventLoopUntil([&] { return outcome.has_value(); }, 10000));
        return outcome.value_or(std::make_pair(false, std::string("no outcome")));
    };
    const QByteArray feed = R"(<rss version="2.0"><channel><item><title>Vandrel 1.4.0</title><enclosure
        url="https://dl.example.org/1.4.0" shortVersionString="1.4.0"/></item></channel></rss>)";

    const struct {
        Client client;
        bool endless;  // else dripping, never silent for the transfer time-out
        const char* message;
    } cases[] = {
        {Client::update, true, "the update feed could not be read (the reply is larger than 1 MB and was stopped)"},
        {Client::update, false, "the update feed could not be read (the server did not finish its reply within 3 s)"},
        {Client::feedback, true, "The feedback server's reply failed: the reply is larger than 64 KB and was stopped"},
        {Client::feedback, false, "The feedback server's reply failed: the server did not finish its reply within 3 s"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        if (c.endless)
            server.sendEndlessly();
        else
            server.drip(std::chrono::milliseconds(20));
        const auto stopped = request(c.client);
        EXPECT_FALSE(stopped.first);
        EXPECT_EQ(stopped.second, c.message);

        server.reply(200, c.client == Client::update ? feed : QByteArray(R"({"resultCode":0})"));
        const auto next = request(c.client);
        EXPECT_TRUE(next.first) << next.second;
    }
    EXPECT_EQ(server.paths.size(), 8u);
}

}  // namespace
}  // namespace vandrel
