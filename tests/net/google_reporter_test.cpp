#include "net/google_reporter.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QHostAddress>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <algorithm>
#include <functional>
#include <map>
#include <memory>

#include "core/defaults_keys.h"
#include "core/log.h"
#include "core/log_capture.h"
#include "core/settings_store.h"
#include "support/event_loop_wait.h"
#include "net/ga_reporter.h"

using namespace vandrel;

namespace {

// A collection endpoint on 127.0.0.1 that records each request's target and answers 204, or never answers.
class HitServer {
public:
    explicit HitServer(bool answers) : answers_(answers)
    {
        server_.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { read(socket); });
            }
        });
    }

    std::string baseUrl() const { return "http://127.0.0.1:" + std::to_string(server_.serverPort()) + "/ga/"; }
    const std::vector<QByteArray>& targets() const { return targets_; }

    // The fields of hit i, percent-decoded.
    std::map<std::string, std::string> fields(std::size_t i) const
    {
        std::map<std::string, std::string> out;
        const QByteArray query = targets_.at(i).mid(targets_.at(i).indexOf('?') + 1);
        for (const QByteArray& pair : query.split('&')) {
            const auto eq = pair.indexOf('=');
            out[QByteArray::fromPercentEncoding(pair.left(eq)).toStdString()] =
                QByteArray::fromPercentEncoding(pair.mid(eq + 1)).toStdString();
        }
        return out;
    }

private:
    void read(QTcpSocket* socket)
    {
        QByteArray& buffer = buffers_[socket];
        buffer += socket->readAll();
        if (!buffer.contains("\r\n\r\n")) return;
        const QList<QByteArray> requestLine = buffer.left(buffer.indexOf("\r\n")).split(' ');
        targets_.push_back(requestLine.value(1));
        if (answers_) {
            socket->write("HTTP/1.1 204 No Content\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            socket->disconnectFromHost();
        }
    }

    bool answers_;
    QTcpServer server_;
    std::map<QTcpSocket*, QByteArray> buffers_;
    std::vector<QByteArray> targets_;
};

class GoogleReporterTest : public testing::Test {
protected:
    void SetUp() override { store = std::make_unique<SettingsStore>(dir.path().toStdString()); }

    GoogleReporter::Options options(const HitServer& server,
                                    std::chrono::milliseconds timeout = std::chrono::seconds(5))
    {
        GoogleReporter::Options o;
        o.collectionBaseUrl = server.baseUrl();
        o.timeout = timeout;
        o.settings = store.get();
        o.print = [this](const std::string& line) { printed.push_back(line); };
        o.appName = "Vandrel";
        o.appIdentifier = "org.vandrel.app";
        o.appVersion = "2.1.0";
        o.appBuild = "350";
        o.screenSize = [] { return std::make_optional(std::make_pair(1440.0, 900.0)); };
        return o;
    }

    long logged(const std::string& message) const
    {
        const auto entries = logs->entries();
        return std::count_if(entries.begin(), entries.end(), [&](const auto& e) { return e.message == message; });
    }

    bool printedLineStartingWith(const std::string& prefix) const
    {
        return std::any_of(printed.begin(), printed.end(), [&](const auto& l) { return l.rfind(prefix, 0) == 0; });
    }

    QTemporaryDir dir;
    std::unique_ptr<SettingsStore> store;
    std::vector<std::string> printed;
    test::ScopedLogCapture logs;
};

}  // namespace

TEST_F(GoogleReporterTest, SessionStartCarriesEveryFieldAndCreatesTheClientIdentifierOnce)
{
    HitServer server(true);
    store->set(DefaultsKeys::app_isAllowSendUsage, true);
    {
        GoogleReporter reporter(options(server));
        reporter.setQuietMode(false);
        reporter.configure("UA-12345-6");
        reporter.session(true);
        ASSERT_TRUE(test::runEventLoopUntil([&] { return server.targets().size() == 1; }));
    }
    ASSERT_TRUE(server.targets()[0].startsWith("/ga/collect?"));
    auto hit = server.fields(0);
    const std::string cid = store->string(DefaultsKeys::googleReporter_uniqueUserIdentifier).value_or("");
    EXPECT_TRUE(QRegularExpression("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$")
                    .match(QString::fromStdString(cid))
                    .hasMatch());
    EXPECT_EQ(hit["tid"], "UA-12345-6");
    EXPECT_EQ(hit["cid"], cid);
    EXPECT_EQ(hit["av"], "2.1.0 (350)");
    EXPECT_EQ(hit["sr"], "1440.0x900.0");
    EXPECT_EQ(hit["aip"], "1");
    EXPECT_EQ(hit["sc"], "start");
    EXPECT_EQ(hit.count("t"), 0u);
    EXPECT_EQ(hit.size(), 14u);
    EXPECT_TRUE(printedLineStartingWith("New GA user with identifier:  " + cid));
    EXPECT_TRUE(printedLineStartingWith("Sending GA Report:  " + server.baseUrl() + "collect?"));

    // The next launch reuses the stored identifier.
    GoogleReporter nextLaunch(options(server));
    nextLaunch.configure("UA-12345-6");
    nextLaunch.session(false);
    ASSERT_TRUE(test::runEventLoopUntil([&] { return server.targets().size() == 2; }));
    EXPECT_EQ(server.fields(1)["cid"], cid);
    EXPECT_EQ(server.fields(1)["sc"], "end");
}

TEST_F(GoogleReporterTest, DelimitersInsideValuesCannotInjectOrCorruptFields)
{
    HitServer server(true);
    store->set(DefaultsKeys::app_isAllowSendUsage, true);
    GoogleReporter reporter(options(server));
    reporter.configure("UA-1-1");
    reporter.setAnonymizeIP(false);
    reporter.event("a&tid=evil", "x+y#z", "caf\xC3\xA9 = 100%", {{"ec", "ignored"}, {"tid", "UA-9-9"}, {"k&=", "v"}});
    ASSERT_TRUE(test::runEventLoopUntil([&] { return server.targets().size() == 1; }));

    EXPECT_FALSE(server.targets()[0].contains('#'));
    auto hit = server.fields(0);
    EXPECT_EQ(hit["t"], "event");
    EXPECT_EQ(hit["ec"], "a&tid=evil");
    EXPECT_EQ(hit["ea"], "x+y#z");
    EXPECT_EQ(hit["el"], "caf\xC3\xA9 = 100%");
    EXPECT_EQ(hit["tid"], "UA-9-9");  // extra parameters replace the common fields
    EXPECT_EQ(hit["k&="], "v");
    EXPECT_EQ(hit.count("aip"), 0u);
    EXPECT_EQ(hit.size(), 11u + 3u + 1u + 1u);  // common, event fields, "t", the extra key
}

TEST_F(GoogleReporterTest, WithoutConsentNothingIsSentAndNoIdentifierIsCreated)
{
    HitServer server(true);
    GoogleReporter reporter(options(server));
    GAReporter session("UA-12345-6", reporter);
    session.start();
    session.stop();
    EXPECT_EQ(logged("Disable to send usage by user."), 2);
    EXPECT_FALSE(store->string(DefaultsKeys::googleReporter_uniqueUserIdentifier).has_value());
    EXPECT_TRUE(printed.empty());
    test::runEventLoopUntil([] { return false; }, 200);
    EXPECT_TRUE(server.targets().empty());
}

TEST_F(GoogleReporterTest, WithoutTrackerIdOrCollectionAddressNothingIsSent)
{
    HitServer server(true);
    store->set(DefaultsKeys::app_isAllowSendUsage, true);
    GoogleReporter reporter(options(server));
    reporter.session(true);
    EXPECT_EQ(printed,
              (std::vector<std::string>{"GoogleReporter event ignored.",
                                        "You must set your tracker ID UA-XXXXX-XX with GoogleReporter.configure()"}));

    // A build without tracker id or collection address: one debug line per hit, nothing else.
    GAReporter unconfigured("", reporter);
    unconfigured.start();
    auto noAddress = options(server);
    noAddress.collectionBaseUrl = "";
    GoogleReporter addressless(noAddress);
    GAReporter withoutAddress("UA-1-1", addressless);
    withoutAddress.stop();
    EXPECT_EQ(
        logged("Usage reporting is not set up in this build (no tracker id or collection address); nothing is sent."),
        2);
    EXPECT_EQ(printed.size(), 2u);
    EXPECT_FALSE(store->string(DefaultsKeys::googleReporter_uniqueUserIdentifier).has_value());
    test::runEventLoopUntil([] { return false; }, 200);
    EXPECT_TRUE(server.targets().empty());
}

TEST_F(GoogleReporterTest, ServerThatNeverAnswersTimesOutWithoutBlocking)
{
    HitServer server(false);
    store->set(DefaultsKeys::app_isAllowSendUsage, true);
    GoogleReporter reporter(options(server, std::chrono::milliseconds(150)));
    reporter.configure("UA-1-1");
    reporter.session(true);
    // The call returned before anything reached the server.
    EXPECT_TRUE(server.targets().empty());
    EXPECT_FALSE(printedLineStartingWith("Failed to deliver GA Request."));

    ASSERT_TRUE(test::runEventLoopUntil([&] { return printedLineStartingWith("Failed to deliver GA Request.  "); }));
    EXPECT_EQ(server.targets().size(), 1u);
}

TEST_F(GoogleReporterTest, AddressThatCannotBeFormedIsPrintedAndNotRequested)
{
    HitServer server(true);
    auto o = options(server);
    o.collectionBaseUrl = "not a url/";
    GoogleReporter reporter(o);
    EXPECT_FALSE(reporter.generateUrl({{"v", "1"}}).has_value());
    ASSERT_EQ(printed.size(), 1u);
    EXPECT_EQ(printed[0],
              "GoogleReporter failed to generate a valid GA url for path  collect?v=1   relative to  not a url/");
}
