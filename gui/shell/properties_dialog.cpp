#include "properties_dialog.h"

#include "app_settings.h"
#include "bin_view_area.h"
#include "bin_view_widget.h"
#include "parser.h"
#include "sql_tree.h"
#include "sql_tree_widget.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>

namespace {

const double minFontSize = 6.0;
const double maxFontSize = 20.0;
const char engineOptionsKey[] = "main/engine/options";

QString engineOptionsHelp()
{
    return PropertiesDialog::tr(
        "<qt>Options for the next analysis, <i>key=value</i> pairs separated by \";\":"
        "<br><b>display_limit</b> (256): most bytes of raw data shown as a value, at most 1048576"
        "<br><b>show_junk</b> (0): 1 shows the content of filler elements"
        "<br><b>show_unknown</b> (1): 0 leaves the content of unknown elements out"
        "<br><b>number_base</b> (10): base 2 to 36 of sizes and offsets shown as values"
        "<br><b>value_base</b> (10): base 2 to 36 of field values"
        "<br>For example: display_limit=64;show_junk=1</qt>");
}

QDoubleSpinBox *fontSizeBox(QWidget *parent)
{
    auto *box = new QDoubleSpinBox(parent);
    box->setRange(minFontSize, maxFontSize);
    return box;
}

} // namespace

PropertiesDialog::PropertiesDialog(BinViewWidget *binView, SqlTreeWidget *treeWidget, QWidget *parent,
                                   Qt::WindowFlags flags)
    : AbstractDialog(tr("Properties"), parent, flags),
      binViewWidget(binView),
      sqlTreeWidget(treeWidget),
      bytesPerLineBox(new QComboBox(this)),
      treeFontSizeBox(fontSizeBox(this)),
      hexFontSizeBox(fontSizeBox(this)),
      engineOptionsField(new QLineEdit(this)),
      engineOptionsErrorLabel(new QLabel(this))
{
    for (int bytes = 4; bytes <= 32; bytes += 4)
        bytesPerLineBox->addItem(QString::number(bytes));

    delete layout();
    auto *grid = new QGridLayout(this);

    auto *hexGroup = new QGroupBox(tr("Hex viewer"), this);
    auto *hexForm = new QFormLayout(hexGroup);
    hexForm->addRow(tr("Font size"), hexFontSizeBox);
    hexForm->addRow(tr("Bytes per line"), bytesPerLineBox);
    grid->addWidget(hexGroup, 0, 0, 2, 1);

    auto *treeGroup = new QGroupBox(tr("Tree viewer"), this);
    auto *treeForm = new QFormLayout(treeGroup);
    treeForm->addRow(tr("Font size"), treeFontSizeBox);
    grid->addWidget(treeGroup, 0, 1, 2, 1);

    auto *engineGroup = new QGroupBox(tr("Engine"), this);
    auto *engineForm = new QFormLayout(engineGroup);
    engineOptionsField->setToolTip(engineOptionsHelp());
    engineOptionsField->setPlaceholderText(tr("defaults"));
    engineOptionsField->setText(storedEngineOptions());
    engineForm->addRow(tr("Engine options"), engineOptionsField);
    QPalette warning = engineOptionsErrorLabel->palette();
    warning.setColor(QPalette::WindowText, QColor(0xb0, 0x00, 0x00));
    engineOptionsErrorLabel->setPalette(warning);
    engineOptionsErrorLabel->setWordWrap(true);
    engineOptionsErrorLabel->hide();
    engineForm->addRow(engineOptionsErrorLabel);
    grid->addWidget(engineGroup, 2, 0, 1, 2);

    auto *buttons = new QWidget(this);
    auto *buttonRow = new QHBoxLayout(buttons);
    auto *applyButton = new QPushButton(tr("Apply"), buttons);
    auto *cancelButton = new QPushButton(tr("Cancel"), buttons);
    buttonRow->addStretch();
    buttonRow->addWidget(applyButton);
    buttonRow->addWidget(cancelButton);
    grid->addWidget(buttons, 3, 0, 1, 2);
    setFixedSize(sizeHint());

    BinViewArea *area = binViewWidget->binViewArea();
    initialBytesPerLine = area->bytesPerLine();
    initialTreeFontSize = sqlTreeWidget->sqlTree()->font().pointSizeF();
    initialHexFontSize = area->fontSize();
    bytesPerLineBox->setCurrentIndex(bytesPerLineBox->findText(QString::number(initialBytesPerLine),
                                                               Qt::MatchExactly | Qt::MatchCaseSensitive));
    treeFontSizeBox->setValue(initialTreeFontSize);
    hexFontSizeBox->setValue(initialHexFontSize);
    shownTreeFontSize = treeFontSizeBox->value();
    shownHexFontSize = hexFontSizeBox->value();

    // Connected only now, so that filling the boxes above leaves the views alone.
    connect(applyButton, SIGNAL(clicked(bool)), this, SLOT(accept()));
    connect(cancelButton, SIGNAL(clicked(bool)), this, SLOT(reject()));
    connect(bytesPerLineBox, SIGNAL(currentTextChanged(QString)), this, SLOT(setBytePerLine(QString)));
    connect(treeFontSizeBox, SIGNAL(valueChanged(double)), this, SLOT(setFontSize(double)));
    connect(hexFontSizeBox, SIGNAL(valueChanged(double)), this, SLOT(setFontSize(double)));
    connect(engineOptionsField, &QLineEdit::textEdited, engineOptionsErrorLabel, &QWidget::hide);
}

void PropertiesDialog::setFontSize(double size)
{
    if (sender() == hexFontSizeBox)
        binViewWidget->binViewArea()->setFontSize(size);
    else if (sender() == treeFontSizeBox)
        sqlTreeWidget->setFontSize(size);
}

void PropertiesDialog::setBytePerLine(const QString &text)
{
    binViewWidget->binViewArea()->setBytesPerLine(text.toInt());
}

QString PropertiesDialog::storedEngineOptions()
{
    return appSettings().value(QLatin1String(engineOptionsKey)).toString();
}

QString PropertiesDialog::engineOptionsError(const QString &options)
{
    // The engine reads the options before it looks for the file, so a parse of no file at all
    // checks them with the engine's own rules and messages.
    Parser parser;
    if (parser.parseFile(QString(), QStringLiteral(":memory:"), options) == Parser::BadOption)
        return parser.errorString();
    return {};
}

void PropertiesDialog::accept()
{
    const QString options = engineOptionsField->text().trimmed();
    const QString error = engineOptionsError(options);
    if (!error.isEmpty()) {
        engineOptionsErrorLabel->setText(tr("The engine refuses these options: %1").arg(error));
        engineOptionsErrorLabel->show();
        setFixedSize(sizeHint());
        engineOptionsField->setFocus(Qt::OtherFocusReason);
        engineOptionsField->selectAll();
        return;
    }
    QSettings &settings = appSettings();
    settings.setValue(QLatin1String(engineOptionsKey), options);
    settings.setValue(QStringLiteral("main/hex_viewer/bytes_per_line"), bytesPerLineBox->currentText());
    settings.setValue(QStringLiteral("main/hex_viewer/font_size"), hexFontSizeBox->value());
    settings.setValue(QStringLiteral("main/tree_viewer/font_size"), treeFontSizeBox->value());
    QDialog::accept();
    close();
}

void PropertiesDialog::reject()
{
    if (bytesPerLineBox->currentText() != QString::number(initialBytesPerLine))
        binViewWidget->binViewArea()->setBytesPerLine(initialBytesPerLine);
    // A size the box could only show rounded or clipped (10.125 as 10.13, 25 as 20) counts as
    // unchanged until it is edited.
    if (hexFontSizeBox->value() != shownHexFontSize)
        binViewWidget->binViewArea()->setFontSize(initialHexFontSize);
    if (treeFontSizeBox->value() != shownTreeFontSize)
        sqlTreeWidget->setFontSize(initialTreeFontSize);
    QDialog::reject();
    close();
}

void PropertiesDialog::closeEvent(QCloseEvent *event)
{
    QDialog::closeEvent(event);
}
