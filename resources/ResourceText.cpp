#include "resources/ResourceText.h"

#include "resources/StringTable.h"

#include <QLocale>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace {

constexpr int FontCharsetId = 21;

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
