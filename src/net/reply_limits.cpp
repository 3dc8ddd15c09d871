#include "net/reply_limits.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <algorithm>
#include <utility>

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

void ReplyLimits::prepare(QNetworkRequest& request)
{
    // Set by the caller, the header also keeps Qt from inflating the body itself.
    request.setRawHeader("Accept-Encoding", "identity");
}

ReplyLimits* ReplyLimits::watch(QNetworkReply* reply, qint64 maxBytes, std::chrono::milliseconds deadline)
{
    return new ReplyLimits(reply, maxBytes, deadline);
}

ReplyLimits::ReplyLimits(QNetworkReply* reply, qint64 maxBytes, std::chrono::milliseconds deadline)
    : QObject(reply), reply_(reply), maxBytes_(maxBytes)
{
    constexpr qint64 kReadAhead = 64 * 1024;
    const qint64 readAhead = std::min(kReadAhead, maxBytes + 1);
    reply->setReadBufferSize(readAhead);
    // A request with a body starts on the event loop's next turn and does not take a size set before then:
    // set again after that start, it reaches the network thread before any reply can.
    QMetaObject::invokeMethod(
        this, [reply, readAhead] { reply->setReadBufferSize(readAhead); }, Qt::QueuedConnection);
    connect(reply, &QNetworkReply::readyRead, this, [this] { take(); });
    // A length announced beyond the cap stops the reply before its body comes.
    connect(reply, &QNetworkReply::downloadProgress, this, [this](qint64, qint64 total) {
        if (total > maxBytes_) stop("the reply is larger than " + sizeText(maxBytes_) + " and was stopped");
    });
    connect(reply, &QNetworkReply::metaDataChanged, this, [this] {
        const QByteArray encoding = reply_->rawHeader("Content-Encoding").trimmed().toLower();
        if (!encoding.isEmpty() && encoding != "identity")
            stop("the reply came compressed, which was not asked for, and was stopped");
    });
    auto* timer = new QTimer(this);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, this,
            [this, deadline] { stop("the server did not finish its reply within " + durationText(deadline)); });
    timer->start(deadline);
}

void ReplyLimits::take()
{
    if (exceeded_ || !reply_->isOpen()) return;
    body_ += reply_->readAll();
    if (body_.size() > maxBytes_) stop("the reply is larger than " + sizeText(maxBytes_) + " and was stopped");
}

QByteArray ReplyLimits::takeBody()
{
    take();
    if (exceeded_) return {};
    return std::exchange(body_, {});
}

void ReplyLimits::stop(std::string reason)
{
    if (exceeded_ || reply_->isFinished()) return;
    exceeded_ = std::move(reason);
    reply_->abort();
}

}  // namespace vandrel
