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
    // A bounded buffer throttles Qt's network thread. Unthrottled, it keeps reading a sender that never pauses
    // and takes neither the abort nor the manager's next request while it does. The throttle stops somewhat
    // short of the size it is given, so the buffer has room for well past the cap. A request with a body starts
    // on the next pass of the event loop and only takes the size given after that.
    const qint64 bufferSize = 2 * maxBytes;
    reply->setReadBufferSize(bufferSize);
    QMetaObject::invokeMethod(
        this, [reply, bufferSize] { reply->setReadBufferSize(bufferSize); }, Qt::QueuedConnection);
    const std::string tooLarge = "the reply is larger than " + sizeText(maxBytes) + " and was stopped";
    connect(reply, &QNetworkReply::downloadProgress, this, [this, maxBytes, tooLarge](qint64, qint64 total) {
        if (total > maxBytes) stop(tooLarge);
    });
    // Progress signals are throttled too, and the chunk that fills the buffer may bring none. The clients read
    // the body once it finished, so what is buffered is what came.
    connect(reply, &QNetworkReply::readyRead, this, [this, reply, maxBytes, tooLarge] {
        if (reply->bytesAvailable() > maxBytes) stop(tooLarge);
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
