// Input: a text. One that starts with "{" is a file-list request record as the client
// sends it: it is decoded like the server does, must survive the client's writer and the
// server's reader unchanged, and its filter and order go to the grammar. Any other text
// goes to the grammar as a filter and as an order. What the grammar accepts, written back
// in the client's form, must read as the same terms.
#include "fuzzsupport.h"

#include "qiraerrors.h"
#include "qirafiltergrammar.h"
#include "qirainfo.h"
#include "zxmess.h"

#include <QDate>
#include <QStringList>

namespace {

using Grammar = TQiraFilterGrammar;
using Kind = TQiraFileCatalog::Kind;

// The decoder reports a text that is not JSON through the message hooks; the default
// responder would log every such input.
class SilentResponder final : public TZxMessageResponder
{
public:
    void errorBox(const QString &) override {}
    void infoBox(const QString &) override {}
    int okCancelBox(const QString &, const QString &) override { return IdCancel; }
    void errorWindow(const QString &, const QString &, const QString &) override {}
    void plainBox(const QString &) override {}
    void uncaughtBox(const QString &) override {}
};

QString quoted(const QString &value)
{
    QString doubled = value;
    doubled.replace(u'\'', QStringLiteral("''"));
    return u'\'' + doubled + u'\'';
}

QString filterText(const QList<Grammar::Term> &terms)
{
    QStringList parts;
    for (const Grammar::Term &term : terms) {
        QString value;
        switch (term.column->kind) {
        case Kind::Text:
            value = quoted(term.op == Grammar::Op::Contains ? u'%' + term.value.toString() + u'%'
                                                            : term.value.toString());
            break;
        case Kind::Integer:
        case Kind::Decimal:
            value = QString::number(term.value.toDouble(), 'g', 17);
            break;
        case Kind::DateTime: {
            const QDate date = term.value.toDate();
            value = quoted(QStringLiteral("%1.%2.%3").arg(date.year()).arg(date.month()).arg(date.day()));
            break;
        }
        }
        const char *op = term.op == Grammar::Op::Equal            ? "="
                         : term.op == Grammar::Op::GreaterOrEqual ? ">="
                         : term.op == Grammar::Op::LessOrEqual    ? "<="
                                                                  : " Like ";
        parts.append(QStringLiteral("(f.%1%2%3)").arg(term.column->column.name, QString::fromLatin1(op), value));
    }
    return parts.join(QStringLiteral(" and "));
}

QString orderText(const QList<Grammar::SortKey> &keys)
{
    QStringList parts;
    for (const Grammar::SortKey &key : keys)
        parts.append(QStringLiteral("f.") + key.column->column.name + (key.descending ? QStringLiteral(" desc") : QString()));
    return parts.join(u',');
}

bool sameTerms(const QList<Grammar::Term> &a, const QList<Grammar::Term> &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (a[i].column != b[i].column || a[i].op != b[i].op || a[i].value != b[i].value)
            return false;
    return true;
}

bool sameKeys(const QList<Grammar::SortKey> &a, const QList<Grammar::SortKey> &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (a[i].column != b[i].column || a[i].descending != b[i].descending)
            return false;
    return true;
}

void checkTerms(const QList<Grammar::Term> &terms)
{
    for (const Grammar::Term &term : terms) {
        if (!term.column || !term.column->filterable)
            fuzzFinding("a term on a column that cannot be filtered");
        const bool typed = term.column->kind == Kind::Text       ? term.value.typeId() == QMetaType::QString
                           : term.column->kind == Kind::DateTime ? term.value.typeId() == QMetaType::QDate
                                                                 : term.value.typeId() == QMetaType::Double;
        if (!typed)
            fuzzFinding("a term's value is not of its column's kind");
    }
}

void parseFilter(const QString &text)
{
    QList<Grammar::Term> terms;
    try {
        terms = Grammar::parseFilter(text);
    } catch (const EQiraRequestError &) {
        return;
    }
    checkTerms(terms);
    const QString written = filterText(terms);
    try {
        if (!sameTerms(Grammar::parseFilter(written), terms))
            fuzzFinding("the filter written back reads differently", written);
    } catch (const EQiraRequestError &error) {
        fuzzFinding("the filter written back is refused", written + u'\n' + error.message());
    }
}

void parseOrder(const QString &text)
{
    QList<Grammar::SortKey> keys;
    try {
        keys = Grammar::parseOrder(text);
    } catch (const EQiraRequestError &) {
        return;
    }
    for (const Grammar::SortKey &key : keys)
        if (!key.column || !key.column->sortable)
            fuzzFinding("a sort key on a column that cannot be sorted");
    const QString written = orderText(keys);
    try {
        if (!sameKeys(Grammar::parseOrder(written), keys))
            fuzzFinding("the order written back reads differently", written);
    } catch (const EQiraRequestError &error) {
        fuzzFinding("the order written back is refused", written + u'\n' + error.message());
    }
}

bool sameRecord(const TQiraFilter &a, const TQiraFilter &b)
{
    return a.TreeID == b.TreeID && a.FileID == b.FileID && a.IsShowDel == b.IsShowDel && a.IsShowAll == b.IsShowAll
           && a.CurrentPage == b.CurrentPage && a.KolRows == b.KolRows && a.IsPreview == b.IsPreview
           && a.IsRecursive == b.IsRecursive && a.order == b.order && a.filter == b.filter;
}

bool validTexts(const TQiraFilter &f)
{
    for (const QString *text : {&f.TreeID, &f.FileID, &f.order, &f.filter})
        if (!QStringView(*text).isValidUtf16())
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static SilentResponder responder;
    SetMessageResponder(&responder);
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    if (text.startsWith(u'{')) {
        const TQiraFilter filter = DecodeQiraFilter(text);
        // A text with an unpaired surrogate never leaves the client: its encoder refuses it.
        if (validTexts(filter) && !sameRecord(DecodeQiraFilter(GetQiraFilterJson(filter)), filter))
            fuzzFinding("the request record does not survive its writer and reader", GetQiraFilterJson(filter));
        parseFilter(filter.filter);
        parseOrder(filter.order);
    } else {
        parseFilter(text);
        parseOrder(text);
    }
    return 0;
}
