#include "go_to_bar.h"

#include <QEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>

namespace {

constexpr int margin = 4;
constexpr int editCharacters = 28;
const char hexPrefix[] = "0x";

} // namespace

GoToBar::Request GoToBar::parse(const QString &text)
{
    const QString entry = text.trimmed();
    Request request;
    QStringView digits(entry);
    int base = 10;
    if (digits.startsWith(QLatin1Char('#'))) {
        request.kind = Request::Id;
        digits = digits.mid(1);
    } else {
        request.kind = Request::Offset;
        if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
            base = 16;
            digits = digits.mid(2);
        }
    }
    // Only digits of the base: toLongLong alone would take a sign or spaces inside.
    for (const QChar c : digits) {
        const char16_t unit = c.unicode();
        const bool decimal = unit >= u'0' && unit <= u'9';
        const bool hex = (unit >= u'a' && unit <= u'f') || (unit >= u'A' && unit <= u'F');
        if (!decimal && !(base == 16 && hex))
            return {};
    }
    bool ok = false;
    request.value = digits.toLongLong(&ok, base);
    if (!ok || digits.isEmpty() || (request.kind == Request::Id && request.value < 1))
        return {};
    return request;
}

GoToBar::GoToBar(QWidget *parent) : QFrame(parent), edit(new QLineEdit), message(new QLabel)
{
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(margin, margin, margin, margin);
    grid->addWidget(new QLabel(tr("Go to:")), 0, 0);
    setNumberBase(number_base);
    edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance(QLatin1Char('0')) * editCharacters);
    grid->addWidget(edit, 0, 1);
    QPalette warning = message->palette();
    warning.setColor(QPalette::WindowText, QColor(0xb0, 0x00, 0x00));
    message->setPalette(warning);
    message->hide();
    grid->addWidget(message, 1, 0, 1, 2);
    connect(edit, &QLineEdit::returnPressed, this, &GoToBar::submit);
    connect(edit, &QLineEdit::textEdited, message, &QWidget::hide);
    parent->installEventFilter(this);
    hide();
}

void GoToBar::setNumberBase(int base)
{
    number_base = base == 16 ? 16 : 10;
    edit->setPlaceholderText(number_base == 16 ? tr("0x offset, byte offset or #id")
                                               : tr("byte offset, 0x offset or #id"));
}

void GoToBar::open()
{
    message->hide();
    show();
    place();
    raise();
    edit->setFocus(Qt::ShortcutFocusReason);
    if (number_base == 16 && edit->text().isEmpty())
        edit->setText(QLatin1String(hexPrefix));
    // A bare prefix is typed on; a whole entry is selected for typing over.
    if (edit->text() == QLatin1String(hexPrefix))
        edit->end(false);
    else
        edit->selectAll();
}

void GoToBar::showError(const QString &text)
{
    message->setText(text);
    message->show();
    place();
    edit->setFocus(Qt::OtherFocusReason);
    edit->selectAll();
}

void GoToBar::dismiss()
{
    message->hide();
    hide();
}

void GoToBar::submit()
{
    const Request request = parse(edit->text());
    if (request.kind == Request::Invalid) {
        showError(tr("Enter a byte offset such as 4096 or 0x1000, or an element id such as #12."));
        return;
    }
    emit requested(request);
}

void GoToBar::place()
{
    adjustSize();
    const QWidget *area = parentWidget();
    resize(qMin(sizeHint().width(), area->width()), sizeHint().height());
    move(qMax(area->width() - width() - margin, 0), margin);
}

bool GoToBar::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize && isVisible())
        place();
    return QFrame::eventFilter(watched, event);
}

void GoToBar::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        dismiss();
        emit cancelled();
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // The line edit has acted on it already; it goes no further up.
        break;
    default:
        QFrame::keyPressEvent(event);
        return;
    }
    event->accept();
}
