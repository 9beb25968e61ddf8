// A check of a keyed Paradox table's primary index (.PX) against its data blocks, as
// another Paradox program would rely on it.
#pragma once

#include <filesystem>

namespace strnum::test {

// Walks the .PX tree from its root and checks it against the data chain: one level-1 entry
// per data block in chain order, with that block's first key and record count; each upper
// entry the first key and the sum of the counts below it.  Failures are test failures.
void expectIndexConsistent(const std::filesystem::path& db);

}  // namespace strnum::test
