#include "qirafiltergrammar.h"

#include "qiraerrors.h"

#include <QDate>

#include <cmath>

namespace {

using Term = TQiraFilterGrammar::Term;
using Op = TQiraFilterGrammar::Op;
using Kind = TQiraFileCatalog::Kind;

// Longer than any term the client builds; keeps a hostile text from costing much.
constexpr qsizetype MaxFilterLength = 20000;

bool isSpace(QChar c) { return c.unicode() <= 32; }
bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }
bool isIdentChar(QChar c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || isDigit(c) || c == u'_'; }

class Reader
{
public:
    Reader(const QString &text, const QString &what) : m_text(text), m_what(what) {}

    [[noreturn]] void fail(const QString &reason) const
    {
        const QString near = m_text.mid(m_pos, 30);
        throw EQiraRequestError(QStringLiteral("%1: %2 (позиция %3%4)")
                                    .arg(m_what, reason)
                                    .arg(m_pos + 1)
                                    .arg(near.isEmpty() ? QStringLiteral(", конец текста")
                                                        : QStringLiteral(", текст \"%1\"").arg(near)));
    }

    void skipSpaces()
    {
        while (m_pos < m_text.size() && isSpace(m_text.at(m_pos)))
            ++m_pos;
    }
    bool atEnd() const { return m_pos >= m_text.size(); }
    QChar peek(qsizetype ahead = 0) const
    {
        return m_pos + ahead < m_text.size() ? m_text.at(m_pos + ahead) : QChar();
    }
    bool take(QChar c)
    {
        if (peek() != c)
            return false;
        ++m_pos;
        return true;
    }
    bool takeWord(const QString &word)
    {
        if (m_text.mid(m_pos, word.size()).compare(word, Qt::CaseInsensitive) != 0)
            return false;
        if (isIdentChar(peek(word.size())) && isIdentChar(word.back()))
            return false;
        m_pos += word.size();
        return true;
    }
    void expect(QChar c, const QString &reason)
    {
        if (!take(c))
            fail(reason);
    }

    const TQiraFileCatalog::Entry *column()
    {
        if (!(take(u'f') && take(u'.')))
            fail(QStringLiteral("ожидается столбец вида f.имя"));
        const qsizetype start = m_pos;
        while (isIdentChar(peek()))
            ++m_pos;
        const QString name = m_text.mid(start, m_pos - start);
        if (name.isEmpty())
            fail(QStringLiteral("после \"f.\" нет имени столбца"));
        const TQiraFileCatalog::Entry *entry = TQiraFileCatalog::find(name);
        if (!entry) {
            m_pos = start;
            fail(QStringLiteral("столбец f.%1 не допускается").arg(name));
        }
        return entry;
    }

    QString quoted()
    {
        if (!take(u'\''))
            fail(QStringLiteral("ожидается значение в одинарных кавычках"));
        QString value;
        while (true) {
            if (atEnd())
                fail(QStringLiteral("незакрытая кавычка"));
            const QChar c = m_text.at(m_pos++);
            if (c == u'\'') {
                if (take(u'\''))
                    value += u'\'';
                else
                    return value;
            } else {
                value += c;
            }
        }
    }

    double number()
    {
        const qsizetype start = m_pos;
        QString normal;
        if (peek() == u'-' || peek() == u'+')
            normal += m_text.at(m_pos++);
        qsizetype digits = 0;
        while (isDigit(peek())) {
            normal += m_text.at(m_pos++);
            ++digits;
        }
        if ((peek() == u'.' || peek() == u',') && isDigit(peek(1))) {
            normal += u'.';
            ++m_pos;
            while (isDigit(peek())) {
                normal += m_text.at(m_pos++);
                ++digits;
            }
        }
        if (digits > 0 && (peek() == u'e' || peek() == u'E')) {
            qsizetype ahead = 1;
            if (peek(ahead) == u'+' || peek(ahead) == u'-')
                ++ahead;
            if (isDigit(peek(ahead))) {
                normal += u'e';
                m_pos += 1;
                if (peek() == u'+' || peek() == u'-')
                    normal += m_text.at(m_pos++);
                while (isDigit(peek()))
                    normal += m_text.at(m_pos++);
            }
        }
        bool ok = false;
        const double value = normal.toDouble(&ok);
        if (digits == 0 || !ok || !std::isfinite(value)) {
            m_pos = start;
            fail(QStringLiteral("ожидается число"));
        }
        return value;
    }

    qsizetype pos() const { return m_pos; }
    void setPos(qsizetype pos) { m_pos = pos; }

private:
    const QString &m_text;
    QString m_what;
    qsizetype m_pos = 0;
};

QDate parseDate(const QString &text, bool *ok)
{
    *ok = false;
    const QStringList parts = text.split(u'.');
    if (parts.size() != 3)
        return {};
    int numbers[3] = {};
    for (int i = 0; i < 3; ++i) {
        const QString &p = parts.at(i);
        if (p.isEmpty() || p.size() > (i == 0 ? 4 : 2))
            return {};
        for (QChar c : p)
            if (!isDigit(c))
                return {};
        numbers[i] = p.toInt();
    }
    const QDate date(numbers[0], numbers[1], numbers[2]);
    *ok = date.isValid();
    return date;
}

Term readTerm(Reader &r)
{
    r.skipSpaces();
    r.expect(u'(', QStringLiteral("условие должно начинаться с \"(\""));
    r.skipSpaces();
    Term term;
    term.column = r.column();
    const Kind kind = term.column->kind;
    const QString columnText = QStringLiteral("f.") + term.column->column.name;
    if (!term.column->filterable)
        r.fail(QStringLiteral("по столбцу %1 нельзя фильтровать").arg(columnText));
    r.skipSpaces();
    if (r.take(u'>')) {
        r.expect(u'=', QStringLiteral("после \">\" ожидается \"=\""));
        term.op = Op::GreaterOrEqual;
    } else if (r.take(u'<')) {
        r.expect(u'=', QStringLiteral("после \"<\" ожидается \"=\""));
        term.op = Op::LessOrEqual;
    } else if (r.take(u'=')) {
        term.op = Op::Equal;
    } else if (r.takeWord(QStringLiteral("like"))) {
        term.op = Op::Contains;
    } else {
        r.fail(QStringLiteral("ожидается операция =, >=, <= или Like"));
    }
    r.skipSpaces();
    const qsizetype valueStart = r.pos();
    switch (kind) {
    case Kind::Text: {
        QString value = r.quoted();
        if (term.op == Op::Contains) {
            if (value.size() < 2 || !value.startsWith(u'%') || !value.endsWith(u'%')) {
                r.setPos(valueStart);
                r.fail(QStringLiteral("значение Like должно иметь вид '%текст%'"));
            }
            value = value.mid(1, value.size() - 2);
        }
        term.value = value;
        break;
    }
    case Kind::Integer:
    case Kind::Decimal:
        if (term.op == Op::Equal || term.op == Op::Contains)
            r.fail(QStringLiteral("для числового столбца %1 допустимы только >= и <=").arg(columnText));
        term.value = r.number();
        break;
    case Kind::DateTime: {
        if (term.op == Op::Equal || term.op == Op::Contains)
            r.fail(QStringLiteral("для столбца даты %1 допустимы только >= и <=").arg(columnText));
        const QString text = r.quoted();
        bool ok = false;
        const QDate date = parseDate(text, &ok);
        if (!ok) {
            r.setPos(valueStart);
            r.fail(QStringLiteral("ожидается дата вида 'год.месяц.день'"));
        }
        term.value = date;
        break;
    }
    }
    r.skipSpaces();
    r.expect(u')', QStringLiteral("ожидается \")\""));
    return term;
}

} // namespace

QList<Term> TQiraFilterGrammar::parseFilter(const QString &text)
{
    QList<Term> terms;
    const QString what = QStringLiteral("Недопустимое условие фильтра");
    if (text.size() > MaxFilterLength)
        throw EQiraRequestError(QStringLiteral("%1: текст длиннее %2 знаков").arg(what).arg(MaxFilterLength));
    Reader r(text, what);
    r.skipSpaces();
    if (r.atEnd())
        return terms;
    while (true) {
        terms.append(readTerm(r));
        r.skipSpaces();
        if (r.atEnd())
            break;
        if (!r.takeWord(QStringLiteral("and")))
            r.fail(QStringLiteral("между условиями ожидается \"and\""));
    }
    return terms;
}

QList<TQiraFilterGrammar::SortKey> TQiraFilterGrammar::parseOrder(const QString &text)
{
    QList<SortKey> keys;
    const QString what = QStringLiteral("Недопустимый порядок сортировки");
    if (text.size() > MaxFilterLength)
        throw EQiraRequestError(QStringLiteral("%1: текст длиннее %2 знаков").arg(what).arg(MaxFilterLength));
    Reader r(text, what);
    r.skipSpaces();
    if (r.atEnd())
        return keys;
    while (true) {
        r.skipSpaces();
        SortKey key;
        key.column = r.column();
        if (!key.column->sortable)
            r.fail(QStringLiteral("по столбцу f.%1 нельзя сортировать").arg(key.column->column.name));
        const qsizetype afterColumn = r.pos();
        r.skipSpaces();
        if (r.pos() > afterColumn && r.takeWord(QStringLiteral("desc")))
            key.descending = true;
        for (const SortKey &earlier : keys)
            if (earlier.column == key.column)
                r.fail(QStringLiteral("столбец f.%1 указан дважды").arg(key.column->column.name));
        keys.append(key);
        r.skipSpaces();
        if (r.atEnd())
            break;
        r.expect(u',', QStringLiteral("между столбцами ожидается \",\""));
    }
    return keys;
}
