#include "parse_options.h"

namespace {

bool parseBase(const QString &key, const QString &value, int *base, QString *error)
{
    bool ok = false;
    const int parsed = value.toInt(&ok);
    if (!ok || parsed < 2 || parsed > 36) {
        *error = QStringLiteral("option %1: \"%2\" is not a number base from 2 to 36").arg(key, value);
        return false;
    }
    *base = parsed;
    return true;
}

bool parseFlag(const QString &key, const QString &value, bool *flag, QString *error)
{
    if (value != QLatin1String("0") && value != QLatin1String("1")) {
        *error = QStringLiteral("option %1: \"%2\" is not 0 or 1").arg(key, value);
        return false;
    }
    *flag = value == QLatin1String("1");
    return true;
}

} // namespace

bool ParseOptions::fromString(const QString &text, ParseOptions *options, QString *error)
{
    ParseOptions result;
    const QStringList pairs = text.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString &pair : pairs) {
        const qsizetype equals = pair.indexOf(QLatin1Char('='));
        if (equals < 0) {
            *error = QStringLiteral("option \"%1\" is not of the form key=value").arg(pair.trimmed());
            return false;
        }
        const QString key = pair.left(equals).trimmed();
        const QString value = pair.mid(equals + 1).trimmed();
        bool ok = true;
        if (key == QLatin1String("display_limit")) {
            result.displayLimit = value.toULongLong(&ok);
            ok = ok && result.displayLimit <= maxDisplayLimit;
            if (!ok)
                *error = QStringLiteral("option display_limit: \"%1\" is not a byte count from 0 to %2")
                             .arg(value)
                             .arg(maxDisplayLimit);
        } else if (key == QLatin1String("show_junk")) {
            ok = parseFlag(key, value, &result.showJunk, error);
        } else if (key == QLatin1String("show_unknown")) {
            ok = parseFlag(key, value, &result.showUnknown, error);
        } else if (key == QLatin1String("number_base")) {
            ok = parseBase(key, value, &result.numberBase, error);
        } else if (key == QLatin1String("value_base")) {
            ok = parseBase(key, value, &result.valueBase, error);
        } else {
            *error = QStringLiteral("unknown option \"%1\"").arg(key);
            ok = false;
        }
        if (!ok)
            return false;
        result.given << key;
    }
    *options = result;
    return true;
}
