#include "registered_codes.h"

#include <QByteArray>
#include <QList>

extern const char registeredCodesTable[];

const RegisteredCodes &RegisteredCodes::instance()
{
    static const RegisteredCodes codes;
    return codes;
}

// Rows are "code <tab> kind <tab> description <tab> defining document"; lines starting with '#' are
// comments. The first row of a code wins, so the plain box lists, which come first, name it.
RegisteredCodes::RegisteredCodes()
{
    const QList<QByteArray> lines = QByteArray(registeredCodesTable).split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> columns = line.split('\t');
        if (line.startsWith('#') || columns.size() < 3 || columns.at(0).size() != 4)
            continue;
        const QString code = QString::fromLatin1(columns.at(0));
        QHash<QString, QString> &table = columns.at(1) == "handler" ? m_handlers : m_boxes;
        if (!table.contains(code))
            table.insert(code, QString::fromUtf8(columns.at(2)));
    }
}
