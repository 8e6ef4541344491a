#include "viewer_database.h"

qint64 ViewerDatabase::findNext(const FindQuery &, qint64, bool)
{
    return -1;
}

qint64 ViewerDatabase::countMatches(const FindQuery &, qint64, qint64)
{
    return 0;
}

QList<ViewerDatabase::Problem> ViewerDatabase::problems(int)
{
    return {};
}

qint64 ViewerDatabase::problemCount()
{
    return 0;
}
