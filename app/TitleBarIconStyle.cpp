#include "app/TitleBarIconStyle.h"

#include <QApplication>

namespace {

bool isTitleBarIcon(QStyle::StandardPixmap icon)
{
    switch (icon) {
    case QStyle::SP_TitleBarMenuButton:
    case QStyle::SP_TitleBarMinButton:
    case QStyle::SP_TitleBarMaxButton:
    case QStyle::SP_TitleBarCloseButton:
    case QStyle::SP_TitleBarNormalButton:
    case QStyle::SP_TitleBarShadeButton:
    case QStyle::SP_TitleBarUnshadeButton:
    case QStyle::SP_TitleBarContextHelpButton:
        return true;
    default:
        return false;
    }
}

} // namespace

TitleBarIconStyle::TitleBarIconStyle(const QString &key)
    : QProxyStyle(key)
{}

QIcon TitleBarIconStyle::standardIcon(StandardPixmap icon, const QStyleOption *option,
                                      const QWidget *widget) const
{
    // With an option the answer may depend on it; without, only on the
    // application's layout direction, which picks mirrored images.
    if (option || !isTitleBarIcon(icon))
        return QProxyStyle::standardIcon(icon, option, widget);
    const int key = int(icon) * 2 + (QGuiApplication::isRightToLeft() ? 1 : 0);
    auto it = m_icons.constFind(key);
    if (it == m_icons.cend())
        it = m_icons.insert(key, QProxyStyle::standardIcon(icon, nullptr, widget));
    return *it;
}

void TitleBarIconStyle::install()
{
    QApplication::setStyle(new TitleBarIconStyle(QApplication::style()->name()));
}
