// One check of the update feed: fetches the feed, reads it (Appcast) and compares its newest release of the
// user's channel with the running version. Exactly one outcome per check, delivered on the main queue
// (never inside check()):
//
//   - no feed address: noSource at once, no request;
//   - a reply that is not 2xx, a network error, or a server that stops answering (the transfer time-out,
//     30 s by default): failed, with the reason;
//   - a feed larger than 1 MB, or a request not done 30 s after its start (a server that drips): stopped
//     there and failed, with the reason;
//   - a document that is not a feed: failed, with the reason;
//   - otherwise updateAvailable with the item, or upToDate.
//
// The channel comes from the settings app_isCheckBetaUpdate and app_isCheckAlphaUpdate at each check.
// check() is called on the main thread; the checker must outlive the checks it started.
#pragma once

#include <QNetworkAccessManager>
#include <QPointer>
#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "core/vd_version.h"
#include "net/appcast.h"
#include "rx/scheduler.h"

namespace vandrel {

class SettingsStore;

struct UpdateCheckResult {
    enum class Status { upToDate, updateAvailable, noSource, failed };
    Status status = Status::failed;
    // The release to get (updateAvailable).
    std::optional<AppcastItem> item;
    // Why there is no answer (noSource, failed).
    std::string reason;
};

class UpdateChecker {
public:
    using Completion = std::function<void(const UpdateCheckResult&)>;

    static constexpr std::chrono::milliseconds defaultTimeout{30000};
    static constexpr std::chrono::milliseconds defaultDeadline{30000};
    static constexpr qint64 defaultMaxReplyBytes = 1024 * 1024;

    struct Options {
        std::chrono::milliseconds timeout = defaultTimeout;
        // How long the whole request may take, and how large the feed may be.
        std::chrono::milliseconds deadline = defaultDeadline;
        qint64 maxReplyBytes = defaultMaxReplyBytes;
        // Where outcomes are delivered; the main queue when null.
        rx::SchedulerPtr mainQueue;
        // The running version; AppInfo's when unset.
        std::optional<VDVersion> current;
        // Where the channel settings are read; Defaults() when null.
        SettingsStore* settings = nullptr;
    };

    UpdateChecker();
    explicit UpdateChecker(Options options);
    ~UpdateChecker();
    UpdateChecker(const UpdateChecker&) = delete;
    UpdateChecker& operator=(const UpdateChecker&) = delete;

    void check(const std::optional<std::string>& feedUrl, Completion completion);

    UpdateChannel channel() const;

private:
    void finish(const Completion& completion, UpdateCheckResult result);
    static void deliver(const rx::SchedulerPtr& mainQueue, const Completion& completion, UpdateCheckResult result);

    Options options_;
    // Owned by the application object (which may go first at exit), deleted with this checker when still
    // there.
    QPointer<QNetworkAccessManager> network_;
};

}  // namespace vandrel
