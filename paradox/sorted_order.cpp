// The order of a small table by any fields: the records sorted by their canonical values,
// searched by halving.
#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstring>
#include <thread>

#include "base/convert.h"
#include "base/error.h"
#include "base/parallel.h"
#include "base/ru.h"
#include "paradox/order_kit.h"
#include "paradox/paradox_table.h"
#include "system/large_memory.h"

namespace strnum::order_kit {

namespace {

class SortedOrder : public ParadoxOrder {
public:
    SortedOrder(const ParadoxHeader& h, const ParadoxRecords& r, std::vector<int> fields, const ParadoxOrder* primary,
                std::string_view table)
        : set_(h, r, fields, table) {
        fields_ = std::move(fields);
        const std::size_t n = r.count();
        std::vector<std::uint32_t> rank(n);  // position in primary order of each stored record
        for (std::size_t p = 0; p < n; ++p) rank[primary ? primary->stored(p) : p] = static_cast<std::uint32_t>(p);
        perm_.resize(n);
        for (std::size_t p = 0; p < n; ++p) perm_[p] = static_cast<std::uint32_t>(primary ? primary->stored(p) : p);
        std::stable_sort(perm_.begin(), perm_.end(), [&](std::uint32_t a, std::uint32_t b) {
            const int c = set_.compare(a, b);
            return c != 0 ? c < 0 : rank[a] < rank[b];
        });
    }
    std::size_t size() const override { return perm_.size(); }
    std::size_t stored(std::size_t pos) const override { return perm_[pos]; }
    std::optional<std::size_t> find(std::span<const KeyValue> values) const override {
        std::vector<std::string> keys;
        if (!set_.keys(values, keys)) return std::nullopt;
        const auto it = std::lower_bound(perm_.begin(), perm_.end(), 0,
                                         [&](std::uint32_t s, int) { return set_.compareKey(s, keys) < 0; });
        if (it == perm_.end() || set_.compareKey(*it, keys) != 0) return std::nullopt;
        return static_cast<std::size_t>(it - perm_.begin());
    }

private:
    FieldSet set_;
    std::vector<std::uint32_t> perm_;
};

// The canonical values of a record's fields as whole 8-byte words, every field starting
// on a word of its own and padded with zero bytes: alpha cut at the first NUL, trailing
// blanks cleared; an invalid date all zero.  Two records have equal values exactly when

}  // namespace

std::unique_ptr<ParadoxOrder> makeSortedOrder(const ParadoxHeader& h, const ParadoxRecords& r, std::vector<int> fields,
                                              const ParadoxOrder* primary, std::string_view table) {
    return std::make_unique<SortedOrder>(h, r, std::move(fields), primary, table);
}

}  // namespace strnum::order_kit
