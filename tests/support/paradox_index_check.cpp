#include "support/paradox_index_check.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "paradox/paradox_writer.h"
#include "support/test_support.h"

namespace strnum::test {

namespace fs = std::filesystem;

namespace {

unsigned le16(const std::string& b, std::size_t off) {
    return static_cast<unsigned char>(b[off]) | (static_cast<unsigned>(static_cast<unsigned char>(b[off + 1])) << 8);
}
std::uint32_t le32(const std::string& b, std::size_t off) { return le16(b, off) | (le16(b, off + 2) << 16); }

}  // namespace

void expectIndexConsistent(const fs::path& db) {
    const std::string d = readBytes(db), x = readBytes(paradoxIndexPath(db));
    ASSERT_GE(x.size(), 0x800u);
    const std::size_t dbs = static_cast<std::size_t>(d[5]) * 1024, xbs = static_cast<std::size_t>(x[5]) * 1024;
    const std::size_t drs = le16(d, 0), es = le16(x, 0), ks = es - 6;
    std::vector<std::pair<std::string, unsigned>> chain;  // first key, count
    std::vector<unsigned> chainBlocks;
    for (unsigned b = le16(d, 0x0E); b != 0;) {
        const std::size_t off = 0x800 + (b - 1) * dbs;
        const unsigned last = le16(d, off + 4);
        const unsigned count = last == (65536 - drs) ? 0 : last / drs + 1;
        if (count) {
            chain.emplace_back(d.substr(off + 6, ks), count);
            chainBlocks.push_back(b);
        }
        b = le16(d, off);
    }
    std::vector<std::tuple<std::string, unsigned, unsigned>> leaves;  // key, block, count
    std::size_t entries = 0;
    const auto s16 = [&](std::size_t off) {  // big-endian, top bit inverted
        return ((static_cast<unsigned>(static_cast<unsigned char>(x[off])) << 8) |
                static_cast<unsigned char>(x[off + 1])) ^
               0x8000u;
    };
    std::function<unsigned(unsigned, int)> walk = [&](unsigned block, int level) -> unsigned {
        const std::size_t off = 0x800 + (block - 1) * xbs;
        const unsigned n = le16(x, off + 4) / static_cast<unsigned>(es) + 1;
        unsigned total = 0;
        for (unsigned i = 0; i < n; ++i) {
            const std::size_t e = off + 6 + i * es;
            ++entries;
            const unsigned child = s16(e + ks), count = s16(e + ks + 2);
            if (level == 1) {
                leaves.emplace_back(x.substr(e, ks), child, count);
            } else {
                const std::size_t before = leaves.size();
                EXPECT_EQ(walk(child, level - 1), count);
                EXPECT_EQ(std::get<0>(leaves[before]), x.substr(e, ks)) << "entry key = first key below";
            }
            total += count;
        }
        return total;
    };
    const int levels = static_cast<unsigned char>(x[0x20]);
    if (chain.empty()) {
        EXPECT_EQ(levels, 0);
        return;
    }
    EXPECT_EQ(walk(le16(x, 0x1E), levels), le32(d, 0x06));
    EXPECT_EQ(entries, le32(x, 0x06));
    ASSERT_EQ(leaves.size(), chain.size());
    for (std::size_t i = 0; i < chain.size(); ++i) {
        EXPECT_EQ(std::get<0>(leaves[i]), chain[i].first) << i;
        EXPECT_EQ(std::get<1>(leaves[i]), chainBlocks[i]) << i;
        EXPECT_EQ(std::get<2>(leaves[i]), chain[i].second) << i;
    }
}

}  // namespace strnum::test
