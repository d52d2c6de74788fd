#pragma once

#include "zxfielddef.h"

#include <QList>
#include <QString>
#include <QVariantList>

// One named table as plain data: its columns and its rows, each row one value per
// column in column order, nulls as invalid QVariants.
struct TZxTable
{
    QString Name;
    QList<TZxFieldDef> Fields;
    QList<QVariantList> Rows;

    qsizetype FieldIndex(const QString &name) const { return ZxFieldIndex(Fields, name); }
};
