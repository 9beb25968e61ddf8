#include "data/paradox_order.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <thread>

#include "base/convert.h"
#include "base/error.h"
#include "base/ru.h"
#include "data/paradox_table.h"

namespace strnum {

using namespace strnum::literals;

namespace {

[[noreturn]] void badKey(std::string_view table, const ParadoxField& f) {
    std::string m("Значение ключа не подходит к полю "_cp);
    m += f.name;
    m += " "_cp;
    m += "таблицы "_cp;
    m += table;
    throwError(ErrorKind::InvalidArgument, std::move(m));
}

int compareBytes(std::string_view a, std::string_view b) {
    const int c = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
    if (c != 0) return c;
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

bool intLike(std::uint8_t t) {
    return t == pxtype::Short || t == pxtype::Long || t == pxtype::AutoInc || t == pxtype::Date;
}

// Word-at-a-time hash of the canonical values; the same for a record and for a key.
std::uint64_t mix(std::uint64_t h, std::uint64_t w) {
    h ^= w;
    h *= 0x9E3779B97F4A7C15ull;
    return h ^ (h >> 29);
}
std::uint64_t hashBytes(std::uint64_t h, std::string_view s) {
    h = mix(h, s.size() + 0x51ED27u);
    std::size_t i = 0;
    for (; i + 8 <= s.size(); i += 8) {
        std::uint64_t w;
        std::memcpy(&w, s.data() + i, 8);
        h = mix(h, w);
    }
    if (i < s.size()) {
        std::uint64_t w = 0;
        std::memcpy(&w, s.data() + i, s.size() - i);
        h = mix(h, w);
    }
    return h;
}
std::uint64_t finish(std::uint64_t h) {
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    return h;
}

// Runs fn(begin, end) over [0, n) on two threads when n is large.
template <class Fn>
void onTwoThreads(std::size_t n, Fn fn) {
    if (n < 100000) {
        fn(std::size_t{0}, n);
        return;
    }
    std::thread t([&] { fn(n / 2, n); });
    fn(std::size_t{0}, n / 2);
    t.join();
}

class IntOrder : public ParadoxOrder {
public:
    IntOrder(const ParadoxHeader& h, const ParadoxRecords& r, std::vector<int> fields, std::string_view table)
        : field_(h.fields[static_cast<std::size_t>(fields[0])]), table_(table) {
        fields_ = std::move(fields);
        const std::size_t n = r.count();
        keys_.resize(n);
        bool sorted = true;
        for (std::size_t i = 0; i < n; ++i) {
            const auto v = pxDecodeInt(r.record(i) + field_.offset, field_.size);
            keys_[i] = v ? static_cast<std::int32_t>(*v) : INT32_MIN;
            if (i > 0 && keys_[i] < keys_[i - 1]) sorted = false;
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

    std::optional<std::size_t> find(std::span<const KeyValue> values) const override {
        if (values.size() != 1) badKey(table_, field_);
        std::int64_t key;
        if (const auto* i = std::get_if<std::int32_t>(&values[0])) key = *i;
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

private:
    std::size_t bucketOf(std::int32_t v) const {
        return static_cast<std::size_t>(static_cast<std::uint64_t>(static_cast<std::int64_t>(v) - min_) * buckets_ /
                                        range_);
    }

    ParadoxField field_;
    std::string table_;
    std::vector<std::int32_t> keys_;
    std::vector<std::uint32_t> perm_;
    std::vector<std::uint32_t> starts_;
    std::int64_t min_ = 0;
    std::uint64_t range_ = 1;
    std::size_t buckets_ = 0;
};

// Shared by the sorted and the grouped order: canonical values and key comparison.
class FieldSet {
public:
    FieldSet(const ParadoxHeader& h, const ParadoxRecords& r, const std::vector<int>& fields, std::string_view table)
        : h_(h), r_(r), table_(table) {
        for (int f : fields) f_.push_back(h.fields[static_cast<std::size_t>(f)]);
    }
    std::size_t count() const { return f_.size(); }
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
    std::uint64_t hash(std::size_t stored) const {
        char s[8];
        std::uint64_t h = 0x1234567u;
        for (std::size_t k = 0; k < f_.size(); ++k) h = hashBytes(h, value(stored, k, s));
        return finish(h);
    }
    static std::uint64_t hashKeys(const std::vector<std::string>& keys) {
        std::uint64_t h = 0x1234567u;
        for (const auto& k : keys) h = hashBytes(h, k);
        return finish(h);
    }
    const std::string& table() const { return table_; }

private:
    const ParadoxHeader& h_;
    const ParadoxRecords& r_;
    std::vector<ParadoxField> f_;
    std::string table_;
};

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
        const auto it = std::lower_bound(perm_.begin(), perm_.end(), 0, [&](std::uint32_t s, int) {
            return set_.compareKey(s, keys) < 0;
        });
        if (it == perm_.end() || set_.compareKey(*it, keys) != 0) return std::nullopt;
        return static_cast<std::size_t>(it - perm_.begin());
    }

private:
    FieldSet set_;
    std::vector<std::uint32_t> perm_;
};

class GroupedOrder : public ParadoxOrder {
public:
    GroupedOrder(const ParadoxHeader& h, const ParadoxRecords& r, std::vector<int> fields, const ParadoxOrder* primary,
                 std::string_view table)
        : set_(h, r, fields, table), primary_(primary) {
        fields_ = std::move(fields);
        const std::size_t n = r.count();
        pbits_ = std::max(1, static_cast<int>(std::bit_width(n)));
        mask_ = (std::uint64_t{1} << pbits_) - 1;
        keys_.resize(n);
        onTwoThreads(n, [&](std::size_t b, std::size_t e) {
            for (std::size_t p = b; p < e; ++p) keys_[p] = (set_.hash(storedOf(p)) & ~mask_) | p;
        });
        // Split on the top bit, then sort the halves side by side.
        const auto mid = std::partition(keys_.begin(), keys_.end(), [](std::uint64_t k) { return (k >> 63) == 0; });
        if (n >= 100000) {
            std::thread t([&] { std::sort(mid, keys_.end()); });
            std::sort(keys_.begin(), mid);
            t.join();
        } else {
            std::sort(keys_.begin(), mid);
            std::sort(mid, keys_.end());
        }
        separateCollisions();
        bbits_ = std::clamp(static_cast<int>(std::bit_width(n)) - 1, 1, 24);
        starts_.resize((std::size_t{1} << bbits_) + 1);
        std::size_t b = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const std::size_t kb = static_cast<std::size_t>(keys_[i] >> (64 - bbits_));
            while (b <= kb) starts_[b++] = static_cast<std::uint32_t>(i);
        }
        while (b < starts_.size()) starts_[b++] = static_cast<std::uint32_t>(n);
    }

    std::size_t size() const override { return keys_.size(); }
    std::size_t stored(std::size_t pos) const override { return storedOf(keys_[pos] & mask_); }

    std::optional<std::size_t> find(std::span<const KeyValue> values) const override {
        std::vector<std::string> keys;
        if (!set_.keys(values, keys)) return std::nullopt;
        if (keys.size() < set_.count()) {  // not grouped by a prefix: scan
            for (std::size_t pos = 0; pos < keys_.size(); ++pos)
                if (set_.compareKey(stored(pos), keys) == 0) return pos;
            return std::nullopt;
        }
        const std::uint64_t h = FieldSet::hashKeys(keys) & ~mask_;
        const std::size_t b = static_cast<std::size_t>(h >> (64 - bbits_));
        for (std::size_t i = starts_[b]; i < starts_[b + 1]; ++i) {
            const std::uint64_t kh = keys_[i] & ~mask_;
            if (kh < h) continue;
            if (kh > h) break;
            if (set_.compareKey(stored(i), keys) == 0) return i;
        }
        return std::nullopt;
    }

private:
    std::size_t storedOf(std::uint64_t p) const {
        return primary_ ? primary_->stored(static_cast<std::size_t>(p)) : static_cast<std::size_t>(p);
    }
    // Different values with the same hash bits: order that run by the values themselves,
    // keeping primary order among equals, so that every group stays contiguous.
    void separateCollisions() {
        for (std::size_t i = 0; i < keys_.size();) {
            std::size_t j = i + 1;
            while (j < keys_.size() && (keys_[j] & ~mask_) == (keys_[i] & ~mask_)) ++j;
            bool mixed = false;
            for (std::size_t k = i + 1; k < j && !mixed; ++k) mixed = set_.compare(stored(i), stored(k)) != 0;
            if (mixed)
                std::stable_sort(keys_.begin() + static_cast<std::ptrdiff_t>(i),
                                 keys_.begin() + static_cast<std::ptrdiff_t>(j),
                                 [&](std::uint64_t a, std::uint64_t b) {
                                     return set_.compare(storedOf(a & mask_), storedOf(b & mask_)) < 0;
                                 });
            i = j;
        }
    }

    FieldSet set_;
    const ParadoxOrder* primary_;
    int pbits_ = 1, bbits_ = 1;
    std::uint64_t mask_ = 1;
    std::vector<std::uint64_t> keys_;
    std::vector<std::uint32_t> starts_;
};

}  // namespace

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
        std::string text;
        if (const auto* s = std::get_if<std::string>(&v)) text = *s;
        else if (const auto* i = std::get_if<std::int32_t>(&v)) text = std::to_string(*i);
        else badKey(table, f);
        if (!pxEncodeAlpha(out.data(), f.size, text, cp)) return false;
        out.assign(pxAlphaBytes(out.data(), f.size));
        return true;
    }
    if (f.type == pxtype::Date) {
        const auto* d = std::get_if<Date>(&v);
        if (!d) badKey(table, f);
        if (!d->empty()) pxEncodeInt(out.data(), 4, d->serial());
        return true;
    }
    std::optional<std::int32_t> i;
    if (const auto* iv = std::get_if<std::int32_t>(&v)) i = *iv;
    else if (const auto* s = std::get_if<std::string>(&v)) i = toInt32(*s);
    else badKey(table, f);
    if (!i) return false;
    switch (f.type) {
        case pxtype::Short:
            if (*i < -32767 || *i > 32767) return false;
            pxEncodeInt(out.data(), 2, *i);
            return true;
        case pxtype::Long: case pxtype::AutoInc: pxEncodeInt(out.data(), 4, *i); return true;
        case pxtype::Number: case pxtype::Money: pxEncodeDouble(out.data(), *i); return true;
        default: badKey(table, f);
    }
}

std::unique_ptr<ParadoxOrder> buildParadoxOrder(const ParadoxHeader& h, const ParadoxRecords& r,
                                                std::vector<int> fields, const ParadoxOrder* primary,
                                                std::string_view table, std::size_t groupedFrom) {
    const auto& first = h.fields[static_cast<std::size_t>(fields[0])];
    if (fields.size() == 1 && intLike(first.type) && (primary == nullptr || r.count() == 0))
        return std::make_unique<IntOrder>(h, r, std::move(fields), table);
    if (fields.size() > 1 && r.count() >= groupedFrom)
        return std::make_unique<GroupedOrder>(h, r, std::move(fields), primary, table);
    return std::make_unique<SortedOrder>(h, r, std::move(fields), primary, table);
}

}  // namespace strnum
