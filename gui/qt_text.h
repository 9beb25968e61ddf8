// The window boundary of the 1251 convention: core strings (1251 bytes) to QString and
// back.  A character that 1251 lacks, typed by the user, cannot reach the core silently
// changed: fromQt reports it.
#pragma once

#include <QString>
#include <optional>
#include <string>
#include <string_view>

namespace strnum {

QString toQt(std::string_view cp1251);
// nullopt when the text holds a character code page 1251 lacks.
std::optional<std::string> fromQt(const QString& text);
// As fromQt, with '?' for such characters; for texts that only go into messages.
std::string fromQtLossy(const QString& text);

}  // namespace strnum
