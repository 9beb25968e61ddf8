// Orders over the records of a Paradox table held in memory (paradox/paradox_table.h).
//
// An order is a sequence of record positions plus a way to find the first record whose
// leading fields equal given values.  Values are compared in a canonical form of the
// stored bytes: alpha fields cut at the first NUL and without trailing blanks, dates by
// value (an invalid date equals the empty one), numbers by their encoding.  Records with
// equal values follow each other in primary order, then stored order.
//
// Three kinds, chosen by buildParadoxOrder():
// - an integer order for one integer or date field (the number directory's NUM): the keys
//   as a packed int32 array, a bucket table over their range, and a permutation only when
//   the records are not already in that order (a keyed table is);
// - a sorted order for small tables and composite keys: positions sorted by the values;
// - a grouped order for large tables and several fields (FAM;NAM;OTCH;BIRTH of the number
//   directory): records of equal values are contiguous, in primary order, but the groups
//   follow each other in the order of a 64-bit hash of the values, not alphabetically.
//   One sorted uint64 per record (hash bits above the primary position) and a bucket
//   table give a lookup in a few cache misses.  It is built on as many threads as the
//   settings give ([Tables] Threads): hashing the canonical values as whole words, a
//   radix split by the top hash bits into a second block, a byte-wise radix sort of every
//   part, and a check of each run of equal hash bits (mostly true twins, settled by
//   comparing the fields' bytes).
// A find with values for fewer than all of a grouped order's fields scans the records.
//
// Memory of the orders for n records: integer 4n (+4n when unsorted), grouped 8n + at
// most n (the grouped order is sorted in place: no second copy of its keys).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "paradox/paradox_format.h"
#include "tables/table.h"

namespace strnum {

class ParadoxRecords;

class ParadoxOrder {
public:
    virtual ~ParadoxOrder() = default;
    virtual std::size_t size() const = 0;
    // Stored position (index into ParadoxRecords) of the record at this position.
    virtual std::size_t stored(std::size_t position) const = 0;
    // True when every record's position is its stored one (stored(p) == p).
    virtual bool inStoredOrder() const { return false; }
    // First position whose leading fields equal the values, or nullopt.  Throws
    // InvalidArgument when a value's type does not fit its field or there are more values
    // than fields.
    virtual std::optional<std::size_t> find(std::span<const KeyValue> values) const = 0;
    const std::vector<int>& fields() const { return fields_; }
    // What prefetch() keeps of the latest hints: one per cursor.  An order never changes
    // once built, so that cursors on several threads can search it at once.
    struct Hints {
        struct Ahead {
            std::uint64_t number = 0;  // of the hint, from 1; 0: none
            std::uint64_t order = 0;   // the order that made it (its id)
            bool usable = false;       // the hash and words stand for the values
            bool noMatch = false;      // no record can hold these values
            std::uint64_t hash = 0;
            std::size_t bucket = static_cast<std::size_t>(-1);
            std::vector<KeyValue> values;  // as hinted
        };
        std::array<Ahead, 16> ahead{};
        std::vector<std::uint64_t> words;  // the canonical words of each hint, ahead.size() × the order's
        std::uint64_t count = 0;
    };
    // A hint that find() will soon be asked for these values (see KeySearch::prefetch).
    // Returns the hint's number for findHinted, 0 when there is none.
    virtual std::uint64_t prefetch(std::span<const KeyValue> values, Hints& hints) const {
        (void)values;
        (void)hints;
        return 0;
    }
    // find() for values hinted before under the given number: what the hint worked out is
    // used when it is still there and was made for the same values by this order.
    virtual std::optional<std::size_t> findHinted(std::span<const KeyValue> values, const Hints& hints,
                                                  std::uint64_t hint) const {
        (void)hints;
        (void)hint;
        return find(values);
    }
    // True when the records at positions found and other are known, without comparing
    // them, to differ in their values and in the texts and dates these read as; false when
    // that is not known.  A scan over the records equal to a found key stops on it.
    virtual bool knownDifferent(std::size_t found, std::size_t other) const {
        (void)found;
        (void)other;
        return false;
    }

protected:
    std::vector<int> fields_;
};

// fields: field indexes of the order; primary: the order that decides ties (nullptr:
// stored order decides, as for the primary order itself).  tableName: for messages.
// groupedFrom: the record count from which orders over several fields are grouped.
// threads: how many threads build a large order (base/parallel.h); the order is the same.
std::unique_ptr<ParadoxOrder> buildParadoxOrder(const ParadoxHeader& header, const ParadoxRecords& records,
                                                std::vector<int> fields, const ParadoxOrder* primary,
                                                std::string_view tableName, std::size_t groupedFrom = 200000,
                                                unsigned threads = 1);

// The canonical comparison bytes of a stored value, and of a key value for that field
// (false when the key cannot equal any stored value, e.g. a text the code page lacks).
std::string_view pxCanonical(const ParadoxField& f, const char* record, char* scratch8);
bool pxCanonicalKey(const ParadoxField& f, const KeyValue& v, CodePage cp, std::string& out,
                    std::string_view tableName);

}  // namespace strnum
