#pragma once

#include "qirastoretypes.h"
#include "zxfielddef.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

// Turns the store's row sets into dataset images and change streams into the store's
// row changes: the one place where the storage facade meets the wire format.
class TQiraDatasetCodec
{
public:
    static TZxFieldDef fieldDef(const TQiraColumn &column);

    // A dataset image holding the one table.
    static QByteArray image(const TQiraRowSet &set);

    // Every change of a change stream, table by table in stream order. The stream is
    // read whole before anything is returned: a table whose name is not among tables
    // (compared without regard to case) throws EQiraRequestError, malformed bytes
    // EZxImageError, so a caller applies all of it or nothing.
    static QList<TQiraRowChange> changes(const QByteArray &stream, const QStringList &tables);
};
