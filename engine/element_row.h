#pragma once

#include <QByteArray>
#include <QtGlobal>

/// One row of the elements table as the writer stores it, texts already in UTF-8.
struct ElementRow
{
    qint64 id, parentId, lastChildId, nameId, offset, size, index;
    int level;
    QByteArray value, readable;
};
