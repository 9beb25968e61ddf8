// The order of a large table by several fields (the person order of the number directory):
// each record's values as canonical words, the records grouped by a hash of them, the
// groups sorted; a search hashes its key, goes to its bucket and compares words, and
// searches announced ahead bring their bucket, keys and record into the cache step by step.
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

class CanonicalWords {
public:
    explicit CanonicalWords(const std::vector<ParadoxField>& fields) {
        for (const auto& f : fields) {
            Part p;
            p.type = f.type;
            p.offset = static_cast<std::size_t>(f.offset);
            p.size = static_cast<std::size_t>(f.type == pxtype::Date ? 4 : std::max(f.size, 0));
            p.word = words_;
            words_ += (p.size + 7) / 8;
            parts_.push_back(p);
            const auto len = static_cast<std::size_t>(std::max(f.size, 0));
            if (!spans_.empty() && spans_.back().first + spans_.back().second == p.offset)
                spans_.back().second += len;
            else if (len > 0)
                spans_.emplace_back(p.offset, len);
        }
        if (!spans_.empty()) {
            firstByte_ = spans_.front().first;
            for (const auto& [off, len] : spans_) {
                firstByte_ = std::min(firstByte_, off);
                lastByte_ = std::max(lastByte_, off + len - 1);
            }
        }
    }
    std::size_t words() const { return words_; }

    // True when the fields' bytes are the same (then so are their values).
    bool sameBytes(const char* a, const char* b) const {
        for (const auto& [off, len] : spans_)
            if (std::memcmp(a + off, b + off, len) != 0) return false;
        return true;
    }
    // Asks for the first, the middle and the last byte of the fields (for the usual short
    // records, all their cache lines).  No loop: a loop of prefetches alone is dropped by the compiler.
    void prefetch(const char* rec) const {
#if defined(__GNUC__)
        __builtin_prefetch(rec + firstByte_);
        __builtin_prefetch(rec + (firstByte_ + lastByte_) / 2);
        __builtin_prefetch(rec + lastByte_);
#else
        (void)rec;
#endif
    }

    // out: words() words.
    void ofRecord(const char* rec, std::uint64_t* out) const {
        for (const Part& p : parts_) {
            const char* src = rec + p.offset;
            std::uint64_t* dst = out + p.word;
            if (p.type == pxtype::Alpha)
                alpha(src, p.size, dst);
            else if (p.type == pxtype::Date)
                dst[0] = validDate(src) ? load(src, 4) : 0;
            else
                copyBytes(src, p.size, dst);
        }
    }
    // True when the record's canonical words are these.  Most stored values are already
    // canonical (alpha padded with NULs): their bytes are compared as they stand, and the
    // words are built only when they differ.
    bool recordEquals(const char* rec, const std::uint64_t* key) const {
        for (const Part& p : parts_) {
            const char* src = rec + p.offset;
            const std::uint64_t* k = key + p.word;
            if (p.type == pxtype::Date) {
                if ((validDate(src) ? load(src, 4) : 0) != k[0]) return false;
                continue;
            }
            if constexpr (std::endian::native == std::endian::little)
                if (p.type == pxtype::Alpha && std::memcmp(src, k, p.size) == 0) continue;
            std::vector<std::uint64_t> all(words_);
            ofRecord(rec, all.data());
            return std::equal(all.begin(), all.end(), key);
        }
        return true;
    }
    // From the canonical key bytes of pxCanonicalKey (at most the field's size each).
    void ofKeys(const std::vector<std::string>& keys, std::uint64_t* out) const {
        std::fill(out, out + words_, std::uint64_t{0});
        for (std::size_t k = 0; k < parts_.size() && k < keys.size(); ++k) {
            const Part& p = parts_[k];
            const std::size_t n = std::min(keys[k].size(), p.size);
            copyBytes(keys[k].data(), n, out + p.word);
        }
    }
    enum class Keyed { Ok, NoMatch, Other };
    // From key values for all the fields, texts for alpha fields and dates for date fields,
    // without building key strings: Other when a value or field is of another kind (the
    // general way then decides), NoMatch when no stored value can equal a text.
    Keyed ofValues(std::span<const KeyValue> values, CodePage cp, std::uint64_t* out) const {
        if (values.size() != parts_.size()) return Keyed::Other;
        for (std::size_t k = 0; k < parts_.size(); ++k) {
            const Part& p = parts_[k];
            if (p.type == pxtype::Alpha) {
                const auto* text = std::get_if<std::string>(&values[k]);
                if (!text || p.size > 256) return Keyed::Other;
                if (text->size() > p.size) return Keyed::NoMatch;
                if (!textWords(*text, cp, p.size, out + p.word)) return Keyed::NoMatch;
            } else if (p.type == pxtype::Date) {
                const auto* date = std::get_if<Date>(&values[k]);
                if (!date) return Keyed::Other;
                char bytes[4] = {};
                if (!date->empty()) pxEncodeInt(bytes, 4, date->serial());
                out[p.word] = load(bytes, 4);
            } else {
                return Keyed::Other;
            }
        }
        return Keyed::Ok;
    }
    static std::uint64_t hash(const std::uint64_t* w, std::size_t n) {
        std::uint64_t a = 0x1234567u, b = 0x9E3779B97F4A7C15ull;
        std::size_t i = 0;
        for (; i + 2 <= n; i += 2) {
            a = (a ^ w[i]) * 0x9E3779B97F4A7C15ull;
            b = (b ^ w[i + 1]) * 0xC2B2AE3D27D4EB4Full;
            a ^= a >> 29;
            b ^= b >> 31;
        }
        if (i < n) a = ((a ^ w[i]) * 0x9E3779B97F4A7C15ull) ^ (a >> 29);
        return finish(a ^ (b * 0xFF51AFD7ED558CCDull) ^ n);
    }

private:
    struct Part {
        std::uint8_t type = 0;
        std::size_t offset = 0, size = 0, word = 0;
    };

    // n bytes (1-8) as a word, the first byte lowest.
    static std::uint64_t load(const char* p, std::size_t n) {
        std::uint64_t w = 0;
        if (n == 8)
            std::memcpy(&w, p, 8);
        else
            std::memcpy(&w, p, n);
        if constexpr (std::endian::native == std::endian::big) w = byteswap(w);
        return w;
    }
    // n bytes (1-8) of a record's field as a word, read as eight bytes: a record of
    // ParadoxRecords has eight readable bytes after any of its fields (kSlack).
    static std::uint64_t loadInRecord(const char* p, std::size_t n) {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        if constexpr (std::endian::native == std::endian::big) w = byteswap(w);
        return n >= 8 ? w : w & ((std::uint64_t{1} << (8 * n)) - 1);
    }
    static std::uint64_t byteswap(std::uint64_t w) {
        std::uint64_t r = 0;
        for (int i = 0; i < 8; ++i) r |= ((w >> (8 * i)) & 0xFF) << (8 * (7 - i));
        return r;
    }
    static bool validDate(const char* p) {  // as pxCanonical: 1 ... 3652059
        const std::uint32_t v = (static_cast<std::uint32_t>(static_cast<unsigned char>(p[0])) << 24) |
                                (static_cast<std::uint32_t>(static_cast<unsigned char>(p[1])) << 16) |
                                (static_cast<std::uint32_t>(static_cast<unsigned char>(p[2])) << 8) |
                                static_cast<std::uint32_t>(static_cast<unsigned char>(p[3]));
        if (v == 0) return false;
        const auto serial = static_cast<std::int32_t>(v ^ 0x80000000u);
        return serial > 0 && serial <= 3652059;
    }
    static void copyBytes(const char* src, std::size_t n, std::uint64_t* dst) {
        std::size_t i = 0;
        for (; i + 8 <= n; i += 8) *dst++ = load(src + i, 8);
        if (i < n) *dst = load(src + i, n - i);
    }
    // A text as the words of the alpha value it is stored as (pxEncodeAlpha, then alpha):
    // false when a character has no byte in the table's code page.  size: the field's, at
    // least the text's and at most 256.
    static bool textWords(std::string_view text, CodePage cp, std::size_t size, std::uint64_t* dst) {
        if (!storableText(text)) return false;
        constexpr bool little = std::endian::native == std::endian::little;
        char local[256];
        char* bytes = local;
        if constexpr (little) {
            std::fill(dst, dst + (size + 7) / 8, std::uint64_t{0});
            bytes = reinterpret_cast<char*>(dst);  // the words' bytes are the value's, first lowest
        } else {
            std::memset(local, 0, size);
        }
        if (cp == CodePage::Cp866) {
            if (!cp1251To866Into(text, bytes)) return false;
        } else {
            std::memcpy(bytes, text.data(), text.size());
        }
        // Cut at the first NUL, trailing blanks cleared.
        const void* nul = std::memchr(bytes, 0, text.size());
        std::size_t len = nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - bytes) : text.size();
        while (len > 0 && bytes[len - 1] == ' ') --len;
        if (len < text.size()) std::memset(bytes + len, 0, text.size() - len);
        if constexpr (!little) copyBytes(local, size, dst);
        return true;
    }
    static void alpha(const char* src, std::size_t size, std::uint64_t* dst) {
        constexpr std::uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
        const std::size_t nw = (size + 7) / 8;
        std::size_t len = size;  // bytes before the first NUL
        std::size_t i = 0;
        for (; i < nw; ++i) {
            const std::size_t at = i * 8;
            std::uint64_t w = loadInRecord(src + at, std::min<std::size_t>(8, size - at));
            const std::uint64_t z = (w - ones) & ~w & highs;
            if (z != 0) {
                const auto byte = static_cast<std::size_t>(std::countr_zero(z)) / 8;
                len = std::min(size, at + byte);
                w &= byte == 0 ? 0 : (~std::uint64_t{0} >> (64 - 8 * byte));
                dst[i++] = w;
                break;
            }
            dst[i] = w;
        }
        for (; i < nw; ++i) dst[i] = 0;
        // Trailing blanks are not part of the value (the stored bytes up to len are the words').
        if (len == 0 || src[len - 1] != ' ') return;
        while (len > 0) {
            const std::size_t wi = (len - 1) / 8, sh = 8 * ((len - 1) % 8);
            if (((dst[wi] >> sh) & 0xFF) != 0x20) break;
            dst[wi] &= ~(std::uint64_t{0xFF} << sh);
            --len;
        }
    }

    std::vector<Part> parts_;
    std::vector<std::pair<std::size_t, std::size_t>> spans_;  // the fields' bytes, adjacent ones joined
    std::size_t firstByte_ = 0, lastByte_ = 0;
    std::size_t words_ = 0;
};

// Stack room for the canonical words of the usual keys; longer ones go to the heap.
class WordBuffer {
public:
    explicit WordBuffer(std::size_t n) : heap_(n > kLocal ? n : 0), p_(n > kLocal ? heap_.data() : local_) {}
    std::uint64_t* data() { return p_; }

private:
    static constexpr std::size_t kLocal = 48;
    std::uint64_t local_[kLocal];
    std::vector<std::uint64_t> heap_;
    std::uint64_t* p_;
};

class GroupedOrder : public ParadoxOrder {
public:
    GroupedOrder(const ParadoxHeader& h, const ParadoxRecords& r, std::vector<int> fields, const ParadoxOrder* primary,
                 std::string_view table, unsigned threads)
        : set_(h, r, fields, table), words_(fieldsOf(h, fields)), records_(r), primary_(primary) {
        fields_ = std::move(fields);
        for (const ParadoxField& f : set_.fields())
            if (f.type != pxtype::Alpha && f.type != pxtype::Date) textsAndDates_ = false;
        for (int b = 0; b < 256; ++b) {
            const bool distinct = cp866ReadsDistinctly(static_cast<unsigned char>(b));
            distinct_[static_cast<std::size_t>(b)] = distinct;
            if (!distinct && b != '?' && b < 0xB0) wordTest_ = false;
        }
        for (const ParadoxField& f : set_.fields()) {
            if (f.type != pxtype::Alpha || f.size <= 0) continue;
            const auto off = static_cast<std::size_t>(f.offset), len = static_cast<std::size_t>(f.size);
            if (!alphaSpans_.empty() && alphaSpans_.back().first + alphaSpans_.back().second == off)
                alphaSpans_.back().second += len;
            else
                alphaSpans_.emplace_back(off, len);
        }
        const std::size_t n = r.count();
        pbits_ = std::max(1, static_cast<int>(std::bit_width(n)));
        mask_ = (std::uint64_t{1} << pbits_) - 1;
        keys_.resize(n);
        bbits_ = std::clamp(static_cast<int>(std::bit_width(n)) - 3, 1, 24);
        // Hash every record, counting the keys by their top bits on the way: each part of
        // the records on a thread of its own, with counts of its own.
        const unsigned parts = partsFor(n, threads);
        const int rbits = parts > 1 ? kRadixBits : 0;
        const std::size_t radix = std::size_t{1} << rbits;
        std::vector<std::vector<std::uint32_t>> counts(parts, std::vector<std::uint32_t>(radix, 0));
        inParts(n, parts, [&](unsigned part, std::size_t b, std::size_t e) {
            auto& count = counts[part];
            WordBuffer buf(words_.words());
            std::uint64_t* w = buf.data();
            const std::size_t nw = words_.words();
            for (std::size_t p = b; p < e; ++p) {
                words_.ofRecord(records_.record(storedOf(p)), w);
                const std::uint64_t k = (CanonicalWords::hash(w, nw) & ~mask_) | p;
                keys_[p] = k;
                if (rbits) ++count[static_cast<std::size_t>(k >> (64 - rbits))];
            }
        });
        if (rbits == 0) {
            std::sort(keys_.begin(), keys_.end());
            std::vector<std::pair<std::size_t, std::size_t>> runs;
            separateCollisions(0, n, runs);
        } else {
            // By the top bits into a second block, each thread moving the keys it hashed (in
            // every bucket the first part's before the second's, and so on), then every
            // bucket by itself, the buckets shared out between the threads by their keys.
            std::vector<std::size_t> start(radix + 1, 0);
            for (std::size_t b = 0; b < radix; ++b) {
                start[b + 1] = start[b];
                for (unsigned part = 0; part < parts; ++part) start[b + 1] += counts[part][b];
            }
            {
                decltype(keys_) moved(n);
                inParts(n, parts, [&](unsigned part, std::size_t from, std::size_t to) {
                    std::vector<std::size_t> head(radix);
                    for (std::size_t b = 0; b < radix; ++b) {
                        head[b] = start[b];
                        for (unsigned earlier = 0; earlier < part; ++earlier) head[b] += counts[earlier][b];
                    }
                    for (std::size_t p = from; p < to; ++p) {
                        const std::uint64_t k = keys_[p];
                        moved[head[static_cast<std::size_t>(k >> (64 - rbits))]++] = k;
                    }
                });
                keys_.swap(moved);
            }
            // The buckets of thread t: from the first whose keys start at or after t's equal
            // share of all keys.
            std::vector<std::size_t> firstBucket(parts + 1, radix);
            for (unsigned part = 0, b = 0; part < parts; ++part) {
                while (b < radix && start[b] < partBegin(n, parts, part)) ++b;
                firstBucket[part] = part == 0 ? 0 : b;
            }
            // Each bucket's keys fall in lookup buckets of their own: a bucket's lookup
            // starts are found with it, on its thread.
            const bool startsByPart = bbits_ >= rbits;
            if (startsByPart) starts_.resize((std::size_t{1} << bbits_) + 1);
            inParts(parts, parts, [&](unsigned part, std::size_t, std::size_t) {
                std::vector<std::uint64_t> tmp;
                std::vector<std::pair<std::size_t, std::size_t>> runs;
                for (std::size_t b = firstBucket[part]; b < firstBucket[part + 1]; ++b) {
                    sortPart(keys_.data() + start[b], start[b + 1] - start[b], rbits, tmp);
                    separateCollisions(start[b], start[b + 1], runs);
                    if (startsByPart)
                        fillStarts(start[b], start[b + 1], b << (bbits_ - rbits), (b + 1) << (bbits_ - rbits));
                }
            });
            if (startsByPart) {
                starts_.back() = static_cast<std::uint32_t>(n);
                return;
            }
        }
        starts_.resize((std::size_t{1} << bbits_) + 1);
        fillStarts(0, n, 0, std::size_t{1} << bbits_);
        starts_.back() = static_cast<std::uint32_t>(n);
    }

    std::size_t size() const override { return keys_.size(); }
    std::size_t stored(std::size_t pos) const override { return storedOf(keys_[pos] & mask_); }

    std::optional<std::size_t> find(std::span<const KeyValue> values) const override {
        const std::size_t nw = words_.words();
        WordBuffer key(nw);
        const auto keyed = words_.ofValues(values, set_.codePage(), key.data());
        if (keyed == CanonicalWords::Keyed::NoMatch) return std::nullopt;
        if (keyed == CanonicalWords::Keyed::Other) {
            std::vector<std::string> keys;
            if (!set_.keys(values, keys)) return std::nullopt;
            if (keys.size() < set_.count()) {  // not grouped by a prefix: scan
                for (std::size_t pos = 0; pos < keys_.size(); ++pos)
                    if (set_.compareKey(stored(pos), keys) == 0) return pos;
                return std::nullopt;
            }
            words_.ofKeys(keys, key.data());
        }
        return lookup(key.data(), CanonicalWords::hash(key.data(), nw) & ~mask_);
    }

    std::optional<std::size_t> findHinted(std::span<const KeyValue> values, const Hints& hints,
                                          std::uint64_t hint) const override {
        const std::size_t slot = static_cast<std::size_t>((hint - 1) % kAhead);
        const Hints::Ahead& a = hints.ahead[slot];
        if (hint == 0 || a.number != hint || a.order != id_ || !a.usable ||
            !std::equal(values.begin(), values.end(), a.values.begin(), a.values.end()))
            return find(values);
        if (a.noMatch) return std::nullopt;
        return lookup(hints.words.data() + slot * words_.words(), a.hash);
    }

    // A search reads a bucket start, then keys, then a record: three misses one after
    // another.  Hints come some records ahead of their searches; each hint takes the first
    // step for its own values and the next steps for the hints before it, so that by the
    // time of the search all three are in the cache.  The hint's words and hash are kept
    // for its search.
    std::uint64_t prefetch(std::span<const KeyValue> values, Hints& hints) const override {
        const std::size_t nw = words_.words();
        if (hints.words.size() != kAhead * nw) hints.words.assign(kAhead * nw, 0);
        const std::size_t slot = static_cast<std::size_t>(hints.count % kAhead);
        Hints::Ahead& a = hints.ahead[slot];
        a.number = ++hints.count;
        a.order = id_;
        a.bucket = kNoBucket;
        const auto keyed = words_.ofValues(values, set_.codePage(), hints.words.data() + slot * nw);
        a.usable = keyed != CanonicalWords::Keyed::Other;
        a.noMatch = keyed == CanonicalWords::Keyed::NoMatch;
        if (a.usable) a.values.assign(values.begin(), values.end());
        if (keyed == CanonicalWords::Keyed::Ok) {
            a.hash = CanonicalWords::hash(hints.words.data() + slot * nw, nw) & ~mask_;
            a.bucket = static_cast<std::size_t>(a.hash >> (64 - bbits_));
            touch(&starts_[a.bucket]);
        }
        if (hints.count > kKeysStep) {
            const Hints::Ahead& k = hints.ahead[(hints.count - 1 - kKeysStep) % kAhead];
            if (k.bucket != kNoBucket && k.order == id_) {
                touch(keys_.data() + starts_[k.bucket]);
                if (starts_[k.bucket] + 8 < keys_.size())  // a bucket holds about six keys
                    touch(keys_.data() + starts_[k.bucket] + 8);
            }
        }
        if (hints.count > kRecordStep) {
            const Hints::Ahead& r = hints.ahead[(hints.count - 1 - kRecordStep) % kAhead];
            if (r.bucket == kNoBucket || r.order != id_) return a.number;
            for (std::size_t i = starts_[r.bucket]; i < starts_[r.bucket + 1]; ++i) {
                const std::uint64_t kh = keys_[i] & ~mask_;
                if (kh < r.hash) continue;
                if (kh == r.hash) words_.prefetch(records_.record(stored(i)));
                break;
            }
        }
        return a.number;
    }

    // Different hash bits: different values.  They read as different texts and dates too
    // when the fields are texts and dates and the found record's texts hold no byte that
    // reads like another ('?' and the characters 1251 lacks all read as '?').
    bool knownDifferent(std::size_t found, std::size_t other) const override {
        if (!textsAndDates_ || found >= keys_.size() || other >= keys_.size()) return false;
        if ((keys_[found] & ~mask_) == (keys_[other] & ~mask_)) return false;
        if (set_.codePage() != CodePage::Cp866) return true;
        // All the fields' bytes, also those after a value's end (blanks and NULs read
        // distinctly; other bytes there only make the answer "not known").
        const char* rec = records_.record(stored(found));
        for (const auto& [off, len] : alphaSpans_)
            if (!readDistinctly(rec + off, len)) return false;
        return true;
    }

private:
    static constexpr int kRadixBits = 11;

    // Whether every byte reads distinctly; eight at a time, where a word holds no '?' and no
    // byte from 0xB0 up (the others that do not are among those).
    bool readDistinctly(const char* p, std::size_t n) const {
        constexpr std::uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
        const auto byteDistinct = [&](std::size_t i) { return distinct_[static_cast<unsigned char>(p[i])]; };
        std::size_t i = 0;
        for (; wordTest_ && i + 8 <= n; i += 8) {
            std::uint64_t w;
            std::memcpy(&w, p + i, 8);
            const std::uint64_t q = w ^ (ones * '?');
            const std::uint64_t suspect = ((q - ones) & ~q & highs) | (w & highs & ((w & ~highs) + ones * 0x50));
            if (suspect == 0) continue;
            for (std::size_t k = i; k < i + 8; ++k)
                if (!byteDistinct(k)) return false;
        }
        for (; i < n; ++i)
            if (!byteDistinct(i)) return false;
        return true;
    }

    // The first position of the key's words, h their hash bits.
    std::optional<std::size_t> lookup(const std::uint64_t* key, std::uint64_t h) const {
        const std::size_t b = static_cast<std::size_t>(h >> (64 - bbits_));
        for (std::size_t i = starts_[b]; i < starts_[b + 1]; ++i) {
            const std::uint64_t kh = keys_[i] & ~mask_;
            if (kh < h) continue;
            if (kh > h) break;
            if (words_.recordEquals(records_.record(stored(i)), key)) return i;
        }
        return std::nullopt;
    }

    static std::vector<ParadoxField> fieldsOf(const ParadoxHeader& h, const std::vector<int>& fields) {
        std::vector<ParadoxField> out;
        for (int f : fields) out.push_back(h.fields[static_cast<std::size_t>(f)]);
        return out;
    }
    // Sorts keys that share their top rbits: by the next 24 bits a byte at a time (stable,
    // lowest byte first), then an insertion pass settles the few equal in those bits.  When
    // they are not few (a table of one person many times over), a plain sort takes over.
    static void sortPart(std::uint64_t* a, std::size_t m, int rbits, std::vector<std::uint64_t>& tmp) {
        if (m >= 128) {
            tmp.resize(m);
            std::uint64_t* from = a;
            std::uint64_t* to = tmp.data();
            for (int shift = 64 - rbits - 24; shift < 64 - rbits; shift += 8) {
                std::size_t count[257] = {};
                for (std::size_t i = 0; i < m; ++i) ++count[((from[i] >> shift) & 0xFF) + 1];
                for (std::size_t d = 0; d < 256; ++d) count[d + 1] += count[d];
                for (std::size_t i = 0; i < m; ++i) to[count[(from[i] >> shift) & 0xFF]++] = from[i];
                std::swap(from, to);
            }
            if (from != a) std::copy(from, from + m, a);  // three passes: the result is in tmp
        }
        std::size_t moves = 0;
        const std::size_t budget = 8 * m + 4096;
        for (std::size_t i = 1; i < m; ++i) {
            const std::uint64_t v = a[i];
            std::size_t j = i;
            for (; j > 0 && a[j - 1] > v; --j) a[j] = a[j - 1];
            a[j] = v;
            moves += i - j;
            if (moves > budget) {
                std::sort(a, a + m);
                return;
            }
        }
    }
    // The bucket starts of buckets [fromBucket, toBucket), whose keys lie in [from, to): each
    // the first key of its bucket or after it.
    void fillStarts(std::size_t from, std::size_t to, std::size_t fromBucket, std::size_t toBucket) {
        std::size_t i = from;
        for (std::size_t kb = fromBucket; kb < toBucket; ++kb) {
            while (i < to && static_cast<std::size_t>(keys_[i] >> (64 - bbits_)) < kb) ++i;
            starts_[kb] = static_cast<std::uint32_t>(i);
        }
    }
    std::size_t storedOf(std::uint64_t p) const {
        return primary_ && !primaryInOrder_ ? primary_->stored(static_cast<std::size_t>(p))
                                            : static_cast<std::size_t>(p);
    }
    // Different values with the same hash bits: order that run by the values themselves,
    // keeping primary order among equals, so that every group stays contiguous.  [from, to)
    // is sorted and holds whole runs.
    // runs: room for the runs found, kept by the caller from part to part.
    void separateCollisions(std::size_t from, std::size_t to, std::vector<std::pair<std::size_t, std::size_t>>& runs) {
        const std::size_t nw = words_.words();
        WordBuffer first(nw), other(nw);
        // Keys alone in their hash, nearly all of them, need no record: the runs are found
        // first, in one pass over the keys alone.  They are mostly true twins, spread over
        // the whole table: their records are asked for a few runs ahead, and equal bytes
        // settle most comparisons.
        runs.clear();
        for (std::size_t i = from; i + 1 < to;) {
            if (((keys_[i] ^ keys_[i + 1]) & ~mask_) != 0) {
                ++i;
                continue;
            }
            std::size_t j = i + 2;
            while (j < to && ((keys_[j] ^ keys_[i]) & ~mask_) == 0) ++j;
            runs.emplace_back(i, j);
            i = j;
        }
        constexpr std::size_t ahead = 6, firstRecords = 16;  // of a long run, its first records
        const auto prefetch = [&](std::size_t r) {
            if (r >= runs.size()) return;
            const std::size_t end = std::min(runs[r].second, runs[r].first + firstRecords);
            for (std::size_t k = runs[r].first; k < end; ++k) words_.prefetch(records_.record(stored(k)));
        };
        for (std::size_t r = 0; r < ahead; ++r) prefetch(r);
        for (std::size_t r = 0; r < runs.size(); ++r) {
            prefetch(r + ahead);
            const auto [i, j] = runs[r];
            const char* a = records_.record(stored(i));
            bool haveFirst = false;
            bool mixed = false;
            for (std::size_t k = i + 1; k < j && !mixed; ++k) {
                const char* b = records_.record(stored(k));
                if (words_.sameBytes(a, b)) continue;
                if (!haveFirst) words_.ofRecord(a, first.data());
                haveFirst = true;
                words_.ofRecord(b, other.data());
                mixed = !std::equal(first.data(), first.data() + nw, other.data());
            }
            if (mixed) sortRun(i, j);
        }
    }
    void sortRun(std::size_t i, std::size_t j) {
        const std::size_t nw = words_.words();
        std::vector<std::uint64_t> a(nw), b(nw);
        std::stable_sort(keys_.begin() + static_cast<std::ptrdiff_t>(i), keys_.begin() + static_cast<std::ptrdiff_t>(j),
                         [&](std::uint64_t x, std::uint64_t y) {
                             words_.ofRecord(records_.record(storedOf(x & mask_)), a.data());
                             words_.ofRecord(records_.record(storedOf(y & mask_)), b.data());
                             return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end());
                         });
    }

    FieldSet set_;
    CanonicalWords words_;
    const std::uint64_t id_ = nextOrderId();  // tells hints made by this order from others'
    const ParadoxRecords& records_;
    const ParadoxOrder* primary_;
    const bool primaryInOrder_ = primary_ && primary_->inStoredOrder();  // then no call to it per record
    bool textsAndDates_ = true;
    std::array<bool, 256> distinct_{};                             // cp866ReadsDistinctly of every byte
    bool wordTest_ = true;                                         // readDistinctly may pass words at once
    std::vector<std::pair<std::size_t, std::size_t>> alphaSpans_;  // the alpha fields' bytes, adjacent ones joined
    int pbits_ = 1, bbits_ = 1;
    std::uint64_t mask_ = 1;
    // Searched at random with every district record: in huge pages where there are.
    std::vector<std::uint64_t, LargeAllocator<std::uint64_t>> keys_;
    std::vector<std::uint32_t, LargeAllocator<std::uint32_t>> starts_;
};

}  // namespace

std::unique_ptr<ParadoxOrder> makeGroupedOrder(const ParadoxHeader& h, const ParadoxRecords& r, std::vector<int> fields,
                                               const ParadoxOrder* primary, std::string_view table, unsigned threads) {
    return std::make_unique<GroupedOrder>(h, r, std::move(fields), primary, table, threads);
}

}  // namespace strnum::order_kit
