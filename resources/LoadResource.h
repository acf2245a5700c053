#pragma once

#include "resources/ResourceText.h"

#include <QFont>

// The parts of the string table that touch widgets and fonts; the lookups
// themselves are in ResourceText.h, usable without a GUI.

class QWidget;

// The font of translated controls for the current language: face from entry
// 20, 8 points, not bold. The character set (entry 21) chooses the writing
// system whose installed family stands in for the face.
QFont resourceFont();

// Maps the table's font faces, which Linux does not have, to installed
// families: "Ms Sans Serif" to "Liberation Sans" (Arial's widths), else the
// desktop's sans-serif font, and "ＭＳ Ｐゴシック" to "IPAPGothic" (its own
// widths), else another installed family that covers Japanese. Called once
// at start-up; idempotent.
void installFontSubstitutions();

// Puts the current language's texts in place of the ids that a window and its
// controls carry (window Tag, menu item captions, control Tags) and gives the
// translated controls the language's font. Never fails, never reports.
void ApplyResourceStrings(QWidget *window);
