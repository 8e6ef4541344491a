#include "style.h"

#include <QApplication>
#include <QDockWidget>
#include <QFormLayout>
#include <QPainter>
#include <QPushButton>
#include <QStyleFactory>
#include <QStyleOption>
#include <QToolButton>

namespace {

constexpr int radius = 3;
constexpr int arrowSize = 7;
constexpr int indicatorWidth = 16;

QColor grey(int level)
{
    return QColor(level, level, level);
}

QRect centred(const QRect &area, int size)
{
    return QRect(area.x() + (area.width() - size) / 2, area.y() + (area.height() - size) / 2, size, size);
}

} // namespace

Style::Style() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

void Style::polish(QPalette &palette)
{
    palette = baseStyle()->standardPalette();
    palette.setColor(QPalette::Window, grey(80));
    palette.setColor(QPalette::WindowText, grey(240));
    palette.setColor(QPalette::Base, grey(230));
    palette.setColor(QPalette::AlternateBase, grey(210));
    palette.setColor(QPalette::ToolTipBase, QColor(Qt::lightGray));
    palette.setColor(QPalette::ToolTipText, QColor(Qt::black));
    palette.setColor(QPalette::Text, QColor(Qt::black));
    palette.setColor(QPalette::Button, grey(80));
    palette.setColor(QPalette::ButtonText, grey(240));
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, grey(110));
    palette.setColor(QPalette::BrightText, grey(240));
    palette.setColor(QPalette::Light, grey(110));
    palette.setColor(QPalette::Midlight, grey(95));
    palette.setColor(QPalette::Dark, grey(40));
    palette.setColor(QPalette::Mid, grey(60));
    palette.setColor(QPalette::Shadow, QColor(Qt::black));
    palette.setColor(QPalette::Highlight, grey(130));
    palette.setColor(QPalette::HighlightedText, grey(240));
}

void Style::polish(QWidget *widget)
{
    if (widget->inherits("QMenuBar")) {
        widget->setPalette(QApplication::palette());
    } else if (widget->inherits("QMenu")) {
        QPalette palette = QApplication::palette();
        palette.setColor(QPalette::Window, grey(110));
        palette.setColor(QPalette::Disabled, QPalette::ButtonText, grey(140));
        palette.setColor(QPalette::Highlight, grey(190));
        palette.setColor(QPalette::HighlightedText, QColor(Qt::black));
        widget->setPalette(palette);
    } else if (widget->inherits("QToolButton")) {
        widget->setPalette(QApplication::palette());
        widget->setAutoFillBackground(true);
        widget->setAttribute(Qt::WA_Hover);
    } else if (widget->inherits("QLineEdit")) {
        widget->setAttribute(Qt::WA_Hover);
    } else if (widget->inherits("QGroupBox")) {
        widget->setPalette(QApplication::palette());
    } else {
        QProxyStyle::polish(widget);
    }
}

void Style::drawPanel(const QStyleOption *option, QPainter *painter, const QRect &shape, const QColor &fill) const
{
    const bool hovered = (option->state & State_Enabled) && (option->state & State_MouseOver);
    QPen outline(option->palette.color(QPalette::Light), 1);
    if (hovered) {
        QColor highlight = option->palette.color(QPalette::Highlight);
        highlight.setAlpha(64);
        outline = QPen(highlight, 3);
    }
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(outline);
    painter->setBrush(fill);
    painter->drawRoundedRect(QRectF(shape).adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    painter->restore();
}

void Style::drawDownArrow(const QStyleOption *option, QPainter *painter, const QRect &area,
                          const QWidget *widget) const
{
    QStyleOption arrow = *option;
    arrow.rect = area;
    proxy()->drawPrimitive(PE_IndicatorArrowDown, &arrow, painter, widget);
}

void Style::drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                          const QWidget *widget) const
{
    switch (element) {
    case PE_FrameDefaultButton:
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(QPen(option->palette.color(QPalette::Shadow), 1));
        painter->setBrush(Qt::NoBrush);
        painter->drawRoundedRect(QRectF(option->rect).adjusted(1.5, 1.5, -1.5, -1.5), radius, radius);
        painter->restore();
        return;
    case PE_FrameFocusRect: {
        QPen pen(QColor(255, 0, 0, 128), 2);
        pen.setDashPattern({1, 1});
        pen.setCapStyle(Qt::FlatCap);
        painter->save();
        painter->setPen(pen);
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(option->rect.adjusted(1, 1, -1, -1));
        painter->restore();
        return;
    }
    case PE_PanelButtonCommand: {
        const QRect shape = qstyleoption_cast<const QStyleOptionButton *>(option)
            ? proxy()->subElementRect(SE_PushButtonContents, option, widget)
            : option->rect;
        QColor fill = option->palette.color(QPalette::Button);
        if (option->state & State_Sunken)
            fill = option->palette.color(QPalette::Dark);
        else if ((option->state & State_Enabled) && (option->state & State_MouseOver))
            fill = option->palette.color(QPalette::Light);
        drawPanel(option, painter, shape, fill);
        return;
    }
    case PE_PanelLineEdit: {
        const QRect shape = qstyleoption_cast<const QStyleOptionFrame *>(option)
            ? proxy()->subElementRect(SE_LineEditContents, option, widget)
            : option->rect;
        drawPanel(option, painter, shape, option->palette.color(QPalette::Base));
        if (option->state & State_HasFocus)
            proxy()->drawPrimitive(PE_FrameFocusRect, option, painter, widget);
        return;
    }
    default:
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }
}

void Style::drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                        const QWidget *widget) const
{
    switch (element) {
    case CE_PushButton: {
        const auto *button = qstyleoption_cast<const QStyleOptionButton *>(option);
        if (!button)
            break;
        proxy()->drawPrimitive(PE_PanelButtonCommand, button, painter, widget);
        const bool enabled = button->state & State_Enabled;
        const QRect contents = proxy()->subElementRect(SE_PushButtonContents, button, widget);
        const bool hasIcon = !button->icon.isNull();
        const bool hasText = !button->text.isEmpty();
        const QSize iconSize = hasIcon ? button->iconSize : QSize(0, 0);
        const int textWidth = hasText ? button->fontMetrics.size(Qt::TextShowMnemonic, button->text).width() : 0;
        const int groupWidth = iconSize.width() + textWidth + (hasIcon && hasText ? 4 : 0);
        const QRect group(contents.x() + (contents.width() - groupWidth) / 2, contents.y(), groupWidth,
                          contents.height());
        if (hasIcon) {
            const QPixmap pixmap = button->icon.pixmap(iconSize, painter->device()->devicePixelRatio(),
                                                       enabled ? QIcon::Normal : QIcon::Disabled,
                                                       (button->state & State_On) ? QIcon::On : QIcon::Off);
            const QRect iconRect(group.x(), group.y() + (group.height() - iconSize.height()) / 2,
                                 iconSize.width(), iconSize.height());
            proxy()->drawItemPixmap(painter, iconRect, Qt::AlignCenter, pixmap);
        }
        if (hasText) {
            QPalette palette = button->palette;
            if (!enabled)
                palette.setCurrentColorGroup(QPalette::Disabled);
            proxy()->drawItemText(painter, group, Qt::AlignRight | Qt::AlignVCenter | Qt::TextShowMnemonic,
                                  palette, enabled, button->text, QPalette::ButtonText);
        }
        if (button->state & State_HasFocus) {
            QStyleOptionFocusRect focus;
            focus.QStyleOption::operator=(*button);
            proxy()->drawPrimitive(PE_FrameFocusRect, &focus, painter, widget);
        }
        const auto *pushButton = qobject_cast<const QPushButton *>(widget);
        if (pushButton && pushButton->isDefault())
            proxy()->drawPrimitive(PE_FrameDefaultButton, button, painter, widget);
        return;
    }
    case CE_DockWidgetTitle: {
        const QRect r = option->rect;
        const int middle = r.center().y();
        QPen pen(option->palette.color(QPalette::Dark), 2);
        pen.setCapStyle(Qt::RoundCap);
        painter->save();
        painter->setPen(pen);
        painter->drawLine(r.left() + 8, middle, r.right() - 40, middle);
        painter->restore();
        if (const auto *dock = qobject_cast<const QDockWidget *>(widget)) {
            const QString title = dock->windowTitle();
            const int textWidth = option->fontMetrics.horizontalAdvance(title);
            QRect box(0, 0, textWidth + 8, r.height());
            box.moveCenter(r.center());
            painter->fillRect(box, option->palette.color(QPalette::Window));
            proxy()->drawItemText(painter, box, Qt::AlignCenter, option->palette, option->state & State_Enabled,
                                  title, QPalette::WindowText);
        }
        return;
    }
    case CE_ComboBoxLabel:
        if (const auto *combo = qstyleoption_cast<const QStyleOptionComboBox *>(option)) {
            QStyleOptionComboBox sunken = *combo;
            sunken.state |= State_Sunken;
            QProxyStyle::drawControl(element, &sunken, painter, widget);
            return;
        }
        break;
    case CE_HeaderLabel:
        if (const auto *header = qstyleoption_cast<const QStyleOptionHeader *>(option)) {
            // Without this a sorted or selected section's label turns bold and shifts.
            QStyleOptionHeader plain = *header;
            if (plain.orientation != Qt::Vertical)
                plain.state &= State_Enabled;
            QProxyStyle::drawControl(element, &plain, painter, widget);
            return;
        }
        break;
    default:
        break;
    }
    QProxyStyle::drawControl(element, option, painter, widget);
}

void Style::drawComplexControl(ComplexControl control, const QStyleOptionComplex *option, QPainter *painter,
                               const QWidget *widget) const
{
    if (control == CC_ComboBox) {
        if (const auto *combo = qstyleoption_cast<const QStyleOptionComboBox *>(option)) {
            // The label is drawn on top by CE_ComboBoxLabel; the button carries no text of its own,
            // or the text would show twice.
            QStyleOptionButton button;
            button.QStyleOption::operator=(*combo);
            proxy()->drawControl(CE_PushButton, &button, painter, widget);
            const QRect arrow = proxy()->subControlRect(CC_ComboBox, combo, SC_ComboBoxArrow, widget);
            painter->save();
            painter->setPen(QPen(combo->palette.color(QPalette::Light), 1));
            painter->drawLine(arrow.left(), arrow.top() + 1, arrow.left(), arrow.bottom() - 1);
            painter->restore();
            drawDownArrow(combo, painter, centred(arrow, arrowSize), widget);
            return;
        }
    }
    if (control == CC_ToolButton) {
        const auto *tool = qstyleoption_cast<const QStyleOptionToolButton *>(option);
        const auto *toolButton = qobject_cast<const QToolButton *>(widget);
        if (tool && toolButton) {
            const QToolButton::ToolButtonPopupMode mode = toolButton->popupMode();
            State buttonState = tool->state;
            State menuState = tool->state;
            if (mode == QToolButton::MenuButtonPopup) {
                if (tool->activeSubControls & SC_ToolButtonMenu)
                    buttonState &= ~State_Sunken;
                else
                    menuState &= ~State_Sunken;
            }
            QStyleOptionButton button;
            button.QStyleOption::operator=(*tool);
            button.state = buttonState;
            button.rect = proxy()->subControlRect(CC_ToolButton, tool, SC_ToolButton, widget);
            if (tool->toolButtonStyle != Qt::ToolButtonTextOnly) {
                button.icon = tool->icon;
                button.iconSize = tool->iconSize;
            }
            if (tool->toolButtonStyle != Qt::ToolButtonIconOnly)
                button.text = tool->text;
            proxy()->drawControl(CE_PushButton, &button, painter, widget);

            if (mode == QToolButton::MenuButtonPopup) {
                QStyleOptionButton menu;
                menu.QStyleOption::operator=(*tool);
                menu.state = menuState;
                menu.rect = proxy()->subControlRect(CC_ToolButton, tool, SC_ToolButtonMenu, widget);
                proxy()->drawControl(CE_PushButton, &menu, painter, widget);
                drawDownArrow(tool, painter, centred(menu.rect, arrowSize), widget);
            } else if (mode == QToolButton::InstantPopup) {
                const QRect r = tool->rect;
                drawDownArrow(tool, painter,
                              QRect(r.right() - arrowSize - 3, r.bottom() - arrowSize - 3, arrowSize, arrowSize),
                              widget);
            }
            return;
        }
    }
    QProxyStyle::drawComplexControl(control, option, painter, widget);
}

QRect Style::subControlRect(ComplexControl control, const QStyleOptionComplex *option, SubControl subControl,
                            const QWidget *widget) const
{
    const QRect r = option->rect;
    if (control == CC_ComboBox) {
        if (subControl == SC_ComboBoxArrow)
            return QRect(r.right() - indicatorWidth + 1, r.top(), indicatorWidth, r.height());
        if (subControl == SC_ComboBoxFrame)
            return QRect(r.left(), r.top(), r.width() - indicatorWidth, r.height());
    }
    if (control == CC_ToolButton) {
        const auto *tool = qstyleoption_cast<const QStyleOptionToolButton *>(option);
        if (tool && (tool->features & QStyleOptionToolButton::MenuButtonPopup)) {
            if (subControl == SC_ToolButton)
                return QRect(r.left(), r.top(), r.width() - indicatorWidth, r.height());
            if (subControl == SC_ToolButtonMenu)
                return QRect(r.right() - indicatorWidth + 1, r.top(), indicatorWidth, r.height());
        }
    }
    return QProxyStyle::subControlRect(control, option, subControl, widget);
}

int Style::pixelMetric(PixelMetric metric, const QStyleOption *option, const QWidget *widget) const
{
    if (metric == PM_ButtonIconSize)
        return 16;
    return QProxyStyle::pixelMetric(metric, option, widget);
}

QSize Style::sizeFromContents(ContentsType type, const QStyleOption *option, const QSize &contentsSize,
                              const QWidget *widget) const
{
    switch (type) {
    case CT_PushButton:
    case CT_ToolButton:
    case CT_ComboBox:
    case CT_LineEdit: {
        int width = contentsSize.width() + 16;
        if (type == CT_ToolButton) {
            const auto *tool = qstyleoption_cast<const QStyleOptionToolButton *>(option);
            if (!tool || !(tool->features & QStyleOptionToolButton::MenuButtonPopup))
                width += 12;
            width = qMax(width, 44);
        } else {
            if (type == CT_ComboBox)
                width += 16;
            width = qMax(width, 28);
        }
        return QSize(width, 28);
    }
    default:
        return QProxyStyle::sizeFromContents(type, option, contentsSize, widget);
    }
}

int Style::styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                     QStyleHintReturn *returnData) const
{
    if (hint == SH_FormLayoutFieldGrowthPolicy)
        return QFormLayout::AllNonFixedFieldsGrow;
    if (hint == SH_FormLayoutLabelAlignment)
        return Qt::AlignLeft;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}
