#include "viewer_database.h"

#include <QCoreApplication>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

const char *const elementSql =
    "SELECT elements.id, elements.level, elements.parent_id, elements.last_child_id,"
    " dictionary.name, elements.offset, elements.size, elements.raw_value, elements.hrf_value,"
    " elements_seq_num.seq_num, EXISTS (SELECT 1 FROM notes WHERE notes.id = elements.id) FROM elements"
    " LEFT JOIN dictionary ON elements.name_id = dictionary.id"
    " LEFT JOIN elements_seq_num ON elements.id = elements_seq_num.id"
    " WHERE elements.id = ?";

const char *const childrenSql =
    "SELECT id, last_child_id FROM elements WHERE parent_id = ? ORDER BY id";

const char *const openAfterSql = "SELECT id FROM open_elements WHERE id > ?";

const char *const topLevelSql = "SELECT id FROM elements WHERE parent_id = 0 ORDER BY id";

const char *const countSql = "SELECT seq FROM sqlite_sequence WHERE name = 'elements'";

} // namespace

QString ViewerDatabase::connectionName()
{
    return QStringLiteral("kestrune-container-viewer-connection");
}

void ViewerDatabase::registerMetaType()
{
    qRegisterMetaType<ViewerDatabase::Element>("ViewerDatabase::Element");
}

QString ViewerDatabase::cleanText(const QString &text)
{
    QString cleaned = text;
    for (QChar &c : cleaned) {
        if (c.unicode() < 32 || c.unicode() >= 127)
            c = QLatin1Char(' ');
    }
    return cleaned.simplified();
}

ViewerDatabase::ViewerDatabase()
{
    registerMetaType();
    const char *const sql[LookupCount] = {
        "SELECT id FROM open_elements WHERE id = ?",
        "SELECT level FROM elements WHERE id = ?",
        "SELECT parent_id FROM elements WHERE id = ?",
        "SELECT last_child_id FROM elements WHERE id = ?",
        "INSERT INTO open_elements VALUES(?)",
        "DELETE FROM open_elements WHERE id = ?",
        elementSql,
    };
    for (const char *text : sql)
        m_lookups.append({nullptr, QString::fromLatin1(text)});
}

ViewerDatabase::~ViewerDatabase()
{
    close();
}

int ViewerDatabase::setDatabase(QSqlDatabase *db)
{
    // Handing over the attached connection again must not delete it first.
    if (db != m_db)
        close();
    m_db = db;
    if (!isAttached())
        return 0;

    QSqlQuery pragma(*m_db);
    pragma.exec(QStringLiteral("PRAGMA foreign_keys = ON"));
    for (auto &entry : m_lookups) {
        if (!entry.first)
            entry.first = new QSqlQuery(*m_db);
        entry.first->clear();
        entry.first->setForwardOnly(true);
        entry.first->prepare(entry.second);
    }
    rebuildRows();
    return 0;
}

int ViewerDatabase::close()
{
    if (!m_db)
        return -1;
    for (auto &entry : m_lookups) {
        delete entry.first;
        entry.first = nullptr;
    }
    const QString name = m_db->connectionName();
    if (name == connectionName()) {
        delete m_db;
        QSqlDatabase::removeDatabase(name);
    }
    m_db = nullptr;
    m_rows.clear();
    return 0;
}

bool ViewerDatabase::isAttached() const
{
    return m_db && m_db->isOpen();
}

QVariant ViewerDatabase::lookup(Lookup which, qint64 id)
{
    if (!isAttached())
        return {};
    QSqlQuery *query = m_lookups[which].first;
    if (!query)
        return {};
    query->bindValue(0, id);
    QVariant value;
    if (query->exec() && query->next())
        value = query->value(0);
    query->finish();
    return value;
}

qint64 ViewerDatabase::elementCount()
{
    if (!isAttached())
        return 0;
    QSqlQuery query(*m_db);
    query.setForwardOnly(true);
    if (!query.exec(QString::fromLatin1(countSql)) || !query.next())
        return 0;
    return qMax<qint64>(query.value(0).toLongLong(), 0);
}

bool ViewerDatabase::isOpen(qint64 id)
{
    return lookup(IsOpenLookup, id).isValid();
}

int ViewerDatabase::level(qint64 id)
{
    const QVariant value = lookup(LevelLookup, id);
    return value.isNull() ? -1 : value.toInt();
}

qint64 ViewerDatabase::parentId(qint64 id)
{
    const QVariant value = lookup(ParentLookup, id);
    return value.isNull() ? -1 : value.toLongLong();
}

qint64 ViewerDatabase::lastChildId(qint64 id)
{
    const QVariant value = lookup(LastChildLookup, id);
    return value.isNull() ? -1 : value.toLongLong();
}

bool ViewerDatabase::isVisible(qint64 id)
{
    if (!isAttached())
        return false;
    // Parents have smaller ids than their children, so the walk climbs strictly and ends even
    // in a database whose parent links loop.
    for (qint64 current = id;;) {
        const int depth = level(current);
        if (depth == 0)
            return true;
        if (depth < 0)
            return false;
        const qint64 parent = parentId(current);
        if (parent <= 0 || parent >= current || !isOpen(parent))
            return false;
        current = parent;
    }
}

qint64 ViewerDatabase::idAt(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows.at(row) : 0;
}

int ViewerDatabase::lowerBound(qint64 id) const
{
    return int(std::lower_bound(m_rows.cbegin(), m_rows.cend(), id) - m_rows.cbegin());
}

int ViewerDatabase::rowOf(qint64 id) const
{
    const int row = lowerBound(id);
    return row < m_rows.size() && m_rows.at(row) == id ? row : -1;
}

void ViewerDatabase::rebuildRows()
{
    m_rows.clear();
    QSqlQuery query(*m_db);
    query.setForwardOnly(true);
    if (!query.exec(QString::fromLatin1(topLevelSql)))
        return;
    while (query.next()) {
        const qint64 id = query.value(0).toLongLong();
        // The list stays strictly ascending whatever the database holds; binary search needs it.
        if (!m_rows.isEmpty() && id <= m_rows.constLast())
            continue;
        m_rows.append(id);
        if (isOpen(id))
            visibleDescendants(id, &m_rows);
    }
}

qint64 ViewerDatabase::visibleDescendants(qint64 id, QList<qint64> *ids)
{
    // Depth-first over the children of open elements, one child listing per open element. An
    // explicit stack instead of recursion, and only ids above the last one taken, so that the
    // walk ends on any database.
    qint64 count = 0;
    qint64 floor = ids && !ids->isEmpty() ? qMax(id, ids->constLast()) : id;
    // The open elements are few and read once: asking for each child costs a second on a list of
    // half a million chunks.
    QSet<qint64> open;
    QSqlQuery openQuery(*m_db);
    openQuery.setForwardOnly(true);
    if (openQuery.prepare(QString::fromLatin1(openAfterSql))) {
        openQuery.addBindValue(id);
        if (openQuery.exec()) {
            while (openQuery.next())
                open.insert(openQuery.value(0).toLongLong());
        }
    }
    std::vector<std::unique_ptr<QSqlQuery>> stack;
    auto listChildren = [&](qint64 parent) {
        auto query = std::make_unique<QSqlQuery>(*m_db);
        query->setForwardOnly(true);
        if (query->prepare(QString::fromLatin1(childrenSql))) {
            query->addBindValue(parent);
            if (query->exec())
                stack.push_back(std::move(query));
        }
    };
    listChildren(id);
    while (!stack.empty()) {
        QSqlQuery &query = *stack.back();
        if (!query.next()) {
            stack.pop_back();
            continue;
        }
        const qint64 child = query.value(0).toLongLong();
        if (child <= floor)
            continue;
        floor = child;
        ++count;
        if (ids)
            ids->append(child);
        if (query.value(1).toLongLong() != 0 && open.contains(child))
            listChildren(child);
    }
    return count;
}

ViewerDatabase::Element ViewerDatabase::readElement(const QSqlQuery &query)
{
    Element element;
    element.id = query.value(0).toLongLong();
    element.level = query.value(1).toInt();
    element.parent_id = query.value(2).toLongLong();
    element.last_child_id = query.value(3).toLongLong();
    element.name = cleanText(query.value(4).toString());
    if (element.name.isEmpty())
        element.name = QCoreApplication::translate("ViewerDatabase", "(empty)");
    element.offset = query.value(5).toLongLong();
    element.size = query.value(6).toLongLong();
    element.raw_value = cleanText(query.value(7).toString());
    element.hrf_value = cleanText(query.value(8).toString());
    if (element.hrf_value.isEmpty())
        element.hrf_value = element.raw_value;
    const QVariant seqNum = query.value(9);
    if (!seqNum.isNull()) {
        element.seq_num = seqNum.toLongLong();
        element.name += QStringLiteral("-%1").arg(element.seq_num);
    }
    element.has_note = query.value(10).toBool();
    element.has_children = element.last_child_id != 0;
    element.is_open = element.has_children && isOpen(element.id);
    return element;
}

ViewerDatabase::Element ViewerDatabase::element(qint64 id)
{
    QSqlQuery *query = isAttached() ? m_lookups[ElementStatement].first : nullptr;
    Element found;
    if (!query)
        return found;
    query->bindValue(0, id);
    if (query->exec() && query->next())
        found = readElement(*query);
    query->finish();
    return found;
}

int ViewerDatabase::fetchWindow(qint64 start_id, int count, QList<Element> &list)
{
    if (!isAttached() || count < 0)
        return -1;
    QSqlQuery *query = m_lookups[ElementStatement].first;
    if (!query)
        return -1;
    // The window is the next count + 1 rows of the visible-row list, each read by its id: hidden
    // subtrees between them cost nothing.
    const qsizetype first = list.size();
    const qsizetype from = lowerBound(start_id);
    const qsizetype to = qMin<qsizetype>(m_rows.size(), from + qsizetype(count) + 1);
    for (qsizetype row = from; row < to; ++row) {
        query->bindValue(0, m_rows.at(row));
        if (!query->exec())
            return -1;
        if (query->next())
            list.append(readElement(*query));
        query->finish();
    }
    if (list.size() == first)
        return -1;

    for (qsizetype i = first; i + 1 < list.size(); ++i) {
        Element &element = list[i];
        const int nextLevel = list.at(i + 1).level;
        if (element.level == 0 || element.level == nextLevel)
            continue;
        // A deeper next row is this element's own first child, which says nothing about the
        // element's later siblings; ask the parent instead.
        element.is_last = nextLevel < element.level || lastChildId(element.parent_id) == element.id;
    }
    Element &last = list.last();
    last.is_last = lastChildId(last.parent_id) == last.id;
    return 0;
}

qint64 ViewerDatabase::stepRows(qint64 start_id, qint64 delta)
{
    if (!isAttached())
        return -1;
    if (m_rows.isEmpty())
        return 1;
    // The first row at or after start_id. When start_id is hidden, the row above it is its
    // nearest visible ancestor, and that counts as the first step up. Steps are bounded by the
    // list's length, so the sum cannot overflow.
    const qsizetype row = lowerBound(start_id);
    const bool onRow = row < m_rows.size() && m_rows.at(row) == start_id;
    qsizetype target = row + qsizetype(qBound<qint64>(-m_rows.size(), delta, m_rows.size()));
    if (delta == 0 && !onRow)
        target = row - 1;
    return qMax<qint64>(m_rows.at(qBound<qsizetype>(0, target, m_rows.size() - 1)), 1);
}

int ViewerDatabase::openElement(qint64 id)
{
    if (!isAttached() || lastChildId(id) == 0 || isOpen(id))
        return -1;
    QSqlQuery *open = m_lookups[OpenStatement].first;
    open->bindValue(0, id);
    const bool opened = open->exec();
    open->finish();
    if (!opened)
        return -1;

    const int row = rowOf(id);
    if (row < 0)
        return 0;
    QList<qint64> descendants;
    visibleDescendants(id, &descendants);
    // Descendants sort between the element and the next row; anything else is a damaged
    // database and stays out, so the list keeps its order.
    const qint64 nextRow = idAt(row + 1);
    if (nextRow != 0) {
        const auto end = std::lower_bound(descendants.cbegin(), descendants.cend(), nextRow);
        descendants.resize(end - descendants.cbegin());
    }
    if (!descendants.isEmpty()) {
        m_rows.insert(row + 1, descendants.size(), 0);
        std::copy(descendants.cbegin(), descendants.cend(), m_rows.begin() + row + 1);
    }
    return 0;
}

int ViewerDatabase::closeElement(qint64 id)
{
    if (!isAttached() || lastChildId(id) == 0 || !isOpen(id))
        return -1;
    const int row = rowOf(id);
    const qint64 shown = row >= 0 ? visibleDescendants(id, nullptr) : 0;

    QSqlQuery *close = m_lookups[CloseStatement].first;
    close->bindValue(0, id);
    const bool closed = close->exec();
    close->finish();
    // The rows go only once the database agrees, so list and open_elements never disagree.
    if (!closed)
        return -1;
    if (row >= 0)
        m_rows.remove(row + 1, qMin<qint64>(shown, m_rows.size() - row - 1));
    return 0;
}

void ViewerDatabase::openPath(qint64 id)
{
    if (!isAttached())
        return;
    QList<qint64> path;
    if (lastChildId(id) != 0)
        path.append(id);
    // Each parent must lie above its child; a missing element or a damaged link ends the walk.
    for (qint64 current = id; level(current) > 0;) {
        const qint64 parent = parentId(current);
        if (parent <= 0 || parent >= current)
            break;
        current = parent;
        path.append(current);
    }
    for (auto it = path.crbegin(); it != path.crend(); ++it)
        openElement(*it);
}

QString ViewerDatabase::description(qint64 id)
{
    if (!isAttached())
        return {};
    QSqlQuery query(*m_db);
    query.setForwardOnly(true);
    if (!query.prepare(QStringLiteral("SELECT description FROM descriptions WHERE id = ?")))
        return {};
    query.addBindValue(id);
    return query.exec() && query.next() ? query.value(0).toString() : QString();
}

QStringList ViewerDatabase::notes(qint64 id, int limit)
{
    QStringList list;
    if (!isAttached())
        return list;
    QSqlQuery query(*m_db);
    query.setForwardOnly(true);
    if (!query.prepare(QStringLiteral("SELECT note FROM notes WHERE id = ? ORDER BY rowid LIMIT ?")))
        return list;
    query.addBindValue(id);
    query.addBindValue(limit);
    if (query.exec()) {
        while (query.next())
            list << query.value(0).toString();
    }
    return list;
}
