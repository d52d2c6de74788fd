#include "zxbase.h"

#include "zxerror.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QUuid>

#include <cmath>

namespace {

bool isTrimmed(QChar c) { return c.unicode() <= 32; }

QString fileNamePart(const QString &path)
{
    qsizetype cut = -1;
    for (qsizetype i = path.size() - 1; i >= 0; --i) {
        const QChar c = path.at(i);
        if (c == u'\\' || c == u'/' || c == u':') {
            cut = i;
            break;
        }
    }
    return path.mid(cut + 1);
}

void appendTerm(QString &clause, const QString &term)
{
    if (!ZxTrim(clause).isEmpty())
        clause += QStringLiteral("and");
    clause += term;
}

// Quotes inside values are doubled so that the server's grammar reads the value whole.
QString quoted(const QString &value)
{
    QString escaped = value;
    escaped.replace(u'\'', QStringLiteral("''"));
    return u'\'' + escaped + u'\'';
}

QDate toDate(const QVariant &value)
{
    if (value.typeId() == QMetaType::QDate)
        return value.toDate();
    if (value.typeId() == QMetaType::QDateTime)
        return value.toDateTime().date();
    const QString text = ZxTrim(value.toString());
    const QString textDate = text.section(u' ', 0, 0);
    for (const char *format : {"d.M.yyyy", "yyyy-M-d", "yyyy.M.d", "d/M/yyyy"}) {
        const QDate date = QDate::fromString(textDate, QLatin1String(format));
        if (date.isValid())
            return date;
    }
    throw EConvertError(QStringLiteral("'%1' не является датой").arg(text));
}

} // namespace

QString ZxTrim(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isTrimmed(text.at(begin)))
        ++begin;
    while (end > begin && isTrimmed(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

QStringList SplitText(const QString &text, const QString &delimiter)
{
    QStringList pieces;
    QString rest = ZxTrim(text);
    while (!ZxTrim(rest).isEmpty()) {
        const qsizetype p = delimiter.isEmpty() ? -1 : rest.indexOf(delimiter);
        if (p >= 0) {
            pieces.append(ZxTrim(rest.left(p)));
            rest = rest.mid(p + 1);
        } else {
            pieces.append(ZxTrim(rest));
            rest.clear();
        }
    }
    return pieces;
}

QString LastPart(const QString &text, const QString &delimiter)
{
    const QStringList pieces = SplitText(text, delimiter);
    return pieces.isEmpty() ? QString() : pieces.last();
}

QString ReplaceAll(const QString &text, const QString &oldText, const QString &newText)
{
    QString result = text;
    return result.replace(oldText, newText, Qt::CaseInsensitive);
}

QString ReplaceChar(const QString &text, QChar oldChar, QChar newChar)
{
    QString result = text;
    return result.replace(oldChar, newChar);
}

double TextToCurr(const QString &text)
{
    QString normal = ZxTrim(text);
    normal.replace(u',', u'.');
    bool ok = false;
    const double value = normal.toDouble(&ok);
    if (!ok || normal.count(u'.') > 1 || !std::isfinite(value))
        throw EConvertError(QStringLiteral("'%1' не является числом").arg(text));
    return std::round(value * 10000.0) / 10000.0;
}

qint64 TextToInt64(const QString &text)
{
    if (ZxTrim(text).isEmpty())
        return 0;
    const auto fail = [&text]() {
        return EConvertError(QStringLiteral("'%1' не является целым числом").arg(text));
    };
    qsizetype i = 0;
    while (i < text.size() && text.at(i) == u' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text.at(i) == u'-' || text.at(i) == u'+')) {
        negative = text.at(i) == u'-';
        ++i;
    }
    int base = 10;
    if (i < text.size() && text.at(i) == u'$') {
        base = 16;
        ++i;
    }
    const QString digits = text.mid(i);
    if (digits.isEmpty())
        throw fail();
    for (QChar c : digits) {
        const bool valid = base == 16 ? std::isxdigit(c.unicode() < 128 ? c.unicode() : 'g')
                                      : (c >= u'0' && c <= u'9');
        if (!valid)
            throw fail();
    }
    bool ok = false;
    const quint64 magnitude = digits.toULongLong(&ok, base);
    const quint64 limit = negative ? quint64(1) << 63 : (quint64(1) << 63) - 1;
    if (!ok || magnitude > limit)
        throw fail();
    return negative ? qint64(0 - magnitude) : qint64(magnitude);
}

QString VarToText(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return {};
    return value.toString();
}

QString TextMD5(const QString &text)
{
    const QString trimmed = ZxTrim(text);
    QByteArray bytes;
    bytes.reserve(trimmed.size());
    for (QChar c : trimmed)
        bytes.append(c.unicode() <= 127 ? char(c.unicode()) : '?');
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}

QString FileMD5(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EInOutError(QStringLiteral("Не удается открыть файл \"%1\": %2")
                              .arg(path, file.errorString()));
    QCryptographicHash hash(QCryptographicHash::Md5);
    if (!hash.addData(&file))
        throw EInOutError(QStringLiteral("Ошибка чтения файла \"%1\": %2")
                              .arg(path, file.errorString()));
    return QString::fromLatin1(hash.result().toHex());
}

QString NewGuidText() { return QUuid::createUuid().toString(QUuid::WithBraces).toUpper(); }

QString NewID() { return TextMD5(NewGuidText()); }

QString AppDir() { return QDir::toNativeSeparators(QCoreApplication::applicationDirPath() + u'/'); }

QString IniFileName()
{
    const QFileInfo program(QCoreApplication::applicationFilePath());
    const QString name = program.fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString base = dot > 0 ? name.left(dot) : name;
    return QDir::toNativeSeparators(program.absolutePath() + u'/' + base + QStringLiteral(".ini"));
}

qint64 FileSizeOf(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() && !info.isDir() ? info.size() : -1;
}

double BytesToMB(qint64 bytes)
{
    // Exact integer arithmetic, so that halves go to the even neighbour reliably.
    constexpr quint64 mb = 1048576;
    const bool negative = bytes < 0;
    const quint64 magnitude = negative ? quint64(0) - quint64(bytes) : quint64(bytes);
    const quint64 whole = magnitude / mb;
    const quint64 scaledRest = (magnitude % mb) * 1000;
    quint64 thousandths = scaledRest / mb;
    const quint64 remainder = scaledRest % mb;
    if (remainder * 2 > mb || (remainder * 2 == mb && thousandths % 2 == 1))
        ++thousandths;
    const double value = double(whole) + double(thousandths) / 1000.0;
    return negative ? -value : value;
}

QString FileNameNoExt(const QString &path)
{
    const QString name = fileNamePart(path);
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? name : name.left(dot);
}

QString FileExtNoDot(const QString &path)
{
    const QString name = fileNamePart(path);
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? QString() : name.mid(dot + 1);
}

void AddWhere(const QString &column, const QString &value, QString &clause, const QString &op)
{
    const QString trimmed = ZxTrim(value);
    if (!trimmed.isEmpty())
        appendTerm(clause, u'(' + column + op + quoted(trimmed) + u')');
}

void AddWhereLike(const QString &column, const QString &value, QString &clause)
{
    const QString trimmed = ZxTrim(value);
    if (!trimmed.isEmpty())
        appendTerm(clause, u'(' + column + QStringLiteral(" Like ") + quoted(u'%' + trimmed + u'%')
                               + u')');
}

void AddWhereValue(const QVariant &column, const QVariant &value, QString &clause,
                   const QString &op)
{
    const QString text = ZxTrim(VarToText(value));
    if (!text.isEmpty())
        appendTerm(clause, u'(' + VarToText(column) + op + text + u')');
}

void AddWhereDate(const QVariant &column, const QVariant &date, QString &clause, const QString &op)
{
    if (ZxTrim(VarToText(date)).isEmpty())
        return;
    const QDate day = toDate(date);
    const QString text = QStringLiteral("%1.%2.%3").arg(day.year()).arg(day.month()).arg(day.day());
    appendTerm(clause, u'(' + VarToText(column) + op + u'\'' + text + u'\'' + u')');
}

void AddWhereRange(const QString &column, const QString &from, const QString &to, QString &clause)
{
    AddWhere(column, from, clause, QStringLiteral(">="));
    AddWhere(column, to, clause, QStringLiteral("<="));
}

void AddWhereValueRange(const QString &column, const QVariant &from, const QVariant &to,
                        QString &clause)
{
    AddWhereValue(column, from, clause, QStringLiteral(">="));
    AddWhereValue(column, to, clause, QStringLiteral("<="));
}

void AddWhereDateRange(const QVariant &column, const QVariant &from, const QVariant &to,
                       QString &clause)
{
    AddWhereDate(column, from, clause, QStringLiteral(">="));
    AddWhereDate(column, to, clause, QStringLiteral("<="));
}

void RunCmd(const QString &command, bool hidden)
{
#ifdef Q_OS_WIN
    QProcess process;
    process.setProgram(QStringLiteral("cmd.exe"));
    process.setNativeArguments(QStringLiteral("/C \"") + command + u'"');
    Q_UNUSED(hidden);
    process.startDetached();
#else
    Q_UNUSED(hidden); // POSIX shells open no window of their own
    QProcess::startDetached(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
#endif
}
