#pragma once

#include <QByteArray>
#include <QString>

// The stored form of a password: PBKDF2-HMAC-SHA256 over the MD5 digest that the client
// sends, with a random salt per user and the iteration count kept beside it, so the
// count can grow for new passwords without invalidating old ones.
class TQiraPasswordHash
{
public:
    QByteArray salt;
    QByteArray hash;
    int iterations = 0;

    // A digest is 32 lowercase hexadecimal digits.
    static bool isDigest(const QString &text);
    static TQiraPasswordHash create(const QString &digest, int iterations);
    bool verify(const QString &digest) const;
    bool isEmpty() const { return hash.isEmpty(); }

    static QByteArray pbkdf2Sha256(const QByteArray &password, const QByteArray &salt,
                                   int iterations, int length);
};
