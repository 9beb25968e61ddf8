// What the district-file pass uses of a table it searches with every record (the number
// directory): searches announced ahead so that what they read is brought into the cache
// meanwhile, the equal entries that follow a found one known without reading them, and
// cursors of their own for other threads.
//
// Contract
// - prefetch(values) announces a findKey for these values soon (in the order of the
//   announcements) and returns a hint for it (0: nothing kept).  find(values, hint) is
//   findKey, using what the hint worked out when it still has it.
// - knownToDifferFromFound(): the entry under the cursor is known, without reading it, to
//   differ from the one the last successful find stood on in the order's values (and in the
//   texts and dates they read as); false when that is not known.  A scan of the entries
//   equal to a found one may stop on it at once.
// - cursor(): a read-only Table of its own over the same entries in the same current order,
//   for another thread; it does not see changes made through this table later.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "tables/table.h"

namespace strnum {

class KeySearch {
public:
    virtual ~KeySearch() = default;
    virtual std::uint64_t prefetch(std::span<const KeyValue> values) const = 0;
    virtual bool find(std::span<const KeyValue> values, std::uint64_t hint) = 0;
    virtual bool knownToDifferFromFound() const = 0;
    virtual std::unique_ptr<Table> cursor() const = 0;
};

}  // namespace strnum
