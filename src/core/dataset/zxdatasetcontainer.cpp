#include "zxdatasetcontainer.h"

#include "zxdataseterror.h"
#include "zximagereader.h"
#include "zximagewriter.h"

#include <QStringList>

void TZxDatasetContainer::AddTable(TZxTable table)
{
    if (FindTable(table.Name))
        throw EZxDatasetError(QStringLiteral("Таблица '%1' уже есть в наборе").arg(table.Name));
    m_tables.append(std::move(table));
}

const TZxTable *TZxDatasetContainer::FindTable(const QString &name) const
{
    for (const TZxTable &table : m_tables) {
        if (table.Name.compare(name, Qt::CaseInsensitive) == 0)
            return &table;
    }
    return nullptr;
}

const TZxTable &TZxDatasetContainer::Table(const QString &name) const
{
    if (const TZxTable *table = FindTable(name))
        return *table;
    QStringList names;
    for (const TZxTable &table : m_tables)
        names << table.Name;
    throw EZxDatasetError(QStringLiteral("В образе нет таблицы '%1' (есть: %2)")
                              .arg(name, names.isEmpty() ? QStringLiteral("ни одной") : names.join(QStringLiteral(", "))));
}

TZxDatasetContainer TZxDatasetContainer::FromImage(const QByteArray &image, const TZxImageLimits &limits)
{
    TZxImageReader reader(image, limits);
    if (reader.Kind() != TZxImageKind::Image)
        throw EZxImageError(QStringLiteral("Ожидался образ таблиц, получен поток изменений"));
    TZxDatasetContainer container;
    while (reader.NextTable()) {
        TZxTable table;
        table.Name = reader.TableName();
        table.Fields = reader.Fields();
        QVariantList row;
        while (reader.NextRow(row))
            table.Rows.append(std::move(row));
        container.m_tables.append(std::move(table));
    }
    return container;
}

QByteArray TZxDatasetContainer::ToImage() const
{
    TZxImageWriter writer(TZxImageKind::Image, m_tables.size());
    for (const TZxTable &table : m_tables) {
        writer.BeginTable(table.Name, table.Fields, table.Rows.size());
        for (const QVariantList &row : table.Rows)
            writer.WriteRow(row);
        writer.EndTable();
    }
    return writer.Finish();
}
