#include "walk/text_host.h"

#include "base/text.h"

namespace strnum {

void TextHost::print(const Report& report, std::ostream& out, std::ostream& err) const {
    std::string buffer;
    for (std::size_t i = 0; i < report.lineCount(); ++i) {
        appendCp1251AsUtf8(report.line(i), buffer);
        buffer += '\n';
        if (buffer.size() > (1 << 16)) {
            out << buffer;
            buffer.clear();
        }
    }
    out << buffer;
    if (asked) out << cp1251ToUtf8(question) << '\n';
    out.flush();
    printTroubles(err);
}

void TextHost::printTroubles(std::ostream& err) const {
    for (const std::string& n : notices) err << cp1251ToUtf8(n) << '\n';
    for (const std::string& e : errors) err << cp1251ToUtf8(e) << '\n';
}

}  // namespace strnum
