#include "net/reply_limits.h"

#include <QNetworkReply>
#include <QTimer>

namespace vandrel {

namespace {

std::string sizeText(qint64 bytes)
{
    if (bytes >= 1024 * 1024 && bytes % (1024 * 1024) == 0) return std::to_string(bytes / (1024 * 1024)) + " MB";
    if (bytes >= 1024 && bytes % 1024 == 0) return std::to_string(bytes / 1024) + " KB";
    return std::to_string(bytes) + " bytes";
}

std::string durationText(std::chrono::milliseconds duration)
{
    if (duration.count() % 1000 == 0) return std::to_string(duration.count() / 1000) + " s";
    return std::to_string(duration.count()) + " ms";
}

}  // namespace

ReplyLimits* ReplyLimits::watch(QNetworkReply* reply, qint64 maxBytes, std::chrono::milliseconds deadline)
{
    return new ReplyLimits(reply, maxBytes, deadline);
}

ReplyLimits::ReplyLimits(QNetworkReply* reply, qint64 maxBytes, std::chrono::milliseconds deadline)
    : QObject(reply), reply_(reply)
{
    connect(reply, &QNetworkReply::downloadProgress, this, [this, maxBytes](qint64 received, qint64 total) {
        if (received > maxBytes || total > maxBytes)
            stop("the reply is larger than " + sizeText(maxBytes) + " and was stopped");
    });
    auto* timer = new QTimer(this);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, this,
            [this, deadline] { stop("the server did not finish its reply within " + durationText(deadline)); });
    timer->start(deadline);
}

void ReplyLimits::stop(std::string reason)
{
    if (exceeded_ || reply_->isFinished()) return;
    exceeded_ = std::move(reason);
    reply_->abort();
}

}  // namespace vandrel
