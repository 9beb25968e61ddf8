#include "UREPORT2/rtf_writer.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace strnum {
namespace {

void appendEscaped(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
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
            if (!r.colour.isDefault() && std::find(colours.begin(), colours.end(), r.colour.bgrValue()) == colours.end())
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
    std::snprintf(buf, sizeof buf, "}\r\n\\viewkind4\\uc1\\pard\\plain\\f0\\fs%d ", options.fontPoints * 2);
    head += buf;
    out.write(head);

    std::string line;
    for (std::size_t i = 0; i < report.lineCount(); ++i) {
        line.clear();
        report.forEachRun(i, [&](const Run& r) {
            const std::size_t index =
                r.colour.isDefault()
                    ? 0
                    : static_cast<std::size_t>(std::find(colours.begin(), colours.end(), r.colour.bgrValue()) -
                                               colours.begin()) + 1;
            std::snprintf(buf, sizeof buf, "\\cf%zu ", index);
            line += buf;
            appendEscaped(line, r.text);
        });
        if (i + 1 < report.lineCount()) line += "\\cf0\\par\r\n";
        out.write(line);
    }
    out.write("\\cf0\\par\r\n}\r\n");
}

}  // namespace strnum
