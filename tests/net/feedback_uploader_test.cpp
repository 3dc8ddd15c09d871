#include "net/feedback_uploader.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <fstream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "core/defaults_keys.h"
#include "core/log_capture.h"
#include "core/main_queue.h"
#include "core/settings_store.h"
#include "net/feedback_diagnostics.h"
#include "support/event_loop_wait.h"

using namespace vandrel;
using nlohmann::json;

namespace {

// One HTTP request as it reached the server.
struct RawRequest {
    QByteArray requestLine;
    std::map<QByteArray, QByteArray> headers;  // names in lower case
    QByteArray body;
};

// A part of a multipart/form-data body.
struct Part {
    std::map<QByteArray, QByteArray> headers;  // names in lower case
    QByteArray body;

    QByteArray disposition() const
    {
        return headers.count("content-disposition") ? headers.at("content-disposition") : "";
    }
    std::string text() const { return body.toStdString(); }
};

std::map<QByteArray, QByteArray> parseHeaders(const QByteArray& block)
{
    std::map<QByteArray, QByteArray> out;
    for (const QByteArray& line : block.split('\n')) {
        const QByteArray trimmed = line.endsWith('\r') ? line.chopped(1) : line;
        const auto colon = trimmed.indexOf(':');
        if (colon > 0) out[trimmed.left(colon).toLower()] = trimmed.mid(colon + 1).trimmed();
    }
    return out;
}

// Splits a multipart body at its boundary lines (RFC 2046): parts in order, headers and exact bytes.
std::vector<Part> parseMultipart(const QByteArray& body, const QByteArray& boundary)
{
    std::vector<Part> parts;
    const QByteArray delimiter = "--" + boundary;
    qsizetype pos = body.indexOf(delimiter);
    if (pos != 0) return parts;
    for (;;) {
        pos += delimiter.size();
        if (body.mid(pos, 2) == "--") return parts;  // the closing delimiter
        if (body.mid(pos, 2) != "\r\n") return {};
        pos += 2;
        const qsizetype next = body.indexOf("\r\n" + delimiter, pos);
        if (next < 0) return {};
        const QByteArray part = body.mid(pos, next - pos);
        const qsizetype split = part.indexOf("\r\n\r\n");
        if (split < 0) return {};
        parts.push_back({parseHeaders(part.left(split)), part.mid(split + 4)});
        pos = next + 2;
    }
}

// Captures each raw request on 127.0.0.1 and answers it with the current reply, or never answers.
class FeedbackServer {
public:
    FeedbackServer()
    {
        server_.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                ++connections;
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { read(socket); });
            }
        });
    }

    std::string base(const std::string& path = "") const
    {
        return "http://127.0.0.1:" + std::to_string(server_.serverPort()) + path;
    }

    void reply(int status, QByteArray body)
    {
        status_ = status;
        body_ = std::move(body);
    }
    void neverAnswer() { status_.reset(); }

    std::vector<RawRequest> requests;
    int connections = 0;

private:
    void read(QTcpSocket* socket)
    {
        QByteArray& buffer = buffers_[socket];
        buffer += socket->readAll();
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0) return;
        RawRequest request;
        request.requestLine = buffer.left(buffer.indexOf("\r\n"));
        request.headers = parseHeaders(buffer.left(end));
        const qsizetype length = request.headers["content-length"].toLongLong();
        if (buffer.size() < end + 4 + length) return;
        request.body = buffer.mid(end + 4, length);
        buffer.clear();
        requests.push_back(request);
        if (!status_) return;
        socket->write("HTTP/1.1 " + QByteArray::number(*status_) + " Reply\r\nContent-Type: application/json\r\n" +
                      "Content-Length: " + QByteArray::number(body_.size()) + "\r\nConnection: close\r\n\r\n" + body_);
        socket->disconnectFromHost();
    }

    QTcpServer server_;
    std::map<QTcpSocket*, QByteArray> buffers_;
    std::optional<int> status_ = 200;
    QByteArray body_ = R"({"resultCode":0})";
};

class FeedbackUploaderTest : public testing::Test {
protected:
    void SetUp() override
    {
        settings = std::make_unique<SettingsStore>(dir.filePath("config").toStdString());
        settings->set(DefaultsKeys::feedback_apiBase, server.base("/service/"));
        settings->set(DefaultsKeys::feedback_username, "Ada Lovelace");
        settings->set(DefaultsKeys::app_isDevelopMode, true);
        logPath = dir.filePath("debug.log").toStdString();
        std::ofstream(logPath) << "line one\nline two\n";
    }

    FeedbackUploader::Options options(std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        FeedbackUploader::Options o;
        o.settings = settings.get();
        o.timeout = timeout;
        o.appFacts = FeedbackAppFacts{"2.1.0", "350", VDVersion("2.1.0b")};
        return o;
    }

    std::shared_ptr<FeedbackDiagnostics> diagnostics()
    {
        FeedbackDiagnostics::Sources sources;
        sources.settings = settings.get();
        sources.debugLogUrl = logPath;
        sources.screenSize = [] { return std::make_optional(std::make_pair(1920.0, 1080.0)); };
        return std::make_shared<FeedbackDiagnostics>(sources);
    }

    static FeedbackSubmission submission(bool withDiagnostics)
    {
        return FeedbackSubmission{"Ada",        "ada@example.org", "  ", "Grüße\r\nzweite Zeile", "featureRequest",
                                  std::nullopt, withDiagnostics};
    }

    // Uploads and waits for the one outcome.
    FeedbackOutcome send(FeedbackUploader& uploader, const FeedbackSubmission& s,
                         std::shared_ptr<FeedbackDiagnostics> d = nullptr)
    {
        std::vector<FeedbackOutcome> outcomes;
        uploader.upload(s, d ? d : diagnostics(), [&](const FeedbackOutcome& o) { outcomes.push_back(o); });
        EXPECT_TRUE(outcomes.empty()) << "delivered inside upload()";
        EXPECT_TRUE(test::runEventLoopUntil([&] { return !outcomes.empty(); }));
        QCoreApplication::processEvents();
        EXPECT_EQ(outcomes.size(), 1u);
        return outcomes.empty() ? FeedbackOutcome{false, "no outcome"} : outcomes.front();
    }

    std::vector<Part> parts(std::size_t request = 0) const
    {
        const RawRequest& r = server.requests.at(request);
        const QByteArray type = r.headers.at("content-type");
        const QByteArray prefix = "multipart/form-data; boundary=";
        EXPECT_TRUE(type.startsWith(prefix)) << type.toStdString();
        return parseMultipart(r.body, type.mid(prefix.size()));
    }

    static std::vector<std::string> names(const std::vector<Part>& parts)
    {
        std::vector<std::string> out;
        for (const Part& p : parts) {
            const QByteArray d = p.disposition();
            const auto start = d.indexOf("name=\"") + 6;
            out.push_back(d.mid(start, d.indexOf('"', start) - start).toStdString());
        }
        return out;
    }

    QTemporaryDir dir;
    FeedbackServer server;
    std::unique_ptr<SettingsStore> settings;
    std::string logPath;
    test::ScopedLogCapture logs;
};

}  // namespace

TEST_F(FeedbackUploaderTest, WithoutDiagnosticsTheFormPartsGoAsTypedAndTheSettingsStayHome)
{
    FeedbackUploader uploader(options());
    EXPECT_TRUE(send(uploader, submission(false)).success);

    ASSERT_EQ(server.requests.size(), 1u);
    EXPECT_EQ(server.requests[0].requestLine, "POST /service/api/feedback HTTP/1.1");
    const auto p = parts();
    EXPECT_EQ(names(p), (std::vector<std::string>{"user", "email", "title", "description", "feedbackType",
                                                  "isSendInfos", "appInfo"}));
    EXPECT_EQ(p[0].text(), "Ada");
    EXPECT_EQ(p[1].text(), "ada@example.org");
    EXPECT_EQ(p[2].text(), "  ");
    EXPECT_EQ(p[3].text(), "Grüße\r\nzweite Zeile");
    EXPECT_EQ(p[4].text(), "featureRequest");
    EXPECT_EQ(p[5].text(), "false");
    for (const Part& part : p) {
        // A text part carries its name and nothing else.
        EXPECT_EQ(part.headers.size(), 1u);
        EXPECT_FALSE(part.disposition().contains("filename"));
    }
    EXPECT_EQ(
        json::parse(p[6].text()),
        (json{{"version", "2.1.0"}, {"buildVersion", "350"}, {"edition", "beta"}, {"userDefaults", "<not send>"}}));
    EXPECT_EQ(p[6].text(), json::parse(p[6].text()).dump());  // compact
}

TEST_F(FeedbackUploaderTest, WithDiagnosticsTheAttachmentSystemFactsLogAndAnonymousSettingsFollow)
{
    // Bytes that look like a part boundary or a header end must arrive untouched.
    const QByteArray attachment =
        QByteArray("\x89PNG\r\n\x1a\n", 8) + "\r\n--vandrel.boundary.x\r\n\r\n" + QByteArray(70000, '\0') + "end";
    const std::string attachPath = dir.filePath("screen shot.png").toStdString();
    std::ofstream(attachPath, std::ios::binary).write(attachment.constData(), attachment.size());
    FeedbackSubmission s = submission(true);
    s.attachFile = attachPath;
    auto d = diagnostics();

    FeedbackUploader uploader(options());
    EXPECT_TRUE(send(uploader, s, d).success);

    const auto p = parts();
    ASSERT_EQ(names(p), (std::vector<std::string>{"user", "email", "title", "description", "feedbackType", "attachFile",
                                                  "isSendInfos", "systemInfo", "debugLogFile", "appInfo"}));
    EXPECT_EQ(p[5].disposition(), "form-data; name=\"attachFile\"; filename=\"screen shot.png\"");
    EXPECT_EQ(p[5].headers.at("content-type"), "image/png");
    EXPECT_EQ(p[5].body, attachment);
    EXPECT_EQ(p[6].text(), "true");
    EXPECT_EQ(json::parse(p[7].text()), d->systemInfo());
    EXPECT_EQ(json::parse(p[7].text())["screenResolution"], "1920.0x1080.0");
    EXPECT_EQ(p[8].disposition(), "form-data; name=\"debugLogFile\"; filename=\"debug.log\"");
    EXPECT_TRUE(p[8].headers.count("content-type"));
    EXPECT_EQ(p[8].text(), "line one\nline two\n");

    const json appInfo = json::parse(p[9].text());
    const std::string dump = appInfo["userDefaults"];
    EXPECT_EQ(dump, d->defaultsDebugDescription());
    EXPECT_NE(dump.find("\"app_isDevelopMode\": true"), std::string::npos);
    EXPECT_EQ(dump.find("Ada Lovelace"), std::string::npos);
    EXPECT_TRUE(logs->contains(LogLevel::debug, "systemInfosJsonStr"));
}

TEST_F(FeedbackUploaderTest, AnUnreadableDebugLogLeavesOnlyItsPartOut)
{
    std::filesystem::remove(logPath);
    FeedbackUploader uploader(options());
    EXPECT_TRUE(send(uploader, submission(true)).success);
    EXPECT_EQ(names(parts()), (std::vector<std::string>{"user", "email", "title", "description", "feedbackType",
                                                        "isSendInfos", "systemInfo", "appInfo"}));
    EXPECT_EQ(logs->count(LogLevel::warning), 1u);
}

TEST_F(FeedbackUploaderTest, AFileNameCannotBreakOutOfItsHeader)
{
    const std::string attachPath = dir.filePath("a\"b\r\nX-Injected: 1.txt").toStdString();
    std::ofstream(attachPath) << "x";
    FeedbackSubmission s = submission(false);
    s.attachFile = attachPath;
    FeedbackUploader uploader(options());
    EXPECT_TRUE(send(uploader, s).success);
    const auto p = parts();
    ASSERT_EQ(p.size(), 8u);
    EXPECT_EQ(p[5].disposition(), "form-data; name=\"attachFile\"; filename=\"a%22b%0D%0AX-Injected: 1.txt\"");
    EXPECT_EQ(p[5].headers.count("x-injected"), 0u);
    EXPECT_EQ(p[5].headers.at("content-type"), "text/plain");

    // A backslash is escaped; a name that is not UTF-8 is still found, and named readably.
    const std::string oddPath = dir.filePath("c\\").toStdString() + "\xff\xfe.txt";
    std::ofstream(oddPath) << "y";
    s.attachFile = oddPath;
    EXPECT_TRUE(send(uploader, s).success);
    EXPECT_EQ(parts(1)[5].disposition(),
              "form-data; name=\"attachFile\"; filename=\"c\\\\\xef\xbf\xbd\xef\xbf\xbd.txt\"");
    EXPECT_EQ(parts(1)[5].text(), "y");
}

TEST_F(FeedbackUploaderTest, OnlyAnObjectWithTheNumberZeroAsResultCodeIsASuccess)
{
    const std::vector<std::tuple<int, QByteArray, bool>> replies = {
        {200, R"({"resultCode":0,"msg":"ok"})", true},
        {500, R"({"resultCode":0})", true},  // the status is not looked at
        {200, R"({"resultCode":"0"})", false},
        {200, R"({"resultCode":1})", false},
        {200, R"({"resultCode":0.5})", false},
        {200, R"({"resultCode":null})", false},
        {200, R"({"resultCode":false})", false},
        {200, R"({})", false},
        {200, R"([{"resultCode":0}])", false},
        {200, "false", false},
        {200, "0", false},
        {200, "<html>Bad Gateway</html>", false},
        {200, "", false},
        {404, R"({"resultCode":1})", false},
    };
    FeedbackUploader uploader(options());
    for (const auto& [status, body, success] : replies) {
        server.reply(status, body);
        EXPECT_EQ(send(uploader, submission(false)).success, success) << status << " " << body.toStdString();
    }
    EXPECT_EQ(server.requests.size(), replies.size());
    EXPECT_TRUE(logs->contains(LogLevel::debug, "feedback submit success but response a failue result"));
}

TEST_F(FeedbackUploaderTest, AServerThatNeverAnswersFailsAfterTheTransferTimeOut)
{
    server.neverAnswer();
    FeedbackUploader uploader(options(std::chrono::milliseconds(300)));
    const FeedbackOutcome outcome = send(uploader, submission(true));
    EXPECT_FALSE(outcome.success);
    EXPECT_TRUE(outcome.message.empty());
    EXPECT_EQ(server.requests.size(), 1u);
}

TEST_F(FeedbackUploaderTest, NoRequestWithoutAUsableAddressOrWithAnUnreadableAttachment)
{
    FeedbackUploader uploader(options());

    settings->set(DefaultsKeys::feedback_apiBase, " ");
    FeedbackOutcome outcome = send(uploader, submission(false));
    EXPECT_FALSE(outcome.success);
    EXPECT_NE(outcome.message.find("\"feedback_apiBase\""), std::string::npos) << outcome.message;

    settings->set(DefaultsKeys::feedback_apiBase, "ftp://127.0.0.1/");
    outcome = send(uploader, submission(false));
    EXPECT_FALSE(outcome.success);
    EXPECT_NE(outcome.message.find("\"feedback_apiBase\""), std::string::npos) << outcome.message;

    settings->set(DefaultsKeys::feedback_apiBase, server.base());
    for (const std::string& path : {dir.filePath("missing.txt").toStdString(), dir.path().toStdString()}) {
        FeedbackSubmission s = submission(true);
        s.attachFile = path;
        outcome = send(uploader, s);
        EXPECT_FALSE(outcome.success) << path;
        EXPECT_NE(outcome.message.find("cannot be read"), std::string::npos) << outcome.message;
    }
    EXPECT_EQ(logs->count(LogLevel::error), 4u);

    QCoreApplication::processEvents();
    EXPECT_EQ(server.connections, 0);
}

TEST(FeedbackAppFactsTest, EditionFollowsTheStage)
{
    EXPECT_EQ((FeedbackAppFacts{"", "", VDVersion("1.0a")}.edition()), "alpha");
    EXPECT_EQ((FeedbackAppFacts{"", "", VDVersion("1.0b")}.edition()), "beta");
    EXPECT_EQ((FeedbackAppFacts{"", "", VDVersion("1.0rc")}.edition()), "stable");
    EXPECT_EQ((FeedbackAppFacts{"", "", VDVersion("1.0")}.edition()), "stable");
    VDVersion odd;
    odd.vers[4] = 0;
    EXPECT_EQ((FeedbackAppFacts{"", "", odd}.edition()), "stable");
}
