// Bounds one network reply: its body may not grow past a size cap, and the whole request (connecting,
// sending, receiving) must end by a deadline counted from its start. The transfer time-out of Qt measures
// only silence; a server that drips a byte now and then, or sends without end, is stopped here.
//
// When a bound is hit the reply is aborted (its finished() follows, with OperationCanceledError) and
// exceeded() says which bound, in words fit for the user. Lives on the reply's thread, as the reply's child.
#pragma once

#include <QObject>
#include <chrono>
#include <optional>
#include <string>

class QNetworkReply;

namespace vandrel {

class ReplyLimits : public QObject {
public:
    // Watches reply from now on; the returned object belongs to the reply.
    static ReplyLimits* watch(QNetworkReply* reply, qint64 maxBytes, std::chrono::milliseconds deadline);

    // Why the reply was stopped, or none while it keeps to its bounds.
    const std::optional<std::string>& exceeded() const { return exceeded_; }

private:
    ReplyLimits(QNetworkReply* reply, qint64 maxBytes, std::chrono::milliseconds deadline);
    void stop(std::string reason);

    QNetworkReply* const reply_;
    std::optional<std::string> exceeded_;
};

}  // namespace vandrel
