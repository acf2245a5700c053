#include "common/WindowPlacement.h"

#include "common/Twips.h"
#include "common/UserStore.h"

#include <QSettings>

namespace {

const char *const keys[] = {"MainLeft", "MainTop", "MainWidth", "MainHeight"};
constexpr int defaults[] = {1000, 1000, 7000, 5000};
// X11 carries window coordinates in 16 bits.
constexpr int maxCoordinate = 32767;

QRect toPixels(const QRect &twips)
{
    return Twips::toRect(twips.x(), twips.y(), twips.width(), twips.height());
}

} // namespace

QRect WindowPlacement::restore(const QRect &current, const QSize &desktop)
{
    QSettings settings = UserStore::open();
    settings.beginGroup(QStringLiteral("Settings"));
    const int now[] = {current.x(), current.y(), current.width(), current.height()};
    int twips[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        const float value =
            settings.value(QLatin1String(keys[i]), QString::number(defaults[i])).toString().toFloat(&ok);
        // A value that is not a number leaves that property as it is.
        twips[i] = ok && qAbs(value) < 1e7f ? qRound(value) : Twips::fromPixels(now[i]);
    }
    m_twips = QRect(twips[0], twips[1], twips[2], twips[3]);
    // A stored size larger than the desktop would make a window that cannot
    // be seen whole, and one of hundreds of thousands of pixels cannot even
    // be painted: its backing image would need terabytes. Positions stay
    // within what a window system can address.
    const int maxWidth = desktop.width() > 0 ? desktop.width() : maxCoordinate;
    const int maxHeight = desktop.height() > 0 ? desktop.height() : maxCoordinate;
    const QRect pixels = toPixels(m_twips);
    return QRect(qBound(-maxCoordinate, pixels.x(), maxCoordinate),
                 qBound(-maxCoordinate, pixels.y(), maxCoordinate), qBound(1, pixels.width(), maxWidth),
                 qBound(1, pixels.height(), maxHeight));
}

void WindowPlacement::store(const QRect &pixels) const
{
    const QRect twips = pixels == toPixels(m_twips)
                            ? m_twips
                            : QRect(Twips::fromPixels(pixels.x()), Twips::fromPixels(pixels.y()),
                                    Twips::fromPixels(pixels.width()), Twips::fromPixels(pixels.height()));
    QSettings settings = UserStore::open();
    settings.beginGroup(QStringLiteral("Settings"));
    const int values[] = {twips.x(), twips.y(), twips.width(), twips.height()};
    for (int i = 0; i < 4; ++i)
        settings.setValue(QLatin1String(keys[i]), QString::number(float(values[i])));
}
