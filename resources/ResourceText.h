#pragma once

#include <QList>
#include <QString>

#include <optional>

// The string table: every translatable text by numeric id, in English and
// Japanese. The language follows the user's locale; tests may force one.
enum class Language { English, Japanese };

// The language used for lookups: the forced one if any, else Japanese when
// QLocale::system() is Japanese, else English.
Language currentLanguage();

// Test seam: forces the language of every later lookup; std::nullopt returns
// to following the system locale.
void setLanguageOverride(std::optional<Language> language);

// The text of `id` in the current language; an empty string for an unknown id.
QString LoadResource(int id);

// True when the table holds `id` (in both languages, which hold the same ids).
bool hasResource(int id);

// Every id of the table, ascending.
QList<int> resourceIds();

// Id readings. wholeNumberId: the whole text (blanks around allowed) is a
// number, rounded half to even. leadingNumberId: the number at the start of
// the text, after leading blanks; a text that starts with no number reads 0.
// Both give std::nullopt outside the signed 16-bit range or for no number.
// Callers use an id only when it is greater than 0.
std::optional<int> wholeNumberId(const QString &text);
std::optional<int> leadingNumberId(const QString &text);

// The character set of entry 21 as a number (0 ANSI, 128 Shift-JIS).
int resourceCharset();
