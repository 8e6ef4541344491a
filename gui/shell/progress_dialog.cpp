#include "progress_dialog.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const int barMinimumWidth = 300;

} // namespace

ProgressDialog::ProgressDialog(QWidget *parent, Qt::WindowFlags flags)
    : AbstractDialog(tr("Progress ..."), parent, flags),
      label(new QLabel(this)),
      subLabel(new QLabel(this)),
      progressBar(new QProgressBar(this)),
      subProgressBar(new QProgressBar(this)),
      cancelButton(new QPushButton(tr("Отмена"), this))
{
    label->setAlignment(Qt::AlignHCenter);
    label->hide();
    subLabel->setAlignment(Qt::AlignHCenter);
    subLabel->hide();
    progressBar->setMinimumWidth(barMinimumWidth);
    progressBar->setRange(0, 100);
    subProgressBar->setMinimumWidth(barMinimumWidth);
    subProgressBar->hide();
    cancelButton->hide();

    auto *buttonRow = new QHBoxLayout;
    buttonRow->addStretch();
    buttonRow->addWidget(cancelButton);

    auto *column = static_cast<QVBoxLayout *>(layout());
    column->addWidget(label);
    column->addWidget(subLabel);
    column->addWidget(progressBar);
    column->addWidget(subProgressBar);
    column->addLayout(buttonRow);
    column->setSizeConstraint(QLayout::SetFixedSize);
}

void ProgressDialog::setCancelButtonVisible(bool visible)
{
    if (visible) {
        cancelButton->show();
        connect(cancelButton, SIGNAL(clicked()), this, SIGNAL(rejected()), Qt::UniqueConnection);
    } else {
        cancelButton->hide();
        disconnect(cancelButton, SIGNAL(clicked()), this, SIGNAL(rejected()));
    }
}

void ProgressDialog::setSubRange(int min, int max)
{
    if (max == -1) {
        subProgressBar->hide();
        return;
    }
    subProgressBar->setRange(min, max);
    subProgressBar->show();
}

void ProgressDialog::setRange(int min, int max)
{
    progressBar->setRange(min, max);
}

void ProgressDialog::setSubValue(int value)
{
    subProgressBar->setValue(value);
}

void ProgressDialog::setLabelSubText(const QString &text)
{
    subLabel->setText(text);
    subLabel->setVisible(!text.isEmpty());
}

void ProgressDialog::setValue(int value)
{
    progressBar->setValue(value);
}

void ProgressDialog::setLabelText(const QString &text)
{
    label->setText(text);
    label->setVisible(!text.isEmpty());
}

void ProgressDialog::accept()
{
    progressBar->setValue(0);
    QDialog::accept();
}

void ProgressDialog::reject()
{
    if (!cancelButton->isHidden())
        emit rejected();
}

void ProgressDialog::closeEvent(QCloseEvent *event)
{
    event->ignore();
}
