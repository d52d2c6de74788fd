#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class TQiraSqlStore;

// Fills a new store with a demonstration: branches with Russian names a few levels
// deep, a few dozen files of different kinds (texts, pictures, PDF documents), an
// administrator and an ordinary user with grants. The passwords are for the demo only.
class TQiraDemoFiller
{
public:
    struct Account
    {
        QString login;
        QString password; // plain, demo only
        QString role;
    };

    // Fills the store when it holds no user yet; returns the demo accounts, or nothing
    // when the store was not empty.
    static QList<Account> fill(TQiraSqlStore &store);

    // Small valid files, written byte by byte.
    static QByteArray png(int width, int height, quint32 seed);
    static QByteArray bmp(int width, int height, quint32 seed);
    static QByteArray pdf(const QString &title, const QStringList &lines);
};
