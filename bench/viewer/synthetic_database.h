#pragma once

#include <QSqlDatabase>
#include <QString>

/// The shape of a large element database, laid out like a long Matroska file: a header, then
/// a segment holding many clusters of blocks and one cue table with very many entries.
struct SyntheticShape
{
    int clusters = 13400;
    int blocksPerCluster = 249; ///< plus one Timecode per cluster
    int groupEvery = 10;        ///< every n-th block is a BlockGroup with two children
    int cueEntries = 1000000;
};

/// Builds synthetic element databases with the engine's writer.
class SyntheticDatabase
{
public:
    /// Opens an in-memory connection named name and fills it; null on failure (with *error).
    static QSqlDatabase *create(const QString &name, const SyntheticShape &shape, QString *error);
    /// The id of the cue table (the element with cueEntries children) in a database of shape.
    static qint64 cueTableId(const SyntheticShape &shape);
    /// The id of the segment (the level-0 element that holds the clusters).
    static qint64 segmentId() { return 4; }
};
