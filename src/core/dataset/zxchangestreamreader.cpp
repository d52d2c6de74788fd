#include "zxchangestreamreader.h"

#include "zxdataseterror.h"

TZxChangeStreamReader::TZxChangeStreamReader(const QByteArray &stream, const TZxImageLimits &limits)
    : m_reader(stream, limits)
{
    if (m_reader.Kind() != TZxImageKind::Changes)
        throw EZxImageError(QStringLiteral("Ожидался поток изменений, получен образ таблиц"));
}
