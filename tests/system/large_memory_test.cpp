#include "system/large_memory.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace strnum {
namespace large_memory_test {  // names of its own: the Windows build compiles test files together
namespace {

// A block grown in pieces of every size, past the size from which it is mapped and through
// several moves, holds what a string built the same way holds; copies are its own, a moved
// block leaves an empty one, a released block starts again.
TEST(GrowingBytes, HoldsEveryAppendedByteThroughGrowthCopiesAndMoves) {
    GrowingBytes block;
    std::string expected;
    EXPECT_EQ(block.view(), "");
    block.append("");
    EXPECT_EQ(block.size(), 0u);
    for (std::size_t i = 0; expected.size() < (std::size_t{5} << 20); ++i) {
        std::string piece(i % 997, static_cast<char>('a' + i % 26));
        if (i % 101 == 0) piece.assign(70000 + i, static_cast<char>(i));  // now and then a large one
        piece += std::to_string(i);
        block.append(piece);
        expected += piece;
        if (i % 500 == 0) {
            ASSERT_EQ(block.view(), expected) << "after piece " << i;
        }
    }
    ASSERT_EQ(block.size(), expected.size());
    ASSERT_EQ(block.view(), expected);

    GrowingBytes copy(block);
    copy.append("tail");
    EXPECT_EQ(block.view(), expected);
    EXPECT_EQ(copy.view(), expected + "tail");
    GrowingBytes small;
    small.append("small");
    small = copy;
    EXPECT_EQ(small.view(), copy.view());

    GrowingBytes moved(std::move(copy));
    EXPECT_EQ(moved.view(), expected + "tail");
    EXPECT_EQ(copy.size(), 0u);  // a moved-from block is empty and usable
    copy.append("again");
    EXPECT_EQ(copy.view(), "again");
    small = std::move(moved);
    EXPECT_EQ(small.view(), expected + "tail");

    block.release();
    EXPECT_EQ(block.size(), 0u);
    block.append("new");
    EXPECT_EQ(block.view(), "new");
}

}  // namespace
}  // namespace large_memory_test
}  // namespace strnum
