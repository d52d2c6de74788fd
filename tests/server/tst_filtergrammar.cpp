#include "qiraerrors.h"
#include "qirafiltergrammar.h"
#include "zxbase.h"

#include <QDate>
#include <QTest>

using Op = TQiraFilterGrammar::Op;
Q_DECLARE_METATYPE(QList<QVariant>)

class TestFilterGrammar : public QObject
{
    Q_OBJECT

private slots:
    void acceptsClientTerms_data();
    void acceptsClientTerms();
    void refuses_data();
    void refuses();
    void order_data();
    void order();
    void refusesOrder_data();
    void refusesOrder();
};

// Each accepted case is built with the client's own where-clause routines, so the
// grammar follows whatever they produce.
void TestFilterGrammar::acceptsClientTerms_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("columns");
    QTest::addColumn<QList<int>>("ops");
    QTest::addColumn<QList<QVariant>>("values");

    const auto build = [](auto fill) {
        QString clause;
        fill(clause);
        return clause;
    };
    QTest::newRow("empty") << QString() << QStringList{} << QList<int>{} << QList<QVariant>{};
    QTest::newRow("blank") << QStringLiteral("  \r\n") << QStringList{} << QList<int>{} << QList<QVariant>{};
    QTest::newRow("equal") << build([](QString &c) { AddWhere(QStringLiteral("f.fileid"), QStringLiteral(" abc "), c, QStringLiteral("=")); })
                           << QStringList{"fileid"} << QList<int>{int(Op::Equal)} << QList<QVariant>{QStringLiteral("abc")};
    QTest::newRow("like cyrillic")
        << build([](QString &c) { AddWhereLike(QStringLiteral("f.filename"), QStringLiteral("акт"), c); })
        << QStringList{"filename"} << QList<int>{int(Op::Contains)} << QList<QVariant>{QStringLiteral("акт")};
    QTest::newRow("quotes doubled")
        << build([](QString &c) {
               AddWhere(QStringLiteral("f.fileext"), QStringLiteral("O'Brien"), c, QStringLiteral("="));
               AddWhereLike(QStringLiteral("f.comment_file"), QStringLiteral("д'Артаньян ''"), c);
           })
        << QStringList{"fileext", "comment_file"} << QList<int>{int(Op::Equal), int(Op::Contains)}
        << QList<QVariant>{QStringLiteral("O'Brien"), QStringLiteral("д'Артаньян ''")};
    QTest::newRow("wildcards stay literal")
        << build([](QString &c) { AddWhereLike(QStringLiteral("f.filename"), QStringLiteral("50%_x"), c); })
        << QStringList{"filename"} << QList<int>{int(Op::Contains)} << QList<QVariant>{QStringLiteral("50%_x")};
    QTest::newRow("text range")
        << build([](QString &c) { AddWhereRange(QStringLiteral("f.docn"), QStringLiteral("10"), QStringLiteral("20"), c); })
        << QStringList{"docn", "docn"} << QList<int>{int(Op::GreaterOrEqual), int(Op::LessOrEqual)}
        << QList<QVariant>{QStringLiteral("10"), QStringLiteral("20")};
    QTest::newRow("number range, point")
        << build([](QString &c) { AddWhereValueRange(QStringLiteral("f.sumdoc"), 12.5, 100, c); })
        << QStringList{"sumdoc", "sumdoc"} << QList<int>{int(Op::GreaterOrEqual), int(Op::LessOrEqual)}
        << QList<QVariant>{12.5, 100.0};
    QTest::newRow("number, comma") << QStringLiteral("(f.sumdoc>=12,5)") << QStringList{"sumdoc"}
                                   << QList<int>{int(Op::GreaterOrEqual)} << QList<QVariant>{12.5};
    QTest::newRow("number, exponent")
        << build([](QString &c) { AddWhereValue(QStringLiteral("f.sumdoc"), 1000000.0, c, QStringLiteral("<=")); })
        << QStringList{"sumdoc"} << QList<int>{int(Op::LessOrEqual)} << QList<QVariant>{1000000.0};
    QTest::newRow("negative number") << QStringLiteral("(f.ordnum>=-3)") << QStringList{"ordnum"}
                                     << QList<int>{int(Op::GreaterOrEqual)} << QList<QVariant>{-3.0};
    QTest::newRow("integer range")
        << build([](QString &c) { AddWhereValueRange(QStringLiteral("f.ordnum"), 3, QVariant(), c); })
        << QStringList{"ordnum"} << QList<int>{int(Op::GreaterOrEqual)} << QList<QVariant>{3.0};
    QTest::newRow("date range")
        << build([](QString &c) {
               AddWhereDateRange(QStringLiteral("f.docdate"), QDate(2024, 3, 5), QDate(2024, 12, 31), c);
           })
        << QStringList{"docdate", "docdate"} << QList<int>{int(Op::GreaterOrEqual), int(Op::LessOrEqual)}
        << QList<QVariant>{QDate(2024, 3, 5), QDate(2024, 12, 31)};
    QTest::newRow("dialog example") << QStringLiteral("(f.filename Like '%акт%')and(f.docdate>='2024.3.5')")
                                    << QStringList{"filename", "docdate"}
                                    << QList<int>{int(Op::Contains), int(Op::GreaterOrEqual)}
                                    << QList<QVariant>{QStringLiteral("акт"), QDate(2024, 3, 5)};
    QTest::newRow("every date column")
        << build([](QString &c) {
               for (const char *column : {"f.date_working", "f.datecreate", "f.dateupdate"})
                   AddWhereDate(QString::fromLatin1(column), QDate(2025, 1, 2), c, QStringLiteral("<="));
           })
        << QStringList{"date_working", "datecreate", "dateupdate"}
        << QList<int>{int(Op::LessOrEqual), int(Op::LessOrEqual), int(Op::LessOrEqual)}
        << QList<QVariant>{QDate(2025, 1, 2), QDate(2025, 1, 2), QDate(2025, 1, 2)};
    QTest::newRow("every contains column")
        << build([](QString &c) {
               for (const char *column : {"f.working_user", "f.usercreate", "f.userupdate"})
                   AddWhereLike(QString::fromLatin1(column), QStringLiteral("ivan"), c);
           })
        << QStringList{"working_user", "usercreate", "userupdate"}
        << QList<int>{int(Op::Contains), int(Op::Contains), int(Op::Contains)}
        << QList<QVariant>{QStringLiteral("ivan"), QStringLiteral("ivan"), QStringLiteral("ivan")};
    QTest::newRow("spaces around and") << QStringLiteral(" (f.treeid = 'a') AND (f.md5_file='b') ")
                                       << QStringList{"treeid", "md5_file"}
                                       << QList<int>{int(Op::Equal), int(Op::Equal)}
                                       << QList<QVariant>{QStringLiteral("a"), QStringLiteral("b")};
}

void TestFilterGrammar::acceptsClientTerms()
{
    QFETCH(QString, filter);
    QFETCH(QStringList, columns);
    QFETCH(QList<int>, ops);
    QFETCH(QList<QVariant>, values);
    const QList<TQiraFilterGrammar::Term> terms = TQiraFilterGrammar::parseFilter(filter);
    QCOMPARE(terms.size(), columns.size());
    for (qsizetype i = 0; i < terms.size(); ++i) {
        QCOMPARE(terms.at(i).column->column.name, columns.at(i));
        QCOMPARE(int(terms.at(i).op), ops.at(i));
        QCOMPARE(terms.at(i).value, values.at(i));
    }
}

void TestFilterGrammar::refuses_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("reason");
    QTest::newRow("statement after term") << QStringLiteral("(f.filename='x'); DROP TABLE files") << QStringLiteral("\"and\"");
    QTest::newRow("or") << QStringLiteral("(f.filename='x')or(1=1)") << QStringLiteral("\"and\"");
    QTest::newRow("unknown column") << QStringLiteral("(f.password='x')") << QStringLiteral("f.password не допускается");
    QTest::newRow("internal column") << QStringLiteral("(f.treepath>='1/')") << QStringLiteral("f.treepath не допускается");
    QTest::newRow("column without alias") << QStringLiteral("(filename='x')") << QStringLiteral("f.имя");
    QTest::newRow("line comment") << QStringLiteral("(f.filename='x' --)") << QStringLiteral("\")\"");
    QTest::newRow("block comment") << QStringLiteral("/*c*/(f.filename='x')") << QStringLiteral("\"(\"");
    QTest::newRow("sub-query") << QStringLiteral("(f.filename=(SELECT login FROM users))") << QStringLiteral("кавычках");
    QTest::newRow("unbalanced quote") << QStringLiteral("(f.filename='x)") << QStringLiteral("незакрытая кавычка");
    QTest::newRow("quote breaking out") << QStringLiteral("(f.filename='x' OR '1'='1')") << QStringLiteral("\")\"");
    QTest::newRow("quoted number") << QStringLiteral("(f.sumdoc>='1')") << QStringLiteral("число");
    QTest::newRow("number equality") << QStringLiteral("(f.sumdoc=5)") << QStringLiteral(">= и <=");
    QTest::newRow("expression as number") << QStringLiteral("(f.sumdoc>=1+1)") << QStringLiteral("\")\"");
    QTest::newRow("iso date") << QStringLiteral("(f.docdate>='2024-03-05')") << QStringLiteral("дата");
    QTest::newRow("impossible date") << QStringLiteral("(f.docdate>='2024.2.30')") << QStringLiteral("дата");
    QTest::newRow("like without percent") << QStringLiteral("(f.filename Like 'abc')") << QStringLiteral("%текст%");
    QTest::newRow("like on a number") << QStringLiteral("(f.sumdoc Like '%1%')") << QStringLiteral(">= и <=");
    QTest::newRow("not equal") << QStringLiteral("(f.filename<>'x')") << QStringLiteral("после \"<\" ожидается \"=\"");
    QTest::newRow("no operation") << QStringLiteral("(f.filename 'x')") << QStringLiteral("операция");
    QTest::newRow("greater") << QStringLiteral("(f.ordnum>5)") << QStringLiteral("\"=\"");
    QTest::newRow("dangling and") << QStringLiteral("(f.filename='x')and") << QStringLiteral("\"(\"");
    QTest::newRow("missing close") << QStringLiteral("(f.filename='x'") << QStringLiteral("\")\"");
    QTest::newRow("semicolon only") << QStringLiteral(";") << QStringLiteral("\"(\"");
    QTest::newRow("hostile length") << QString(30000, u'(') << QStringLiteral("длиннее");
}

void TestFilterGrammar::refuses()
{
    QFETCH(QString, filter);
    QFETCH(QString, reason);
    try {
        TQiraFilterGrammar::parseFilter(filter);
        QFAIL("accepted");
    } catch (const EQiraRequestError &e) {
        QVERIFY2(e.message().contains(reason), qPrintable(e.message()));
        QVERIFY(e.message().startsWith(QStringLiteral("Недопустимое условие фильтра")));
    }
}

void TestFilterGrammar::order_data()
{
    QTest::addColumn<QString>("order");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("empty") << QString() << QStringList{};
    QTest::newRow("starting markers") << QStringLiteral("f.filename") << QStringList{"filename"};
    QTest::newRow("two, one descending") << QStringLiteral("f.filename, f.sumdoc desc")
                                         << QStringList{"filename", "sumdoc desc"};
    QTest::newRow("descending first") << QStringLiteral("f.count_history desc, f.docdate")
                                      << QStringList{"count_history desc", "docdate"};
    QTest::newRow("capital DESC") << QStringLiteral("f.ordnum DESC") << QStringList{"ordnum desc"};
}

void TestFilterGrammar::order()
{
    QFETCH(QString, order);
    QFETCH(QStringList, expected);
    QStringList got;
    for (const auto &key : TQiraFilterGrammar::parseOrder(order))
        got.append(key.column->column.name + (key.descending ? QStringLiteral(" desc") : QString()));
    QCOMPARE(got, expected);
}

void TestFilterGrammar::refusesOrder_data()
{
    QTest::addColumn<QString>("order");
    QTest::addColumn<QString>("reason");
    QTest::newRow("statement") << QStringLiteral("f.filename; DROP TABLE files") << QStringLiteral("\",\"");
    QTest::newRow("no alias") << QStringLiteral("filename") << QStringLiteral("f.имя");
    QTest::newRow("unknown") << QStringLiteral("f.nope") << QStringLiteral("f.nope не допускается");
    QTest::newRow("not sortable") << QStringLiteral("f.treeid") << QStringLiteral("нельзя сортировать");
    QTest::newRow("asc is not a client form") << QStringLiteral("f.filename asc") << QStringLiteral("\",\"");
    QTest::newRow("twice") << QStringLiteral("f.filename, f.filename desc") << QStringLiteral("дважды");
    QTest::newRow("expression") << QStringLiteral("f.filename || f.fileext") << QStringLiteral("\",\"");
    QTest::newRow("trailing comma") << QStringLiteral("f.filename,") << QStringLiteral("f.имя");
}

void TestFilterGrammar::refusesOrder()
{
    QFETCH(QString, order);
    QFETCH(QString, reason);
    try {
        TQiraFilterGrammar::parseOrder(order);
        QFAIL("accepted");
    } catch (const EQiraRequestError &e) {
        QVERIFY2(e.message().contains(reason), qPrintable(e.message()));
    }
}

QTEST_GUILESS_MAIN(TestFilterGrammar)
#include "tst_filtergrammar.moc"
