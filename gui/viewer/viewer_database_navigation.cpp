#include "viewer_database.h"

qint64 ViewerDatabase::deepestAt(qint64)
{
    return -1;
}

QString ViewerDatabase::path(qint64)
{
    return QString();
}

qint64 ViewerDatabase::linkTarget(qint64)
{
    return -1;
}
