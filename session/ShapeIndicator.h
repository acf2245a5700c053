#pragma once

#include <QWidget>

// The activity indicator: a filled circle in its FillColor, a 24-bit colour
// value with red in the low byte (255 red, 65280 green).
class ShapeIndicator : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY(ShapeIndicator)
    Q_PROPERTY(int FillColor READ FillColor WRITE setFillColor)

public:
    static constexpr int Green = 65280;
    static constexpr int Red = 255;

    explicit ShapeIndicator(QWidget *parent = nullptr);

    int FillColor() const { return m_fillColor; }
    void setFillColor(int color);

    static QColor toColor(int value);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_fillColor = Green;
};
