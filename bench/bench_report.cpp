// The report at the size of a whole region's check: 500,000 lines, a tenth with a
// coloured difference.  Times filling it, the paged text and the RTF to /dev/null, and
// shows the memory the report holds beside the bytes of its text.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "base/ru.h"
#include "identity/coloured_writer.h"
#include "report/paged_text.h"
#include "report/rtf_writer.h"

using namespace strnum;
using namespace strnum::literals;

namespace {

double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

long peakRssKb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
    const int lines = argc > 1 ? std::stoi(argv[1]) : 500000;
    const long rssBefore = peakRssKb();
    auto t0 = std::chrono::steady_clock::now();
    Report report;
    Colour highlight = kRed;
    ColouredWriter writer(report, highlight);
    const std::string prefix = std::string("Участок 12  файл PDL.DBF запись "_cp);
    for (int i = 0; i < lines; ++i) {
        if (i % 10 == 0) {
            report.appendLine(prefix + std::to_string(i) +
                              std::string(" в СПУ со стр.N 123-456-789 64 указано ФИО"_cp));
            writer.writeWithSpanOnNewLine(8, 14, std::string("ИВАНОВ ИВАНОВА ИВАНОВНА"_cp));
        } else {
            report.appendLine(prefix + std::to_string(i) + std::string(" ошибка в  стр.N 1234567890"_cp));
        }
    }
    const double fill = seconds(t0);
    const long rssAfter = peakRssKb();

    t0 = std::chrono::steady_clock::now();
    OutputFile paged("/dev/null");
    writePagedText(report, paged, {});
    paged.close();
    const double pagedTime = seconds(t0);

    t0 = std::chrono::steady_clock::now();
    OutputFile rtf("/dev/null");
    writeRtf(report, rtf);
    rtf.close();
    const double rtfTime = seconds(t0);

    std::printf("report lines:     %zu (%zu bytes of text)\n", report.lineCount(), report.byteCount());
    std::printf("fill:             %.3f s\n", fill);
    std::printf("memory growth:    %.1f MB (text %.1f MB)\n", (rssAfter - rssBefore) / 1024.0,
                static_cast<double>(report.byteCount()) / 1e6);
    std::printf("paged text:       %.3f s\n", pagedTime);
    std::printf("RTF:              %.3f s\n", rtfTime);
    return 0;
}
