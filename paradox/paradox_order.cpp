// The canonical values an order compares, and the choice of the kind of order for a list
// of fields; the orders themselves are in int_order.cpp, sorted_order.cpp and
// grouped_order.cpp.
#include "paradox/paradox_order.h"

#include <cstring>

#include "base/convert.h"
#include "base/error.h"
#include "base/ru.h"
#include "paradox/order_kit.h"

namespace strnum {

using namespace strnum::literals;
using order_kit::badKey;
using order_kit::intLike;
using order_kit::storableText;

std::string_view pxCanonical(const ParadoxField& f, const char* record, char* scratch8) {
    const char* p = record + f.offset;
    if (f.type == pxtype::Alpha) return pxAlphaBytes(p, f.size);
    if (f.type == pxtype::Date) {
        const auto v = pxDecodeInt(p, 4);
        if (!v || *v <= 0 || *v > 3652059) {
            std::memset(scratch8, 0, 4);
            return {scratch8, 4};
        }
    }
    return {p, static_cast<std::size_t>(f.size)};
}

bool pxCanonicalKey(const ParadoxField& f, const KeyValue& v, CodePage cp, std::string& out, std::string_view table) {
    out.assign(static_cast<std::size_t>(std::max(f.size, 1)), '\0');
    if (f.type == pxtype::Alpha) {
        std::string number;
        std::string_view text;
        if (const auto* s = std::get_if<std::string>(&v)) {
            text = *s;
            if (!storableText(text)) return false;
        } else if (const auto* i = std::get_if<std::int32_t>(&v))
            text = number = std::to_string(*i);
        else
            badKey(table, f);
        if (!pxEncodeAlpha(out.data(), f.size, text, cp)) return false;
        out.resize(pxAlphaBytes(out.data(), f.size).size());
        return true;
    }
    if (f.type == pxtype::Date) {
        const auto* d = std::get_if<Date>(&v);
        if (!d) badKey(table, f);
        if (!d->empty()) pxEncodeInt(out.data(), 4, d->serial());
        return true;
    }
    std::optional<std::int32_t> i;
    if (const auto* iv = std::get_if<std::int32_t>(&v))
        i = *iv;
    else if (const auto* s = std::get_if<std::string>(&v))
        i = toInt32(*s);
    else
        badKey(table, f);
    if (!i) return false;
    switch (f.type) {
        case pxtype::Short:
            if (*i < -32767 || *i > 32767) return false;
            pxEncodeInt(out.data(), 2, *i);
            return true;
        case pxtype::Long:
        case pxtype::AutoInc:
            pxEncodeInt(out.data(), 4, *i);
            return true;
        case pxtype::Number:
        case pxtype::Money:
            pxEncodeDouble(out.data(), *i);
            return true;
        default:
            badKey(table, f);
    }
}

std::unique_ptr<ParadoxOrder> buildParadoxOrder(const ParadoxHeader& h, const ParadoxRecords& r,
                                                std::vector<int> fields, const ParadoxOrder* primary,
                                                std::string_view table, std::size_t groupedFrom, unsigned threads) {
    const auto& first = h.fields[static_cast<std::size_t>(fields[0])];
    if (fields.size() == 1 && intLike(first.type) && (primary == nullptr || r.count() == 0))
        return order_kit::makeIntOrder(h, r, std::move(fields), table, threads);
    if (fields.size() > 1 && r.count() >= groupedFrom)
        return order_kit::makeGroupedOrder(h, r, std::move(fields), primary, table, threads);
    return order_kit::makeSortedOrder(h, r, std::move(fields), primary, table);
}

}  // namespace strnum
