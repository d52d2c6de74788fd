#include "qirapasswordhash.h"

#include <QMessageAuthenticationCode>
#include <QRandomGenerator>

namespace {

constexpr int HashLength = 32;
constexpr int SaltLength = 16;

bool constantTimeEqual(const QByteArray &a, const QByteArray &b)
{
    if (a.size() != b.size())
        return false;
    unsigned char diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a.at(i) ^ b.at(i));
    return diff == 0;
}

} // namespace

bool TQiraPasswordHash::isDigest(const QString &text)
{
    if (text.size() != 32)
        return false;
    for (QChar c : text)
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f')))
            return false;
    return true;
}

QByteArray TQiraPasswordHash::pbkdf2Sha256(const QByteArray &password, const QByteArray &salt,
                                           int iterations, int length)
{
    QByteArray result;
    QMessageAuthenticationCode mac(QCryptographicHash::Sha256, password);
    for (quint32 block = 1; result.size() < length; ++block) {
        QByteArray index(4, '\0');
        index[0] = char((block >> 24) & 0xff);
        index[1] = char((block >> 16) & 0xff);
        index[2] = char((block >> 8) & 0xff);
        index[3] = char(block & 0xff);
        mac.reset();
        mac.addData(salt);
        mac.addData(index);
        QByteArray u = mac.result();
        QByteArray t = u;
        for (int i = 1; i < iterations; ++i) {
            mac.reset();
            mac.addData(u);
            u = mac.result();
            for (qsizetype j = 0; j < t.size(); ++j)
                t[j] = char(t.at(j) ^ u.at(j));
        }
        result += t;
    }
    return result.left(length);
}

TQiraPasswordHash TQiraPasswordHash::create(const QString &digest, int iterations)
{
    TQiraPasswordHash stored;
    stored.iterations = qMax(1, iterations);
    stored.salt.resize(SaltLength);
    QRandomGenerator *random = QRandomGenerator::system();
    for (qsizetype i = 0; i < stored.salt.size(); ++i)
        stored.salt[i] = char(random->bounded(256));
    stored.hash = pbkdf2Sha256(digest.toLatin1(), stored.salt, stored.iterations, HashLength);
    return stored;
}

bool TQiraPasswordHash::verify(const QString &digest) const
{
    if (hash.isEmpty() || iterations < 1 || !isDigest(digest))
        return false;
    return constantTimeEqual(pbkdf2Sha256(digest.toLatin1(), salt, iterations, int(hash.size())), hash);
}
