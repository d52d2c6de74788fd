#pragma once

#include "qiraserverclass.h"
#include "qiraserverhost.h"
#include "serverfixture.h"
#include "zxconnection.h"
#include "zxdataset.h"
#include "zxstoredproc.h"

#include <QMutex>

#include <functional>
#include <memory>

// The store fixture (an administrator, "user" and "other" of role "2", each with his
// login as password) served by the real server on loopback ephemeral ports, and what a
// client does over the wire: connect, call a method with typed parameters as the
// client's call objects do, load and edit the returned tables.
class MethodsFixture : public ServerFixture
{
public:
    std::unique_ptr<TQiraServerHost> host;

    // The store's own check-in and download stay for setting up.
    using ServerFixture::download;
    using ServerFixture::upload;

    explicit MethodsFixture(TQiraStoreOptions options = {}) : ServerFixture(std::move(options))
    {
        TZxServerOptions serverOptions;
        serverOptions.Address = QHostAddress::LocalHost;
        serverOptions.TcpPort = 0;
        serverOptions.HttpPort = 0;
        host = std::make_unique<TQiraServerHost>(*store, serverOptions, [this](const TZxCallLog &log) {
            QMutexLocker lock(&m_logLock);
            m_log.append(log.Line());
        });
        host->Start();
    }

    ~MethodsFixture() { host->Stop(); }

    QStringList logLines()
    {
        QMutexLocker lock(&m_logLock);
        return m_log;
    }

    static QStringList connectionParams(const QString &login, const QString &password, const QString &transport,
                                        quint16 port)
    {
        return {QStringLiteral("DriverID=DS"), QStringLiteral("Port=") + QString::number(port),
                QStringLiteral("Server=127.0.0.1"),
                transport == QStringLiteral("http") ? QStringLiteral("Protocol=http") : QStringLiteral("Protocol=tcp/ip"),
                QStringLiteral("User_Name=") + login, QStringLiteral("Password=") + TextMD5(password)};
    }

    // A signed-in connection; the password is the login unless given.
    std::unique_ptr<TZxConnection> connect(const QString &login, const QString &transport = QStringLiteral("tcp"),
                                           const QString &password = {})
    {
        auto connection = std::make_unique<TZxConnection>();
        connection->Params() = connectionParams(login, password.isNull() ? login : password, transport,
                                                transport == QStringLiteral("http") ? host->HttpPort() : host->TcpPort());
        connection->SetCallTimeout(60000);
        connection->Open();
        return connection;
    }

    // One remote call of TQiraServerClass, set up by name and typed value as the client
    // sets up its call objects.
    class Call
    {
    public:
        Call(TZxConnection &connection, const QString &method) : m_proc(&connection, QiraMethod(method)) {}

        Call &text(const QString &name, const QString &value, TZxParamDir dir = TZxParamDir::Input)
        {
            m_proc.AddParam(name, TZxParamType::String, dir).SetString(value);
            return *this;
        }
        Call &int32(const QString &name, qint32 value)
        {
            m_proc.AddParam(name, TZxParamType::Int32).SetInteger(value);
            return *this;
        }
        Call &int64(const QString &name, qint64 value)
        {
            m_proc.AddParam(name, TZxParamType::Int64).SetLargeInt(value);
            return *this;
        }
        Call &flag(const QString &name, bool value)
        {
            m_proc.AddParam(name, TZxParamType::Boolean).SetBoolean(value);
            return *this;
        }
        Call &blob(const QString &name, const QByteArray &value, TZxParamDir dir = TZxParamDir::Input)
        {
            m_proc.AddParam(name, TZxParamType::Blob, dir).SetBytes(value);
            return *this;
        }
        Call &run()
        {
            m_proc.Close();
            m_proc.ExecProc();
            return *this;
        }

        const TZxParam &param(const QString &name) { return m_proc.ParamByName(name); }
        QString result() { return param(ZxReturnValueName).AsString(); }
        QByteArray bytes() { return param(ZxReturnValueName).AsBytes(); }
        bool boolean() { return param(ZxReturnValueName).AsBoolean(); }
        bool hasResult() { return m_proc.FindParam(ZxReturnValueName) != nullptr; }

    private:
        TZxStoredProc m_proc;
    };

    // The class name of the failure step raises; "(no exception)" when it succeeds.
    static QString failure(const std::function<void()> &step, QString *message = nullptr)
    {
        try {
            step();
        } catch (const EZxError &error) {
            if (message)
                *message = error.message();
            return error.className();
        }
        return QStringLiteral("(no exception)");
    }

    static QString filterJson(const TQiraFilter &filter) { return GetQiraFilterJson(filter); }

    static QByteArray getFiles(TZxConnection &c, const TQiraFilter &filter,
                               const QString &method = QStringLiteral("GetFiles"))
    {
        return Call(c, method).text(QStringLiteral("QiraFilter"), filterJson(filter)).run().bytes();
    }

    // A dataset loaded from a method's image, named as the client names it.
    static std::unique_ptr<TZxDataset> load(const QByteArray &image, const QString &table)
    {
        auto dataset = std::make_unique<TZxDataset>(table);
        dataset->LoadFromImage(image);
        return dataset;
    }

    static QStringList column(TZxDataset &dataset, const QString &name)
    {
        QStringList values;
        for (int row = 0; row < dataset.RecordCount(); ++row)
            values.append(dataset.RowValue(row, int(dataset.FieldByName(name).Index())).toString());
        return values;
    }

    static void post(TZxConnection &c, const QString &method, const TZxDataset &dataset)
    {
        Call(c, method).blob(QStringLiteral("AStream"), dataset.ChangeStream()).run();
    }

    // The rows of one file as the client loads them for a lock or a check-in.
    static std::unique_ptr<TZxDataset> fileRow(TZxConnection &c, const QString &fileId)
    {
        TQiraFilter filter;
        filter.FileID = fileId;
        filter.KolRows = 1000;
        return load(getFiles(c, filter, QStringLiteral("GetFileList")), QStringLiteral("iqFileList"));
    }

    // Sets columns of one file's row and posts the change the way the client's file-list
    // module does.
    static void editFile(TZxConnection &c, const QString &fileId, const QVariantMap &values,
                         const QString &method = QStringLiteral("StreamPostFileList"))
    {
        auto rows = fileRow(c, fileId);
        if (!rows->Locate(QStringLiteral("fileid"), fileId))
            throw EQiraRequestError(QStringLiteral("the file is not listed"));
        rows->Edit();
        for (auto it = values.begin(); it != values.end(); ++it)
            rows->FieldByName(it.key()).SetValue(it.value());
        rows->Post();
        post(c, method, *rows);
    }

    // The client's check-in over the wire: NewChange, chunks of 10 MiB marked Start,
    // Process and End, EndChange. Returns the last reply of PutBigFileToServer.
    static qint64 upload(TZxConnection &c, const QString &fileId, const QByteArray &bytes, int *calls = nullptr,
                         const QString &md5 = {})
    {
        const QString json = GetQiraHistoryJson(UploadHistoryInfo(fileId, md5.isNull() ? ServerFixture::md5(bytes) : md5,
                                                                   bytes.size()));
        Call(c, QStringLiteral("NewChange")).text(QStringLiteral("FileHistInfo"), json).run();
        constexpr qint64 chunk = 10485760;
        const qint64 size = bytes.size();
        const qint64 n = (size + chunk - 1) / chunk;
        qint64 held = 0;
        for (qint64 i = 0; i < n; ++i) {
            const QString status = i == 0 ? QStringLiteral("Start")
                                   : (i == n - 1 ? QStringLiteral("End") : QStringLiteral("Process"));
            const qint64 from = i * chunk;
            Call put(c, QStringLiteral("PutBigFileToServer"));
            put.text(QStringLiteral("FileID"), fileId)
                .blob(QStringLiteral("Stream"), bytes.mid(from, qMin(chunk, size - from)), TZxParamDir::InputOutput)
                .text(QStringLiteral("FileSize"), QString::number(size))
                .text(QStringLiteral("Status"), status)
                .run();
            held = put.result().toLongLong();
        }
        if (calls)
            *calls = int(n);
        Call(c, QStringLiteral("EndChange")).text(QStringLiteral("FileHistInfo"), json).run();
        return held;
    }

    // The client's download over the wire: GetFileSizeServer, then inclusive ranges of
    // 1 MiB, the first one byte longer.
    static QByteArray download(TZxConnection &c, const QString &fileId, QList<QPair<qint64, qint64>> *ranges = nullptr)
    {
        const qint64 size =
            Call(c, QStringLiteral("GetFileSizeServer")).text(QStringLiteral("FileID"), fileId).run().result().toLongLong();
        constexpr qint64 chunk = 1048576;
        const qint64 n = (size + chunk - 1) / chunk;
        QByteArray bytes;
        for (qint64 i = 0; i < n; ++i) {
            const qint64 from = i * chunk + (i > 0 ? 1 : 0);
            if (from > size)
                break;
            const qint64 to = qMin((i + 1) * chunk, size);
            if (ranges)
                ranges->append({from, to});
            bytes += Call(c, QStringLiteral("GetFilePart"))
                         .text(QStringLiteral("FileID"), fileId)
                         .int64(QStringLiteral("PosFrom"), from)
                         .int64(QStringLiteral("PosTo"), to)
                         .run()
                         .bytes();
        }
        return bytes;
    }

private:
    QMutex m_logLock;
    QStringList m_log;
};
