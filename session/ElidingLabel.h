#pragma once

#include <QLabel>

// A one-line label that shows a text too long for it cut with "…" at the
// end. text() stays whole; so does what a hover text made from it shows.
class ElidingLabel : public QLabel
{
    Q_OBJECT

public:
    using QLabel::QLabel;

    // The text as it is drawn in the label's present width and font.
    QString shownText() const;

protected:
    void paintEvent(QPaintEvent *event) override;
};
