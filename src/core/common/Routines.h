// The small text, path and date routines every window uses. No state, no widgets.
#pragma once

#include <QDate>
#include <QString>
#include <optional>

// The separator the program joins paths with: "\" on Windows, "/" elsewhere.
QChar pathSeparator();

// Removes leading and trailing plain spaces only; tabs and the ideographic space are part of the text.
QString trimSpaces(const QString& text);

// The folder trimmed of spaces, with one separator at the end so that a file name can be appended. Only the
// platform's own separator counts; the empty text becomes a lone separator.
QString PathWithSlash(const QString& path);

// Today's local date as "YYYY年MM月DD日". The argument is accepted and ignored, as callers have always passed one.
QString TodayStamp(const QDate& ignored = QDate());
QString dateStamp(const QDate& date);

// True when the text is empty or all plain spaces.
bool IsBlank(const QString& text);

// The file-dialog filter for a kind of file PickFile knows. An empty filter means "leave the dialog's filter as it
// is" ("DIR"); no value means the kind is unknown. Kinds match exactly, letter case included.
std::optional<QString> filterForKind(const QString& kind);
