#include "net/feedback_uploader.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHttpMultiPart>
#include <QMimeDatabase>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>

#include "core/app_info.h"
#include "core/defaults.h"
#include "core/defaults_keys.h"
#include "core/log.h"
#include "core/main_queue.h"
#include "net/feedback_diagnostics.h"
#include "net/reply_limits.h"

namespace vandrel {

namespace {

constexpr auto kCompactReplace = nlohmann::json::error_handler_t::replace;

// Quoted-string content of a Content-Disposition parameter: a quote, a backslash or a line break in a file name must
// not end the header or start a new one.
QByteArray dispositionParameter(const std::string& value)
{
    QByteArray out;
    for (const char c : value) {
        switch (c) {
            case '"':
                out += "%22";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\r':
                out += "%0D";
                break;
            case '\n':
                out += "%0A";
                break;
            default:
                out += c;
        }
    }
    return out;
}

QByteArray disposition(const char* name, const std::optional<std::string>& fileName = std::nullopt)
{
    QByteArray value = QByteArray("form-data; name=\"") + name + "\"";
    if (fileName) value += "; filename=\"" + dispositionParameter(*fileName) + "\"";
    return value;
}

QHttpPart textPart(const char* name, const std::string& text)
{
    QHttpPart part;
    part.setRawHeader("Content-Disposition", disposition(name));
    part.setBody(QByteArray::fromStdString(text));
    return part;
}

QByteArray mimeTypeFor(const QString& fileName)
{
    const QMimeType type = QMimeDatabase().mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
    return type.isDefault() ? QByteArray("application/octet-stream") : type.name().toUtf8();
}

QHttpPart filePart(const char* name, const std::string& fileName)
{
    QHttpPart part;
    part.setRawHeader("Content-Disposition", disposition(name, fileName));
    part.setRawHeader("Content-Type", mimeTypeFor(QString::fromStdString(fileName)));
    return part;
}

QByteArray newBoundary()
{
    auto* random = QRandomGenerator::global();
    return "vandrel.boundary." + QByteArray::number(random->generate(), 16).rightJustified(8, '0') +
           QByteArray::number(random->generate(), 16).rightJustified(8, '0');
}

// The attachment, opened for streaming; none when it cannot be read.
// Opened by its bytes: a name that is not UTF-8 has no QString that finds the file again.
std::unique_ptr<QFile> openAttachment(const std::filesystem::path& path, std::string& failure)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        failure = "not a readable file";
        return nullptr;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        failure = std::strerror(errno);
        return nullptr;
    }
    auto file = std::make_unique<QFile>();
    if (!file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        failure = file->errorString().toStdString();
        return nullptr;
    }
    return file;
}

// A file name as valid UTF-8 (bytes that are not become U+FFFD), for headers and messages.
std::string readableName(const std::filesystem::path& path)
{
    return QString::fromUtf8(path.filename().native()).toStdString();
}

std::string replyDescription(QNetworkReply* reply, const QByteArray& body)
{
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    std::string text = "status " + (status.isValid() ? std::to_string(status.toInt()) : std::string("none"));
    if (reply->error() != QNetworkReply::NoError) text += ", error: " + reply->errorString().toStdString();
    text += ", body: " + body.left(2000).toStdString();
    return text;
}

}  // namespace

FeedbackAppFacts FeedbackAppFacts::current()
{
    return FeedbackAppFacts{AppInfo::version(), AppInfo::buildVersion(), AppInfo::vdVersion()};
}

std::string FeedbackAppFacts::edition() const
{
    switch (vdVersion.vers[4]) {
        case VDVersion::alpha:
            return "alpha";
        case VDVersion::beta:
            return "beta";
        default:
            return "stable";
    }
}

FeedbackUploader::FeedbackUploader() : FeedbackUploader(Options{}) {}

FeedbackUploader::FeedbackUploader(Options options) : options_(std::move(options))
{
    if (!options_.mainQueue) options_.mainQueue = MainQueue::shared();
}

FeedbackUploader::~FeedbackUploader()
{
    if (network_) network_->deleteLater();
}

std::variant<QUrl, std::string> FeedbackUploader::endpointFor(const std::string& base)
{
    const std::string setting = DefaultsKeys::feedback_apiBase.key();
    QString text = QString::fromStdString(base).trimmed();
    while (text.endsWith('/')) text.chop(1);
    if (text.isEmpty()) {
        return "No feedback address is set. Put the feedback service's address (http:// or https://) in the "
               "setting \"" +
               setting + "\".";
    }
    const QUrl url(text + apiPath, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != "http" && scheme != "https")) {
        return "The feedback address \"" + base + "\" in the setting \"" + setting +
               "\" is not an http:// or https:// address.";
    }
    return url;
}

bool FeedbackUploader::isSuccessReply(const QByteArray& body)
{
    const auto reply = nlohmann::json::parse(body.begin(), body.end(), nullptr, false);
    if (reply.is_discarded() || !reply.is_object()) return false;
    const auto code = reply.find("resultCode");
    if (code == reply.end()) return false;
    if (code->is_number_integer()) return code->get<std::int64_t>() == 0;
    if (code->is_number_unsigned()) return code->get<std::uint64_t>() == 0;
    return false;
}

std::string FeedbackUploader::appInfoJson(const FeedbackAppFacts& facts, const std::string& userDefaults)
{
    const nlohmann::json info = {
        {"version", facts.version},
        {"buildVersion", facts.buildVersion},
        {"edition", facts.edition()},
        {"userDefaults", userDefaults},
    };
    return info.dump(-1, ' ', false, kCompactReplace);
}

void FeedbackUploader::finish(const Completion& completion, FeedbackOutcome outcome)
{
    options_.mainQueue->schedule([completion, outcome = std::move(outcome)] {
        if (completion) completion(outcome);
    });
}

void FeedbackUploader::upload(const FeedbackSubmission& submission, std::shared_ptr<FeedbackDiagnostics> diagnostics,
                              Completion completion)
{
    SettingsStore& settings = options_.settings ? *options_.settings : Defaults();
    const auto endpoint = endpointFor(settings.get(DefaultsKeys::feedback_apiBase));
    if (const auto* reason = std::get_if<std::string>(&endpoint)) {
        log.error("feedback submit fail, error ->", *reason);
        finish(completion, FeedbackOutcome{false, *reason});
        return;
    }

    auto multiPart = std::make_unique<QHttpMultiPart>(QHttpMultiPart::FormDataType);
    const QByteArray boundary = newBoundary();
    multiPart->setBoundary(boundary);
    multiPart->append(textPart("user", submission.user));
    multiPart->append(textPart("email", submission.email));
    multiPart->append(textPart("title", submission.title));
    multiPart->append(textPart("description", submission.description));
    multiPart->append(textPart("feedbackType", submission.feedbackType));

    if (submission.attachFile) {
        std::string failure;
        std::unique_ptr<QFile> file = openAttachment(*submission.attachFile, failure);
        if (!file) {
            log.error("feedback submit fail, the attachment cannot be read ->", failure);
            finish(completion, FeedbackOutcome{false, "The attached file \"" + readableName(*submission.attachFile) +
                                                          "\" cannot be read: " + failure});
            return;
        }
        QHttpPart part = filePart("attachFile", readableName(*submission.attachFile));
        part.setBodyDevice(file.get());
        file.release()->setParent(multiPart.get());
        multiPart->append(part);
    }

    const FeedbackAppFacts facts = options_.appFacts.value_or(FeedbackAppFacts::current());
    std::string userDefaults = notSent;
    multiPart->append(textPart("isSendInfos", submission.isSendInfos ? "true" : "false"));
    if (submission.isSendInfos) {
        if (!diagnostics) diagnostics = std::make_shared<FeedbackDiagnostics>();
        try {
            const std::string systemInfo = diagnostics->systemInfo().dump();
            log.debug("systemInfosJsonStr", systemInfo);
            multiPart->append(textPart("systemInfo", systemInfo));
        } catch (const nlohmann::json::exception& e) {
            log.warning("system facts cannot be written as JSON; the report goes without them ->", e.what());
        }
        // Read whole, now: the log grows while the request is sent.
        QFile logFile(QString::fromStdString(diagnostics->debugLogUrl().string()));
        if (logFile.open(QIODevice::ReadOnly)) {
            QHttpPart part = filePart("debugLogFile", "debug.log");
            part.setBody(logFile.readAll());
            multiPart->append(part);
        } else {
            log.warning("debug log cannot be read; the report goes without it ->",
                        diagnostics->debugLogUrl().string() + ": " + logFile.errorString().toStdString());
        }
        userDefaults = diagnostics->defaultsDebugDescription();
    }
    multiPart->append(textPart("appInfo", appInfoJson(facts, userDefaults)));

    if (!network_) network_ = new QNetworkAccessManager(QCoreApplication::instance());
    QNetworkRequest request(std::get<QUrl>(endpoint));
    request.setTransferTimeout(static_cast<int>(options_.timeout.count()));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("multipart/form-data; boundary=") + boundary);
    ReplyLimits::prepare(request);
    QNetworkReply* reply = network_->post(request, multiPart.get());
    multiPart.release()->setParent(reply);
    ReplyLimits* limits = ReplyLimits::watch(reply, options_.maxReplyBytes, options_.deadline);

    QObject::connect(reply, &QNetworkReply::finished, reply, [this, reply, limits, completion] {
        // An aborted transfer (a time-out, a bound) leaves nothing to read.
        const QByteArray body = limits->takeBody();
        log.debug("feedback response ->", replyDescription(reply, body));
        reply->deleteLater();
        if (const auto& exceeded = limits->exceeded()) {
            log.warning("feedback submit fail ->", *exceeded);
            finish(completion, FeedbackOutcome{false, "The feedback server's reply failed: " + *exceeded});
            return;
        }
        if (isSuccessReply(body)) {
            log.debug("feedback submit success");
            finish(completion, FeedbackOutcome{true, {}});
        } else {
            log.debug("feedback submit success but response a failue result");
            finish(completion, FeedbackOutcome{});
        }
    });
}

}  // namespace vandrel
