#include "gui/qt_text.h"

#include "base/text.h"

namespace strnum {

QString toQt(std::string_view cp1251) {
    const std::u16string wide = cp1251ToUtf16(cp1251);
    return QString(reinterpret_cast<const QChar*>(wide.data()), static_cast<qsizetype>(wide.size()));
}

std::optional<std::string> fromQt(const QString& text) {
    return utf16To1251(
        std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())));
}

std::string fromQtLossy(const QString& text) {
    std::string out;
    out.reserve(static_cast<std::size_t>(text.size()));
    for (QChar c : text) {
        auto b = utf16To1251(std::u16string_view(reinterpret_cast<const char16_t*>(&c), 1));
        out += b ? (*b)[0] : '?';
    }
    return out;
}

}  // namespace strnum
