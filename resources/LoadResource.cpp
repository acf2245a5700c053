#include "resources/LoadResource.h"

#include "resources/StringTable.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QSet>
#include <QWidget>

#include <algorithm>

namespace {

constexpr int FontFaceId = 20;
constexpr int ShiftJisCharset = 128;
constexpr int FontPointSize = 8;
constexpr char TagProperty[] = "Tag";

// The id an object's Tag gives by `read`, only when it is greater than 0.
std::optional<int> tagId(const QObject *object, std::optional<int> (*read)(const QString &))
{
    const QVariant tag = object->property(TagProperty);
    if (!tag.isValid())
        return std::nullopt;
    const std::optional<int> id = read(tag.toString());
    if (!id || *id <= 0)
        return std::nullopt;
    return id;
}

bool hasGuiApplication()
{
    return qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr;
}

// Families drawn to the widths of the table's faces: with them the designed
// layouts fit their texts, as they did in the designed faces.
const QString EnglishMetricFamily = QStringLiteral("Liberation Sans"); // widths of Arial
const QString JapaneseMetricFamily = QStringLiteral("IPAPGothic");     // widths of ＭＳ Ｐゴシック

// Installed families that cover Japanese, sans-serif ones first (both faces
// of the table are sans-serif); the metric-compatible one ahead of all, then
// "Noto Sans CJK JP".
QStringList japaneseFamilies()
{
    QStringList families = QFontDatabase::families(QFontDatabase::Japanese);
    std::stable_partition(families.begin(), families.end(), [](const QString &family) {
        return family.contains(QLatin1String("Sans"), Qt::CaseInsensitive);
    });
    const QString noto = QStringLiteral("Noto Sans CJK JP");
    if (families.removeAll(noto) > 0)
        families.prepend(noto);
    // Under a Japanese locale the list holds its Japanese name ("IPA Pゴシック")
    // only; the font database knows it by both.
    if (QFontDatabase::hasFamily(JapaneseMetricFamily))
        families.prepend(JapaneseMetricFamily);
    return families;
}

} // namespace

void installFontSubstitutions()
{
    // The font database exists only once a QGuiApplication does; a call made
    // before that does nothing and leaves the work to a later one.
    static bool installed = false;
    if (installed || !hasGuiApplication())
        return;
    installed = true;

    const StringTable::Entry *face = StringTable::find(FontFaceId);
    QStringList sansSerif{QFontDatabase::systemFont(QFontDatabase::GeneralFont).family(),
                          QStringLiteral("DejaVu Sans"), QStringLiteral("Noto Sans")};
    sansSerif.removeAll(QString());
    if (QFontDatabase::hasFamily(EnglishMetricFamily))
        sansSerif.prepend(EnglishMetricFamily);
    QFont::insertSubstitutions(face->english.toString(), sansSerif);
    QFont::insertSubstitutions(face->japanese.toString(), japaneseFamilies());
}

QFont resourceFont()
{
    installFontSubstitutions();
    const QString face = LoadResource(FontFaceId);
    // Whatever the face, a Shift-JIS font must show Japanese: its stand-ins
    // have to include a family that covers it (insertSubstitutions skips
    // families already listed).
    if (resourceCharset() == ShiftJisCharset && hasGuiApplication())
        QFont::insertSubstitutions(face, japaneseFamilies());

    QFont font(face);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(FontPointSize);
    font.setBold(false);
    return font;
}

void ApplyResourceStrings(QWidget *window)
{
    if (!window)
        return;

    if (const std::optional<int> id = tagId(window, wholeNumberId); id && hasResource(*id))
        window->setWindowTitle(LoadResource(*id));

    const QFont font = resourceFont();

    // Menu items. An action may belong to another object yet show in one of
    // the window's menus, so those shown count as well as those owned. A
    // menu's own caption is the text of its menuAction(), which it owns.
    const QList<QWidget *> widgets = window->findChildren<QWidget *>();
    QSet<QAction *> actions;
    for (QAction *action : window->findChildren<QAction *>())
        actions.insert(action);
    for (QAction *action : window->actions())
        actions.insert(action);
    for (const QWidget *widget : widgets) {
        for (QAction *action : widget->actions())
            actions.insert(action);
    }
    for (QAction *action : std::as_const(actions)) {
        if (action->isSeparator())
            continue;
        if (const std::optional<int> id = wholeNumberId(action->text()); id && *id > 0 && hasResource(*id))
            action->setText(LoadResource(*id));
    }

    for (QWidget *widget : widgets) {
        if (qobject_cast<QMenu *>(widget))
            continue;
        if (auto *combo = qobject_cast<QComboBox *>(widget)) {
            combo->setFont(font);
            continue;
        }
        const std::optional<int> id = tagId(widget, leadingNumberId);
        if (!id)
            continue;
        widget->setFont(font);
        if (!hasResource(*id))
            continue;
        const QString text = LoadResource(*id);
        if (auto *label = qobject_cast<QLabel *>(widget))
            label->setText(text);
        else if (auto *button = qobject_cast<QAbstractButton *>(widget))
            button->setText(text);
        else if (auto *frame = qobject_cast<QGroupBox *>(widget))
            frame->setTitle(text);
    }
}
