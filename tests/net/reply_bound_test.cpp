// Every network client against a server whose reply never ends, comes a byte at a time or comes compressed: the
// request is stopped at its size or time bound, or at once, with a message saying which, and the same client takes the
// next request.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "core/defaults_keys.h"
#include "core/settings_store.h"
#include "net/feed_server.h"
#include "net/feedback_uploader.h"
#include "net/google_reporter.h"
#include "net/update_checker.h"
#include "support/event_loop_wait.h"

namespace vandrel {
namespace {

TEST(ReplyBoundTest, AnEndlessDrippingOrCompressedReplyIsStoppedAndTheNextRequestIsTaken)
{
    QTemporaryDir dir;
    SettingsStore settings{dir.path().toStdString()};
    test::FeedServer server;
    settings.set(DefaultsKeys::feedback_apiBase, server.url("/service/"));
    settings.set(DefaultsKeys::app_isAllowSendUsage, true);
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
    std::vector<std::string> printed;
    GoogleReporter::Options usageOptions;
    usageOptions.collectionBaseUrl = server.url("/ga/");
    usageOptions.deadline = std::chrono::milliseconds(3000);
    usageOptions.settings = &settings;
    usageOptions.print = [&](const std::string& line) { printed.push_back(line); };
    GoogleReporter reporter(usageOptions);
    reporter.configure("UA-1-1");

    enum class Client { update, feedback, usage };
    // Whether the request succeeded, and the text it came back with. A hit of the usage reporter says only
    // when it fails.
    auto request = [&](Client client) {
        std::optional<std::pair<bool, std::string>> outcome;
        if (client == Client::update)
            checker.check(server.url(), [&](const UpdateCheckResult& r) {
                outcome.emplace(r.status == UpdateCheckResult::Status::updateAvailable, r.reason);
            });
        else if (client == Client::feedback)
            uploader.upload({"Ada", "ada@example.org", "", "words", "bugReport", std::nullopt, false}, nullptr,
                            [&](const FeedbackOutcome& o) { outcome.emplace(o.success, o.message); });
        else
            reporter.session(true);
        EXPECT_TRUE(test::runEventLoopUntil(
            [&] { return outcome.has_value() || (client == Client::usage && !printed.empty()); }, 10000));
        if (client == Client::usage && !printed.empty()) outcome.emplace(false, printed.back());
        printed.clear();
        return outcome.value_or(std::make_pair(false, std::string("no outcome")));
    };
    const QByteArray feed = R"(<rss version="2.0"><channel><item><title>Vandrel 1.4.0</title><enclosure
        url="https://dl.example.org/1.4.0" shortVersionString="1.4.0"/></item></channel></rss>)";

    enum class Reply { endless, dripping, compressed };  // dripping: never silent for the transfer time-out
    const struct {
        Client client;
        Reply reply;
        const char* message;
    } cases[] = {
        {Client::update, Reply::endless,
         "the update feed could not be read (the reply is larger than 1 MB and was stopped)"},
        {Client::update, Reply::dripping,
         "the update feed could not be read (the server did not finish its reply within 3 s)"},
        {Client::update, Reply::compressed,
         "the update feed could not be read (the reply came compressed, which was not asked for, and was stopped)"},
        {Client::feedback, Reply::endless,
         "The feedback server's reply failed: the reply is larger than 64 KB and was stopped"},
        {Client::feedback, Reply::dripping,
         "The feedback server's reply failed: the server did not finish its reply within 3 s"},
        {Client::usage, Reply::endless,
         "Failed to deliver GA Request.  the reply is larger than 64 KB and was stopped"},
        {Client::usage, Reply::dripping,
         "Failed to deliver GA Request.  the server did not finish its reply within 3 s"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        if (c.reply == Reply::endless)
            server.sendEndlessly();
        else if (c.reply == Reply::dripping)
            server.drip(std::chrono::milliseconds(20));
        else
            server.sendCompressed();
        const auto stopped = request(c.client);
        EXPECT_FALSE(stopped.first);
        EXPECT_EQ(stopped.second, c.message);

        server.reply(200, c.client == Client::update ? feed : QByteArray(R"({"resultCode":0})"));
        if (c.client == Client::usage) continue;
        const auto next = request(c.client);
        EXPECT_TRUE(next.first) << next.second;
    }
    EXPECT_EQ(server.paths.size(), 12u);
    // Every client asks for the body as it is, so what is counted is what is read.
    for (const auto& encoding : server.acceptEncodings) EXPECT_EQ(encoding, "identity");
}

}  // namespace
}  // namespace vandrel
