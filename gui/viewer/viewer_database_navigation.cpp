#include "viewer_database.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include <limits>

namespace {

// Deeper than any real file nests; a damaged database cannot keep a walk going past it.
constexpr int maxDepth = 4096;
// Siblings of no bits, or overlapping ones, looked at on either side of the one found.
constexpr int maxSteps = 16;
constexpr qsizetype maxBoundIds = 500;

// The child of a parent with the largest id not above a bound: one seek in the parent index,
// whose entries are ordered by parent, then id.
const char *const childAtOrBeforeSql =
    "SELECT id, offset, size FROM elements WHERE parent_id = ? AND id <= ? ORDER BY id DESC LIMIT 1";
const char *const childAfterSql =
    "SELECT id, offset, size FROM elements WHERE parent_id = ? AND id > ? ORDER BY id LIMIT 1";
const char *const pathStepSql =
    "SELECT elements.parent_id, elements.name_id, dictionary.name, elements_seq_num.seq_num FROM elements"
    " LEFT JOIN dictionary ON elements.name_id = dictionary.id"
    " LEFT JOIN elements_seq_num ON elements.id = elements_seq_num.id"
    " WHERE elements.id = ?";
const char *const earlierNamesakesSql =
    "SELECT COUNT(*) FROM elements WHERE parent_id = ? AND id < ? AND name_id = ?";
// Whether more than 4096 siblings come before a child: its place among its
// namesakes is then not counted, so that a path costs a bounded walk of the parent index.
const char *const manySiblingsBeforeSql =
    "SELECT EXISTS (SELECT 1 FROM elements WHERE parent_id = ? AND id < ? ORDER BY id DESC LIMIT 1 OFFSET 4096)";
const char *const laterNamesakeSql =
    "SELECT EXISTS (SELECT 1 FROM elements WHERE parent_id = ? AND id > ? AND name_id = ?)";

struct Span
{
    qint64 id = -1;
    qint64 offset = 0; ///< bits
    qint64 size = 0;   ///< bits
};

// Whether an element's bits reach into the byte whose first bit is bit (at least 0); an element
// of no bits holds no byte. The end is compared as offset > bit - size, which cannot overflow
// whatever a damaged database holds, where offset + size could.
bool holdsByte(const Span &span, qint64 bit)
{
    return span.size > 0 && span.offset < bit + 8 && span.offset > bit - span.size;
}

class ChildFinder
{
public:
    explicit ChildFinder(const QSqlDatabase &db) : atOrBefore(db), after(db)
    {
        atOrBefore.setForwardOnly(true);
        after.setForwardOnly(true);
        ready = atOrBefore.prepare(QLatin1String(childAtOrBeforeSql)) && after.prepare(QLatin1String(childAfterSql));
    }

    // The child of parent, among ids first .. last, that holds the byte starting at bit.
    // Siblings lie in file order, so a binary search over the id range finds the last child
    // starting at or before the bit; children of no bits just before it, and those starting
    // inside the byte just after it, are looked at too.
    Span childHolding(qint64 parent, qint64 first, qint64 last, qint64 bit)
    {
        if (!ready)
            return {};
        Span found;
        qint64 low = first;
        qint64 high = last;
        while (low <= high) {
            const qint64 middle = low + (high - low) / 2;
            const Span child = read(atOrBefore, parent, middle);
            if (child.id < low) {
                low = middle + 1;
            } else if (child.offset <= bit) {
                found = child;
                low = middle + 1;
            } else {
                high = child.id - 1;
            }
        }
        const qint64 lastStart = found.id < 0 ? first - 1 : found.id;
        for (int step = 0; step < maxSteps && found.id >= first; ++step) {
            if (holdsByte(found, bit))
                return found;
            found = read(atOrBefore, parent, found.id - 1);
        }
        // Children that start inside the byte, after the bit searched for.
        Span next = read(after, parent, lastStart);
        for (int step = 0; step < maxSteps && next.id > 0 && next.offset < bit + 8; ++step) {
            if (holdsByte(next, bit))
                return next;
            next = read(after, parent, next.id);
        }
        return {};
    }

private:
    static Span read(QSqlQuery &query, qint64 parent, qint64 id)
    {
        query.bindValue(0, parent);
        query.bindValue(1, id);
        Span span;
        if (query.exec() && query.next())
            span = {query.value(0).toLongLong(), query.value(1).toLongLong(), query.value(2).toLongLong()};
        query.finish();
        return span;
    }

    QSqlQuery atOrBefore;
    QSqlQuery after;
    bool ready = false;
};

} // namespace

qint64 ViewerDatabase::deepestAt(qint64 offset)
{
    if (!isAttached() || offset < 0 || offset > std::numeric_limits<qint64>::max() / 8 - 1)
        return -1;
    const qint64 bit = offset * 8;
    ChildFinder finder(*m_db);
    // Children of an element have ids above it and up to its last child; each step goes deeper
    // and to a higher id, so the walk ends on any database.
    qint64 deepest = -1;
    qint64 parent = 0;
    qint64 first = 1;
    qint64 last = elementCount();
    for (int depth = 0; depth < maxDepth && first <= last; ++depth) {
        const Span child = finder.childHolding(parent, first, last, bit);
        if (child.id < first)
            break;
        deepest = parent = child.id;
        first = child.id + 1;
        last = lastChildId(child.id);
    }
    return deepest;
}

QString ViewerDatabase::path(qint64 id)
{
    if (!isAttached())
        return {};
    QSqlQuery step(*m_db);
    QSqlQuery earlier(*m_db);
    QSqlQuery later(*m_db);
    QSqlQuery many(*m_db);
    for (QSqlQuery *query : {&step, &earlier, &later, &many})
        query->setForwardOnly(true);
    if (!step.prepare(QLatin1String(pathStepSql)) || !earlier.prepare(QLatin1String(earlierNamesakesSql))
        || !later.prepare(QLatin1String(laterNamesakeSql)) || !many.prepare(QLatin1String(manySiblingsBeforeSql)))
        return {};
    const auto count = [](QSqlQuery &query, qint64 parent, qint64 child, qint64 name) {
        query.bindValue(0, parent);
        query.bindValue(1, child);
        if (name >= 0)
            query.bindValue(2, name);
        const qint64 result = query.exec() && query.next() ? query.value(0).toLongLong() : 0;
        query.finish();
        return result;
    };

    // From id up to the top; parents lie above their children, so the climb ends.
    QStringList names;
    for (qint64 current = id; current > 0 && names.size() < maxDepth;) {
        step.bindValue(0, current);
        if (!step.exec() || !step.next())
            break;
        const qint64 parent = step.value(0).toLongLong();
        const qint64 nameId = step.value(1).toLongLong();
        QString name = cleanText(step.value(2).toString());
        const QVariant seqNum = step.value(3);
        step.finish();
        // An entry of a table has its number; an element among others of its name, its place
        // among them.
        if (!seqNum.isNull()) {
            name += QStringLiteral("[%1]").arg(seqNum.toLongLong());
        } else if (!count(many, parent, current, -1)) {
            const qint64 place = count(earlier, parent, current, nameId);
            if (place > 0 || count(later, parent, current, nameId) != 0)
                name += QStringLiteral("[%1]").arg(place);
        }
        names.prepend(name);
        if (parent >= current)
            break;
        current = parent;
    }
    return names.join(QStringLiteral(" / "));
}

qint64 ViewerDatabase::linkTarget(qint64 id)
{
    if (!isAttached())
        return -1;
    QSqlQuery query(*m_db);
    query.setForwardOnly(true);
    if (!query.prepare(QStringLiteral("SELECT target FROM links WHERE id = ?")))
        return -1;
    query.addBindValue(id);
    return query.exec() && query.next() ? query.value(0).toLongLong() : -1;
}

QHash<qint64, qint64> ViewerDatabase::linkTargets(const QList<qint64> &ids)
{
    QHash<qint64, qint64> targets;
    if (!isAttached())
        return targets;
    QSqlQuery query(*m_db);
    query.setForwardOnly(true);
    // Slices within the bound older SQLite builds put on the parameters of a statement.
    for (qsizetype first = 0; first < ids.size(); first += maxBoundIds) {
        const QList<qint64> slice = ids.mid(first, maxBoundIds);
        const QStringList marks(slice.size(), QStringLiteral("?"));
        if (!query.prepare(QStringLiteral("SELECT id, target FROM links WHERE id IN (%1)")
                               .arg(marks.join(QLatin1Char(',')))))
            return targets;
        for (qint64 id : slice)
            query.addBindValue(id);
        if (!query.exec())
            return targets;
        while (query.next())
            targets.insert(query.value(0).toLongLong(), query.value(1).toLongLong());
    }
    return targets;
}
