#pragma once

#include <QHash>
#include <QIcon>
#include <QProxyStyle>

// The application's style, with the title-bar icons made once. Every session
// window asks the style for them as it is built, for its window menu, and the
// style makes each one anew from its image every time: with hundreds of
// session windows that was a good part of the start. An icon does not depend
// on the window that asks, so one copy serves them all.
class TitleBarIconStyle : public QProxyStyle
{
    Q_OBJECT
    Q_DISABLE_COPY(TitleBarIconStyle)

public:
    // Wraps a new instance of the style named `key`.
    explicit TitleBarIconStyle(const QString &key);

    QIcon standardIcon(StandardPixmap icon, const QStyleOption *option = nullptr,
                       const QWidget *widget = nullptr) const override;

    // Makes the current application style one that keeps its title-bar icons.
    static void install();

private:
    mutable QHash<int, QIcon> m_icons;
};
