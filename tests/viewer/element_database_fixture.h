#pragma once

#include "element_database_writer.h"
#include "element_sink.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <sqlite3.h>

#include <vector>

/// Element databases for the viewer tests, written by the engine's own writer.
namespace ElementDatabaseFixture {

/// Elements from an outline, one per line, two spaces of indent per level, in pre-order:
/// "moov\n  mvhd\n  trak\n    tkhd\nmdat". Ids, parents and last children follow from the
/// indentation; each element gets offset id bytes and size 1 byte, and its name as raw value.
inline std::vector<ElementRecord> outline(const QString &text)
{
    std::vector<ElementRecord> records;
    std::vector<size_t> open; // index of the innermost element at each level
    for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        int indent = 0;
        while (indent < line.size() && line.at(indent) == QLatin1Char(' '))
            ++indent;
        ElementRecord record;
        record.id = qint64(records.size()) + 1;
        record.level = indent / 2;
        record.name = line.mid(indent);
        record.value = record.name;
        record.offset = record.id * 8;
        record.size = 8;
        open.resize(size_t(record.level));
        if (record.level > 0) {
            ElementRecord &parent = records[open.back()];
            record.parentId = parent.id;
            parent.lastChildId = record.id;
        }
        open.push_back(records.size());
        records.push_back(record);
    }
    return records;
}

/// A chain of roots each holding children leaves: "r" then "  c" repeated.
inline std::vector<ElementRecord> wide(int roots, int children)
{
    QStringList lines;
    for (int r = 0; r < roots; ++r) {
        lines << QStringLiteral("root%1").arg(r);
        for (int c = 0; c < children; ++c)
            lines << QStringLiteral("  leaf%1").arg(c);
    }
    return outline(lines.join(QLatin1Char('\n')));
}

inline sqlite3 *handle(const QSqlDatabase &db)
{
    const QVariant value = db.driver()->handle();
    if (!value.isValid() || qstrcmp(value.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(value.constData());
}

/// Opens an in-memory connection named name and writes records into it; the caller owns the
/// object. Null when the database could not be made.
inline QSqlDatabase *create(const QString &name, const std::vector<ElementRecord> &records)
{
    auto *db = new QSqlDatabase(QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name));
    db->setDatabaseName(QStringLiteral(":memory:"));
    QString error;
    sqlite3 *raw = db->open() ? handle(*db) : nullptr;
    bool written = raw && ElementDatabaseWriter::createSchema(raw, &error);
    if (written) {
        ElementDatabaseWriter writer(raw);
        for (const ElementRecord &record : records)
            writer.element(record);
        written = writer.finish(&error);
    }
    if (!written) {
        qWarning("cannot build the test database: %s", qPrintable(error));
        delete db;
        QSqlDatabase::removeDatabase(name);
        return nullptr;
    }
    return db;
}

/// Marks ids open directly in the database, as a previous session of the viewer would have.
inline void markOpen(QSqlDatabase &db, const QList<qint64> &ids)
{
    QSqlQuery query(db);
    for (qint64 id : ids)
        query.exec(QStringLiteral("INSERT INTO open_elements VALUES (%1)").arg(id));
}

} // namespace ElementDatabaseFixture
