// A feed host for tests on 127.0.0.1: answers every GET with the current status and body, or never
// answers; counts the requests and keeps their paths.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vandrel::test {

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

    void reply(int status, QByteArray body)
    {
        status_ = status;
        body_ = std::move(body);
    }
    void neverAnswer() { status_.reset(); }

    std::vector<std::string> paths;

private:
    void read(QTcpSocket* socket)
    {
        QByteArray& buffer = buffers_[socket];
        buffer += socket->readAll();
        if (buffer.indexOf("\r\n\r\n") < 0) return;
        paths.push_back(buffer.split(' ').value(1).toStdString());
        buffer.clear();
        if (!status_) return;
        socket->write("HTTP/1.1 " + QByteArray::number(*status_) + " X\r\nContent-Type: application/xml\r\n" +
                      "Content-Length: " + QByteArray::number(body_.size()) + "\r\nConnection: close\r\n\r\n" + body_);
        socket->disconnectFromHost();
    }

    QTcpServer server_;
    std::optional<int> status_ = 200;
    QByteArray body_;
    std::map<QTcpSocket*, QByteArray> buffers_;
};

}  // namespace vandrel::test
