// Bounds one network reply: its body may not grow past a size cap, and the whole request (connecting,
// sending, receiving) must end by a deadline counted from its start. The transfer time-out of Qt measures
// only silence; a server that drips a byte now and then, or sends without end, is stopped here.
//
// The body is taken as it comes, a buffer's worth at a time: Qt's network thread then never reads more than
// that ahead, so an aborted reply stops there (reading without a limit, that thread can go on draining an
// endless reply and never see the abort). When a bound is hit the reply is aborted (its finished() follows,
// with OperationCanceledError) and exceeded() says which bound, in words fit for the user. Lives on the
// reply's thread, as the reply's child.
//
// The cap holds for the body as the program gets it, not only as it travels: a request prepared here asks
// for no compression (Qt would otherwise ask for it and inflate a small reply into gigabytes out of sight),
// and a reply compressed all the same is stopped as soon as its headers say so.
//
//   QNetworkRequest request(url);
//   ReplyLimits::prepare(request);
//   ReplyLimits* limits = ReplyLimits::watch(network->get(request), maxBytes, deadline);
#pragma once

#include <QByteArray>
#include <QObject>
#include <chrono>
#include <optional>
#include <string>

class QNetworkReply;
class QNetworkRequest;

namespace vandrel {

class ReplyLimits : public QObject {
public:
    // Asks for the body without compression; before the request is sent.
    static void prepare(QNetworkRequest& request);
    // Watches reply from now on; the returned object belongs to the reply.
    static ReplyLimits* watch(QNetworkReply* reply, qint64 maxBytes, std::chrono::milliseconds deadline);

    // Why the reply was stopped, or none while it keeps to its bounds.
    const std::optional<std::string>& exceeded() const { return exceeded_; }

    // The body received (what the reply still holds included), once the reply has finished.
    QByteArray takeBody();

private:
    ReplyLimits(QNetworkReply* reply, qint64 maxBytes, std::chrono::milliseconds deadline);
    void stop(std::string reason);
    void take();

    QNetworkReply* const reply_;
    const qint64 maxBytes_;
    QByteArray body_;
    std::optional<std::string> exceeded_;
};

}  // namespace vandrel
