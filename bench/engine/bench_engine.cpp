// Reports N synthetic elements through the base class into the element database and compares
// the rate with a naive loop of one INSERT per row into an AUTOINCREMENT table.
//
//   bench_engine [elements]     (default 5000000)

#include "container_abstract.h"
#include "container_driver.h"
#include "element_database_writer.h"
#include "naive_insert.h"
#include "status.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QVariant>
#include <QTemporaryFile>

#include <cstdio>
#include <sqlite3.h>

namespace {

// Shaped like real files: clusters of blocks, each block a group of three fields (as in
// Matroska), alternating with tables of 1000 numbered entries (as in MP4 sample tables).
class SyntheticParser : public ContainerAbstract
{
public:
    explicit SyntheticParser(qint64 count) : m_count(count) {}

protected:
    int verifyContainerFormat(const QString &) override { return Status::Success; }
    int findBeginOfContainer(qint64 *offset) override
    {
        *offset = 0;
        return Status::Success;
    }
    int parseElement(quint64 *size) override
    {
        const QString cluster = QStringLiteral("Cluster");
        const QString block = QStringLiteral("SimpleBlock");
        const QString fields[] = {QStringLiteral("id"), QStringLiteral("size"), QStringLiteral("value")};
        const QString table = QStringLiteral("stsz");
        const QString entry = QStringLiteral("entry_size");
        quint64 offset = 0;
        beginGroup(0, quint64(m_count) * 4, QStringLiteral("Segment"), -1);
        m_reported = 1;
        while (m_reported < m_count) {
            beginGroup(offset, 1600, cluster, -1);
            ++m_reported;
            for (int b = 0; b < 100 && m_reported < m_count; ++b, offset += 16) {
                beginGroup(offset, 16, block, -1);
                ++m_reported;
                for (int f = 0; f < 3 && m_reported < m_count; ++f, ++m_reported)
                    addElement(false, offset + f * 4, 0, 4, fields[f], QString::number(m_reported % 65536), QString(), QString(), -1);
                endGroup();
            }
            endGroup();
            beginGroup(offset, 4000, table, -1);
            ++m_reported;
            for (int i = 0; i < 999 && m_reported < m_count; ++i, ++m_reported, offset += 4)
                addElement(false, offset, 0, 4, entry, QString::number(m_reported % 65536), QString(), QString(), i);
            endGroup();
        }
        endGroup();
        *size = 1;
        return Status::Success;
    }
    void prepareParsing() override {}
    void finalizeParsing() override {}

private:
    qint64 m_count;
    qint64 m_reported = 0;
};

long residentKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').first().toLong();
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const qint64 count = argc > 1 ? QByteArray(argv[1]).toLongLong() : 5000000;

    QTemporaryFile file;
    file.open();
    file.write("x");
    file.close();

    const long before = residentKiB("VmRSS:");
    // The engine writes through the handle of a QtSql connection; use one here too, since the
    // driver chooses SQLite's threading mode.
    QSqlDatabase connection = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench"));
    connection.setDatabaseName(QStringLiteral(":memory:"));
    connection.open();
    sqlite3 *db = *static_cast<sqlite3 *const *>(connection.driver()->handle().constData());
    QString error;
    ElementDatabaseWriter::createSchema(db, &error);
    QElapsedTimer timer;
    timer.start();
    qint64 finishStart = 0;
    {
        ElementDatabaseWriter writer(db);
        SyntheticParser parser(count);
        ContainerDriver::run(parser, file.fileName(), writer, ParseOptions());
        finishStart = timer.nsecsElapsed();
        if (!writer.finish(&error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
    }
    const qint64 totalNs = timer.nsecsElapsed();
    const double seconds = totalNs / 1e9;
    const long after = residentKiB("VmRSS:");
    const long peak = residentKiB("VmHWM:");
    const double rate = count / seconds;
    std::printf("elements:                %lld\n", static_cast<long long>(count));
    std::printf("base + writer + indexes: %.2f s, %.2f M elements/s\n", seconds, rate / 1e6);
    std::printf("  of which the last rows, count and indexes: %.2f s\n", (totalNs - finishStart) / 1e9);
    std::printf("memory held:             %.1f bytes/element (peak %.1f)\n",
                (after - before) * 1024.0 / count, (peak - before) * 1024.0 / count);
    connection.close();

    if (argc > 2) return 0;
    const double naiveSeconds = naiveInsertSeconds(count);
    if (naiveSeconds < 0) {
        std::fprintf(stderr, "the naive insert loop failed\n");
        return 1;
    }
    const double naive = count / naiveSeconds;
    std::printf("naive single-row insert: %.2f M rows/s\n", naive / 1e6);
    std::printf("ratio:                   %.2f x (target >= 2)\n", rate / naive);
    return 0;
}
