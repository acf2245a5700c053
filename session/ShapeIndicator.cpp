#include "session/ShapeIndicator.h"

#include <QPainter>

ShapeIndicator::ShapeIndicator(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ShapeIndicator::setFillColor(int color)
{
    if (color == m_fillColor)
        return;
    m_fillColor = color;
    update();
}

QColor ShapeIndicator::toColor(int value)
{
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

void ShapeIndicator::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(toColor(m_fillColor));
    const int side = qMin(width(), height()) - 1;
    painter.drawEllipse(QRectF(0.5, 0.5, side, side));
}
