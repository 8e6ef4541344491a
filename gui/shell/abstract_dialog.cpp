#include "abstract_dialog.h"

#include "app_settings.h"

#include <QSettings>
#include <QVBoxLayout>

namespace {

Qt::WindowFlags dialogFlags(Qt::WindowFlags flags)
{
    if (flags == Qt::WindowFlags())
        return Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
    return flags;
}

} // namespace

AbstractDialog::AbstractDialog(const QString &title, QWidget *parent, Qt::WindowFlags flags)
    : QDialog(parent, dialogFlags(flags))
{
    setWindowTitle(tr("Kestrune") + tr(" - %1").arg(title));
    setWindowModality(Qt::WindowModal);
    new QVBoxLayout(this);
}

AbstractDialog::~AbstractDialog()
{
    appSettings().sync();
}
