#pragma once

#include "zxhttpparser.h"
#include "zxremotemessage.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtEndian>

#include <atomic>
#include <functional>
#include <future>
#include <thread>

// A hand-made server for fault injection only: it accepts connections on a loopback
// port on a thread of its own and runs a scripted behaviour on each, with blocking
// socket calls.
class FakeServer
{
public:
    using Behaviour = std::function<void(QTcpSocket &socket, FakeServer &server)>;

    explicit FakeServer(Behaviour behaviour) : m_behaviour(std::move(behaviour))
    {
        std::promise<quint16> bound;
        std::future<quint16> port = bound.get_future();
        m_thread = std::thread([this, &bound] {
            QTcpServer server;
            server.listen(QHostAddress::LocalHost, 0);
            bound.set_value(server.serverPort());
            while (!m_stop) {
                if (!server.waitForNewConnection(20))
                    continue;
                while (QTcpSocket *socket = server.nextPendingConnection()) {
                    m_behaviour(*socket, *this);
                    socket->abort();
                    delete socket;
                }
            }
        });
        m_port = port.get();
    }

    ~FakeServer()
    {
        m_stop = true;
        m_thread.join();
    }

    quint16 port() const { return m_port; }
    bool stopping() const { return m_stop; }

    // Keeps the connection open without answering until the fake is destroyed.
    void hold(QTcpSocket &socket)
    {
        while (!m_stop && socket.state() == QAbstractSocket::ConnectedState)
            socket.waitForReadyRead(20);
    }

    static QByteArray readExactly(QTcpSocket &socket, qint64 count)
    {
        QByteArray out;
        while (out.size() < count) {
            if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(5000))
                return {};
            out += socket.read(count - out.size());
        }
        return out;
    }

    // The next request frame of a TCP client, decoded.
    static TZxRemoteMessage readFrame(QTcpSocket &socket)
    {
        const QByteArray head = readExactly(socket, 4);
        if (head.size() < 4)
            return {};
        return TZxRemoteMessage::Decode(readExactly(socket, qFromBigEndian<quint32>(head.constData())));
    }

    // The next request of an HTTP client, decoded from its body.
    static TZxRemoteMessage readHttp(QTcpSocket &socket)
    {
        TZxHttpParser parser(TZxHttpParser::TMode::Request, 1 << 26);
        while (true) {
            if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(5000))
                return {};
            parser.Append(socket.readAll());
            if (parser.Next() == TZxHttpParser::TStep::Message)
                return TZxRemoteMessage::Decode(parser.Body());
        }
    }

    static void send(QTcpSocket &socket, const QByteArray &bytes)
    {
        socket.write(bytes);
        while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(5000)) {
        }
    }

    static QByteArray connected(quint64 id)
    {
        TZxRemoteMessage reply;
        reply.Kind = TZxMessageKind::Connected;
        reply.Id = id;
        reply.Version = ZxProtocolVersion;
        reply.Session = QStringLiteral("0123456789abcdef0123456789abcdef");
        return reply.Encode();
    }

    static QByteArray frame(const QByteArray &payload)
    {
        QByteArray out(4, '\0');
        qToBigEndian(quint32(payload.size()), out.data());
        return out + payload;
    }

    static QByteArray httpReply(const QByteArray &body, const QByteArray &status = "200 OK",
                                const QByteArray &type = "application/cbor")
    {
        return "HTTP/1.1 " + status + "\r\nContent-Type: " + type + "\r\nContent-Length: "
               + QByteArray::number(body.size()) + "\r\n\r\n" + body;
    }

private:
    Behaviour m_behaviour;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    quint16 m_port = 0;
};
