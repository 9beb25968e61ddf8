// The order of a table by one integer or date field: a bucket table over the range of the
// values, searched by one step into it (the primary order of the number directory).
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

class IntOrder : public ParadoxOrder {
public:
    IntOrder(const ParadoxHeader& h, const ParadoxRecords& r, std::vector<int> fields, std::string_view table,
             unsigned threads)
        : field_(h.fields[static_cast<std::size_t>(fields[0])]),
          table_(table),
          records_(r),
          recordSize_(static_cast<std::size_t>(h.recordSize)) {
        fields_ = std::move(fields);
        const std::size_t n = r.count();
        keys_.resize(n);
        const unsigned parts = partsFor(n, threads);
        std::vector<char> unsorted(parts, 0);
        inParts(n, parts, [&](unsigned part, std::size_t b, std::size_t e) {
            const std::size_t off = static_cast<std::size_t>(field_.offset);
            std::int32_t prev = INT32_MIN;
            bool down = false;
            for (std::size_t i = b; i < e; ++i) {
                const std::int32_t k = keyOf(r.record(i) + off);
                keys_[i] = k;
                down |= k < prev;
                prev = k;
            }
            unsorted[part] = down;
        });
        bool sorted = std::none_of(unsorted.begin(), unsorted.end(), [](char u) { return u != 0; });
        for (unsigned part = 1; sorted && part < parts; ++part) {  // where one part meets the next
            const std::size_t at = partBegin(n, parts, part);
            if (at > 0 && at < n && keys_[at] < keys_[at - 1]) sorted = false;
        }
        if (!sorted) {
            std::vector<std::uint64_t> tmp(n);
            for (std::size_t i = 0; i < n; ++i)
                tmp[i] = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(keys_[i]) ^ 0x80000000u) << 32) | i;
            std::sort(tmp.begin(), tmp.end());
            perm_.resize(n);
            for (std::size_t i = 0; i < n; ++i) {
                perm_[i] = static_cast<std::uint32_t>(tmp[i]);
                keys_[i] = static_cast<std::int32_t>(static_cast<std::uint32_t>(tmp[i] >> 32) ^ 0x80000000u);
            }
        }
        if (n == 0) return;
        min_ = keys_.front();
        range_ = static_cast<std::uint64_t>(static_cast<std::int64_t>(keys_.back()) - min_) + 1;
        buckets_ = std::min<std::size_t>(65536, n);
        starts_.resize(buckets_ + 1);
        std::size_t b = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const std::size_t kb = bucketOf(keys_[i]);
            while (b <= kb) starts_[b++] = static_cast<std::uint32_t>(i);
        }
        while (b <= buckets_) starts_[b++] = static_cast<std::uint32_t>(n);
    }

    std::size_t size() const override { return keys_.size(); }
    std::size_t stored(std::size_t pos) const override { return perm_.empty() ? pos : perm_[pos]; }
    bool inStoredOrder() const override { return perm_.empty(); }

    std::optional<std::size_t> find(std::span<const KeyValue> values) const override {
        if (values.size() != 1) badKey(table_, field_);
        std::int64_t key;
        if (const auto* i = std::get_if<std::int32_t>(&values[0]))
            key = *i;
        else if (const auto* d = std::get_if<Date>(&values[0])) {
            if (field_.type != pxtype::Date) badKey(table_, field_);
            if (d->empty()) return std::nullopt;
            key = d->serial();
        } else {
            const auto v = toInt32(std::get<std::string>(values[0]));
            if (!v) return std::nullopt;
            key = *v;
        }
        if (keys_.empty() || key < min_ || key > keys_.back() || key == INT32_MIN) return std::nullopt;
        if (field_.type == pxtype::Short && (key < -32767 || key > 32767)) return std::nullopt;
        const std::size_t b = bucketOf(static_cast<std::int32_t>(key));
        const auto first = keys_.begin() + starts_[b], last = keys_.begin() + starts_[b + 1];
        const auto it = std::lower_bound(first, last, static_cast<std::int32_t>(key));
        if (it == last || *it != key) return std::nullopt;
        return static_cast<std::size_t>(it - keys_.begin());
    }

    // A search reads a bucket start, keys, then the record found: three misses one after
    // another, each step taken some hints ahead of the search (as the grouped order does).
    std::uint64_t prefetch(std::span<const KeyValue> values, Hints& hints) const override {
        Hints::Ahead& a = hints.ahead[static_cast<std::size_t>(hints.count % kAhead)];
        a.number = ++hints.count;
        a.order = id_;
        a.bucket = kNoBucket;
        const auto* key = values.size() == 1 ? std::get_if<std::int32_t>(&values[0]) : nullptr;
        if (key && !keys_.empty() && *key >= min_ && *key <= keys_.back() && *key != INT32_MIN) {
            a.bucket = bucketOf(*key);
            a.hash = static_cast<std::uint32_t>(*key);
            touch(&starts_[a.bucket]);
        }
        if (hints.count > kKeysStep) {
            const Hints::Ahead& k = hints.ahead[(hints.count - 1 - kKeysStep) % kAhead];
            if (k.bucket != kNoBucket && k.order == id_) touch(keys_.data() + starts_[k.bucket]);
        }
        if (hints.count > kRecordStep) {
            const Hints::Ahead& r = hints.ahead[(hints.count - 1 - kRecordStep) % kAhead];
            if (r.bucket != kNoBucket && r.order == id_) {
                const auto first = keys_.begin() + starts_[r.bucket], last = keys_.begin() + starts_[r.bucket + 1];
                const auto v = static_cast<std::int32_t>(static_cast<std::uint32_t>(r.hash));
                const auto it = std::lower_bound(first, last, v);
                if (it != last && *it == v) {
                    const char* rec = records_.record(stored(static_cast<std::size_t>(it - keys_.begin())));
                    touch(rec);
                    touch(rec + recordSize_ - 1);
                }
            }
        }
        return a.number;
    }

private:
    // The stored value as an int32, INT32_MIN when empty.
    std::int32_t keyOf(const char* p) const {
        if (field_.size == 4) {
            const std::uint32_t v = (static_cast<std::uint32_t>(static_cast<unsigned char>(p[0])) << 24) |
                                    (static_cast<std::uint32_t>(static_cast<unsigned char>(p[1])) << 16) |
                                    (static_cast<std::uint32_t>(static_cast<unsigned char>(p[2])) << 8) |
                                    static_cast<std::uint32_t>(static_cast<unsigned char>(p[3]));
            return v == 0 ? INT32_MIN : static_cast<std::int32_t>(v ^ 0x80000000u);
        }
        const auto v = pxDecodeInt(p, field_.size);
        return v ? static_cast<std::int32_t>(*v) : INT32_MIN;
    }
    std::size_t bucketOf(std::int32_t v) const {
        return static_cast<std::size_t>(static_cast<std::uint64_t>(static_cast<std::int64_t>(v) - min_) * buckets_ /
                                        range_);
    }

    ParadoxField field_;
    std::string table_;
    const ParadoxRecords& records_;
    std::size_t recordSize_;
    const std::uint64_t id_ = nextOrderId();                        // tells hints made by this order from others'
    std::vector<std::int32_t, LargeAllocator<std::int32_t>> keys_;  // every one written by the build
    std::vector<std::uint32_t> perm_;
    std::vector<std::uint32_t> starts_;
    std::int64_t min_ = 0;
    std::uint64_t range_ = 1;
    std::size_t buckets_ = 0;
};

}  // namespace

std::unique_ptr<ParadoxOrder> makeIntOrder(const ParadoxHeader& h, const ParadoxRecords& r, std::vector<int> fields,
                                           std::string_view table, unsigned threads) {
    return std::make_unique<IntOrder>(h, r, std::move(fields), table, threads);
}

}  // namespace strnum::order_kit
