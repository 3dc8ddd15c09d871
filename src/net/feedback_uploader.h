// Sends one feedback report as a multipart form POST to "<feedback_apiBase>/api/feedback" and reports
// exactly one outcome.
//
// The form parts, in order: "user", "email", "title", "description", "feedbackType", "attachFile" (when a
// file is attached), "isSendInfos" ("true" or "false"), with diagnostics "systemInfo" (compact JSON) and
// "debugLogFile" (the current debug log), then "appInfo" (compact JSON of "version", "buildVersion",
// "edition" and "userDefaults", the latter "<not send>" without diagnostics). Text parts carry only their
// name; file parts their file name and a MIME type from the extension. An attachment is streamed from its
// file; everything else is built in memory.
//
// Failures, each an outcome rather than a hang or an exception:
//   - no feedback address in the settings, or one that is not an http(s) address: at once, no request, with
//     a message that names the setting;
//   - an attachment that cannot be read: at once, no request, with a message that names it (any file name,
//     also one that is not UTF-8, is opened as it is);
//   - a debug log that cannot be read: the report goes without it (a logged warning);
//   - a server that stops answering: the transfer time-out (60 s by default) ends the request;
//   - a reply larger than 64 KB, or a request not done 60 s after its start: stopped there, with a message;
//   - any reply that is not a JSON object whose "resultCode" is the number 0. The HTTP status is not looked
//     at: a success body is a success whatever the status.
//
// upload() is called on the main thread; the request runs on Qt's network stack there. The outcome is
// delivered on the main queue (never inside upload()). The uploader must outlive the uploads it started.
#pragma once

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QUrl>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "core/vd_version.h"
#include "rx/scheduler.h"

namespace vandrel {

class FeedbackDiagnostics;
class SettingsStore;

// What the user wrote, as typed.
struct FeedbackSubmission {
    std::string user;
    std::string email;
    std::string title;
    std::string description;
    // "bugReport" or "featureRequest".
    std::string feedbackType;
    std::optional<std::filesystem::path> attachFile;
    bool isSendInfos = true;
};

struct FeedbackOutcome {
    bool success = false;
    // For a failure with a reason the user can act on (no address configured); empty otherwise.
    std::string message;
};

// The program facts of the "appInfo" part.
struct FeedbackAppFacts {
    std::string version;
    std::string buildVersion;
    VDVersion vdVersion;

    static FeedbackAppFacts current();
    // "alpha" for stage 10, "beta" for 30, "stable" for every other.
    std::string edition() const;
};

class FeedbackUploader {
public:
    using Completion = std::function<void(const FeedbackOutcome&)>;

    static constexpr const char* apiPath = "/api/feedback";
    static constexpr std::chrono::milliseconds defaultTimeout{60000};
    static constexpr std::chrono::milliseconds defaultDeadline{60000};
    static constexpr qint64 defaultMaxReplyBytes = 64 * 1024;
    static constexpr const char* notSent = "<not send>";

    struct Options {
        // Where feedback_apiBase is read at each upload; Defaults() when null.
        SettingsStore* settings = nullptr;
        // How long the transfer may stall before it fails.
        std::chrono::milliseconds timeout = defaultTimeout;
        // How long the whole request may take, and how large the reply may be.
        std::chrono::milliseconds deadline = defaultDeadline;
        qint64 maxReplyBytes = defaultMaxReplyBytes;
        // Where outcomes are delivered; the main queue when null.
        rx::SchedulerPtr mainQueue;
        // The facts of "appInfo"; AppInfo's when unset.
        std::optional<FeedbackAppFacts> appFacts;
    };

    FeedbackUploader();
    explicit FeedbackUploader(Options options);
    ~FeedbackUploader();
    FeedbackUploader(const FeedbackUploader&) = delete;
    FeedbackUploader& operator=(const FeedbackUploader&) = delete;

    // Starts one upload. Diagnostics are read only when the submission asks for them.
    void upload(const FeedbackSubmission& submission, std::shared_ptr<FeedbackDiagnostics> diagnostics,
                Completion completion);

    // The endpoint under a base address (surrounding blanks and trailing slashes ignored), or the text that
    // tells the user why there is none.
    static std::variant<QUrl, std::string> endpointFor(const std::string& base);
    // True exactly for a JSON object whose "resultCode" is the integer 0.
    static bool isSuccessReply(const QByteArray& body);
    // The "appInfo" JSON, compact.
    static std::string appInfoJson(const FeedbackAppFacts& facts, const std::string& userDefaults);

private:
    void finish(const Completion& completion, FeedbackOutcome outcome);

    Options options_;
    // Owned by the application object (which may go first at exit), deleted with this uploader when still
    // there.
    QPointer<QNetworkAccessManager> network_;
};

}  // namespace vandrel
