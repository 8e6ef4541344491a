#include "about_dialog.h"

#include <QEvent>
#include <QImage>
#include <QLabel>
#include <QPalette>
#include <QStringList>
#include <QVBoxLayout>

namespace {

const char backgroundPath[] = ":resources/about-dialog-background.svg";
const char productWord[] = "kestrune";
const char version[] = "1.2.0.0";
const char buildTag[] = "96:544";
const char platform[] = "x64";
const char supportAddress[] = "support@orvane.example";

} // namespace

AboutDialog::AboutDialog(QWidget *parent, Qt::WindowFlags flags)
    : AbstractDialog(tr("About"), parent, flags),
      pictureLabel(new QLabel(this)),
      textLabel(new QLabel(this))
{
    const QString tag = QString::fromLatin1(buildTag).replace(QLatin1Char(':'), QLatin1Char('-'));
    const QString mailLink = QStringLiteral("<a href=\"mailto:%1\">%1</a>").arg(QLatin1String(supportAddress));
    const QStringList text = {
        QStringLiteral("<html><body>"),
        tr("%1 version %2 (build %3) for %4<br>")
            .arg(QLatin1String(productWord), QLatin1String(version), tag, QLatin1String(platform)),
        tr("Technical support: %1.<br>").arg(mailLink),
        QStringLiteral("<div align=\"left\">"),
        tr("Copyright &copy; Orvane. All rights reserved."),
        QStringLiteral("</div>"),
        QStringLiteral("</body></html>"),
    };

    const QImage background(QString::fromLatin1(backgroundPath));
    pictureLabel->setStyleSheet(QStringLiteral("background-image: url(%1);").arg(QLatin1String(backgroundPath)));
    pictureLabel->setFixedWidth(background.width());
    pictureLabel->setMinimumHeight(background.height());

    textLabel->setTextFormat(Qt::RichText);
    textLabel->setText(text.join(QLatin1Char('\n')));
    textLabel->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::LinksAccessibleByMouse
                                       | Qt::LinksAccessibleByKeyboard);

    layout()->addWidget(pictureLabel);
    layout()->addWidget(textLabel);
    setFixedSize(sizeHint());

    QPalette colours = palette();
    const QColor base = colours.color(QPalette::Base);
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        colours.setColor(group, QPalette::Window, base);
        colours.setColor(group, QPalette::Button, base);
        colours.setColor(group, QPalette::WindowText, Qt::black);
    }
    setPalette(colours);

    pictureLabel->installEventFilter(this);
    installEventFilter(this);
}

bool AboutDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        close();
        return true;
    }
    return AbstractDialog::eventFilter(watched, event);
}
