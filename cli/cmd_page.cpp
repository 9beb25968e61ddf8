// strnum-cli page [--lines N] [--first P] [--last Q] [--no-form-feed] INPUT OUTPUT
// Reads a UTF-8 text file as report lines and writes it as the report window's paged
// text: 62 lines a page, all pages, a final form feed, unless told otherwise.  OUTPUT may
// be a file or a device.
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>

#include "base/error.h"
#include "base/ru.h"
#include "base/text.h"
#include "cli/commands.h"
#include "report/paged_text.h"

namespace strnum::cli {

using namespace strnum::literals;

namespace {

struct PageArgs {
    int lines = 62;
    int first = 1;
    int last = 9999;
    bool firstGiven = false;
    bool lastGiven = false;
    bool noFormFeed = false;
    std::string input;
    std::string output;
};

// Lines end with LF; a CR before it is dropped; a final LF is not followed by an empty line.
Report readReport(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throwError(ErrorKind::NotFound, std::string("Не удается открыть файл "_cp) + pathTo1251(path));
    std::ostringstream all;
    all << in.rdbuf();
    const std::string text = all.str();
    Report report;
    std::size_t pos = 0;
    std::size_t number = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        const bool lastLine = end == std::string::npos;
        if (lastLine) end = text.size();
        std::string_view line(text.data() + pos, end - pos);
        if (!line.empty() && line.back() == '\r' && !lastLine) line.remove_suffix(1);
        ++number;
        const auto converted = utf8To1251(line);
        if (!converted)
            throwError(ErrorKind::Conversion, pathTo1251(path) + std::string(": строка "_cp) + std::to_string(number) +
                                                  std::string(" содержит знак вне кодовой страницы 1251"_cp));
        report.appendLine(*converted);
        pos = end + 1;
    }
    return report;
}

}  // namespace

void addPageCommand(CLI::App& app) {
    auto args = std::make_shared<PageArgs>();
    auto* cmd = app.add_subcommand("page", "Write a text file as the paged text of the report window");
    cmd->add_option("--lines", args->lines, "lines per page (62)");
    cmd->add_option("--first", args->first, "first page written (1)");
    cmd->add_option("--last", args->last, "last page written (9999)");
    cmd->add_flag("--no-form-feed", args->noFormFeed, "no form feed after the last page");
    cmd->add_option("INPUT", args->input, "UTF-8 text file, one report line a line")->required();
    cmd->add_option("OUTPUT", args->output, "file or device to write")->required();
    cmd->callback([args] {
        const Report report = readReport(pathFromUtf8(args->input));
        PageOptions options;
        options.linesPerPage = args->lines;
        options.firstPage = args->first;
        options.lastPage = args->last;
        options.finalFormFeed = !args->noFormFeed;
        OutputFile out(pathFromUtf8(args->output));
        writePagedText(report, out, options);
        out.close();
    });
}

}  // namespace strnum::cli
