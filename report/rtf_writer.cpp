#include "report/rtf_writer.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace strnum {
namespace {

// A reader breaks a line that is wider than its page where the Unicode line-breaking rules
// allow, and they allow it inside words: after the hyphen of "другое-длинное" or the slash
// of "д/р", before an opening bracket.  A word joiner (U+2060, invisible) between such a
// character and the next keeps the word whole, so that lines break only at blanks.
constexpr std::string_view kWordJoiner = "\\u8288 ";  // with \uc0: no substitute for old readers

bool mayBreakAfter(unsigned char b) {
    switch (b) {
        case '-':
        case '/':
        case '\\':
        case '!':
        case '?':
        case ')':
        case ']':
        case '}':
        case '|':
        case 0x96:  // en dash
        case 0x97:  // em dash
        case 0xAD:  // soft hyphen
            return true;
        default:
            return false;
    }
}

bool mayBreakBefore(unsigned char b) { return b == '(' || b == '[' || b == '{' || b == 0x96 || b == 0x97; }

// Blanks and control characters (a tab, the form feed of a page-break line) part words.
bool isBlank(char c) { return c == ' ' || static_cast<unsigned char>(c) < 0x20; }

// previous: the character before text on its line (a blank at the start of a line).
void appendEscaped(std::string& out, std::string_view text, char previous) {
    static constexpr char kHex[] = "0123456789abcdef";
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (!isBlank(previous) && !isBlank(c) &&
            (mayBreakAfter(static_cast<unsigned char>(previous)) || mayBreakBefore(b)))
            out += kWordJoiner;
        previous = c;
        if (c == '\\' || c == '{' || c == '}') {
            out += '\\';
            out += c;
        } else if (c == '\t') {
            out += "\\tab ";
        } else if (c == '\f') {
            out += "\\page ";
        } else if (b >= 0x80 || b < 0x20) {
            out += "\\'";
            out += kHex[b >> 4];
            out += kHex[b & 0xF];
        } else {
            out += c;
        }
    }
}

}  // namespace

void writeRtf(const Report& report, OutputFile& out, const RtfOptions& options) {
    // Colour table: index 0 is "auto" (the default colour), then every colour in use.
    std::vector<std::uint32_t> colours;
    for (std::size_t i = 0; i < report.lineCount(); ++i)
        report.forEachRun(i, [&](const Run& r) {
            if (!r.colour.isDefault() &&
                std::find(colours.begin(), colours.end(), r.colour.bgrValue()) == colours.end())
                colours.push_back(r.colour.bgrValue());
        });

    std::string head = "{\\rtf1\\ansi\\ansicpg1251\\deff0\\deflang1049";
    head += "{\\fonttbl{\\f0\\fmodern\\fprq1\\fcharset204 Courier New;}}\r\n{\\colortbl;";
    char buf[64];
    for (std::uint32_t c : colours) {
        const Colour colour = Colour::bgr(c);
        std::snprintf(buf, sizeof buf, "\\red%d\\green%d\\blue%d;", colour.red(), colour.green(), colour.blue());
        head += buf;
    }
    head += "}\r\n";
    // A4 with margins of 2 cm at the left (for binding), 1 cm at the right, 1.5 cm above and
    // below; readers otherwise take a page of their own (often Letter).
    head += "\\paperw11906\\paperh16838\\margl1134\\margr567\\margt850\\margb850\r\n";
    std::snprintf(buf, sizeof buf, "\\viewkind4\\uc0\\pard\\plain\\f0\\fs%d ", options.fontPoints * 2);
    head += buf;
    out.write(head);

    std::string line;
    for (std::size_t i = 0; i < report.lineCount(); ++i) {
        line.clear();
        char previous = ' ';
        report.forEachRun(i, [&](const Run& r) {
            const std::size_t index =
                r.colour.isDefault()
                    ? 0
                    : static_cast<std::size_t>(std::find(colours.begin(), colours.end(), r.colour.bgrValue()) -
                                               colours.begin()) +
                          1;
            std::snprintf(buf, sizeof buf, "\\cf%zu ", index);
            line += buf;
            appendEscaped(line, r.text, previous);
            previous = r.text.back();  // runs are never empty
        });
        if (i + 1 < report.lineCount()) line += "\\cf0\\par\r\n";
        out.write(line);
    }
    out.write("\\cf0\\par\r\n}\r\n");
}

}  // namespace strnum
