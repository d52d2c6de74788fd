#include "qirasqldialect.h"

namespace {

// Local time, fixed width, so that text comparison is time order.
const QString StoredFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz");

} // namespace

QVariant TQiraSqlDialect::dateTimeToText(const QDateTime &value)
{
    if (!value.isValid())
        return QVariant(QMetaType(QMetaType::QString));
    return value.toLocalTime().toString(StoredFormat);
}

QDateTime TQiraSqlDialect::dateTimeFromText(const QVariant &value)
{
    if (value.isNull() || !value.isValid())
        return {};
    const QString text = value.toString();
    // The stored form is fixed; reading it by hand is many times quicker than a
    // format parser, which shows on every page of a list.
    const auto digits = [&text](int from, int count, int &out) {
        out = 0;
        for (int i = from; i < from + count; ++i) {
            const QChar c = text.at(i);
            if (c < u'0' || c > u'9')
                return false;
            out = out * 10 + (c.unicode() - u'0');
        }
        return true;
    };
    int y, mo, d, h, mi, sec, ms;
    if (text.size() == 23 && text.at(4) == u'-' && text.at(7) == u'-' && text.at(10) == u' ' && text.at(13) == u':'
        && text.at(16) == u':' && text.at(19) == u'.' && digits(0, 4, y) && digits(5, 2, mo) && digits(8, 2, d)
        && digits(11, 2, h) && digits(14, 2, mi) && digits(17, 2, sec) && digits(20, 3, ms)) {
        const QDateTime parsed(QDate(y, mo, d), QTime(h, mi, sec, ms));
        if (parsed.isValid())
            return parsed;
    }
    QDateTime parsed = QDateTime::fromString(text, StoredFormat);
    if (!parsed.isValid())
        parsed = QDateTime::fromString(text, Qt::ISODateWithMs);
    return parsed;
}
