#pragma once

#include "zximageformat.h"
#include "zxtable.h"

#include <QByteArray>
#include <QList>

// Several named tables held together, as one image carries them. Table names match
// without regard to case and are unique in a container.
class TZxDatasetContainer
{
public:
    // Throws EZxDatasetError when a table of that name is already held.
    void AddTable(TZxTable table);
    const QList<TZxTable> &Tables() const { return m_tables; }
    // nullptr when absent.
    const TZxTable *FindTable(const QString &name) const;
    // Throws EZxDatasetError naming the tables the container does hold.
    const TZxTable &Table(const QString &name) const;

    // Throws EZxImageError for anything but a well-formed image.
    static TZxDatasetContainer FromImage(const QByteArray &image, const TZxImageLimits &limits = {});
    // Throws EConvertError when a value does not fit its column.
    QByteArray ToImage() const;

private:
    QList<TZxTable> m_tables;
};
