#pragma once

#include "common/Twips.h"

#include <QFont>
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
