#pragma once

#include <QString>

class TQiraStore;
class TZxCallContext;
class TZxDispatcher;

// The remote class TQiraServerClass: every method of the document server registered on
// a dispatcher with its typed parameters, each a thin adapter over one call of the
// store. Inputs are decoded (JSON records, change streams), the store is called for the
// connection's signed-in user, and results are encoded (dataset images, decimal texts).
// The store's refusals reach the client with their class names and messages.
class TQiraServerMethods
{
public:
    // protocol names the transport the dispatcher serves ("tcp/ip" or "http"); Hello
    // writes it into the session record.
    TQiraServerMethods(TQiraStore &store, QString protocol);

    void Register(TZxDispatcher &dispatcher);

    // The version the client compares with its own at sign-in.
    static QString Version();

private:
    void hello(TZxCallContext &c);
    void getFiles(TZxCallContext &c, const QString &tableName);
    void getKolRows(TZxCallContext &c);
    void refreshFiles(TZxCallContext &c);
    void putBigFileToServer(TZxCallContext &c);
    void newChange(TZxCallContext &c);
    void endChange(TZxCallContext &c);
    void createPreview(TZxCallContext &c);

    TQiraStore &m_store;
    QString m_protocol;
};
