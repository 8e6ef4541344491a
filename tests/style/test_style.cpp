#include "style.h"

#include <QApplication>
#include <QComboBox>
#include <QFormLayout>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QStyleOption>
#include <QTest>
#include <QToolButton>

namespace {

QColor grey(int level)
{
    return QColor(level, level, level);
}

// A primitive drawn on a white image.
QImage drawn(Style &style, QStyle::PrimitiveElement element, QStyleOption &option, const QSize &size)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::white);
    option.rect = QRect(QPoint(0, 0), size);
    QPainter painter(&image);
    style.drawPrimitive(element, &option, &painter);
    return image;
}

bool containsColour(const QImage &image, const QColor &colour)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == colour)
                return true;
    return false;
}

} // namespace

class TestStyle : public QObject
{
    Q_OBJECT

private:
    Style *style = nullptr; // owned by the application

private slots:
    void initTestCase()
    {
        style = new Style;
        QApplication::setStyle(style);
    }

    void palette_data()
    {
        QTest::addColumn<int>("group");
        QTest::addColumn<int>("role");
        QTest::addColumn<QColor>("colour");
        const int active = QPalette::Active;
        const int disabled = QPalette::Disabled;
        // A few of each kind: all groups, one group set apart, and the values between others.
        QTest::newRow("Window") << active << int(QPalette::Window) << grey(80);
        QTest::newRow("WindowText disabled") << disabled << int(QPalette::WindowText) << grey(240);
        QTest::newRow("Base") << int(QPalette::Inactive) << int(QPalette::Base) << grey(230);
        QTest::newRow("ButtonText") << active << int(QPalette::ButtonText) << grey(240);
        QTest::newRow("ButtonText disabled") << disabled << int(QPalette::ButtonText) << grey(110);
        QTest::newRow("Midlight") << active << int(QPalette::Midlight) << grey(95);
        QTest::newRow("Mid") << disabled << int(QPalette::Mid) << grey(60);
        QTest::newRow("ToolTipBase") << active << int(QPalette::ToolTipBase) << QColor(Qt::lightGray);
    }

    void palette()
    {
        QFETCH(int, group);
        QFETCH(int, role);
        QPalette palette;
        style->polish(palette);
        QTEST(palette.color(QPalette::ColorGroup(group), QPalette::ColorRole(role)), "colour");
        QCOMPARE(QApplication::palette().color(QPalette::ColorGroup(group), QPalette::ColorRole(role)),
                 palette.color(QPalette::ColorGroup(group), QPalette::ColorRole(role)));
    }

    void widgetPolish()
    {
        QMenu menu;
        style->polish(&menu);
        QCOMPARE(menu.palette().color(QPalette::Window), grey(110));
        QCOMPARE(menu.palette().color(QPalette::Disabled, QPalette::ButtonText), grey(140));
        QCOMPARE(menu.palette().color(QPalette::Highlight), grey(190));
        QCOMPARE(menu.palette().color(QPalette::HighlightedText), QColor(Qt::black));
        QCOMPARE(menu.palette().color(QPalette::Button), grey(80));

        QToolButton tool;
        style->polish(&tool);
        QVERIFY(tool.autoFillBackground());
        QVERIFY(tool.testAttribute(Qt::WA_Hover));

        QLineEdit edit;
        style->polish(&edit);
        QVERIFY(edit.testAttribute(Qt::WA_Hover));

        QMenuBar bar;
        style->polish(&bar);
        QCOMPARE(bar.palette().color(QPalette::Window), grey(80));

        // Everything else goes to the base style, which gives buttons their hover state.
        QPushButton button;
        style->polish(&button);
        QVERIFY(button.testAttribute(Qt::WA_Hover));
    }

    void sizes_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("menuButton");
        QTest::addColumn<QSize>("contents");
        QTest::addColumn<QSize>("expected");
        QTest::newRow("push button") << int(QStyle::CT_PushButton) << false << QSize(50, 14) << QSize(66, 28);
        QTest::newRow("narrow push button") << int(QStyle::CT_PushButton) << false << QSize(4, 40) << QSize(28, 28);
        QTest::newRow("tool button") << int(QStyle::CT_ToolButton) << false << QSize(30, 16) << QSize(58, 28);
        QTest::newRow("narrow tool button") << int(QStyle::CT_ToolButton) << false << QSize(10, 16) << QSize(44, 28);
        QTest::newRow("menu tool button") << int(QStyle::CT_ToolButton) << true << QSize(30, 16) << QSize(46, 28);
        QTest::newRow("combo box") << int(QStyle::CT_ComboBox) << false << QSize(30, 16) << QSize(62, 28);
        QTest::newRow("line edit") << int(QStyle::CT_LineEdit) << false << QSize(100, 16) << QSize(116, 28);
    }

    void sizes()
    {
        QFETCH(int, type);
        QFETCH(bool, menuButton);
        QFETCH(QSize, contents);
        QStyleOptionToolButton tool;
        if (menuButton)
            tool.features |= QStyleOptionToolButton::MenuButtonPopup;
        QStyleOptionButton button;
        const QStyleOption *option = type == QStyle::CT_ToolButton ? static_cast<QStyleOption *>(&tool) : &button;
        QTEST(style->sizeFromContents(QStyle::ContentsType(type), option, contents), "expected");
    }

    void metricsAndHints()
    {
        QCOMPARE(style->pixelMetric(QStyle::PM_ButtonIconSize), 16);
        QCOMPARE(style->styleHint(QStyle::SH_FormLayoutFieldGrowthPolicy), int(QFormLayout::AllNonFixedFieldsGrow));
        QCOMPARE(style->styleHint(QStyle::SH_FormLayoutLabelAlignment), int(Qt::AlignLeft));
    }

    void subControls()
    {
        QStyleOptionComboBox combo;
        combo.rect = QRect(0, 0, 100, 28);
        const QRect arrow = style->subControlRect(QStyle::CC_ComboBox, &combo, QStyle::SC_ComboBoxArrow);
        QCOMPARE(arrow, QRect(84, 0, 16, 28));
        QCOMPARE(style->subControlRect(QStyle::CC_ComboBox, &combo, QStyle::SC_ComboBoxFrame), QRect(0, 0, 84, 28));

        QStyleOptionToolButton tool;
        tool.rect = QRect(0, 0, 60, 28);
        tool.features = QStyleOptionToolButton::MenuButtonPopup;
        QCOMPARE(style->subControlRect(QStyle::CC_ToolButton, &tool, QStyle::SC_ToolButton), QRect(0, 0, 44, 28));
        QCOMPARE(style->subControlRect(QStyle::CC_ToolButton, &tool, QStyle::SC_ToolButtonMenu), QRect(44, 0, 16, 28));
        tool.features = QStyleOptionToolButton::None;
        QCOMPARE(style->subControlRect(QStyle::CC_ToolButton, &tool, QStyle::SC_ToolButton),
                 style->baseStyle()->subControlRect(QStyle::CC_ToolButton, &tool, QStyle::SC_ToolButton));
    }

    void buttonPanel_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<QColor>("fill");
        QTest::addColumn<bool>("highlightOutline");
        const int enabled = QStyle::State_Enabled;
        QTest::newRow("plain") << enabled << grey(80) << false;
        QTest::newRow("hovered") << (enabled | QStyle::State_MouseOver) << grey(110) << true;
        QTest::newRow("pressed") << (enabled | QStyle::State_Sunken | QStyle::State_MouseOver) << grey(40) << true;
        QTest::newRow("disabled, hovered") << int(QStyle::State_MouseOver) << grey(80) << false;
    }

    void buttonPanel()
    {
        QFETCH(int, state);
        QFETCH(bool, highlightOutline);
        QStyleOptionButton option;
        option.palette = QApplication::palette();
        option.state = QStyle::State(state);
        const QImage image = drawn(*style, QStyle::PE_PanelButtonCommand, option, QSize(60, 28));
        QTEST(image.pixelColor(30, 14), "fill");
        // The plain outline is Light; hovering turns it into a wide, translucent highlight.
        const QColor edge = image.pixelColor(30, 1);
        QCOMPARE(edge != grey(110), highlightOutline);
    }

    void lineEditPanel()
    {
        QStyleOptionFrame option;
        option.palette = QApplication::palette();
        option.lineWidth = 1;
        option.state = QStyle::State_Enabled | QStyle::State_Sunken;
        QImage plain = drawn(*style, QStyle::PE_PanelLineEdit, option, QSize(80, 28));
        QCOMPARE(plain.pixelColor(40, 14), grey(230));
        option.state |= QStyle::State_MouseOver;
        QImage hovered = drawn(*style, QStyle::PE_PanelLineEdit, option, QSize(80, 28));
        QCOMPARE(hovered.pixelColor(40, 14), grey(230));
        QVERIFY(hovered.pixelColor(40, 2) != plain.pixelColor(40, 2));
        option.state |= QStyle::State_HasFocus;
        QImage focused = drawn(*style, QStyle::PE_PanelLineEdit, option, QSize(80, 28));
        bool reddish = false;
        for (int x = 0; x < 80 && !reddish; ++x) {
            const QColor c = focused.pixelColor(x, 1);
            reddish = c.red() > c.green() + 40;
        }
        QVERIFY(reddish);
    }

    void disabledButtonText()
    {
        QPushButton button(QStringLiteral("MMMM"));
        button.setEnabled(false);
        button.resize(120, 28);
        const QImage image = button.grab().toImage();
        const QColor middle = image.pixelColor(2, image.height() / 2);
        QCOMPARE(middle, grey(80));
        // The text is the disabled ButtonText grey, drawn on the dark button colour.
        bool text = false;
        for (int y = 0; y < image.height() && !text; ++y)
            for (int x = 0; x < image.width() && !text; ++x)
                text = image.pixelColor(x, y) == grey(110) && x > 10 && x < 110 && y > 4 && y < 24;
        QVERIFY(text);
        QVERIFY(!containsColour(image, grey(240)));
    }

    void comboTextOnce()
    {
        // The label draws the current text; the button under it draws none of its own.
        QComboBox combo;
        combo.addItem(QStringLiteral("MMMMMMMM"));
        combo.resize(300, 28);
        const QImage image = combo.grab().toImage();
        int firstText = -1;
        int lastText = -1;
        for (int x = 4; x < 280; ++x) {
            for (int y = 6; y < 22; ++y) {
                if (qAbs(image.pixelColor(x, y).lightness() - 80) > 60) {
                    if (firstText < 0)
                        firstText = x;
                    lastText = x;
                }
            }
        }
        const int textWidth = combo.fontMetrics().horizontalAdvance(QStringLiteral("MMMMMMMM"));
        QVERIFY(firstText >= 0);
        QVERIFY2(lastText - firstText <= textWidth + 2, "the combo's text is drawn more than once");
    }
};

QTEST_MAIN(TestStyle)
#include "test_style.moc"
