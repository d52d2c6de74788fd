#pragma once

#include <QString>

// One finished request, for the server's log: who, what, how long, and how it ended.
struct TZxCallLog
{
    QString Peer;
    QString Transport;
    QString User;
    QString Method; // "connect", "disconnect", a method name, or empty when unreadable
    qint64 DurationUs = 0;
    bool Ok = false;
    QString ErrorClass;
    QString ErrorMessage;

    // "127.0.0.1:50412 tcp ivanov TQiraServerClass.GetFiles 1.4 ms ok"
    QString Line() const;
};
