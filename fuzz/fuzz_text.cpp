// Fuzzes the text edges of the core: UTF-8 input to 1251, number texts, integer
// conversion, and the paged-text and RTF writers over a report built from the input
// (every byte value, form feeds and long lines included).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "base/convert.h"
#include "base/text.h"
#include "identity/comparison.h"
#include "identity/insurance_number.h"
#include "report/paged_text.h"
#include "report/rtf_writer.h"

using namespace strnum;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view in(reinterpret_cast<const char*>(data), size);

    if (auto t = utf8To1251(in)) {
        if (cp1251ToUtf8(*t).size() < t->size()) std::abort();
    }
    (void)cp866To1251Lossy(in);
    (void)toInt32(in);
    const NumberReading r = readNumberText(in.substr(0, 11));
    if (r.body) (void)displayForm(*r.body);
    (void)completeLeadingZeros(in.substr(0, 12));

    const std::size_t half = size / 2;
    const Span s = differenceSpan(in.substr(0, half), in.substr(half));
    if (s.first < 1 || s.last < 0 || static_cast<std::size_t>(s.last) > size - half) std::abort();

    // A report: lines split at '\n', a colour change at every '\x01'.
    Report report;
    std::size_t start = 0;
    bool red = false;
    for (std::size_t i = 0; i <= size; ++i) {
        if (i == size || in[i] == '\n' || in[i] == '\x01') {
            report.appendRun(in.substr(start, i - start), red ? kRed : Colour());
            if (i < size && in[i] == '\n') report.newLine();
            if (i < size && in[i] == '\x01') red = !red;
            start = i + 1;
        }
    }
    PageOptions options;
    options.linesPerPage = size > 0 ? static_cast<int>(data[0] % 70) - 3 : 62;
    options.firstPage = size > 1 ? data[1] % 4 : 0;
    options.lastPage = size > 2 ? data[2] % 6 : 9999;
    OutputFile paged("/dev/null");
    writePagedText(report, paged, options);
    paged.close();
    OutputFile rtf("/dev/null");
    writeRtf(report, rtf);
    rtf.close();
    return 0;
}
