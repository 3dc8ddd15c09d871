#include "net/update_checker.h"

#include <QCoreApplication>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

#include "core/app_info.h"
#include "core/defaults.h"
#include "core/defaults_keys.h"
#include "core/log.h"
#include "core/main_queue.h"
#include "net/reply_limits.h"

namespace vandrel {

UpdateChecker::UpdateChecker() : UpdateChecker(Options{}) {}

UpdateChecker::UpdateChecker(Options options) : options_(std::move(options))
{
    if (!options_.mainQueue) options_.mainQueue = MainQueue::shared();
}

UpdateChecker::~UpdateChecker()
{
    if (network_) network_->deleteLater();
}

UpdateChannel UpdateChecker::channel() const
{
    SettingsStore& settings = options_.settings ? *options_.settings : Defaults();
    return UpdateChannel{settings.get(DefaultsKeys::app_isCheckBetaUpdate),
                         settings.get(DefaultsKeys::app_isCheckAlphaUpdate)};
}

void UpdateChecker::finish(const Completion& completion, UpdateCheckResult result)
{
    deliver(options_.mainQueue, completion, std::move(result));
}

void UpdateChecker::deliver(const rx::SchedulerPtr& mainQueue, const Completion& completion, UpdateCheckResult result)
{
    mainQueue->schedule([completion, result = std::move(result)] {
        if (completion) completion(result);
    });
}

void UpdateChecker::check(const std::optional<std::string>& feedUrl, Completion completion)
{
    if (!feedUrl || feedUrl->empty()) {
        log.info("Update check: no update source configured");
        finish(completion,
               UpdateCheckResult{UpdateCheckResult::Status::noSource, std::nullopt, "no update source configured"});
        return;
    }
    const QUrl url(QString::fromStdString(*feedUrl), QUrl::StrictMode);
    if (!url.isValid() || (url.scheme() != "http" && url.scheme() != "https")) {
        log.warning("Update check: the feed address is not an http(s) address ->", *feedUrl);
        finish(completion, UpdateCheckResult{UpdateCheckResult::Status::noSource, std::nullopt,
                                             "the update source is not an http:// or https:// address"});
        return;
    }

    if (!network_) network_ = new QNetworkAccessManager(QCoreApplication::instance());
    QNetworkRequest request(url);
    request.setTransferTimeout(static_cast<int>(options_.timeout.count()));
    ReplyLimits::prepare(request);
    QNetworkReply* reply = network_->get(request);
    ReplyLimits* limits = ReplyLimits::watch(reply, options_.maxReplyBytes, options_.deadline);
    const VDVersion current = options_.current.value_or(AppInfo::vdVersion());
    const UpdateChannel channel = this->channel();
    log.info("Update check ->", *feedUrl);
    // The reply may finish while the checker goes (at exit): the handler holds nothing of it.
    QObject::connect(
        reply, &QNetworkReply::finished, reply,
        [main = options_.mainQueue, reply, limits, completion, current, channel] {
            const auto finish = [&main](const Completion& done, UpdateCheckResult result) {
                deliver(main, done, std::move(result));
            };
            reply->deleteLater();
            const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
            if (reply->error() != QNetworkReply::NoError || (status.isValid() && status.toInt() / 100 != 2)) {
                std::string reason =
                    limits->exceeded() ? "the update feed could not be read (" + *limits->exceeded() + ")"
                    : reply->error() == QNetworkReply::OperationCanceledError
                        ? std::string("the update server did not answer in time")
                        : "the update feed could not be read (" +
                              (status.isValid() ? "HTTP " + std::to_string(status.toInt()) + ", " : std::string()) +
                              reply->errorString().toStdString() + ")";
                log.warning("Update check failed ->", reason);
                finish(completion,
                       UpdateCheckResult{UpdateCheckResult::Status::failed, std::nullopt, std::move(reason)});
                return;
            }
            auto parsed = Appcast::parse(limits->takeBody());
            if (auto* reason = std::get_if<std::string>(&parsed)) {
                log.warning("Update check failed ->", *reason);
                finish(completion, UpdateCheckResult{UpdateCheckResult::Status::failed, std::nullopt, *reason});
                return;
            }
            auto newest = Appcast::newestUpdate(std::get<std::vector<AppcastItem>>(parsed), current, channel);
            if (!newest) {
                log.info("Update check: up to date ->", current.toString());
                finish(completion, UpdateCheckResult{UpdateCheckResult::Status::upToDate, std::nullopt, {}});
                return;
            }
            log.info("Update check: available ->", newest->version);
            finish(completion, UpdateCheckResult{UpdateCheckResult::Status::updateAvailable, std::move(newest), {}});
        });
}

}  // namespace vandrel
