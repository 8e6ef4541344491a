#pragma once

#include <QHash>
#include <QString>

/// The four-character codes registered with the MP4 registration authority, read from the table
/// in registered_codes.tsv that is built into the plug-ins.
class RegisteredCodes
{
public:
    static const RegisteredCodes &instance();

    /// The registry's description of a box type (a box, QuickTime or user-data box, sample entry,
    /// sample entry box, item property, track reference or other listed code); empty when no
    /// list holds the code.
    QString box(const QString &code) const { return m_boxes.value(code); }
    /// The registry's description of a handler type; empty when unlisted.
    QString handler(const QString &code) const { return m_handlers.value(code); }

private:
    RegisteredCodes();

    QHash<QString, QString> m_boxes;
    QHash<QString, QString> m_handlers;
};
