#include "session/ElidingLabel.h"

#include <QPainter>
#include <QStyle>

QString ElidingLabel::shownText() const
{
    return fontMetrics().elidedText(text(), Qt::ElideRight, contentsRect().width() - 2 * margin());
}

void ElidingLabel::paintEvent(QPaintEvent *event)
{
    // QLabel would cut the text where the label ends, mid-word.
    QFrame::paintEvent(event);
    QPainter painter(this);
    const QRect area = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    style()->drawItemText(&painter, area, int(alignment()), palette(), isEnabled(), shownText(),
                          foregroundRole());
}
