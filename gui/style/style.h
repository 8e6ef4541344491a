#pragma once

#include <QProxyStyle>

/// The application's look: a dark-grey palette with flat, rounded buttons and line edits,
/// drawn over Qt's Fusion style.
class Style : public QProxyStyle
{
    Q_OBJECT

public:
    Style();

    void polish(QPalette &palette) override;
    void polish(QWidget *widget) override;
    using QProxyStyle::polish;

    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget = nullptr) const override;
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget = nullptr) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex *option, QPainter *painter,
                            const QWidget *widget = nullptr) const override;
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex *option, SubControl subControl,
                         const QWidget *widget = nullptr) const override;
    int pixelMetric(PixelMetric metric, const QStyleOption *option = nullptr,
                    const QWidget *widget = nullptr) const override;
    QSize sizeFromContents(ContentsType type, const QStyleOption *option, const QSize &contentsSize,
                           const QWidget *widget = nullptr) const override;
    int styleHint(StyleHint hint, const QStyleOption *option = nullptr, const QWidget *widget = nullptr,
                  QStyleHintReturn *returnData = nullptr) const override;

private:
    /// A rounded panel with the button outline: Light, or a wide translucent highlight when
    /// hovered.
    void drawPanel(const QStyleOption *option, QPainter *painter, const QRect &shape, const QColor &fill) const;
    void drawDownArrow(const QStyleOption *option, QPainter *painter, const QRect &area,
                       const QWidget *widget) const;
};
