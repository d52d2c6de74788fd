#include "zxjsonwriter.h"

#include <QLocale>

TZxJsonWriter::TZxJsonWriter(Layout layout, int depth) : m_layout(layout), m_depth(depth) {}

QString TZxJsonWriter::quote(const QString &text)
{
    QString out;
    out.reserve(text.size() + 2);
    out += u'"';
    for (QChar c : text) {
        switch (c.unicode()) {
        case '"': out += QStringLiteral("\\\""); break;
        case '\\': out += QStringLiteral("\\\\"); break;
        case '\b': out += QStringLiteral("\\b"); break;
        case '\f': out += QStringLiteral("\\f"); break;
        case '\n': out += QStringLiteral("\\n"); break;
        case '\r': out += QStringLiteral("\\r"); break;
        case '\t': out += QStringLiteral("\\t"); break;
        default:
            if (c.unicode() < 0x20)
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    out += u'"';
    return out;
}

void TZxJsonWriter::addRaw(const QString &name, const QString &jsonValue)
{
    if (!m_empty)
        m_members += u',';
    if (m_layout == Layout::Indented)
        m_members += u'\n' + QString((m_depth + 1) * 4, u' ');
    m_members += quote(name) + (m_layout == Layout::Indented ? QStringLiteral(": ") : QStringLiteral(":"))
                 + jsonValue;
    m_empty = false;
}

void TZxJsonWriter::addString(const QString &name, const QString &value) { addRaw(name, quote(value)); }

void TZxJsonWriter::addBool(const QString &name, bool value)
{
    addRaw(name, value ? QStringLiteral("true") : QStringLiteral("false"));
}

void TZxJsonWriter::addInteger(const QString &name, qint64 value)
{
    addRaw(name, QString::number(value));
}

void TZxJsonWriter::addNumber(const QString &name, double value)
{
    addRaw(name, QString::number(value, 'g', QLocale::FloatingPointShortest));
}

void TZxJsonWriter::addObject(const QString &name, const TZxJsonWriter &object)
{
    addRaw(name, object.text());
}

QString TZxJsonWriter::text() const
{
    if (m_empty)
        return QStringLiteral("{}");
    if (m_layout == Layout::Compact)
        return u'{' + m_members + u'}';
    return u'{' + m_members + u'\n' + QString(m_depth * 4, u' ') + u'}';
}
