#pragma once

#include "qirafilecatalog.h"

#include <QList>
#include <QString>
#include <QVariant>

// Reads the order and filter texts of a file-list request. Only the term forms that the
// client's where-clause builder and sort markers produce are accepted, over the columns
// of the file catalogue; the result is a list of typed terms, never SQL text, so nothing
// a client writes can reach a statement. Anything else throws EQiraRequestError with a
// message that names what was wrong.
//
//   filter := term { "and" term }
//   term   := "(" "f." column op value ")"
//   op     := "=" | ">=" | "<=" | " Like "
//   value  := 'text' (quotes doubled inside) | number | 'year.month.day'
//   order  := "f." column [" desc"] { "," "f." column [" desc"] }
class TQiraFilterGrammar
{
public:
    enum class Op { Equal, GreaterOrEqual, LessOrEqual, Contains };

    struct Term
    {
        const TQiraFileCatalog::Entry *column = nullptr;
        Op op = Op::Equal;
        // QString for text columns (for Contains: the text between the two "%", taken
        // literally), double for numbers, QDate for dates.
        QVariant value;
    };

    struct SortKey
    {
        const TQiraFileCatalog::Entry *column = nullptr;
        bool descending = false;
    };

    static QList<Term> parseFilter(const QString &text);
    static QList<SortKey> parseOrder(const QString &text);
};
