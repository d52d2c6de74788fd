// The file list, file changes, transfers and versions of TQiraSqlStore.
#include "qirasqlstore.h"
#include "qirasqlstoretransaction.h"

#include "qiracheckinsteps.h"
#include "qiraerrors.h"
#include "qirafilecatalog.h"
#include "qirafiltergrammar.h"
#include "qirapasswordhash.h"
#include "zxbase.h"

#include <QFile>
#include <QHash>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlRecord>

#include <cmath>
#include <limits>

namespace {

constexpr qint64 MaxRowsPerPage = 500000;
// A download asks for 1048577 bytes at most; a little room for other clients.
constexpr qint64 MaxPart = 16 * 1024 * 1024 + 1;

QString likePattern(const QString &text)
{
    QString escaped;
    escaped.reserve(text.size() + 2);
    for (QChar c : text) {
        if (c == u'\\' || c == u'%' || c == u'_')
            escaped += u'\\';
        escaped += c;
    }
    return u'%' + escaped + u'%';
}

bool isZeroDate(const QDateTime &value)
{
    return !value.isValid() || value.date() <= QDate(1899, 12, 30);
}

// One component of a client path: no separators, no device or parent names.
QString safeComponent(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (c.unicode() < 32 || QStringLiteral("\\/:*?\"<>|").contains(c))
            out += u'_';
        else
            out += c;
    }
    out = ZxTrim(out);
    while (out.endsWith(u'.') || out.endsWith(u' '))
        out.chop(1);
    if (out.isEmpty())
        return QStringLiteral("_");
    static const QStringList reserved{QStringLiteral("CON"), QStringLiteral("PRN"), QStringLiteral("AUX"),
                                      QStringLiteral("NUL")};
    const QString stem = out.section(u'.', 0, 0).toUpper();
    if (reserved.contains(stem)
        || ((stem.startsWith(QStringLiteral("COM")) || stem.startsWith(QStringLiteral("LPT"))) && stem.size() == 4
            && stem.at(3).isDigit()))
        out.prepend(u'_');
    return out;
}

} // namespace

std::optional<TQiraSqlStore::FileInfo> TQiraSqlStore::findFile(const QString &fileId)
{
    QSqlQuery query = exec(QStringLiteral("SELECT fileid, treeid, treepath, filename, fileext, usercreate, working_user,"
                                          " content_key, size_bytes, count_history FROM files WHERE fileid = ?"),
                           {fileId});
    if (!query.next())
        return std::nullopt;
    FileInfo f;
    f.fileId = query.value(0).toString();
    f.treeId = query.value(1).toString();
    f.treePath = query.value(2).toString();
    f.fileName = query.value(3).toString();
    f.fileExt = query.value(4).toString();
    f.userCreate = query.value(5).toString();
    f.workingUser = ZxTrim(query.value(6).toString());
    f.contentKey = query.value(7).toString();
    f.sizeBytes = query.value(8).toLongLong();
    f.countHistory = query.value(9).toLongLong();
    return f;
}

TQiraSqlStore::FileInfo TQiraSqlStore::fileOrThrow(const QString &fileId)
{
    const auto file = findFile(ZxTrim(fileId));
    if (!file)
        throw EQiraRequestError(QStringLiteral("Файл \"%1\" не найден").arg(ZxTrim(fileId)));
    return *file;
}

void TQiraSqlStore::requireFileRead(const TQiraSession &session, const FileInfo &file)
{
    const TQiraRights::Flags flags = flagsAt(session, file.treePath);
    if (!flags.readsFiles())
        throw EQiraRightsError(QStringLiteral("Нет права чтения файлов ветви \"%1\"").arg(file.treeId));
    if (flags.rmyfile && file.userCreate != session.login)
        throw EQiraRightsError(QStringLiteral("В ветви \"%1\" Вам доступны только Ваши собственные файлы").arg(file.treeId));
}

void TQiraSqlStore::requireFileWrite(const TQiraSession &session, const FileInfo &file)
{
    const TQiraRights::Flags flags = flagsAt(session, file.treePath);
    if (!flags.wfile)
        throw EQiraRightsError(QStringLiteral("Нет права изменения файлов ветви \"%1\"").arg(file.treeId));
    if (flags.rmyfile && file.userCreate != session.login)
        throw EQiraRightsError(QStringLiteral("В ветви \"%1\" Вам доступны только Ваши собственные файлы").arg(file.treeId));
}

// --- the list ------------------------------------------------------------------------------

TQiraSqlStore::Where TQiraSqlStore::listWhere(const TQiraSession &session, const TQiraFilter &filter)
{
    Where w;
    const QString fileId = ZxTrim(filter.FileID);
    const QString treeId = ZxTrim(filter.TreeID);
    const auto addRanges = [&](const QString &scopeText, const QList<TQiraRights::PathRange> &ranges) {
        const QString scopePath = scopeText.isNull() ? QStringLiteral("") : scopeText;
        const QString scopeEnd = scopePath.isEmpty() ? QStringLiteral("~") : TQiraRights::subtreeEnd(scopePath);
        if (ranges.isEmpty()) {
            w.nothing = true;
            return;
        }
        if (ranges.size() == 1 && ranges.first().from == scopePath && ranges.first().to == scopeEnd
            && !ranges.first().ownOnly)
            return;
        QStringList parts;
        for (const TQiraRights::PathRange &r : ranges) {
            QString part = QStringLiteral("(f.treepath >= ? AND f.treepath < ?");
            w.params << r.from << r.to;
            if (r.ownOnly) {
                part += QStringLiteral(" AND f.usercreate = ?");
                w.params << session.login;
            }
            parts.append(part + u')');
        }
        w.terms.append(u'(' + parts.join(QStringLiteral(" OR ")) + u')');
    };

    if (!fileId.isEmpty()) {
        // One file is found by its key wherever it lives; the branch of the request
        // need not be its own.
        const auto file = findFile(fileId);
        if (!file) {
            w.nothing = true;
            return w;
        }
        requireFileRead(session, *file);
        w.terms.append(QStringLiteral("f.fileid = ?"));
        w.params.append(fileId);
    } else if (filter.IsShowAll || treeId.isEmpty()) {
        w.indexScope = QStringLiteral("a");
        addRanges(QString(), TQiraRights::readableRanges(session, QString(), grantsAround(QString()),
                                                         TQiraRights::defaults(m_options)));
    } else {
        const Branch branch = branchOrThrow(treeId);
        w.indexScope = QStringLiteral("b");
        if (!filter.IsRecursive) {
            const TQiraRights::Flags flags = flagsAt(session, branch.path);
            // A branch the user may not see is named by its id only.
            if (!flags.readsFiles())
                throw EQiraRightsError(QStringLiteral("Нет права чтения файлов ветви \"%1\"")
                                           .arg(flags.rtree ? branch.name : branch.treeId));
            w.terms.append(QStringLiteral("f.treepath = ?"));
            w.params.append(branch.path);
            if (flags.rmyfile) {
                w.terms.append(QStringLiteral("f.usercreate = ?"));
                w.params.append(session.login);
            }
        } else {
            w.terms.append(QStringLiteral("f.treepath >= ? AND f.treepath < ?"));
            w.params << branch.path << TQiraRights::subtreeEnd(branch.path);
            addRanges(branch.path, TQiraRights::readableRanges(session, branch.path, grantsAround(branch.path),
                                                                TQiraRights::defaults(m_options)));
        }
    }
    // Written as a range, not "= 0": an equality makes the planner drop del from the
    // order and then miss that the index's own order (column, del, key) is the one
    // asked for, so it sorts what it could have streamed. del is always 0 or 1.
    if (!filter.IsShowDel)
        w.terms.append(QStringLiteral("f.del < 1"));

    for (const TQiraFilterGrammar::Term &term : TQiraFilterGrammar::parseFilter(filter.filter)) {
        const QString name = QStringLiteral("f.") + term.column->column.name;
        using Op = TQiraFilterGrammar::Op;
        switch (term.column->kind) {
        case TQiraFileCatalog::Kind::Text:
            switch (term.op) {
            case Op::Equal:
                w.terms.append(name + QStringLiteral(" = ?"));
                break;
            case Op::GreaterOrEqual:
                w.terms.append(name + QStringLiteral(" >= ?"));
                break;
            case Op::LessOrEqual:
                w.terms.append(name + QStringLiteral(" <= ?"));
                break;
            case Op::Contains:
                w.terms.append(name + QStringLiteral(" LIKE ? ESCAPE '\\'"));
                break;
            }
            w.params.append(term.op == Op::Contains ? likePattern(term.value.toString()) : term.value.toString());
            break;
        case TQiraFileCatalog::Kind::Integer:
        case TQiraFileCatalog::Kind::Decimal:
            w.terms.append(name + (term.op == Op::GreaterOrEqual ? QStringLiteral(" >= ?") : QStringLiteral(" <= ?")));
            w.params.append(term.value.toDouble());
            break;
        case TQiraFileCatalog::Kind::DateTime: {
            // An upper date bound takes in the whole of its day.
            const QDate day = term.value.toDate();
            if (term.op == Op::GreaterOrEqual) {
                w.terms.append(name + QStringLiteral(" >= ?"));
                w.params.append(toDb(QDateTime(day, QTime(0, 0))));
            } else {
                w.terms.append(name + QStringLiteral(" < ?"));
                w.params.append(toDb(QDateTime(day.addDays(1), QTime(0, 0))));
            }
            break;
        }
        }
    }
    return w;
}

namespace {

struct OrderPlan
{
    QString clause;
    QString firstColumn;
};

OrderPlan orderPlan(const QString &orderText, const QString &indexScope)
{
    QList<TQiraFilterGrammar::SortKey> keys = TQiraFilterGrammar::parseOrder(orderText);
    if (keys.isEmpty())
        keys.append({TQiraFileCatalog::find(QStringLiteral("ordnum")), false});
    const bool descending = keys.first().descending;
    QStringList parts;
    QStringList used;
    for (const auto &key : keys) {
        parts.append(QStringLiteral("f.") + key.column->column.name + (key.descending ? QStringLiteral(" DESC") : QString()));
        used.append(key.column->column.name);
    }
    // The tail makes the order total and equal to the order of the scope's index; after
    // a unique column there is nothing left to order.
    const QString first = keys.first().column->column.name;
    QStringList tail;
    if (first != QStringLiteral("fileid") && first != QStringLiteral("ordnum"))
        tail.append(QStringLiteral("del"));
    if (indexScope == QStringLiteral("a") && first != QStringLiteral("fileid") && first != QStringLiteral("ordnum"))
        tail.append(QStringLiteral("treepath"));
    if (first != QStringLiteral("fileid"))
        tail.append(QStringLiteral("ordnum"));
    for (const QString &column : tail)
        if (!used.contains(column))
            parts.append(QStringLiteral("f.") + column + (descending ? QStringLiteral(" DESC") : QString()));
    return {parts.join(QStringLiteral(", ")), keys.first().column->column.name};
}

QString selectList(bool withPreview)
{
    QStringList names;
    for (const TQiraFileCatalog::Entry &e : TQiraFileCatalog::entries())
        names.append(QStringLiteral("f.") + e.column.name);
    if (withPreview)
        names.append(QStringLiteral("p.blob_pic"));
    return names.join(QStringLiteral(", "));
}

} // namespace

TQiraSqlStore::PageQuery TQiraSqlStore::pageQuery(const TQiraSession &session, const TQiraFilter &filter)
{
    const bool oneFile = !ZxTrim(filter.FileID).isEmpty();
    if (!oneFile && (filter.KolRows < 1 || filter.KolRows > MaxRowsPerPage))
        throw EQiraRequestError(QStringLiteral("Число строк на странице должно быть от 1 до %1, а не %2")
                                    .arg(MaxRowsPerPage)
                                    .arg(filter.KolRows));
    if (!oneFile && filter.CurrentPage < 0)
        throw EQiraRequestError(QStringLiteral("Номер страницы не может быть отрицательным (%1)").arg(filter.CurrentPage));
    if (!oneFile && filter.CurrentPage > std::numeric_limits<qint64>::max() / filter.KolRows)
        throw EQiraRequestError(QStringLiteral("Номер страницы слишком велик (%1)").arg(filter.CurrentPage));
    const Where w = listWhere(session, filter);
    const OrderPlan order = orderPlan(filter.order, w.indexScope);
    PageQuery page;
    page.columns = TQiraFileCatalog::listColumns(filter.IsPreview);
    page.nothing = w.nothing;
    // A single file is one row at most, whatever page the list is on.
    const qint64 rows = oneFile ? 1 : filter.KolRows;
    const qint64 offset = oneFile ? 0 : filter.CurrentPage * filter.KolRows;
    const QString hint = w.indexScope.isEmpty()
                             ? QString()
                             : m_dialect->indexHint(QStringLiteral("files_%1_%2").arg(w.indexScope, order.firstColumn));
    const QString where = w.terms.isEmpty() ? QString() : QStringLiteral(" WHERE ") + w.terms.join(QStringLiteral(" AND "));
    // The page is chosen from the index alone; only its rows are read whole.
    page.sql = QStringLiteral("SELECT %1 FROM files f%2 WHERE f.ordnum IN"
                              " (SELECT f.ordnum FROM files f%3%4 ORDER BY %5 LIMIT ? OFFSET ?)"
                              " ORDER BY %5")
                   .arg(selectList(filter.IsPreview),
                        filter.IsPreview ? QStringLiteral(" LEFT JOIN previews p ON p.fileid = f.fileid") : QString(),
                        hint, where, order.clause);
    page.params = w.params;
    page.params << rows << offset;
    return page;
}

TQiraRowSet TQiraSqlStore::files(const TQiraSession &session, const TQiraFilter &filter, const QString &tableName)
{
    const PageQuery page = pageQuery(session, filter);
    if (page.nothing) {
        TQiraRowSet empty;
        empty.tableName = tableName;
        empty.columns = page.columns;
        return empty;
    }
    QSqlQuery query = exec(page.sql, page.params);
    return readRows(query, tableName, page.columns);
}

QStringList TQiraSqlStore::listPlan(const TQiraSession &session, const TQiraFilter &filter)
{
    const PageQuery page = pageQuery(session, filter);
    QStringList plan;
    if (page.nothing)
        return plan;
    // Not every database prepares EXPLAIN: the values go into the text, quoted by the driver.
    QString sql;
    qsizetype next = 0;
    bool quoted = false;
    for (const QChar c : page.sql) {
        if (c == u'\'')
            quoted = !quoted;
        if (c == u'?' && !quoted && next < page.params.size()) {
            const QVariant &value = page.params.at(next++);
            QSqlField field(QString(), value.metaType());
            field.setValue(value);
            sql += db().driver()->formatValue(field);
        } else {
            sql += c;
        }
    }
    QSqlQuery query(db());
    query.setForwardOnly(true);
    if (!query.exec(m_dialect->explainPrefix() + sql))
        throw EQiraStoreError(QStringLiteral("Ошибка базы данных: %1").arg(query.lastError().text()));
    // Where the plan comes as (id, parent, …, detail) rows, nested steps are indented.
    QHash<int, int> depth;
    while (query.next()) {
        const int columns = query.record().count();
        int level = 0;
        if (columns >= 3) {
            level = depth.value(query.value(1).toInt(), -1) + 1;
            depth.insert(query.value(0).toInt(), level);
        }
        plan.append(QString(level * 2, u' ') + query.value(columns - 1).toString());
    }
    return plan;
}

TQiraFileCount TQiraSqlStore::countFiles(const TQiraSession &session, const TQiraFilter &filter)
{
    const Where w = listWhere(session, filter);
    TQiraFilterGrammar::parseOrder(filter.order); // refused here as in the list itself
    TQiraFileCount count;
    if (w.nothing)
        return count;
    const QString hint = w.indexScope.isEmpty()
                             ? QString()
                             : m_dialect->indexHint(QStringLiteral("files_%1_size_file").arg(w.indexScope));
    const QString where = w.terms.isEmpty() ? QString() : QStringLiteral(" WHERE ") + w.terms.join(QStringLiteral(" AND "));
    QSqlQuery query = exec(QStringLiteral("SELECT COUNT(*), SUM(f.size_file) FROM files f%1%2").arg(hint, where), w.params);
    if (query.next()) {
        count.rows = query.value(0).toLongLong();
        count.totalKb = query.value(1).isNull() ? 0.0 : query.value(1).toDouble();
    }
    return count;
}

// --- changes of the list -----------------------------------------------------------------

namespace {

QVariant textValue(const QVariant &value, const TQiraFileCatalog::Entry &entry)
{
    if (!value.isValid() || value.isNull())
        return QVariant(QMetaType(QMetaType::QString));
    const QString text = value.toString();
    if (entry.column.size > 0 && text.size() > entry.column.size)
        throw EQiraRequestError(QStringLiteral("Значение столбца %1 длиннее %2 знаков").arg(entry.column.name).arg(entry.column.size));
    return text;
}

// A number the list's decimal column (precision 15, scale 3) can show again: a larger
// one would make every later page holding the row fail to encode.
QVariant decimalValue(const QVariant &value, const TQiraFileCatalog::Entry &entry)
{
    if (!value.isValid() || value.isNull())
        return QVariant(QMetaType(QMetaType::Double));
    bool ok = false;
    const double number = value.toDouble(&ok);
    const double bound = std::pow(10.0, entry.column.precision - entry.column.scale);
    if (!ok || !std::isfinite(number) || std::fabs(number) >= bound)
        throw EQiraRequestError(QStringLiteral("Значение столбца %1 должно быть числом меньше %2 по модулю")
                                    .arg(entry.column.name)
                                    .arg(bound, 0, 'g', 16));
    return number;
}

} // namespace

void TQiraSqlStore::applyFileChanges(const TQiraSession &session, const QList<TQiraRowChange> &changes)
{
    Transaction tx(*this);
    for (const TQiraRowChange &change : changes) {
        switch (change.state) {
        case TQiraRowChange::State::Inserted: {
            const QString fileId = ZxTrim(change.newValue(QStringLiteral("fileid")).toString());
            if (!fileId.isEmpty() && findFile(fileId))
                applyFileModify(session, change, fileId); // the same insert sent again
            else
                applyFileInsert(session, change);
            break;
        }
        case TQiraRowChange::State::Modified: {
            QString fileId = ZxTrim(change.originalValue(QStringLiteral("fileid")).toString());
            if (fileId.isEmpty())
                fileId = ZxTrim(change.newValue(QStringLiteral("fileid")).toString());
            applyFileModify(session, change, fileId);
            break;
        }
        case TQiraRowChange::State::Deleted: {
            // Files leave the store only by an administrator's purge; a deleted row
            // marks the file deleted.
            const auto file = findFile(ZxTrim(change.originalValue(QStringLiteral("fileid")).toString()));
            if (!file)
                break;
            requireFileWrite(session, *file);
            exec(QStringLiteral("UPDATE files SET del = 1, userupdate = ?, dateupdate = ? WHERE fileid = ?"),
                 {session.login, toDb(now()), file->fileId});
            break;
        }
        }
    }
    tx.commit();
}

void TQiraSqlStore::applyFileInsert(const TQiraSession &session, const TQiraRowChange &change)
{
    const QString what = QStringLiteral("Добавление файла");
    const QString fileId = ZxTrim(change.newValue(QStringLiteral("fileid")).toString());
    if (fileId.isEmpty())
        throw EQiraRequestError(QStringLiteral("%1: не указан идентификатор файла (fileid)").arg(what));
    if (fileId.size() > 100)
        throw EQiraRequestError(QStringLiteral("%1: идентификатор файла длиннее 100 знаков").arg(what));
    const QString treeId = ZxTrim(change.newValue(QStringLiteral("treeid")).toString());
    if (treeId.isEmpty())
        throw EQiraRequestError(QStringLiteral("%1: не указана ветвь (treeid)").arg(what));
    const Branch branch = branchOrThrow(treeId);
    const TQiraRights::Flags flags = flagsAt(session, branch.path);
    if (!flags.wfile)
        throw EQiraRightsError(QStringLiteral("Нет права добавления файлов в ветвь \"%1\"")
                                   .arg(flags.rtree ? branch.name : branch.treeId));

    QStringList names{QStringLiteral("fileid"), QStringLiteral("treeid"), QStringLiteral("treepath")};
    QVariantList values{fileId, treeId, branch.path};
    for (const TQiraFileCatalog::Entry &e : TQiraFileCatalog::entries()) {
        const QString &name = e.column.name;
        if (!e.clientWritable || name == QStringLiteral("fileid") || name == QStringLiteral("treeid")
            || name == QStringLiteral("working_user") || !change.hasNewValue(name))
            continue;
        const QVariant v = change.newValue(name);
        QVariant stored;
        switch (e.kind) {
        case TQiraFileCatalog::Kind::Text:
            stored = textValue(v, e);
            break;
        case TQiraFileCatalog::Kind::Integer:
            stored = v.isNull() || !v.isValid() ? QVariant(0) : QVariant(v.toLongLong());
            if (name == QStringLiteral("del") && stored.toLongLong() != 0 && stored.toLongLong() != 1)
                throw EQiraRequestError(QStringLiteral("Признак удаления файла должен быть 0 или 1"));
            break;
        case TQiraFileCatalog::Kind::Decimal:
            stored = decimalValue(v, e);
            break;
        case TQiraFileCatalog::Kind::DateTime:
            stored = toDb(v.toDateTime());
            break;
        }
        names.append(name);
        values.append(stored);
    }
    const QDateTime stamp = now();
    names << QStringLiteral("usercreate") << QStringLiteral("datecreate") << QStringLiteral("userupdate")
          << QStringLiteral("dateupdate");
    values << session.login << toDb(stamp) << session.login << toDb(stamp);
    QStringList marks;
    for (qsizetype i = 0; i < names.size(); ++i)
        marks.append(QStringLiteral("?"));
    exec(QStringLiteral("INSERT INTO files (%1) VALUES (%2)").arg(names.join(u','), marks.join(u',')), values);

    const QString holder = ZxTrim(change.newValue(QStringLiteral("working_user")).toString());
    if (!holder.isEmpty())
        changeLock(session, fileOrThrow(fileId), holder);
}

void TQiraSqlStore::applyFileModify(const TQiraSession &session, const TQiraRowChange &change, const QString &fileId)
{
    FileInfo file = fileOrThrow(fileId);
    requireFileWrite(session, file);
    QStringList sets;
    QVariantList values;
    for (const TQiraFileCatalog::Entry &e : TQiraFileCatalog::entries()) {
        const QString &name = e.column.name;
        if (!e.clientWritable || name == QStringLiteral("fileid") || name == QStringLiteral("working_user")
            || !change.changes(name))
            continue;
        const QVariant v = change.newValue(name);
        if (name == QStringLiteral("treeid")) {
            const QString target = ZxTrim(v.toString());
            if (target == file.treeId)
                continue;
            const Branch branch = branchOrThrow(target);
            const TQiraRights::Flags flags = flagsAt(session, branch.path);
            if (!flags.wfile)
                throw EQiraRightsError(QStringLiteral("Нет права добавления файлов в ветвь \"%1\"")
                                           .arg(flags.rtree ? branch.name : branch.treeId));
            sets << QStringLiteral("treeid = ?") << QStringLiteral("treepath = ?");
            values << target << branch.path;
            continue;
        }
        QVariant stored;
        switch (e.kind) {
        case TQiraFileCatalog::Kind::Text:
            stored = textValue(v, e);
            break;
        case TQiraFileCatalog::Kind::Integer:
            stored = v.isNull() || !v.isValid() ? QVariant(0) : QVariant(v.toLongLong());
            if (name == QStringLiteral("del") && stored.toLongLong() != 0 && stored.toLongLong() != 1)
                throw EQiraRequestError(QStringLiteral("Признак удаления файла должен быть 0 или 1"));
            break;
        case TQiraFileCatalog::Kind::Decimal:
            stored = decimalValue(v, e);
            break;
        case TQiraFileCatalog::Kind::DateTime:
            stored = toDb(v.toDateTime());
            break;
        }
        sets.append(name + QStringLiteral(" = ?"));
        values.append(stored);
    }
    sets << QStringLiteral("userupdate = ?") << QStringLiteral("dateupdate = ?");
    values << session.login << toDb(now());
    values.append(file.fileId);
    exec(QStringLiteral("UPDATE files SET %1 WHERE fileid = ?").arg(sets.join(QStringLiteral(", "))), values);
    if (change.changes(QStringLiteral("working_user")))
        changeLock(session, file, change.newValue(QStringLiteral("working_user")));
}

void TQiraSqlStore::changeLock(const TQiraSession &session, const FileInfo &file, const QVariant &holderValue)
{
    const QString holder = ZxTrim(holderValue.isNull() ? QString() : holderValue.toString());
    const QString freeOrMine = QStringLiteral("(working_user IS NULL OR working_user = '' OR working_user = ?)");
    const auto currentHolder = [&]() {
        const auto now = findFile(file.fileId);
        return now ? now->workingUser : QString();
    };
    if (!holder.isEmpty()) {
        if (holder != session.login)
            throw EQiraLockError(QStringLiteral("Взять файл в работу можно только на себя (%1), а не на %2")
                                     .arg(session.login, holder));
        const QVariant stamp = toDb(now());
        QSqlQuery update = exec(QStringLiteral("UPDATE files SET date_working = CASE WHEN working_user = ? THEN date_working"
                                               " ELSE ? END, working_user = ? WHERE fileid = ? AND ")
                                    + freeOrMine,
                                {holder, stamp, holder, file.fileId, holder});
        if (update.numRowsAffected() < 1)
            throw EQiraLockError(QStringLiteral("Внимание! Файл уже взят на работу пользователем %1!").arg(currentHolder()));
        return;
    }
    QSqlQuery update = session.isAdmin()
                           ? exec(QStringLiteral("UPDATE files SET working_user = NULL, date_working = NULL WHERE fileid = ?"),
                                  {file.fileId})
                           : exec(QStringLiteral("UPDATE files SET working_user = NULL, date_working = NULL"
                                                 " WHERE fileid = ? AND ")
                                      + freeOrMine,
                                  {file.fileId, session.login});
    if (update.numRowsAffected() < 1)
        throw EQiraLockError(QStringLiteral("Данный файл взят в работу другим пользователем (%1)! Операция отменена.")
                                 .arg(currentHolder()));
}

void TQiraSqlStore::purgeFile(const TQiraSession &session, const QString &fileId)
{
    requireAdmin(session, QStringLiteral("Физическое удаление файла"));
    Transaction tx(*this);
    const FileInfo file = fileOrThrow(fileId);
    QStringList keys;
    QSqlQuery used = exec(QStringLiteral("SELECT DISTINCT content_key FROM versions WHERE fileid = ?"), {file.fileId});
    while (used.next())
        keys.append(used.value(0).toString());
    exec(QStringLiteral("DELETE FROM versions WHERE fileid = ?"), {file.fileId});
    exec(QStringLiteral("DELETE FROM previews WHERE fileid = ?"), {file.fileId});
    exec(QStringLiteral("DELETE FROM files WHERE fileid = ?"), {file.fileId});
    tx.commit();
    removeContentsIfUnused(keys);
}

// --- names and transfer --------------------------------------------------------------------

QString TQiraSqlStore::clientFileName(const TQiraSession &session, const QString &fileId)
{
    const FileInfo file = fileOrThrow(fileId);
    requireFileRead(session, file);
    const QStringList paths = TQiraRights::pathAndAncestors(file.treePath);
    QStringList marks;
    QVariantList params;
    for (const QString &p : paths) {
        marks.append(QStringLiteral("?"));
        params.append(p);
    }
    QMap<int, QString> byDepth;
    if (!paths.isEmpty()) {
        QSqlQuery query = exec(QStringLiteral("SELECT treename, treepath FROM branches WHERE treepath IN (%1)").arg(marks.join(u',')),
                               params);
        while (query.next())
            byDepth.insert(int(query.value(1).toString().size()), safeComponent(query.value(0).toString()));
    }
    QStringList parts = byDepth.values();
    const QString ext = ZxTrim(file.fileExt);
    parts.append(safeComponent(file.fileName + (ext.isEmpty() ? QString() : u'.' + ext)));
    return parts.join(u'\\');
}

QString TQiraSqlStore::serverFileName(const TQiraSession &session, const QString &fileId, bool raiseWhenMissing)
{
    const FileInfo file = fileOrThrow(fileId);
    requireFileRead(session, file);
    if (file.contentKey.isEmpty() || !m_content.contains(file.contentKey)) {
        if (raiseWhenMissing)
            throw EQiraRequestError(QStringLiteral("У файла \"%1\" нет сохраненного содержимого").arg(file.fileId));
        return {};
    }
    return QStringLiteral("content/") + file.contentKey.left(2) + u'/' + file.contentKey;
}

qint64 TQiraSqlStore::fileSize(const TQiraSession &session, const QString &fileId)
{
    const FileInfo file = fileOrThrow(fileId);
    requireFileRead(session, file);
    return file.contentKey.isEmpty() ? 0 : file.sizeBytes;
}

QByteArray TQiraSqlStore::readFilePart(const TQiraSession &session, const QString &fileId, qint64 from, qint64 to)
{
    const FileInfo file = fileOrThrow(fileId);
    requireFileRead(session, file);
    if (from < 0 || to < 0)
        throw EQiraRequestError(QStringLiteral("Недопустимый диапазон байт %1–%2").arg(from).arg(to));
    if (to >= from && to - from >= MaxPart) // no +1: from 0 to the largest number would overflow
        throw EQiraRequestError(QStringLiteral("Запрошено больше %1 байт за один вызов").arg(MaxPart));
    if (file.contentKey.isEmpty() || to < from)
        return {};
    return m_content.read(file.contentKey, from, to);
}

std::unique_ptr<TQiraUpload> TQiraSqlStore::newUpload() const
{
    return std::make_unique<TQiraUpload>(m_content.tempDir());
}

namespace {

void requireFreeOrMine(const QString &holder, const TQiraSession &session)
{
    if (!holder.isEmpty() && holder != session.login)
        throw EQiraLockError(QStringLiteral("Данный файл взят работу другим пользователем (%1)! Операция отменена.").arg(holder));
}

} // namespace

qint64 TQiraSqlStore::putChunk(const TQiraSession &session, TQiraUpload &upload, const QString &fileId,
                               const QByteArray &chunk, qint64 declaredSize, const QString &status)
{
    const FileInfo file = fileOrThrow(fileId);
    requireFileWrite(session, file);
    requireFreeOrMine(file.workingUser, session);
    return upload.put(file.fileId, chunk, declaredSize, status);
}

void TQiraSqlStore::beginChange(const TQiraSession &session, TQiraUpload &upload, const TQiraHistoryInfo &info)
{
    const FileInfo file = fileOrThrow(info.fileid);
    requireFileWrite(session, file);
    requireFreeOrMine(file.workingUser, session);
    if (ZxTrim(info.histid).isEmpty() || info.histid.size() > 100)
        throw EQiraRequestError(QStringLiteral("Не указан идентификатор версии (histid)"));
    TQiraHistoryInfo opened = info;
    opened.fileid = file.fileId;
    QiraCheckInSteps::reach(TQiraCheckInStep::ChangeOpen);
    upload.openChange(opened);
}

TQiraHistoryInfo TQiraSqlStore::endChange(const TQiraSession &session, TQiraUpload &upload, const TQiraHistoryInfo &info)
{
    const QString fileId = ZxTrim(info.fileid);
    const auto opened = upload.change(fileId);
    upload.closeChange(fileId);
    QiraCheckInSteps::reach(TQiraCheckInStep::UploadTake);
    std::optional<TQiraUpload::Finished> received = upload.take(fileId);
    // Whatever happens below, the temporary file does not outlive this call.
    struct TempGuard
    {
        QString path;
        ~TempGuard()
        {
            if (!path.isEmpty())
                QFile::remove(path);
        }
    } guard{received ? received->tempPath : QString()};

    if (!opened || opened->histid != info.histid)
        throw EQiraRequestError(QStringLiteral("Изменение файла \"%1\" не было начато (нет NewChange с этим histid)").arg(fileId));
    if (info.size_file < 0)
        throw EQiraRequestError(QStringLiteral("Файл не найден у клиента; версия не записана"));
    if (info.size_file != std::floor(info.size_file) || info.size_file > 9.0e15)
        throw EQiraRequestError(QStringLiteral("Недопустимый размер файла %1").arg(info.size_file));
    const qint64 expected = qint64(info.size_file);
    const QString md5 = info.md5_file.toLower();
    if (!TQiraPasswordHash::isDigest(md5))
        throw EQiraRequestError(QStringLiteral("MD5 файла должен состоять из 32 шестнадцатеричных цифр, а не \"%1\"").arg(info.md5_file));
    if (!received) {
        if (expected != 0)
            throw EQiraRequestError(QStringLiteral("Содержимое файла не получено (ожидалось %1 байт); версия не записана").arg(expected));
        TQiraUpload::Finished empty;
        empty.tempPath = m_content.newTempPath(QStringLiteral("empty"));
        QFile file(empty.tempPath);
        if (!file.open(QIODevice::WriteOnly))
            throw EQiraStoreError(QStringLiteral("Не удается создать временный файл"));
        file.close();
        empty.md5 = QString::fromLatin1(QCryptographicHash::hash({}, QCryptographicHash::Md5).toHex());
        empty.sha256 = TQiraContentStore::keyOf({});
        received = empty;
        guard.path = empty.tempPath;
    }
    if (received->size != expected)
        throw EQiraRequestError(QStringLiteral("Размер полученного содержимого (%1 байт) не совпадает с размером файла (%2 байт); версия не записана")
                                    .arg(received->size)
                                    .arg(expected));
    if (received->md5 != md5)
        throw EQiraRequestError(QStringLiteral("MD5 полученного содержимого (%1) не совпадает с MD5 файла (%2); версия не записана")
                                    .arg(received->md5, md5));
    const QString tempPath = received->tempPath;
    bool placedNew = false;
    try {
        const TQiraHistoryInfo recorded =
            recordVersion(session, fileId, info, received->sha256, received->size, md5, [&]() {
                placedNew = m_content.commit(tempPath, received->sha256);
                guard.path.clear();
            });
        QiraCheckInSteps::reach(TQiraCheckInStep::Reply);
        return recorded;
    } catch (...) {
        if (placedNew)
            dropContentIfUnused(received->sha256);
        throw;
    }
}

TQiraHistoryInfo TQiraSqlStore::recordVersion(const TQiraSession &session, const QString &fileId,
                                              const TQiraHistoryInfo &info, const QString &key, qint64 sizeBytes,
                                              const QString &md5, const std::function<void()> &placeContent)
{
    Transaction tx(*this);
    QiraCheckInSteps::reach(TQiraCheckInStep::VersionBegin);
    const FileInfo file = fileOrThrow(fileId);
    requireFileWrite(session, file);
    requireFreeOrMine(file.workingUser, session);
    QSqlQuery seen = exec(QStringLiteral("SELECT COUNT(*) FROM versions WHERE histid = ?"), {info.histid});
    if (seen.next() && seen.value(0).toLongLong() > 0)
        throw EQiraRequestError(QStringLiteral("Версия \"%1\" уже записана").arg(info.histid));
    QSqlQuery last = exec(QStringLiteral("SELECT MAX(ordnum) FROM versions WHERE fileid = ?"), {file.fileId});
    const qint64 ordnum = (last.next() && !last.value(0).isNull() ? last.value(0).toLongLong() : 0) + 1;
    // In place before the transaction that points at it commits.
    placeContent();
    TQiraHistoryInfo recorded = info;
    recorded.fileid = file.fileId;
    recorded.ordnum = ordnum;
    recorded.datecreate = now();
    recorded.usercreate = session.login;
    recorded.md5_file = md5;
    recorded.size_file = std::round(double(sizeBytes) / 1024.0 * 1000.0) / 1000.0;
    const QVariant fileCreated = isZeroDate(info.file_datecreate) ? toDb(QDateTime()) : toDb(info.file_datecreate);
    const QVariant fileUpdated = isZeroDate(info.file_dateupdate) ? toDb(QDateTime()) : toDb(info.file_dateupdate);
    QiraCheckInSteps::check(TQiraCheckInStep::VersionInsert);
    exec(QStringLiteral("INSERT INTO versions (histid, fileid, ordnum, usercreate, datecreate, md5_file, size_file,"
                        " size_bytes, content_key, file_datecreate, file_dateupdate) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
         {info.histid, file.fileId, ordnum, session.login, toDb(recorded.datecreate), md5, recorded.size_file, sizeBytes,
          key, fileCreated, fileUpdated});
    QiraCheckInSteps::check(TQiraCheckInStep::FileUpdate);
    exec(QStringLiteral("UPDATE files SET md5_file = ?, size_file = ?, size_bytes = ?, content_key = ?, count_history = ?,"
                        " working_user = NULL, date_working = NULL, userupdate = ?, dateupdate = ?,"
                        " file_datecreate = COALESCE(?, file_datecreate), file_dateupdate = COALESCE(?, file_dateupdate)"
                        " WHERE fileid = ?"),
         {md5, recorded.size_file, sizeBytes, key, ordnum, session.login, toDb(recorded.datecreate), fileCreated,
          fileUpdated, file.fileId});
    // The preview showed the version before.
    exec(QStringLiteral("DELETE FROM previews WHERE fileid = ?"), {file.fileId});
    QiraCheckInSteps::check(TQiraCheckInStep::VersionCommit);
    tx.commit();
    return recorded;
}

void TQiraSqlStore::storeVersion(const TQiraSession &session, const QString &fileId, const QByteArray &bytes)
{
    const QString key = m_content.put(bytes);
    TQiraHistoryInfo info = UploadHistoryInfo(fileId, {}, bytes.size());
    const QString md5 = QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
    recordVersion(session, fileId, info, key, bytes.size(), md5, []() {});
}

// --- history and previews ------------------------------------------------------------------

TQiraRowSet TQiraSqlStore::history(const TQiraSession &session, const QString &fileId)
{
    const FileInfo file = fileOrThrow(fileId);
    requireFileRead(session, file);
    QList<TQiraColumn> columns;
    const auto add = [&columns](const char *name, TQiraColumnType type, int size = 0) {
        TQiraColumn c;
        c.name = QString::fromLatin1(name);
        c.type = type;
        c.size = size;
        c.readOnly = true;
        columns.append(c);
    };
    add("histid", TQiraColumnType::Text, 100);
    add("fileid", TQiraColumnType::Text, 100);
    add("ordnum", TQiraColumnType::Int64);
    add("usercreate", TQiraColumnType::Text, 200);
    add("datecreate", TQiraColumnType::DateTime);
    TQiraColumn size;
    size.name = QStringLiteral("size_file");
    size.type = TQiraColumnType::Decimal;
    size.precision = 15;
    size.scale = 3;
    size.readOnly = true;
    columns.append(size);
    add("md5_file", TQiraColumnType::Text, 100);
    add("file_datecreate", TQiraColumnType::DateTime);
    add("file_dateupdate", TQiraColumnType::DateTime);
    columns.first().key = true;
    columns.first().nullable = false;
    QSqlQuery query = exec(QStringLiteral("SELECT histid, fileid, ordnum, usercreate, datecreate, size_file, md5_file,"
                                          " file_datecreate, file_dateupdate FROM versions WHERE fileid = ? ORDER BY ordnum"),
                           {file.fileId});
    return readRows(query, QStringLiteral("iqHistory"), columns);
}

TQiraFileContent TQiraSqlStore::currentContent(const TQiraSession &session, const QString &fileId)
{
    const FileInfo file = fileOrThrow(fileId);
    requireFileRead(session, file);
    return {file.fileId, file.contentKey, file.sizeBytes};
}

QString TQiraSqlStore::contentPath(const TQiraFileContent &content) const { return m_content.pathOf(content.contentKey); }

void TQiraSqlStore::setPreview(const TQiraSession &session, const QString &fileId, const QByteArray &png)
{
    Transaction tx(*this);
    const FileInfo file = fileOrThrow(fileId);
    requireFileRead(session, file);
    exec(QStringLiteral("DELETE FROM previews WHERE fileid = ?"), {file.fileId});
    exec(QStringLiteral("INSERT INTO previews (fileid, blob_pic, datecreate) VALUES (?, ?, ?)"),
         {file.fileId, png, toDb(now())});
    tx.commit();
}
