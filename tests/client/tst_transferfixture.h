#pragma once

#include "dmqiraclientdatas.h"
#include "qiraclientview.h"
#include "qiraserverfixture.h"
#include "zxbase.h"
#include "zxdataset.h"
#include "zxremotemessage.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtEndian>

#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <thread>
#include <vector>

// A loopback relay in front of the real server. It decodes every call the client sends
// and every reply, so that tests see exactly what went over the wire; a hook may change
// a reply, or cut the connection instead of answering, to inject a fault the real
// server would never make.
class WireProxy
{
public:
    struct Call
    {
        QString method; // "GetFilePart", without the class
        QList<TZxParam> params;

        const TZxParam *param(const QString &name) const
        {
            for (const TZxParam &p : params)
                if (p.Name().compare(name, Qt::CaseInsensitive) == 0)
                    return &p;
            return nullptr;
        }
        QString text(const QString &name) const { return param(name) ? param(name)->AsString() : QString(); }
        qint64 integer(const QString &name) const { return param(name) ? param(name)->AsLargeInt() : -1; }
        QByteArray bytes(const QString &name) const { return param(name) ? param(name)->AsBytes() : QByteArray(); }
    };
    // Runs on the relay's thread. Returns false to cut the connection instead of
    // passing the reply on.
    using ReplyHook = std::function<bool(const Call &call, TZxRemoteMessage &reply)>;

    explicit WireProxy(quint16 upstreamPort) : m_upstream(upstreamPort)
    {
        std::promise<quint16> bound;
        std::future<quint16> port = bound.get_future();
        m_acceptor = std::thread([this, &bound] { accept(bound); });
        m_port = port.get();
    }

    ~WireProxy()
    {
        m_stop = true;
        m_acceptor.join();
        for (std::thread &relay : m_relays)
            relay.join();
    }

    quint16 port() const { return m_port; }

    QList<Call> calls(const QString &method = {}) const
    {
        QMutexLocker lock(&m_lock);
        if (method.isEmpty())
            return m_calls;
        QList<Call> found;
        for (const Call &call : m_calls)
            if (call.method == method)
                found.append(call);
        return found;
    }
    QStringList methods() const
    {
        QStringList names;
        for (const Call &call : calls())
            names.append(call.method);
        return names;
    }
    void clear()
    {
        QMutexLocker lock(&m_lock);
        m_calls.clear();
    }
    void setReplyHook(ReplyHook hook)
    {
        QMutexLocker lock(&m_lock);
        m_hook = std::move(hook);
    }

    // The reply's "ReturnValue".
    static TZxParam *result(TZxRemoteMessage &reply)
    {
        for (TZxParam &p : reply.Params)
            if (p.Name() == ZxReturnValueName)
                return &p;
        return nullptr;
    }

private:
    class Listener : public QTcpServer
    {
    public:
        std::vector<qintptr> pending;

    protected:
        void incomingConnection(qintptr handle) override { pending.push_back(handle); }
    };

    void accept(std::promise<quint16> &bound)
    {
        Listener listener;
        listener.listen(QHostAddress::LocalHost, 0);
        bound.set_value(listener.serverPort());
        while (!m_stop) {
            listener.waitForNewConnection(20);
            for (qintptr handle : listener.pending)
                m_relays.emplace_back([this, handle] { relay(handle); });
            listener.pending.clear();
        }
    }

    bool readFrame(QTcpSocket &socket, QByteArray &payload)
    {
        const auto readExactly = [this, &socket](qint64 count, QByteArray &out) {
            out.clear();
            while (out.size() < count) {
                if (m_stop || socket.state() != QAbstractSocket::ConnectedState)
                    if (socket.bytesAvailable() == 0)
                        return false;
                if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(20))
                    continue;
                out += socket.read(count - out.size());
            }
            return true;
        };
        QByteArray head;
        if (!readExactly(4, head))
            return false;
        return readExactly(qFromBigEndian<quint32>(head.constData()), payload);
    }

    static void writeFrame(QTcpSocket &socket, const QByteArray &payload)
    {
        QByteArray head(4, '\0');
        qToBigEndian(quint32(payload.size()), head.data());
        socket.write(head + payload);
        while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(5000)) {
        }
    }

    void relay(qintptr handle)
    {
        QTcpSocket client;
        client.setSocketDescriptor(handle);
        QTcpSocket upstream;
        upstream.connectToHost(QHostAddress::LocalHost, m_upstream);
        if (!upstream.waitForConnected(5000))
            return;
        QByteArray request;
        QByteArray reply;
        while (!m_stop && readFrame(client, request)) {
            std::optional<Call> call;
            try {
                const TZxRemoteMessage message = TZxRemoteMessage::Decode(request);
                if (message.Kind == TZxMessageKind::Call) {
                    call = Call{message.Method.section(u'.', -1), message.Params};
                    QMutexLocker lock(&m_lock);
                    m_calls.append(*call);
                }
            } catch (...) {
            }
            writeFrame(upstream, request);
            if (!readFrame(upstream, reply))
                break;
            ReplyHook hook;
            {
                QMutexLocker lock(&m_lock);
                hook = m_hook;
            }
            if (call && hook) {
                TZxRemoteMessage decoded = TZxRemoteMessage::Decode(reply);
                if (!hook(*call, decoded))
                    break;
                reply = decoded.Encode();
            }
            writeFrame(client, reply);
        }
        client.abort();
        upstream.abort();
    }

    quint16 m_upstream;
    quint16 m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_acceptor;
    std::vector<std::thread> m_relays;
    mutable QMutex m_lock;
    QList<Call> m_calls;
    ReplyHook m_hook;
};

// A view that records what the data module shows: the progress panels, the settings
// page request, the error panel.
class RecordingView : public TQiraClientView
{
public:
    void ShowMess(bool visible) override { messVisible = visible; }
    QString SelectedTreeID() const override { return selectedTree; }
    void ShowRepositorySettings() override { ++settingsShown; }
    void ShowFileProgress(bool visible) override
    {
        progressVisible = visible;
        progressShows.append(visible);
    }
    void SetProgressFileName(const QString &text) override { fileName = text; }
    void SetProgressTotalSize(const QString &text) override { totalSize = text; }
    void SetProgressSended(const QString &text) override { sended.append(text); }
    void SetProgressMax(int max) override { progressMax = max; }
    void SetProgressPosition(int position) override { positions.append(position); }

    void clearProgress()
    {
        progressShows.clear();
        sended.clear();
        positions.clear();
        fileName.clear();
        totalSize.clear();
        progressMax = 0;
    }

    bool messVisible = false;
    QString selectedTree;
    int settingsShown = 0;
    bool progressVisible = false;
    QList<bool> progressShows;
    QString fileName;
    QString totalSize;
    QStringList sended;
    int progressMax = 0;
    QList<int> positions;
};

// The real server with an administrator and an ordinary user ("admin"/"admin",
// "user"/"user", role 2), reached through a wire proxy.
class TransferServer
{
public:
    TransferServer() : server(false, fastHashing())
    {
        admin = server.addAdminAndUser();
        proxy = std::make_unique<WireProxy>(server.host->TcpPort());
    }

    static TQiraStoreOptions fastHashing()
    {
        TQiraStoreOptions options;
        options.passwordIterations = 10;
        return options;
    }

    // Connection settings that go through the proxy.
    TConnectDs connectDs(const QString &login, const QString &repository = {}) const
    {
        TConnectDs info = server.connectDs(login, login);
        info.Port = proxy->port();
        info.DirProj = repository;
        return info;
    }

    QString addBranch(const QString &name, const QString &parent = {})
    {
        const QString id = NewID();
        server.store->insertBranch(admin, id, parent, name);
        return id;
    }

    static TQiraRowChange fileRow(const QString &fileId, const QString &branch, const QString &name,
                                  const QString &ext, const QVariantMap &more = {})
    {
        TQiraRowChange row;
        row.state = TQiraRowChange::State::Inserted;
        row.values = {{QStringLiteral("fileid"), fileId},
                      {QStringLiteral("treeid"), branch},
                      {QStringLiteral("filename"), name},
                      {QStringLiteral("fileext"), ext},
                      {QStringLiteral("del"), 0}};
        for (auto it = more.begin(); it != more.end(); ++it)
            row.values.insert(it.key(), it.value());
        return row;
    }

    // A file with content; its identifier.
    QString addFile(const QString &branch, const QString &name, const QString &ext, const QByteArray &content)
    {
        const QString id = NewID();
        server.store->applyFileChanges(admin, {fileRow(id, branch, name, ext)});
        server.store->storeVersion(admin, id, content);
        return id;
    }

    // The stored content of a file, read through the store.
    QByteArray content(const QString &fileId)
    {
        const qint64 size = server.store->fileSize(admin, fileId);
        QByteArray all;
        for (qint64 from = 0; from < size; from += 1 << 24)
            all += server.store->readFilePart(admin, fileId, from, qMin(from + (1 << 24), size) - 1);
        return all;
    }

    QiraServerFixture server;
    TQiraSession admin;
    std::unique_ptr<WireProxy> proxy;
};

inline QByteArray randomBytes(qint64 size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    generator.fillRange(reinterpret_cast<quint32 *>(bytes.data()), int(size / 4));
    for (qint64 i = size / 4 * 4; i < size; ++i)
        bytes[i] = char(generator.generate());
    return bytes;
}

inline QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

inline void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

// Every file under a folder, relative to it.
inline QStringList filesUnder(const QString &folder)
{
    QStringList found;
    QDir dir(folder);
    for (const QFileInfo &info : dir.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden)) {
        if (info.isDir()) {
            for (const QString &inner : filesUnder(info.filePath()))
                found.append(info.fileName() + u'/' + inner);
        } else {
            found.append(info.fileName());
        }
    }
    return found;
}

// The error table's rows, newest first, as "title\ntext".
inline QStringList errorRows(TdmQiraClientDatas &data)
{
    QStringList rows;
    TZxDataset &errors = *data.mtErrors;
    for (int row = 0; row < errors.RecordCount(); ++row)
        rows.append(errors.RowValue(row, errors.FieldByName(QStringLiteral("Title")).Index()).toString() + u'\n'
                    + errors.RowValue(row, errors.FieldByName(QStringLiteral("MessErr")).Index()).toString());
    return rows;
}
