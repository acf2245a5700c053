#pragma once

#include "common/Twips.h"

#include <QComboBox>
#include <QFont>
#include <QResizeEvent>
#include <QWidget>

// Building a window from its design table: every control placed in twips,
// named as designed, with the design font of its own (so that a translated
// frame's font never spreads to the controls inside it).
namespace DesignForm {

// A fixed dialog border without minimise or maximise buttons.
inline constexpr Qt::WindowFlags dialogFlags = Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint |
                                               Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                                               Qt::CustomizeWindowHint;

inline const QFont &font()
{
    static const QFont designFont(QStringLiteral("Ms Sans Serif"), 8);
    return designFont;
}

// left, top, width, height in twips, relative to the parent.
inline void place(QWidget *control, int left, int top, int width, int height)
{
    control->setGeometry(Twips::toRect(left, top, width, height));
}

inline void place(QWidget *control, const char *name, int left, int top, int width, int height)
{
    control->setObjectName(QLatin1String(name));
    place(control, left, top, width, height);
}

// A combo box that makes its pop-up list when the list is first needed.
// QComboBox makes it at each font change, to hand the list the new font: a
// window of six lists, given their fonts, would carry six pop-ups that may
// never open. This one keeps the font change for the list until the list
// shows or the box is measured, and passes it on then, as QComboBox would.
class ComboBox : public QComboBox
{
public:
    using QComboBox::QComboBox;

    void showPopup() override
    {
        passFontOn();
        QComboBox::showPopup();
    }
    QSize sizeHint() const override
    {
        passFontOn();
        return QComboBox::sizeHint();
    }
    QSize minimumSizeHint() const override
    {
        passFontOn();
        return QComboBox::minimumSizeHint();
    }

protected:
    void changeEvent(QEvent *event) override
    {
        if (event->type() != QEvent::FontChange || hasPopup()) {
            QComboBox::changeEvent(event);
            return;
        }
        m_fontPending = true;
        // What QComboBox does at a font change besides the list: the edit
        // field's place depends on the style, which a resize event redoes.
        if (lineEdit()) {
            QResizeEvent resize(size(), size());
            QComboBox::resizeEvent(&resize);
        }
        QWidget::changeEvent(event);
    }

private:
    bool hasPopup() const
    {
        for (const QObject *child : children()) {
            if (child->isWidgetType() && static_cast<const QWidget *>(child)->isWindow())
                return true;
        }
        return false;
    }
    void passFontOn() const
    {
        if (!m_fontPending)
            return;
        m_fontPending = false;
        QEvent change(QEvent::FontChange);
        const_cast<ComboBox *>(this)->QComboBox::changeEvent(&change);
    }

    mutable bool m_fontPending = false;
};

// Names a control, gives it the design font and, when given, its Tag.
template<typename T> T *named(T *control, const QString &name, const QString &tag = QString())
{
    control->setObjectName(name);
    control->setFont(font());
    if (!tag.isEmpty())
        control->setProperty("Tag", tag);
    return control;
}

} // namespace DesignForm
