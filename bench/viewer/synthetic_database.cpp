#include "synthetic_database.h"

#include "element_database_writer.h"

#include <QSqlDriver>
#include <QVariant>

#include <sqlite3.h>

namespace {

sqlite3 *sqliteHandle(const QSqlDatabase &db)
{
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(handle.constData());
}

// Writes elements in id order; each element's subtree size must be known when it is written.
class Emitter
{
public:
    explicit Emitter(ElementSink &sink) : m_sink(sink) {}

    qint64 nextId() const { return m_next; }

    qint64 add(int level, qint64 parent, qint64 lastChild, const QString &name, const QString &value,
                qint64 index = -1)
    {
        ElementRecord record;
        record.id = m_next++;
        record.level = level;
        record.parentId = parent;
        record.lastChildId = lastChild;
        record.name = name;
        record.offset = m_offset * 8;
        record.size = 64;
        record.value = value;
        record.index = index;
        m_offset += 8;
        m_sink.element(record);
        return record.id;
    }

private:
    ElementSink &m_sink;
    qint64 m_next = 1;
    qint64 m_offset = 0;
};

qint64 clusterSize(const SyntheticShape &shape)
{
    const qint64 groups = shape.groupEvery > 0 ? shape.blocksPerCluster / shape.groupEvery : 0;
    return 1 + 1 + shape.blocksPerCluster + 2 * groups;
}

} // namespace

qint64 SyntheticDatabase::cueTableId(const SyntheticShape &shape)
{
    // EBML (1) with two children, Segment (4), Tracks (5) with one TrackEntry (6), clusters.
    return 7 + qint64(shape.clusters) * clusterSize(shape);
}

QSqlDatabase *SyntheticDatabase::create(const QString &name, const SyntheticShape &shape, QString *error)
{
    auto *db = new QSqlDatabase(QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name));
    db->setDatabaseName(QStringLiteral(":memory:"));
    sqlite3 *handle = db->open() ? sqliteHandle(*db) : nullptr;
    bool written = handle && ElementDatabaseWriter::createSchema(handle, error);
    if (written) {
        ElementDatabaseWriter writer(handle);
        Emitter out(writer);
        out.add(0, 0, 3, QStringLiteral("EBML"), QString());
        out.add(1, 1, 0, QStringLiteral("DocType"), QStringLiteral("matroska"));
        out.add(1, 1, 0, QStringLiteral("DocTypeVersion"), QStringLiteral("4"));
        const qint64 cues = cueTableId(shape);
        const qint64 segment = out.add(0, 0, cues, QStringLiteral("Segment"), QString());
        const qint64 tracks = out.add(1, segment, 6, QStringLiteral("Tracks"), QString());
        out.add(2, tracks, 0, QStringLiteral("TrackEntry"), QString());
        qint64 block = 0;
        for (int c = 0; c < shape.clusters; ++c) {
            const qint64 cluster = out.nextId();
            const qint64 end = cluster + clusterSize(shape) - 1;
            const int lastBlock = shape.blocksPerCluster - 1;
            const bool endsInGroup = shape.groupEvery > 0 && lastBlock % shape.groupEvery == shape.groupEvery - 1;
            out.add(1, segment, endsInGroup ? end - 2 : end, QStringLiteral("Cluster"), QString());
            out.add(2, cluster, 0, QStringLiteral("Timecode"), QString::number(c * 1000));
            for (int b = 0; b < shape.blocksPerCluster; ++b, ++block) {
                if (shape.groupEvery > 0 && b % shape.groupEvery == shape.groupEvery - 1) {
                    const qint64 group = out.nextId();
                    out.add(2, cluster, group + 2, QStringLiteral("BlockGroup"), QString());
                    out.add(3, group, 0, QStringLiteral("Block"), QString::number(block), block);
                    out.add(3, group, 0, QStringLiteral("ReferenceBlock"), QStringLiteral("-40"));
                } else {
                    out.add(2, cluster, 0, QStringLiteral("SimpleBlock"), QString::number(block), block);
                }
            }
        }
        out.add(1, segment, cues + shape.cueEntries, QStringLiteral("Cues"), QString());
        for (int e = 0; e < shape.cueEntries; ++e)
            out.add(2, cues, 0, QStringLiteral("CuePoint"), QString::number(e), e);
        written = writer.finish(error);
    }
    if (!written) {
        delete db;
        QSqlDatabase::removeDatabase(name);
        return nullptr;
    }
    return db;
}
