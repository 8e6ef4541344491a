#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

/// The engine option string: "key=value" pairs separated by ";".
struct ParseOptions
{
    quint64 displayLimit = 256;
    bool showJunk = false;
    bool showUnknown = true;
    int numberBase = 10;
    int valueBase = 10;
    /// The keys the text gave, in its order.
    QStringList given;

    /// The largest display limit: more would make every long value a copy of the file.
    static constexpr quint64 maxDisplayLimit = 1 << 20;

    /// Parses an option string; a null or empty text gives the defaults. On an unknown key or a
    /// bad value returns false and sets *error to a one-line message.
    static bool fromString(const QString &text, ParseOptions *options, QString *error);
};
