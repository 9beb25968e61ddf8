#include "hints/near_match_index.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <optional>

#include "base/error.h"
#include "base/parallel.h"
#include "base/ru.h"
#include "base/text.h"
#include "data/number_directory.h"
#include "hints/likeness.h"
#include "hints/name_folding.h"
#include "paradox/paradox_table.h"
#include "system/large_memory.h"
#include "tables/key_search.h"

namespace strnum {

using namespace strnum::literals;
using hints::Likeness;
using hints::NameFolding;
using hints::Part;

namespace {

// The chance that a person the exact lookup misses is in the directory after all; the rest
// is people it lacks.  Shared out over the entries, so a larger directory asks for more.
constexpr double kPrior = 0.5;
constexpr double kOfferFrom = 0.5;      // score of the best entry (with its twins) for any hint
constexpr double kListFrom = 0.05;      // score of an entry listed beside the best
constexpr double kCertainFrom = 0.999;  // score of a "точно" hint
constexpr std::size_t kMaxHints = 3;
// Fewer entries than this are indexed on one thread: starting threads costs more.
constexpr std::size_t kThreadsFrom = 100000;

constexpr std::size_t kParts = 3;              // surname, name, patronymic
constexpr std::size_t kMaxText = 256;          // a Paradox alpha field holds at most 255 bytes
constexpr std::int32_t kLastSerial = 3652059;  // 31.12.9999

// One entry in the index: the packed folded texts (hints/name_folding.h) and its stored
// position.  Kept in birth-date order.
struct Entry {
    std::uint32_t s, n, p, pos;
};
// One entry in the order of its surname, name and patronymic: the low 32 bits of their key
// (the bucket holds the top bits) above the digits of its birth date (hints::dateDigits, 0
// for none), so that a group is judged without reading its entries; its position apart.
inline std::uint64_t nameItem(std::uint64_t key, std::uint32_t digits) { return key << 32 | digits; }
inline std::uint32_t checkOf(std::uint64_t item) { return static_cast<std::uint32_t>(item >> 32); }
inline std::uint32_t digitsOf(std::uint64_t item) { return static_cast<std::uint32_t>(item); }

std::uint64_t nameKey(std::uint32_t s, std::uint32_t n, std::uint32_t p) {
    std::uint64_t h = ((static_cast<std::uint64_t>(s) << 32) | n) * 0x9E3779B97F4A7C15ull;
    h ^= h >> 29;
    h += static_cast<std::uint64_t>(p) * 0xC2B2AE3D27D4EB4Full;
    h ^= h >> 32;
    h *= 0xD6E8FEB86659FD93ull;
    h ^= h >> 32;
    return h;
}

// The three parts of an entry, folded, and its birth date.
struct Folded {
    std::array<std::array<char, kMaxText>, kParts> text;
    std::array<std::size_t, kParts> size{};
    std::int32_t serial = 0;
    std::string_view part(std::size_t k) const { return {text[k].data(), size[k]}; }
};

// The packed parts of one entry (hints::packName).
struct Packed {
    std::array<std::uint32_t, kParts> part;
};

// Packed texts by their stored bytes, for one thread: most entries repeat a name,
// patronymic or surname met shortly before, and comparing up to 32 bytes is far cheaper
// than folding and hashing them again.  Direct-mapped, one table per part.
class PackCache {
public:
    static constexpr std::size_t kWords = 4, kSlots = 4096;
    struct Slot {
        std::array<std::uint64_t, kWords> bytes{};
        std::uint32_t packed = 0;
        bool used = false;
    };
    PackCache() : slots_(kParts * kSlots) {}
    Slot& slot(std::size_t part, const std::array<std::uint64_t, kWords>& bytes) {
        std::uint64_t h = bytes[0] * 0x9E3779B97F4A7C15ull;
        for (std::size_t k = 1; k < kWords; ++k) h = (h ^ bytes[k]) * 0xC2B2AE3D27D4EB4Full;
        return slots_[part * kSlots + static_cast<std::size_t>(h >> 52)];
    }

private:
    std::vector<Slot> slots_;
};

// How often each packed value of one part occurs, and the first entry (in stored order)
// that has it.
struct Counts {
    std::vector<std::uint32_t> values, counts, first;  // values ascending
    std::uint32_t of(std::uint32_t v) const {
        const auto it = std::lower_bound(values.begin(), values.end(), v);
        return it != values.end() && *it == v ? counts[static_cast<std::size_t>(it - values.begin())] : 0;
    }
};

// Counts packed values as one thread meets them: open addressing, grown at half full.
class Counter {
public:
    struct Slot {
        std::uint32_t value = 0, count = 0, first = 0, used = 0;
    };
    Counter() : slots_(256) {}
    void add(std::uint32_t value, std::uint32_t position) {
        Slot& s = find(value);
        if (!s.used) {
            s = {value, 0, position, 1};
            if (++size_ * 2 > slots_.size()) grow();
            return add(value, position);
        }
        ++s.count;
    }
    const std::vector<Slot>& slots() const { return slots_; }

private:
    Slot& find(std::uint32_t value) {
        std::size_t i = (value * 0x9E3779B1u) & (slots_.size() - 1);
        while (slots_[i].used && slots_[i].value != value) i = (i + 1) & (slots_.size() - 1);
        return slots_[i];
    }
    void grow() {
        std::vector<Slot> old(slots_.size() * 2);
        old.swap(slots_);
        for (const Slot& s : old)
            if (s.used) find(s.value) = s;
    }
    std::vector<Slot> slots_;
    std::size_t size_ = 0;
};

// The counters of all threads as one: counts added, the first entry the earliest.
Counts merge(const std::vector<Counter>& counters) {
    std::vector<Counter::Slot> all;
    for (const Counter& c : counters)
        for (const Counter::Slot& s : c.slots())
            if (s.used) all.push_back(s);
    std::sort(all.begin(), all.end(), [](const Counter::Slot& a, const Counter::Slot& b) {
        return a.value < b.value || (a.value == b.value && a.first < b.first);
    });
    Counts out;
    for (const Counter::Slot& s : all) {
        if (!out.values.empty() && out.values.back() == s.value) {
            out.counts.back() += s.count;
            continue;
        }
        out.values.push_back(s.value);
        out.counts.push_back(s.count);
        out.first.push_back(s.first);
    }
    return out;
}

// The distinct texts of a part with their counts, in text order, for shares of prefixes.
struct Words {
    struct Word {
        std::string text;
        std::uint32_t count;
    };
    std::vector<Word> words;
    std::array<std::uint64_t, 256> byFirstLetter{};
    std::uint64_t startingWith(std::string_view prefix) const {
        if (prefix.empty()) return 0;
        if (prefix.size() == 1) return byFirstLetter[static_cast<unsigned char>(prefix[0])];
        auto it = std::lower_bound(words.begin(), words.end(), prefix,
                                   [](const Word& w, std::string_view p) { return w.text < p; });
        std::uint64_t n = 0;
        for (; it != words.end() && std::string_view(it->text).starts_with(prefix); ++it) n += it->count;
        return n;
    }
};

unsigned partsFor(std::size_t n, unsigned threads) { return n < kThreadsFrom ? 1u : std::max(1u, threads); }

}  // namespace

// ---- where the entries come from ---------------------------------------------------------

class NearMatchIndex::Source {
public:
    virtual ~Source() = default;
    virtual std::size_t size() const = 0;
    virtual std::int32_t serial(std::size_t i) const = 0;  // 0: empty
    virtual void fold(std::size_t i, Folded& out) const = 0;
    virtual DirectoryPerson person(std::size_t i) const = 0;
    virtual std::string status(std::size_t i) const = 0;
    // The packed parts of entries [b, e) into out[0, e - b).
    virtual void pack(std::size_t b, std::size_t e, Packed* out, PackCache& cache) const {
        (void)cache;
        Folded f;
        for (std::size_t i = b; i < e; ++i) {
            fold(i, f);
            for (std::size_t k = 0; k < kParts; ++k) out[i - b].part[k] = hints::packName(f.part(k));
        }
    }
};

namespace {

std::int32_t serialOf(Date d) { return d.empty() ? 0 : d.serial(); }

class PersonSource final : public NearMatchIndex::Source {
public:
    explicit PersonSource(std::vector<DirectoryPerson> people, std::vector<std::string> statuses = {})
        : people_(std::move(people)), statuses_(std::move(statuses)) {}
    std::size_t size() const override { return people_.size(); }
    std::int32_t serial(std::size_t i) const override { return serialOf(people_[i].birth); }
    void fold(std::size_t i, Folded& out) const override {
        const DirectoryPerson& p = people_[i];
        const NameFolding& f = NameFolding::of(CodePage::Cp1251);
        const std::string* texts[kParts] = {&p.fam, &p.nam, &p.otch};
        for (std::size_t k = 0; k < kParts; ++k)
            out.size[k] = f.fold(texts[k]->data(), std::min(texts[k]->size(), kMaxText), out.text[k].data());
        out.serial = serialOf(p.birth);
    }
    DirectoryPerson person(std::size_t i) const override { return people_[i]; }
    std::string status(std::size_t i) const override { return i < statuses_.size() ? statuses_[i] : std::string(); }

private:
    std::vector<DirectoryPerson> people_;
    std::vector<std::string> statuses_;
};

// The records of a Paradox table in memory, read in place.  The cursor keeps them
// alive while the index lives.
class ParadoxSource final : public NearMatchIndex::Source {
public:
    ParadoxSource(std::unique_ptr<Table> cursor, const ParadoxTable& table)
        : cursor_(std::move(cursor)), records_(table.records()), cp_(table.codePage()) {
        const auto field = [&](std::string_view name) {
            return table.header().fields[static_cast<std::size_t>(table.fieldByName(name))];
        };
        parts_ = {field("FAM"), field("NAM"), field("OTCH")};
        birth_ = field("BIRTH");
        num_ = field("NUM");
        if (const auto cond = table.findField("COND")) cond_ = table.header().fields[static_cast<std::size_t>(*cond)];
    }
    std::size_t size() const override { return records_.count(); }
    // A Paradox date: days as a big-endian int32 with its top bit inverted, all zero empty.
    std::int32_t serial(std::size_t i) const override {
        const auto* b = reinterpret_cast<const unsigned char*>(records_.record(i) + birth_.offset);
        const std::uint32_t u = (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) |
                                std::uint32_t{b[3]};
        const auto v = static_cast<std::int32_t>(u ^ 0x80000000u);
        return u != 0 && v > 0 && v <= kLastSerial ? v : 0;
    }
    void fold(std::size_t i, Folded& out) const override {
        const char* r = records_.record(i);
        const NameFolding& f = NameFolding::of(cp_);
        for (std::size_t k = 0; k < kParts; ++k)
            out.size[k] = f.fold(r + parts_[k].offset, static_cast<std::size_t>(parts_[k].size), out.text[k].data());
        out.serial = serial(i);
    }
    // Parts of at most 32 bytes through the cache: read as four words (the records are
    // followed by slack enough for that), the bytes past the field masked off.
    void pack(std::size_t b, std::size_t e, Packed* out, PackCache& cache) const override {
        const NameFolding& f = NameFolding::of(cp_);
        std::array<char, kMaxText> folded;
        for (std::size_t i = b; i < e; ++i) {
            const char* r = records_.record(i);
            for (std::size_t k = 0; k < kParts; ++k) {
                const ParadoxField& field = parts_[k];
                const char* p = r + field.offset;
                const auto size = static_cast<std::size_t>(field.size);
                if (size > 8 * PackCache::kWords) {
                    out[i - b].part[k] = hints::packName({folded.data(), f.fold(p, size, folded.data())});
                    continue;
                }
                std::array<std::uint64_t, PackCache::kWords> bytes{};
                for (std::size_t w = 0; w * 8 < size; ++w) {
                    std::memcpy(&bytes[w], p + 8 * w, 8);
                    if (size - 8 * w < 8) bytes[w] &= (std::uint64_t{1} << (8 * (size - 8 * w))) - 1;
                }
                PackCache::Slot& slot = cache.slot(k, bytes);
                if (!slot.used || slot.bytes != bytes) {
                    slot.bytes = bytes;
                    slot.packed = hints::packName({folded.data(), f.fold(p, size, folded.data())});
                    slot.used = true;
                }
                out[i - b].part[k] = slot.packed;
            }
        }
    }
    DirectoryPerson person(std::size_t i) const override {
        const char* r = records_.record(i);
        DirectoryPerson p;
        bool ok = true;
        p.num = pxValueInt(num_, r, cp_, &ok).value_or(0);
        if (!ok) p.num = 0;
        std::string* texts[kParts] = {&p.fam, &p.nam, &p.otch};
        for (std::size_t k = 0; k < kParts; ++k) {
            const std::string_view bytes = pxAlphaBytes(r + parts_[k].offset, parts_[k].size);
            *texts[k] = cp_ == CodePage::Cp866 ? cp866To1251Lossy(bytes) : std::string(bytes);
        }
        p.birth = Date::fromSerial(serial(i));
        return p;
    }
    std::string status(std::size_t i) const override {
        if (!cond_) return {};
        const std::string_view bytes = pxAlphaBytes(records_.record(i) + cond_->offset, cond_->size);
        return cp_ == CodePage::Cp866 ? cp866To1251Lossy(bytes) : std::string(bytes);
    }

private:
    std::unique_ptr<Table> cursor_;
    const ParadoxRecords& records_;
    CodePage cp_;
    std::array<ParadoxField, kParts> parts_;
    ParadoxField birth_, num_;
    std::optional<ParadoxField> cond_;
};

void requireNumberField(const Table& t) {
    const FieldInfo& f = t.fields()[static_cast<std::size_t>(t.fieldByName("NUM"))];
    if (f.kind == FieldKind::Integer || f.kind == FieldKind::Number) return;
    throwError(ErrorKind::Unsupported, std::string("Таблица "_cp) + pathTo1251(t.file()) +
                                           std::string(" не справочник номеров: поле NUM не числовое"_cp));
}

std::unique_ptr<NearMatchIndex::Source> sourceOf(Table& directory) {
    requirePersonOrder(directory);
    requireNumberField(directory);
    std::unique_ptr<Table> cursor = directory.keySearch() ? directory.keySearch()->cursor() : nullptr;
    if (!cursor)
        throwError(ErrorKind::Unsupported, std::string("Таблица "_cp) + pathTo1251(directory.file()) +
                                               std::string(" не даёт читать свои записи для поиска похожих"_cp));
    if (const auto* px = dynamic_cast<const ParadoxTable*>(cursor.get())) {
        const ParadoxTable& table = *px;
        return std::make_unique<ParadoxSource>(std::move(cursor), table);
    }
    const FieldId fam = cursor->fieldByName("FAM"), nam = cursor->fieldByName("NAM"),
                  otch = cursor->fieldByName("OTCH"), birth = cursor->fieldByName("BIRTH"),
                  num = cursor->fieldByName("NUM");
    const std::optional<FieldId> cond = cursor->findField("COND");
    std::vector<DirectoryPerson> people;
    std::vector<std::string> statuses;
    for (cursor->first(); !cursor->eof(); cursor->next()) {
        DirectoryPerson p;
        try {
            p.num = cursor->integer(num);
        } catch (const Error&) {
            p.num = 0;
        }
        p.fam = cursor->text(fam);
        p.nam = cursor->text(nam);
        p.otch = cursor->text(otch);
        p.birth = cursor->date(birth);
        people.push_back(std::move(p));
        if (cond) statuses.push_back(cursor->text(*cond));
    }
    return std::make_unique<PersonSource>(std::move(people), std::move(statuses));
}

}  // namespace

// ---- the index ---------------------------------------------------------------------------

struct NearMatchIndex::Data final : hints::Population {
    std::unique_ptr<Source> source;
    std::size_t count = 0;
    double logCount = 0;

    // Read at random with every person looked for: in huge pages where there are.
    template <class T>
    using Large = std::vector<T, LargeAllocator<T>>;

    // Entries by birth date: key 0 the empty date, key k the date minSerial + k - 1.
    Large<Entry> entries;
    Large<std::uint32_t> dateStart;  // keys + 1
    std::int32_t minSerial = 1;

    // Entries by folded surname, name and patronymic: a bucket by the key's top bits.
    Large<std::uint64_t> names;          // nameItem()
    Large<std::uint32_t> namePositions;  // of each item
    Large<std::uint32_t> nameStart;
    int nameBits = 1;

    std::array<Counts, kParts> counts;
    Words nameWords, patronymicWords;
    // ln of the shares of women and men among the entries, by their patronymics.
    double logFemale = std::log(0.5), logMale = std::log(0.5);

    std::size_t dateKey(std::int32_t serial) const {
        if (serial == 0) return 0;
        if (serial < minSerial) return dateStart.size();  // no entry has it
        const std::size_t k = static_cast<std::size_t>(serial - minSerial) + 1;
        return k + 1 < dateStart.size() ? k : dateStart.size();
    }
    std::uint32_t dateCount(std::size_t key) const {
        return key + 1 < dateStart.size() ? dateStart[key + 1] - dateStart[key] : 0;
    }

    // ---- Population: shares among the entries, a value no entry has counting one half ----
    double share(std::uint64_t n) const { return (static_cast<double>(n) + 0.5) / (static_cast<double>(count) + 1); }
    double surname(std::string_view f) const override { return share(counts[0].of(hints::packName(f))); }
    double name(std::string_view f) const override { return share(counts[1].of(hints::packName(f))); }
    double patronymic(std::string_view f) const override { return share(counts[2].of(hints::packName(f))); }
    double namePrefix(std::string_view prefix) const override { return share(nameWords.startingWith(prefix)); }
    double patronymicPrefix(std::string_view prefix) const override {
        return share(patronymicWords.startingWith(prefix));
    }
    double birth(Date d) const override { return share(dateCount(dateKey(serialOf(d)))); }

    void build(unsigned threads);
    void buildEntries(unsigned threads);
    void buildNames(unsigned threads);
    void buildWords(Words& words, std::size_t part) const;
};

void NearMatchIndex::Data::build(unsigned threads) {
    count = source->size();
    if (count > 0xFFFFFFF0u)
        throwError(ErrorKind::Unsupported, std::string("Слишком много записей в справочнике номеров"_cp));
    logCount = std::log(static_cast<double>(std::max<std::size_t>(count, 1)));
    buildEntries(threads);
    buildNames(threads);
    buildWords(nameWords, 1);
    buildWords(patronymicWords, 2);
    double women = 1, men = 1;  // one of each, so that neither share is 0
    for (const Words::Word& w : patronymicWords.words) {
        const hints::Sex sex = hints::sexOf({}, w.text);
        if (sex == hints::Sex::Female) women += w.count;
        if (sex == hints::Sex::Male) men += w.count;
    }
    logFemale = std::log(women / (women + men));
    logMale = std::log(men / (women + men));
}

// Entries by birth date, a counting sort: each part of the stored order counted and then
// folded and placed by a thread of its own, which counts the texts it meets on the way;
// within a date the stored order stays.
void NearMatchIndex::Data::buildEntries(unsigned threads) {
    const std::size_t n = count;
    const unsigned parts = partsFor(n, threads);
    std::vector<std::int32_t> serials(n);
    std::vector<std::int32_t> lo(parts, INT32_MAX), hi(parts, 0);
    inParts(n, parts, [&](unsigned part, std::size_t b, std::size_t e) {
        for (std::size_t i = b; i < e; ++i) {
            const std::int32_t s = source->serial(i);
            serials[i] = s;
            if (s != 0) lo[part] = std::min(lo[part], s), hi[part] = std::max(hi[part], s);
        }
    });
    const std::int32_t low = *std::min_element(lo.begin(), lo.end()), high = *std::max_element(hi.begin(), hi.end());
    minSerial = low == INT32_MAX ? 1 : low;
    const std::size_t keys = (low == INT32_MAX ? 0 : static_cast<std::size_t>(high - low) + 1) + 1;
    const auto keyOf = [&](std::int32_t s) { return s == 0 ? 0 : static_cast<std::size_t>(s - minSerial) + 1; };

    std::vector<std::vector<std::uint32_t>> at(parts);  // per part: count, then next place, of each key
    inParts(n, parts, [&](unsigned part, std::size_t b, std::size_t e) {
        at[part].assign(keys, 0);
        for (std::size_t i = b; i < e; ++i) ++at[part][keyOf(serials[i])];
    });
    dateStart.assign(keys + 1, 0);
    std::uint32_t next = 0;
    for (std::size_t k = 0; k < keys; ++k) {
        dateStart[k] = next;
        for (unsigned part = 0; part < parts; ++part) {
            const std::uint32_t c = at[part][k];
            at[part][k] = next;
            next += c;
        }
    }
    dateStart[keys] = next;

    entries.resize(n);
    std::vector<std::array<Counter, kParts>> counters(parts);
    inParts(n, parts, [&](unsigned part, std::size_t b, std::size_t e) {
        constexpr std::size_t kChunk = 1024;
        std::vector<Packed> packed(kChunk);
        PackCache cache;
        std::vector<std::uint32_t>& place = at[part];
        std::array<Counter, kParts>& c = counters[part];
        for (std::size_t from = b; from < e; from += kChunk) {
            const std::size_t to = std::min(e, from + kChunk);
            source->pack(from, to, packed.data(), cache);
            for (std::size_t i = from; i < to; ++i) {
                const auto pos = static_cast<std::uint32_t>(i);
                const Packed& pk = packed[i - from];
                entries[place[keyOf(serials[i])]++] = {pk.part[0], pk.part[1], pk.part[2], pos};
                for (std::size_t k = 0; k < kParts; ++k) c[k].add(pk.part[k], pos);
            }
        }
    });
    for (std::size_t k = 0; k < kParts; ++k) {
        std::vector<Counter> ofPart;
        for (auto& c : counters) ofPart.push_back(std::move(c[k]));
        counts[k] = merge(ofPart);
    }
}

// Entries by folded surname, name and patronymic: a counting sort by the top bits of their
// key, parts of the date order on threads of their own.
void NearMatchIndex::Data::buildNames(unsigned threads) {
    const std::size_t n = entries.size();
    nameBits = std::max(4, static_cast<int>(std::bit_width(std::max<std::size_t>(n, 1))) - 1);
    const std::size_t buckets = std::size_t{1} << nameBits;
    const unsigned parts = partsFor(n, threads);
    std::vector<std::vector<std::uint32_t>> at(parts);
    inParts(n, parts, [&](unsigned part, std::size_t b, std::size_t e) {
        at[part].assign(buckets, 0);
        for (std::size_t i = b; i < e; ++i) {
            const Entry& en = entries[i];
            ++at[part][static_cast<std::size_t>(nameKey(en.s, en.n, en.p) >> (64 - nameBits))];
        }
    });
    nameStart.assign(buckets + 1, 0);
    std::uint32_t next = 0;
    for (std::size_t k = 0; k < buckets; ++k) {
        nameStart[k] = next;
        for (unsigned part = 0; part < parts; ++part) {
            const std::uint32_t c = at[part][k];
            at[part][k] = next;
            next += c;
        }
    }
    nameStart[buckets] = next;
    names.resize(n);
    namePositions.resize(n);
    inParts(n, parts, [&](unsigned part, std::size_t b, std::size_t e) {
        // The date of entry i: the key whose range holds i.
        std::size_t key = static_cast<std::size_t>(
            std::upper_bound(dateStart.begin(), dateStart.end(), static_cast<std::uint32_t>(b)) - dateStart.begin() -
            1);
        std::uint32_t digits = 0;
        std::size_t digitsOf = static_cast<std::size_t>(-1);
        for (std::size_t i = b; i < e; ++i) {
            while (dateStart[key + 1] <= i) ++key;
            if (key != digitsOf) {
                digitsOf = key;
                digits =
                    key == 0 ? 0 : hints::dateDigits(Date::fromSerial(minSerial + static_cast<std::int32_t>(key) - 1));
            }
            const Entry& en = entries[i];
            const std::uint64_t h = nameKey(en.s, en.n, en.p);
            const std::uint32_t to = at[part][static_cast<std::size_t>(h >> (64 - nameBits))]++;
            names[to] = nameItem(h, digits);
            namePositions[to] = en.pos;
        }
    });
}

// The distinct names (patronymics) as texts, each read from the first entry that has it.
void NearMatchIndex::Data::buildWords(Words& words, std::size_t part) const {
    const Counts& c = counts[part];
    Folded f;
    words.words.reserve(c.values.size());
    for (std::size_t i = 0; i < c.values.size(); ++i) {
        source->fold(c.first[i], f);
        words.words.push_back({std::string(f.part(part)), c.counts[i]});
        if (f.size[part] > 0) words.byFirstLetter[static_cast<unsigned char>(f.text[part][0])] += c.counts[i];
    }
    std::sort(words.words.begin(), words.words.end(), [](const Words::Word& a, const Words::Word& b) {
        return a.text < b.text || (a.text == b.text && a.count < b.count);
    });
}

NearMatchIndex::NearMatchIndex(Table& directory, unsigned threads) : d_(std::make_unique<Data>()) {
    d_->source = sourceOf(directory);
    d_->build(threads);
}

NearMatchIndex::NearMatchIndex(std::vector<DirectoryPerson> entries, unsigned threads) : d_(std::make_unique<Data>()) {
    d_->source = std::make_unique<PersonSource>(std::move(entries));
    d_->build(threads);
}

NearMatchIndex::~NearMatchIndex() = default;

std::size_t NearMatchIndex::size() const { return d_->count; }

std::size_t NearMatchIndex::memoryBytes() const {
    std::size_t bytes = d_->entries.capacity() * sizeof(Entry) + d_->names.capacity() * 8 +
                        d_->namePositions.capacity() * 4 + (d_->dateStart.capacity() + d_->nameStart.capacity()) * 4;
    for (const Counts& c : d_->counts) bytes += (c.values.capacity() + c.counts.capacity() + c.first.capacity()) * 4;
    for (const Words* w : {&d_->nameWords, &d_->patronymicWords})
        for (const auto& word : w->words) bytes += sizeof word + word.text.capacity();
    return bytes;
}

DirectoryPerson NearMatchIndex::entry(std::size_t position) const { return d_->source->person(position); }
std::string NearMatchIndex::status(std::size_t position) const { return d_->source->status(position); }

// ---- finding -----------------------------------------------------------------------------

// A person to find, folded and packed once.
struct NearMatchIndex::Query {
    std::string_view surname, name, patronymic;  // as given
    Date birth;
    std::string rs, rn, rp;             // folded
    std::uint32_t s = 0, n = 0, p = 0;  // packed
    std::int32_t serial = 0;
    std::uint32_t digits = 0;             // hints::dateDigits
    std::array<std::uint64_t, 2> keys{};  // name keys: name and patronymic as given, exchanged

    Query(std::string_view surname_, std::string_view name_, std::string_view patronymic_, Date birth_)
        : surname(surname_), name(name_), patronymic(patronymic_), birth(birth_) {
        const NameFolding& fold = NameFolding::of(CodePage::Cp1251);
        rs = fold.fold(surname);
        rn = fold.fold(name);
        rp = fold.fold(patronymic);
        s = hints::packName(rs);
        n = hints::packName(rn);
        p = hints::packName(rp);
        serial = serialOf(birth);
        digits = hints::dateDigits(birth);
        keys = {nameKey(s, n, p), nameKey(s, p, n)};
    }
};

namespace {

struct Candidate {
    double logWeight = 0;
    double score = 0;
    unsigned kinds = 0;
    std::uint32_t pos = 0;
    std::uint64_t same = 0;  // equal for entries that read alike (folded texts and date)
    bool swapped = false;    // explained with name and patronymic exchanged
};

bool onlyOneKind(unsigned kinds) {
    // A new surname or a missing date leaves a whole value unexplained: never "точно".
    return std::popcount(kinds) == 1 && !(kinds & (kHintOther | kHintMarried | kHintBirthMissing));
}

void touch(const void* p) {
#if defined(__GNUC__)
    __builtin_prefetch(p);
#else
    (void)p;
#endif
}

}  // namespace

// What find() reads first, brought into the cache ahead: the bucket starts of the record's
// names (stage 0), then their items (stage 1).
void NearMatchIndex::prefetch(const Query& q, int stage) const {
    const Data& d = *d_;
    for (int turn = 0; turn < (q.n == q.p ? 1 : 2); ++turn) {
        const std::size_t bucket =
            static_cast<std::size_t>(q.keys[static_cast<std::size_t>(turn)] >> (64 - d.nameBits));
        if (stage == 0) {
            touch(&d.nameStart[bucket]);
            continue;
        }
        const std::uint32_t b = d.nameStart[bucket], e = std::min(d.nameStart[bucket + 1], b + 128);
        for (std::uint32_t i = b; i < e; i += 8) touch(&d.names[i]);
    }
}

std::vector<Hint> NearMatchIndex::find(const Query& q) const {
    const Data& d = *d_;
    if (d.count == 0) return {};
    std::vector<std::uint32_t> found;
    // The entries of the record's birth date with two name parts equal, or one equal and the
    // other two beginning alike (hints::beginAlike), or name and patronymic exchanged.
    const std::size_t key = d.dateKey(q.serial);
    if (q.serial != 0 && key < d.dateStart.size()) {
        for (std::uint32_t i = d.dateStart[key]; i < d.dateStart[key + 1]; ++i) {
            const Entry& e = d.entries[i];
            const bool es = e.s == q.s, en = e.n == q.n, ep = e.p == q.p;
            const int equal = int{es} + int{en} + int{ep};
            const bool take = equal >= 2 ||
                              (equal == 1 && (es || hints::beginAlike(e.s, q.s)) &&
                               (en || hints::beginAlike(e.n, q.n)) && (ep || hints::beginAlike(e.p, q.p))) ||
                              (e.n == q.p && e.p == q.n && (es || hints::beginAlike(e.s, q.s)));
            if (take) found.push_back(e.pos);
        }
    }
    // The entries of the record's folded names (name and patronymic either way round) whose
    // birth date is one digit off, has day and month exchanged, or is missing on one side.
    for (int turn = 0; turn < (q.n == q.p ? 1 : 2); ++turn) {
        const std::uint64_t h = q.keys[static_cast<std::size_t>(turn)];
        const std::size_t bucket = static_cast<std::size_t>(h >> (64 - d.nameBits));
        for (std::uint32_t i = d.nameStart[bucket]; i < d.nameStart[bucket + 1]; ++i) {
            const std::uint64_t item = d.names[i];
            if (checkOf(item) != static_cast<std::uint32_t>(h)) continue;
            const std::uint32_t digits = digitsOf(item);
            if (digits == q.digits ? digits == 0
                                   : q.digits == 0 || digits == 0 || hints::oneDigitApart(q.digits, digits) ||
                                         hints::dayMonthExchanged(q.digits, digits))
                found.push_back(d.namePositions[i]);
        }
    }
    if (found.empty()) return {};
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());

    // The record's own likelihood among people the directory lacks: the shares of its values,
    // and of its sex where more than one part tells it (the parts of one person are not
    // independent: a man's name goes with a man's patronymic and surname).
    const double shareS = d.surname(q.rs), shareN = d.name(q.rn), shareP = d.patronymic(q.rp);
    const double shareB = d.birth(q.birth);
    const hints::Sex sex = hints::sexOf(q.rn, q.rp);
    double logSex = 0;
    int sexed = 0;
    bool sexedSurname = false;
    if (sex != hints::Sex::Unknown) {
        logSex = sex == hints::Sex::Female ? d.logFemale : d.logMale;
        sexedSurname = hints::surnameSex(q.rs) == sex;
        sexed = int{hints::sexOf(q.rn, {}) == sex} + int{hints::sexOf({}, q.rp) == sex} + int{sexedSurname};
    }
    const double logPrior = std::log(kPrior) - d.logCount + (sexed > 1 ? (sexed - 1) * logSex : 0);

    // Each entry weighed: its likelihood ratio, shared out over the directory.
    std::vector<Candidate> candidates;
    candidates.reserve(found.size());
    Folded f;
    for (const std::uint32_t pos : found) {
        d.source->fold(pos, f);
        const std::string_view es = f.part(0), en = f.part(1), ep = f.part(2);
        Likeness ls = hints::compareNamePart(Part::Surname, q.rs, es, shareS, d, sex);
        // A new surname is drawn from those of the record's sex.
        if ((ls.kinds & kHintMarried) && sexedSurname) ls.logRatio -= logSex;
        Likeness names = hints::compareNamePart(Part::Name, q.rn, en, shareN, d, sex);
        const Likeness lp = hints::compareNamePart(Part::Patronymic, q.rp, ep, shareP, d, sex);
        names = {names.logRatio + lp.logRatio, names.kinds | lp.kinds};
        bool swapped = false;
        if (q.rn != en || q.rp != ep) {
            const Likeness x = hints::compareSwapped(q.rn, q.rp, en, ep, shareN, shareP);
            if (x.logRatio > names.logRatio) names = x, swapped = true;
        }
        const Likeness lb = hints::compareBirth(q.birth, Date::fromSerial(f.serial), shareB);
        Candidate c;
        c.logWeight = logPrior + ls.logRatio + names.logRatio + lb.logRatio;
        c.kinds = ls.kinds | names.kinds | lb.kinds;
        c.pos = pos;
        c.same = nameKey(hints::packName(es), hints::packName(en), hints::packName(ep)) ^
                 static_cast<std::uint64_t>(static_cast<std::uint32_t>(f.serial));
        c.swapped = swapped;
        candidates.push_back(c);
    }

    // Scores: each weight's share of all, the people the directory lacks included.
    double top = std::log(1 - kPrior);
    for (const Candidate& c : candidates) top = std::max(top, c.logWeight);
    double sum = std::exp(std::log(1 - kPrior) - top);
    for (const Candidate& c : candidates) sum += std::exp(c.logWeight - top);
    for (Candidate& c : candidates) c.score = std::exp(c.logWeight - top) / sum;
    std::sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
        return a.score > b.score || (a.score == b.score && a.pos < b.pos);
    });
    // Offered when the best entry, with any that read exactly like it (the same person
    // entered twice), is more likely the person than not.
    double group = 0;
    for (const Candidate& c : candidates)
        if (c.same == candidates[0].same) group += c.score;
    if (group < kOfferFrom) return {};

    const NameFolding& fold = NameFolding::of(CodePage::Cp1251);
    std::vector<Hint> hints;
    for (const Candidate& c : candidates) {
        if (hints.size() == kMaxHints || c.score < kListFrom) break;
        const DirectoryPerson person = d.source->person(c.pos);
        Hint h;
        h.entry = c.pos;
        h.num = person.num;
        h.kinds = c.kinds;
        h.score = c.score;
        if (person.fam != q.surname) h.differs |= kDiffersSurname;
        if (person.nam != q.name) h.differs |= kDiffersName;
        if (person.otch != q.patronymic) h.differs |= kDiffersPatronymic;
        if (person.birth != q.birth) h.differs |= kDiffersBirth;
        // A part that differs only as folding hides it is spelt differently.
        const auto spelt = [&](unsigned flag, std::string_view record, const std::string& entry) {
            return (h.differs & flag) && fold.fold(entry) == record;
        };
        if (spelt(kDiffersSurname, q.rs, person.fam) ||
            (!c.swapped && (spelt(kDiffersName, q.rn, person.nam) || spelt(kDiffersPatronymic, q.rp, person.otch))))
            h.kinds |= kHintSpelling;
        if (h.score >= kCertainFrom && onlyOneKind(h.kinds)) h.confidence = HintConfidence::Certain;
        hints.push_back(h);
    }
    return hints;
}

std::vector<Hint> NearMatchIndex::find(std::string_view surname, std::string_view name, std::string_view patronymic,
                                       Date birth) const {
    return find(Query(surname, name, patronymic, birth));
}

std::vector<std::vector<Hint>> NearMatchIndex::findAll(std::span<const PersonToFind> people, unsigned threads) const {
    // In birth-date order, so that people of one date read the same entries one after
    // another; the groups of their names are asked for some people ahead.
    std::vector<std::uint64_t> order(people.size());
    for (std::size_t i = 0; i < people.size(); ++i)
        order[i] = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(serialOf(people[i].birth))) << 32) | i;
    std::sort(order.begin(), order.end());
    std::vector<std::vector<Hint>> out(people.size());
    inParts(people.size(), people.size() < 64 ? 1u : std::max(1u, threads),
            [&](unsigned, std::size_t b, std::size_t e) {
                constexpr std::size_t kAhead = 8, kRing = 2 * kAhead + 1;
                std::vector<std::optional<Query>> ring(kRing);  // the queries of people k - kAhead .. k + 2 kAhead
                std::vector<std::size_t> of(kRing, static_cast<std::size_t>(-1));
                const auto query = [&](std::size_t k) -> const Query& {
                    std::optional<Query>& q = ring[k % kRing];
                    if (of[k % kRing] != k) {
                        const PersonToFind& p = people[static_cast<std::uint32_t>(order[k])];
                        q.emplace(p.surname, p.name, p.patronymic, p.birth);
                        of[k % kRing] = k;
                    }
                    return *q;
                };
                for (std::size_t k = b; k < e; ++k) {
                    if (k + 2 * kAhead < e) prefetch(query(k + 2 * kAhead), 0);
                    if (k + kAhead < e) prefetch(query(k + kAhead), 1);
                    out[static_cast<std::uint32_t>(order[k])] = find(query(k));
                }
            });
    return out;
}

std::string_view confidenceText(HintConfidence c) { return c == HintConfidence::Certain ? "точно"_cp : "возможно"_cp; }

}  // namespace strnum
