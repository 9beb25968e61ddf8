// What the orders of a Paradox table share, for paradox_order.cpp and the files of the three
// kinds of order: the integer order (int_order.cpp), the sorted order (sorted_order.cpp)
// and the grouped order (grouped_order.cpp).  Internal to paradox/.
#pragma once

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "base/error.h"
#include "base/ru.h"
#include "paradox/paradox_order.h"
#include "paradox/paradox_table.h"

namespace strnum::order_kit {

using namespace strnum::literals;

[[noreturn]] inline void badKey(std::string_view table, const ParadoxField& f) {
    std::string m("Значение ключа не подходит к полю "_cp);
    m += f.name;
    m += " "_cp;
    m += "таблицы "_cp;
    m += table;
    throwError(ErrorKind::InvalidArgument, std::move(m));
}

inline int compareBytes(std::string_view a, std::string_view b) {
    const int c = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
    if (c != 0) return c;
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

inline bool intLike(std::uint8_t t) {
    return t == pxtype::Short || t == pxtype::Long || t == pxtype::AutoInc || t == pxtype::Date;
}

// The last step of the hash of canonical values.
inline std::uint64_t finish(std::uint64_t h) {
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    return h;
}

// From this many records on, an order is built on two threads.
// Whether a text can be what a stored alpha value reads as: values are compared exactly, and
// a stored value reads without trailing blanks and ends at its first NUL, so a text with a
// trailing blank or a NUL in it equals none (a name cut to 25 characters in the middle of
// its blanks, for one).
inline bool storableText(std::string_view text) {
    return (text.empty() || text.back() != ' ') && text.find('\0') == std::string_view::npos;
}

// Orders over fewer records are built on one thread: starting threads would cost more.
inline constexpr std::size_t kThreadsFrom = 100000;

// Searches announced ahead (ParadoxOrder::prefetch): each hint takes the first step of its
// own search and later steps of the hints before it, kKeysStep and kRecordStep hints back.
inline constexpr std::size_t kAhead = std::tuple_size_v<decltype(ParadoxOrder::Hints::ahead)>, kKeysStep = 3,
                             kRecordStep = 6;
inline constexpr std::size_t kNoBucket = static_cast<std::size_t>(-1);
inline void touch(const void* p) {
#if defined(__GNUC__)
    __builtin_prefetch(p);
#else
    (void)p;
#endif
}

inline std::uint64_t nextOrderId() {
    static std::atomic<std::uint64_t> last{0};
    return ++last;
}

// The parts an order over n records is built in.
inline unsigned partsFor(std::size_t n, unsigned threads) { return n < kThreadsFrom ? 1u : std::max(1u, threads); }

// Shared by the sorted and the grouped order: canonical values and key comparison.
class FieldSet {
public:
    FieldSet(const ParadoxHeader& h, const ParadoxRecords& r, const std::vector<int>& fields, std::string_view table)
        : h_(h), r_(r), table_(table) {
        for (int f : fields) f_.push_back(h.fields[static_cast<std::size_t>(f)]);
    }
    std::size_t count() const { return f_.size(); }
    const std::vector<ParadoxField>& fields() const { return f_; }
    CodePage codePage() const { return h_.textCodePage; }
    std::string_view value(std::size_t stored, std::size_t k, char* scratch) const {
        return pxCanonical(f_[k], r_.record(stored), scratch);
    }
    int compare(std::size_t a, std::size_t b) const {
        char sa[8], sb[8];
        for (std::size_t k = 0; k < f_.size(); ++k)
            if (int c = compareBytes(value(a, k, sa), value(b, k, sb))) return c;
        return 0;
    }
    // Canonical keys for values; false when no stored value can equal them.
    bool keys(std::span<const KeyValue> values, std::vector<std::string>& out) const {
        if (values.size() > f_.size() || values.empty()) badKey(table_, f_[0]);
        out.resize(values.size());
        for (std::size_t k = 0; k < values.size(); ++k)
            if (!pxCanonicalKey(f_[k], values[k], h_.textCodePage, out[k], table_)) return false;
        return true;
    }
    int compareKey(std::size_t stored, const std::vector<std::string>& keys) const {
        char s[8];
        for (std::size_t k = 0; k < keys.size(); ++k)
            if (int c = compareBytes(value(stored, k, s), keys[k])) return c;
        return 0;
    }
    const std::string& table() const { return table_; }

private:
    const ParadoxHeader& h_;
    const ParadoxRecords& r_;
    std::vector<ParadoxField> f_;
    std::string table_;
};

// The three kinds of order (buildParadoxOrder chooses).
std::unique_ptr<ParadoxOrder> makeIntOrder(const ParadoxHeader& h, const ParadoxRecords& r, std::vector<int> fields,
                                           std::string_view table, unsigned threads);
std::unique_ptr<ParadoxOrder> makeSortedOrder(const ParadoxHeader& h, const ParadoxRecords& r, std::vector<int> fields,
                                              const ParadoxOrder* primary, std::string_view table);
std::unique_ptr<ParadoxOrder> makeGroupedOrder(const ParadoxHeader& h, const ParadoxRecords& r, std::vector<int> fields,
                                               const ParadoxOrder* primary, std::string_view table, unsigned threads);

}  // namespace strnum::order_kit
