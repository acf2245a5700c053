#include "resources/LoadResource.h"

#include "resources/StringTable.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QSet>
#include <QWidget>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace {

constexpr int FontFaceId = 20;
constexpr int FontCharsetId = 21;
constexpr int ShiftJisCharset = 128;
constexpr int FontPointSize = 8;
constexpr char TagProperty[] = "Tag";

std::optional<Language> languageOverride;

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// A decimal number found in a text. `magnitude` is the decimal exponent of its
// first significant digit, so that ids can be ruled in or out before the text
// is converted: strings of thousands of digits or exponents like 1e99999 never
// reach the conversion.
struct NumberText
{
    qsizetype begin = 0;
    qsizetype end = 0; // == begin: no number starts there
    bool zero = true;  // every digit of the mantissa is 0
    qint64 magnitude = 0;
};

// The longest number that starts at `from`: an optional sign, digits with an
// optional decimal point (at least one digit in all), then an optional
// exponent. An "e" without digits behind it is not part of the number.
// Only ASCII digits count: "２１０２" is not a number.
NumberText scanNumber(QStringView text, qsizetype from)
{
    NumberText number{from, from};
    qsizetype i = from;
    const qsizetype size = text.size();
    if (i < size && (text[i] == u'+' || text[i] == u'-'))
        ++i;

    qint64 digits = 0;
    qint64 firstSignificant = -1;
    auto readDigits = [&] {
        for (; i < size && isDigit(text[i]); ++i, ++digits) {
            if (firstSignificant < 0 && text[i] != u'0')
                firstSignificant = digits;
        }
    };
    readDigits();
    const qint64 integerDigits = digits;
    if (i < size && text[i] == u'.') {
        ++i;
        readDigits();
    }
    if (digits == 0)
        return number;
    number.end = i;

    qint64 exponent = 0;
    if (i < size && (text[i] == u'e' || text[i] == u'E')) {
        qsizetype j = i + 1;
        const bool negative = j < size && text[j] == u'-';
        if (j < size && (text[j] == u'+' || text[j] == u'-'))
            ++j;
        if (j < size && isDigit(text[j])) {
            // Saturates: anything beyond a billion is out of range either way.
            for (; j < size && isDigit(text[j]); ++j)
                exponent = std::min<qint64>(exponent * 10 + (text[j].unicode() - u'0'), 1'000'000'000);
            number.end = j;
            if (negative)
                exponent = -exponent;
        }
    }

    if (firstSignificant >= 0) {
        number.zero = false;
        number.magnitude = integerDigits - 1 - firstSignificant + exponent;
    }
    return number;
}

double roundHalfToEven(double value)
{
    const double down = std::floor(value);
    const double rest = value - down;
    if (rest != 0.5)
        return rest < 0.5 ? down : down + 1;
    return std::fmod(down, 2.0) == 0 ? down : down + 1;
}

std::optional<int> numberToId(QStringView text, const NumberText &number)
{
    if (number.zero || number.magnitude < -1) // below 0.1: rounds to 0
        return 0;
    if (number.magnitude > 4) // 100000 or more
        return std::nullopt;

    QByteArray ascii = text.sliced(number.begin, number.end - number.begin).toLatin1();
    if (ascii.startsWith('+')) // from_chars takes no plus sign
        ascii.remove(0, 1);
    double value = 0;
    const char *last = ascii.constData() + ascii.size();
    const auto [end, error] = std::from_chars(ascii.constData(), last, value);
    if (error != std::errc() || end != last || !std::isfinite(value))
        return std::nullopt;

    const double rounded = roundHalfToEven(value);
    if (rounded < INT16_MIN || rounded > INT16_MAX)
        return std::nullopt;
    return static_cast<int>(rounded);
}

qsizetype skipBlanks(QStringView text, qsizetype i)
{
    while (i < text.size() && isBlank(text[i]))
        ++i;
    return i;
}

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

// Installed families that cover Japanese, sans-serif ones first (both faces
// of the table are sans-serif), "Noto Sans CJK JP" ahead of all.
QStringList japaneseFamilies()
{
    QStringList families = QFontDatabase::families(QFontDatabase::Japanese);
    std::stable_partition(families.begin(), families.end(), [](const QString &family) {
        return family.contains(QLatin1String("Sans"), Qt::CaseInsensitive);
    });
    const QString preferred = QStringLiteral("Noto Sans CJK JP");
    if (families.removeAll(preferred) > 0)
        families.prepend(preferred);
    return families;
}

} // namespace

Language currentLanguage()
{
    if (languageOverride)
        return *languageOverride;
    return QLocale::system().language() == QLocale::Japanese ? Language::Japanese : Language::English;
}

void setLanguageOverride(std::optional<Language> language)
{
    languageOverride = language;
}

QString LoadResource(int id)
{
    const StringTable::Entry *entry = StringTable::find(id);
    if (!entry)
        return {};
    return (currentLanguage() == Language::Japanese ? entry->japanese : entry->english).toString();
}

bool hasResource(int id)
{
    return StringTable::find(id) != nullptr;
}

QList<int> resourceIds()
{
    QList<int> ids;
    for (const StringTable::Entry &entry : StringTable::entries())
        ids.append(entry.id);
    return ids;
}

std::optional<int> wholeNumberId(const QString &text)
{
    const NumberText number = scanNumber(text, skipBlanks(text, 0));
    if (number.end == number.begin || skipBlanks(text, number.end) != text.size())
        return std::nullopt;
    return numberToId(text, number);
}

std::optional<int> leadingNumberId(const QString &text)
{
    const NumberText number = scanNumber(text, skipBlanks(text, 0));
    if (number.end == number.begin)
        return 0;
    return numberToId(text, number);
}

int resourceCharset()
{
    return LoadResource(FontCharsetId).toInt();
}

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
