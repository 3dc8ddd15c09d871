// A feed host for tests on 127.0.0.1: answers every request (once its body is in) with the current status and body, or
// never answers, or sends a body without end, or drips one byte at a time, or says its body is compressed; counts the
// requests and keeps their paths and the encodings they accept.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vandrel::test {

// A 200 reply whose body never ends.
inline void writeEndlessReply(QTcpSocket* socket)
{
    socket->write("HTTP/1.1 200 X\r\nContent-Type: application/octet-stream\r\nConnection: close\r\n\r\n");
    const QByteArray chunk(64 * 1024, 'x');
    QObject::connect(socket, &QTcpSocket::bytesWritten, socket, [socket, chunk] {
        if (socket->state() == QAbstractSocket::ConnectedState && socket->bytesToWrite() < chunk.size())
            socket->write(chunk);
    });
    // Once the client has stopped the reply, the writing ends, so it takes nothing from later requests.
    QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    socket->write(chunk);
}

// A 200 reply of a 1000-byte body that comes one byte per interval.
inline void writeDrippingReply(QTcpSocket* socket, std::chrono::milliseconds interval)
{
    socket->write("HTTP/1.1 200 X\r\nContent-Type: application/json\r\nContent-Length: 1000\r\n\r\n");
    auto* timer = new QTimer(socket);
    QObject::connect(timer, &QTimer::timeout, socket, [socket] { socket->write("x"); });
    timer->start(interval);
    QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
}

class FeedServer {
public:
    FeedServer()
    {
        server_.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection())
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { read(socket); });
        });
    }

    std::string url(const std::string& path = "/app/appcast.xml") const
    {
        return "http://127.0.0.1:" + std::to_string(server_.serverPort()) + path;
    }

    // Every later request gets this reply, whatever was set before.
    void reply(int status, QByteArray body)
    {
        endless_ = false;
        compressed_ = false;
        drip_.reset();
        status_ = status;
        body_ = std::move(body);
    }
    void neverAnswer() { status_.reset(); }
    // A 200 reply whose body never ends.
    void sendEndlessly() { endless_ = true; }
    // A 200 reply of a 1000-byte body that comes one byte per interval.
    void drip(std::chrono::milliseconds interval) { drip_ = interval; }
    // The reply says its body is gzip-compressed, as a small reply inflating to gigabytes would.
    void sendCompressed() { compressed_ = true; }

    std::vector<std::string> paths;
    // The Accept-Encoding header of each request, empty when it had none.
    std::vector<std::string> acceptEncodings;

private:
    void read(QTcpSocket* socket)
    {
        QByteArray& buffer = buffers_[socket];
        buffer += socket->readAll();
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0) return;
        // A request with a body (a form upload) is answered once the whole body is in.
        const qsizetype lengthAt = buffer.toLower().indexOf("\r\ncontent-length:");
        if (lengthAt >= 0 && lengthAt < end) {
            const qsizetype valueAt = lengthAt + 17;
            const qsizetype length =
                buffer.mid(valueAt, buffer.indexOf("\r\n", valueAt) - valueAt).trimmed().toLongLong();
            if (buffer.size() < end + 4 + length) return;
        }
        paths.push_back(buffer.split(' ').value(1).toStdString());
        std::string encoding;
        for (const QByteArray& line : buffer.left(end).split('\n'))
            if (line.toLower().startsWith("accept-encoding:")) encoding = line.mid(16).trimmed().toStdString();
        acceptEncodings.push_back(encoding);
        buffer.clear();
        if (!status_) return;
        if (endless_) return writeEndlessReply(socket);
        if (drip_) return writeDrippingReply(socket, *drip_);
        socket->write("HTTP/1.1 " + QByteArray::number(*status_) + " X\r\nContent-Type: application/xml\r\n" +
                      (compressed_ ? "Content-Encoding: gzip\r\n" : "") +
                      "Content-Length: " + QByteArray::number(body_.size()) + "\r\nConnection: close\r\n\r\n" + body_);
        socket->disconnectFromHost();
    }

    QTcpServer server_;
    std::optional<int> status_ = 200;
    bool endless_ = false;
    bool compressed_ = false;
    std::optional<std::chrono::milliseconds> drip_;
    QByteArray body_;
    std::map<QTcpSocket*, QByteArray> buffers_;
};

}  // namespace vandrel::test
