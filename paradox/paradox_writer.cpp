#include "paradox/paradox_writer.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <numeric>

#include "base/ru.h"
#include "base/text.h"

namespace strnum {

using namespace strnum::literals;

namespace {

constexpr int kHeaderSize = 0x800;
constexpr std::uint8_t kVersion = 0x0B;  // level 5

void put16(std::string& b, std::size_t off, unsigned v) {
    b[off] = static_cast<char>(v & 0xFF);
    b[off + 1] = static_cast<char>((v >> 8) & 0xFF);
}
void put32(std::string& b, std::size_t off, std::uint32_t v) {
    put16(b, off, v & 0xFFFF);
    put16(b, off + 2, v >> 16);
}
unsigned get16(const std::string& b, std::size_t off) {
    return static_cast<unsigned char>(b[off]) | (static_cast<unsigned>(static_cast<unsigned char>(b[off + 1])) << 8);
}

int fieldSize(const ParadoxFieldDef& f) {
    switch (f.type) {
        case pxtype::Alpha:
            return f.size;
        case pxtype::Short:
            return 2;
        case pxtype::Long:
        case pxtype::AutoInc:
        case pxtype::Date:
            return 4;
        case pxtype::Number:
        case pxtype::Money:
            return 8;
        case pxtype::Logical:
            return 1;
        default:
            return 0;
    }
}

[[noreturn]] void invalid(std::string_view what, std::string_view name) {
    std::string m(what);
    m += name;
    throwError(ErrorKind::InvalidArgument, std::move(m));
}

// Block counts and chain ends in a .DB or .PX header.
void setCounts(std::string& h, std::uint32_t records, unsigned used, unsigned fileBlocks, unsigned first,
               unsigned last) {
    put32(h, 0x06, records);
    put16(h, 0x0A, used);
    put16(h, 0x0C, fileBlocks);
    put16(h, 0x0E, first);
    put16(h, 0x10, last);
    put16(h, 0x3A, fileBlocks);
}

std::string dataHeader(const std::vector<ParadoxFieldDef>& fields, const ParadoxCreateOptions& o, int recordSize,
                       int blockKiB, std::string_view tableName) {
    std::string h(kHeaderSize, '\0');
    const auto n = static_cast<unsigned>(fields.size());
    const bool cyr866 = o.codePage == CodePage::Cp866;
    put16(h, 0x00, static_cast<unsigned>(recordSize));
    put16(h, 0x02, kHeaderSize);
    h[0x04] = static_cast<char>(pxfile::KeyedDb);
    h[0x05] = static_cast<char>(blockKiB);
    put16(h, 0x12, 1);
    put16(h, 0x21, n);
    put16(h, 0x23, static_cast<unsigned>(o.keyFields));
    put32(h, 0x25, 0xFF00FF00u);
    h[0x29] = static_cast<char>(cyr866 ? 0xC0 : 0x4C);
    h[0x2D] = 2;
    h[0x2E] = 2;
    h[0x39] = static_cast<char>(kVersion);
    h[0x3E] = 0x1F;
    h[0x3F] = 0x0F;
    h[0x56] = 0x20;
    put16(h, 0x58, 0x0100 + kVersion);
    put16(h, 0x5A, 0x0100 + kVersion);
    put32(h, 0x60, static_cast<std::uint32_t>(std::time(nullptr)));
    put16(h, 0x64, n + 1);
    put16(h, 0x6A, cyr866 ? 866 : 1251);
    h[0x6C] = 1;
    h[0x6D] = 1;
    put16(h, 0x70, 1);
    std::size_t pos = 0x78;
    for (const auto& f : fields) {
        h[pos++] = static_cast<char>(f.type);
        h[pos++] = static_cast<char>(f.type == pxtype::Alpha ? f.size : fieldSize(f));
    }
    pos += 4 + 4 * n;  // run-time pointers
    std::memcpy(&h[pos], tableName.data(), std::min<std::size_t>(tableName.size(), 78));
    pos += 79;
    for (const auto& f : fields) {
        std::memcpy(&h[pos], f.name.data(), f.name.size());
        pos += f.name.size() + 1;
    }
    put16(h, 0x66, static_cast<unsigned>(pos - 0x58));
    for (unsigned i = 1; i <= n; ++i, pos += 2) put16(h, pos, i);
    put16(h, 0x6E, static_cast<unsigned>(pos - 0x58));
    const std::string_view sortName = cyr866 ? "cyrr" : "DBWINUS0";
    std::memcpy(&h[pos], sortName.data(), sortName.size());
    pos += sortName.size() + 1;
    put16(h, 0x51, static_cast<unsigned>(pos));
    return h;
}

std::string indexHeader(const ParadoxHeader& db, int keySize, std::string_view tableName) {
    std::string h(kHeaderSize, '\0');
    put16(h, 0x00, static_cast<unsigned>(keySize + 6));
    put16(h, 0x02, kHeaderSize);
    h[0x04] = static_cast<char>(pxfile::PrimaryIndex);
    h[0x05] = static_cast<char>(db.blockSize / 1024);
    put16(h, 0x12, 2);
    put16(h, 0x1E, 1);
    put16(h, 0x21, static_cast<unsigned>(db.keyFields));
    h[0x29] = static_cast<char>(db.sortOrder);
    h[0x2C] = static_cast<char>(0xEC);
    h[0x39] = static_cast<char>(db.version);
    std::size_t pos = 0x58;
    for (int k = 0; k < db.keyFields; ++k) {
        const auto& f = db.fields[static_cast<std::size_t>(k)];
        h[pos++] = static_cast<char>(f.type);
        h[pos++] = static_cast<char>(f.type == pxtype::Bcd ? f.decimals : f.size);
    }
    pos += 4;
    std::memcpy(&h[pos], tableName.data(), std::min<std::size_t>(tableName.size(), 78));
    pos += db.version >= 0x0C ? 261 : 79;
    put16(h, 0x51, static_cast<unsigned>(pos));
    return h;
}

struct FileRemover {
    std::filesystem::path a, b;
    bool armed = true;
    ~FileRemover() {
        if (!armed || a.empty()) return;
        std::error_code ec;
        std::filesystem::remove(a, ec);
        if (!b.empty()) std::filesystem::remove(b, ec);
    }
};

}  // namespace

std::filesystem::path paradoxIndexPath(const std::filesystem::path& db) {
    std::filesystem::path px = db;
    const std::string ext = db.extension().string();
    px.replace_extension(!ext.empty() && ext[1] == 'd' ? ".px" : ".PX");
    return px;
}

void createParadoxTable(const std::filesystem::path& path, const std::vector<ParadoxFieldDef>& fields,
                        const ParadoxCreateOptions& o, std::string_view records) {
    const std::string name = pathTo1251(path.filename());
    if (fields.empty() || fields.size() > 255 || o.keyFields < 1 || o.keyFields > static_cast<int>(fields.size()))
        invalid("Недопустимое описание полей таблицы "_cp, name);
    int recordSize = 0, keySize = 0;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const int s = fieldSize(fields[i]);
        if (s < 1 || s > 255 || fields[i].name.empty() || fields[i].name.size() > 25)
            invalid("Недопустимое поле "_cp, fields[i].name);
        recordSize += s;
        if (static_cast<int>(i) < o.keyFields) keySize += s;
    }
    if (records.size() % static_cast<std::size_t>(recordSize) != 0) invalid("Неполная запись для таблицы "_cp, name);
    const std::size_t n = records.size() / static_cast<std::size_t>(recordSize);

    int kib = o.blockSizeKiB;
    if (kib == 0) {
        kib = 2;
        while (kib < 32 && n / static_cast<std::size_t>((kib * 1024 - 6) / recordSize) + 1 > 65535) kib *= 2;
    }
    if (kib != 1 && kib != 2 && kib != 4 && kib != 8 && kib != 16 && kib != 32)
        invalid("Недопустимый размер блока таблицы "_cp, name);
    const std::size_t perBlock = static_cast<std::size_t>((kib * 1024 - 6) / recordSize);
    if (perBlock < 1 || (n + perBlock - 1) / perBlock > 65535) invalid("Слишком много записей для таблицы "_cp, name);

    // Key order: raw bytes of the key, the order of the stored encoding.
    std::vector<std::uint32_t> order(n);
    std::iota(order.begin(), order.end(), 0u);
    const auto key = [&](std::uint32_t i) {
        return std::string_view(records.data() + static_cast<std::size_t>(i) * static_cast<std::size_t>(recordSize),
                                static_cast<std::size_t>(keySize));
    };
    bool sorted = true;
    for (std::size_t i = 1; i < n && sorted; ++i) sorted = key(order[i - 1]) < key(order[i]);
    if (!sorted) std::stable_sort(order.begin(), order.end(), [&](auto a, auto b) { return key(a) < key(b); });
    for (std::size_t i = 1; i < n; ++i)
        if (key(order[i - 1]) == key(order[i])) {
            std::string m("Повторяющийся ключ в таблице "_cp);
            m += name;
            throw DuplicateKeyError(std::move(m));
        }

    const std::filesystem::path px = paradoxIndexPath(path);
    FileRemover remover{{}, {}};  // armed only once the file is ours: never removes a table it did not make
    {
        PxFile db(path, PxFile::Mode::CreateNew, name);
        remover.a = path;
        remover.b = px;
        db.lockExclusive();
        const std::size_t blocks = (n + perBlock - 1) / perBlock;
        std::string head = dataHeader(fields, o, recordSize, kib, pathTo1251(path.filename()));
        setCounts(head, static_cast<std::uint32_t>(n), static_cast<unsigned>(blocks), static_cast<unsigned>(blocks),
                  blocks ? 1 : 0, static_cast<unsigned>(blocks));
        db.writeAt(0, head.data(), head.size());
        // Blocks go out in batches to keep the number of system calls low.
        const std::size_t bs = static_cast<std::size_t>(kib) * 1024;
        const std::size_t batch = std::max<std::size_t>(1, (4u << 20) / bs);
        std::string buf;
        for (std::size_t b0 = 0; b0 < blocks; b0 += batch) {
            const std::size_t nb = std::min(batch, blocks - b0);
            buf.assign(nb * bs, '\0');
            for (std::size_t k = 0; k < nb; ++k) {
                const std::size_t b = b0 + k;
                const std::size_t first = b * perBlock, count = std::min(perBlock, n - first);
                std::string blk(6, '\0');
                put16(blk, 0, b + 1 < blocks ? static_cast<unsigned>(b + 2) : 0);
                put16(blk, 2, static_cast<unsigned>(b));
                put16(blk, 4, static_cast<unsigned>((count - 1) * static_cast<std::size_t>(recordSize)));
                char* dst = buf.data() + k * bs;
                std::memcpy(dst, blk.data(), 6);
                for (std::size_t r = 0; r < count; ++r)
                    std::memcpy(dst + 6 + r * static_cast<std::size_t>(recordSize),
                                records.data() +
                                    static_cast<std::size_t>(order[first + r]) * static_cast<std::size_t>(recordSize),
                                static_cast<std::size_t>(recordSize));
            }
            db.writeAt(kHeaderSize + b0 * bs, buf.data(), buf.size());
        }
    }                                      // the exclusive lock ends here
    ParadoxKeyedWriter index(path, name);  // writes the .PX
    remover.armed = false;
}

// ---- the writer -----------------------------------------------------------------------

ParadoxKeyedWriter::ParadoxKeyedWriter(const std::filesystem::path& dbPath, std::string_view name)
    : name_(name), pxPath_(paradoxIndexPath(dbPath)) {
    db_ = std::make_unique<PxFile>(dbPath, PxFile::Mode::ReadWrite, name);
    db_->lockExclusive();
    load();
}

void ParadoxKeyedWriter::load() {
    const std::uint64_t size = db_->size();
    headBytes_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(size, 0xFFFF)));
    db_->readAt(0, headBytes_.data(), headBytes_.size());
    header_ = parseParadoxHeader(headBytes_, size, name_, CodePage::Cp866);
    headBytes_.resize(static_cast<std::size_t>(header_.headerSize));
    if (!header_.keyed() || header_.keyFields < 1) {
        std::string m("Таблица без первичного ключа не поддерживает вставку: "_cp);
        m += name_;
        throwError(ErrorKind::Unsupported, std::move(m));
    }
    keySize_ = 0;
    for (int k = 0; k < header_.keyFields; ++k) keySize_ += header_.fields[static_cast<std::size_t>(k)].size;
    perBlock_ = (header_.blockSize - 6) / header_.recordSize;
    perIndexBlock_ = (header_.blockSize - 6) / (keySize_ + 6);
    if (perIndexBlock_ < 3) {
        std::string m("Слишком длинный ключ таблицы "_cp);
        m += name_;
        throwError(ErrorKind::Unsupported, std::move(m));
    }
    dataBlocks_ = std::min<std::uint32_t>(header_.fileBlocks, 65535);

    // The chain, checked as the reader checks it.
    std::vector<Entry> leaves;
    std::vector<bool> seen(dataBlocks_ + 1, false);
    std::string bytes;
    records_ = 0;
    lastBlock_ = 0;
    for (std::uint32_t b = header_.firstBlock; b != 0;) {
        if (b > dataBlocks_ || seen[b]) {
            std::string m("Повреждена таблица Paradox "_cp);
            m += name_;
            m += ": "_cp;
            m += "нарушена цепочка блоков"_cp;
            throwError(ErrorKind::Corrupt, std::move(m));
        }
        seen[b] = true;
        const BlockHead h = readBlock(static_cast<std::uint16_t>(b), bytes);
        if (h.count > 0) {  // empty blocks stay in the chain but get no index entry
            leaves.push_back(
                {bytes.substr(6, static_cast<std::size_t>(keySize_)), b, static_cast<std::uint32_t>(h.count)});
            records_ += static_cast<std::uint32_t>(h.count);
        }
        lastBlock_ = static_cast<std::uint16_t>(b);
        b = h.next;
    }
    px_ = std::make_unique<PxFile>(pxPath_, PxFile::Mode::CreateOrTruncate, name_);
    buildIndex(std::move(leaves));
    writeHeader();
}

ParadoxKeyedWriter::~ParadoxKeyedWriter() = default;

ParadoxKeyedWriter::BlockHead ParadoxKeyedWriter::readBlock(std::uint16_t block, std::string& bytes) const {
    bytes.resize(static_cast<std::size_t>(header_.blockSize));
    db_->readAt(static_cast<std::uint64_t>(header_.headerSize) +
                    static_cast<std::uint64_t>(block - 1) * static_cast<std::uint64_t>(header_.blockSize),
                bytes.data(), bytes.size());
    BlockHead h;
    h.next = static_cast<std::uint16_t>(get16(bytes, 0));
    h.prev = static_cast<std::uint16_t>(get16(bytes, 2));
    const unsigned off = get16(bytes, 4);
    const unsigned rs = static_cast<unsigned>(header_.recordSize);
    if (off == (65536u - rs) % 65536u) {
        h.count = 0;
    } else if (off % rs == 0 && static_cast<int>(off / rs) < perBlock_) {
        h.count = static_cast<int>(off / rs) + 1;
    } else {
        std::string m("Повреждена таблица Paradox "_cp);
        m += name_;
        m += ": "_cp;
        m += "неверное число записей в блоке "_cp;
        m += std::to_string(block);
        throwError(ErrorKind::Corrupt, std::move(m));
    }
    return h;
}

void ParadoxKeyedWriter::writeBlock(std::uint16_t block, const BlockHead& h, std::string& bytes) {
    put16(bytes, 0, h.next);
    put16(bytes, 2, h.prev);
    put16(bytes, 4, static_cast<unsigned>((h.count - 1) * header_.recordSize) & 0xFFFF);
    db_->writeAt(static_cast<std::uint64_t>(header_.headerSize) +
                     static_cast<std::uint64_t>(block - 1) * static_cast<std::uint64_t>(header_.blockSize),
                 bytes.data(), bytes.size());
}

std::uint16_t ParadoxKeyedWriter::appendDataBlock() {
    if (dataBlocks_ >= 65535) {
        std::string m("Таблица заполнена до предела: "_cp);
        m += name_;
        throwError(ErrorKind::Unsupported, std::move(m));
    }
    return static_cast<std::uint16_t>(++dataBlocks_);
}

void ParadoxKeyedWriter::writeHeader() {
    unsigned used = 0;
    for (const auto& n : nodes_)
        if (n.level == 1) used += static_cast<unsigned>(n.entries.size());
    setCounts(headBytes_, records_, used, dataBlocks_, header_.firstBlock, header_.firstBlock ? lastBlock_ : 0);
    db_->writeAt(0, headBytes_.data(), 0x58);
}

std::uint16_t ParadoxKeyedWriter::newIndexBlock() { return ++indexBlocks_; }

void ParadoxKeyedWriter::buildIndex(std::vector<Entry> leaves) {
    nodes_.clear();
    indexBlocks_ = 0;
    levels_ = 0;
    std::string head = indexHeader(header_, keySize_, pathTo1251(pxPath_.filename()));
    px_->writeAt(0, head.data(), head.size());
    if (leaves.empty()) {
        writeIndexHeader();
        return;
    }
    // Full nodes bottom-up, as a rebuild leaves them.
    std::vector<std::size_t> level;
    std::vector<Entry> entries = std::move(leaves);
    for (int lv = 1;; ++lv) {
        level.clear();
        for (std::size_t i = 0; i < entries.size(); i += static_cast<std::size_t>(perIndexBlock_)) {
            Node node;
            node.block = newIndexBlock();
            node.level = lv;
            const auto end = std::min(entries.size(), i + static_cast<std::size_t>(perIndexBlock_));
            node.entries.assign(entries.begin() + static_cast<std::ptrdiff_t>(i),
                                entries.begin() + static_cast<std::ptrdiff_t>(end));
            nodes_.push_back(std::move(node));
            level.push_back(nodes_.size() - 1);
        }
        levels_ = lv;
        if (level.size() == 1) break;
        entries.clear();
        for (std::size_t idx : level) {
            std::uint32_t sum = 0;
            for (const auto& e : nodes_[idx].entries) sum += e.count;
            entries.push_back({nodes_[idx].entries.front().key, static_cast<std::uint32_t>(idx), sum});
        }
    }
    root_ = level.front();
    for (std::size_t i = 0; i < nodes_.size(); ++i) writeNode(i);
    writeIndexHeader();
}

void ParadoxKeyedWriter::writeNode(std::size_t i) {
    const Node& n = nodes_[i];
    if (n.entries.size() > static_cast<std::size_t>(perIndexBlock_))
        throwError(ErrorKind::Corrupt, std::string("Переполнен блок индекса таблицы "_cp) + name_);
    const std::size_t es = static_cast<std::size_t>(keySize_) + 6;
    std::string b(static_cast<std::size_t>(header_.blockSize), '\0');
    put16(b, 4, static_cast<unsigned>((static_cast<int>(n.entries.size()) - 1) * static_cast<int>(es)) & 0xFFFF);
    std::size_t pos = 6;
    for (const auto& e : n.entries) {
        std::memcpy(&b[pos], e.key.data(), e.key.size());
        const std::uint32_t child = n.level == 1 ? e.child : nodes_[e.child].block;
        pxEncodeInt(&b[pos + es - 6], 2, static_cast<std::int64_t>(child));
        pxEncodeInt(&b[pos + es - 4], 2, std::min<std::uint32_t>(e.count, 32767));
        pxEncodeInt(&b[pos + es - 2], 2, 0);
        pos += es;
    }
    px_->writeAt(static_cast<std::uint64_t>(kHeaderSize) +
                     static_cast<std::uint64_t>(n.block - 1) * static_cast<std::uint64_t>(header_.blockSize),
                 b.data(), b.size());
}

void ParadoxKeyedWriter::writeIndexHeader() {
    std::string h(0x58, '\0');
    px_->readAt(0, h.data(), h.size());
    std::uint32_t entries = 0;
    for (const auto& n : nodes_) entries += static_cast<std::uint32_t>(n.entries.size());
    setCounts(h, entries, indexBlocks_, indexBlocks_, indexBlocks_ ? 1 : 0, indexBlocks_);
    put16(h, 0x1E, nodes_.empty() ? 1 : nodes_[root_].block);
    h[0x20] = static_cast<char>(levels_);
    px_->writeAt(0, h.data(), h.size());
}

void ParadoxKeyedWriter::splitUpward(std::vector<std::pair<std::size_t, std::size_t>>& path, std::size_t depth) {
    for (std::size_t d = depth + 1; d-- > 0;) {
        const std::size_t ni = path[d].first;
        if (nodes_[ni].entries.size() <= static_cast<std::size_t>(perIndexBlock_)) return;
        Node upper;
        upper.block = newIndexBlock();
        upper.level = nodes_[ni].level;
        const std::size_t mid = nodes_[ni].entries.size() / 2;
        upper.entries.assign(nodes_[ni].entries.begin() + static_cast<std::ptrdiff_t>(mid), nodes_[ni].entries.end());
        nodes_[ni].entries.resize(mid);
        nodes_.push_back(std::move(upper));
        const std::size_t ui = nodes_.size() - 1;
        const auto sum = [&](std::size_t k) {
            std::uint32_t s = 0;
            for (const auto& e : nodes_[k].entries) s += e.count;
            return s;
        };
        writeNode(ui);
        writeNode(ni);
        if (d == 0) {  // a new root above the two halves
            Node root;
            root.block = newIndexBlock();
            root.level = nodes_[ni].level + 1;
            root.entries.push_back({nodes_[ni].entries.front().key, static_cast<std::uint32_t>(ni), sum(ni)});
            root.entries.push_back({nodes_[ui].entries.front().key, static_cast<std::uint32_t>(ui), sum(ui)});
            nodes_.push_back(std::move(root));
            root_ = nodes_.size() - 1;
            levels_ = nodes_[root_].level;
            writeNode(root_);
            return;
        }
        Node& parent = nodes_[path[d - 1].first];
        const std::size_t pe = path[d - 1].second;
        parent.entries[pe].count = sum(ni);
        parent.entries.insert(parent.entries.begin() + static_cast<std::ptrdiff_t>(pe + 1),
                              Entry{nodes_[ui].entries.front().key, static_cast<std::uint32_t>(ui), sum(ui)});
        // An overfull parent is split (and written) by the next round of the loop.
        if (parent.entries.size() <= static_cast<std::size_t>(perIndexBlock_)) writeNode(path[d - 1].first);
    }
}

std::string ParadoxKeyedWriter::dupMessage(std::string_view) const {
    std::string m("Запись с таким ключом уже есть в таблице "_cp);
    m += name_;
    return m;
}

void ParadoxKeyedWriter::insert(std::string_view record) {
    // Bytes written to a table that another program removed or replaced reach no one.
    if (!db_->stillAtPath()) {
        std::string m("Таблица удалена или заменена другой программой: "_cp);
        m += name_;
        throwError(ErrorKind::Io, std::move(m));
    }
    // After a failed write what is in memory may not be what is in the file: read it again.
    if (stale_) {
        load();
        stale_ = false;
    }
    try {
        insertRecord(record);
    } catch (const DuplicateKeyError&) {
        throw;  // refused before anything was written
    } catch (...) {
        stale_ = true;
        throw;
    }
}

void ParadoxKeyedWriter::insertRecord(std::string_view record) {
    if (record.size() != static_cast<std::size_t>(header_.recordSize)) invalid("Неверная длина записи для "_cp, name_);
    if (nodes_.empty()) return insertFirst(record);
    Place at = placeOf(record);
    if (at.head.count < perBlock_)
        insertIntoBlock(record, at);
    else
        insertSplittingBlock(record, at);
}

// The first record: into the chain's first (empty) block or a new one, and the index's one
// entry.
void ParadoxKeyedWriter::insertFirst(std::string_view record) {
    const std::string_view key = record.substr(0, static_cast<std::size_t>(keySize_));
    std::string bytes;
    BlockHead h{0, 0, 1};
    std::uint16_t b;
    if (header_.firstBlock != 0) {
        b = header_.firstBlock;
        h.next = readBlock(b, bytes).next;
    } else {
        b = appendDataBlock();
        lastBlock_ = b;
    }
    bytes.assign(static_cast<std::size_t>(header_.blockSize), '\0');
    std::memcpy(&bytes[6], record.data(), static_cast<std::size_t>(header_.recordSize));
    h.count = 1;
    writeBlock(b, h, bytes);
    records_ = 1;
    header_.firstBlock = b;
    nodes_.push_back({newIndexBlock(), 1, {{std::string(key), b, 1}}});
    root_ = 0;
    levels_ = 1;
    writeHeader();
    writeNode(0);
    writeIndexHeader();
}

// Down the tree to the last entry whose key is not above the new one, then in its block to
// the first record whose key is above it.  Throws DuplicateKeyError when the key is there.
ParadoxKeyedWriter::Place ParadoxKeyedWriter::placeOf(std::string_view record) const {
    const std::string_view key = record.substr(0, static_cast<std::size_t>(keySize_));
    const std::size_t rs = static_cast<std::size_t>(header_.recordSize);
    Place at;
    for (std::size_t ni = root_;;) {
        const auto& es = nodes_[ni].entries;
        std::size_t i = 0;
        while (i + 1 < es.size() && std::string_view(es[i + 1].key) <= key) ++i;
        at.path.emplace_back(ni, i);
        if (nodes_[ni].level == 1) break;
        ni = es[i].child;
    }
    at.block = static_cast<std::uint16_t>(nodes_[at.path.back().first].entries[at.path.back().second].child);
    at.head = readBlock(at.block, at.bytes);
    int lo = 0, hi = at.head.count;
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (std::string_view(&at.bytes[6 + static_cast<std::size_t>(mid) * rs], key.size()) <= key)
            lo = mid + 1;
        else
            hi = mid;
    }
    at.index = lo;
    if (lo > 0 && std::string_view(&at.bytes[6 + static_cast<std::size_t>(lo - 1) * rs], key.size()) == key)
        throw DuplicateKeyError(dupMessage(record));
    return at;
}

void ParadoxKeyedWriter::placeInto(std::string& block, int count, int at, std::string_view record) const {
    const std::size_t rs = static_cast<std::size_t>(header_.recordSize);
    char* base = &block[6];
    std::memmove(base + static_cast<std::size_t>(at + 1) * rs, base + static_cast<std::size_t>(at) * rs,
                 static_cast<std::size_t>(count - at) * rs);
    std::memcpy(base + static_cast<std::size_t>(at) * rs, record.data(), rs);
}

// A block with room: the record in its place, the counts up the path, a new first key
// risen to the entries that lead to the block.
void ParadoxKeyedWriter::insertIntoBlock(std::string_view record, Place& at) {
    placeInto(at.bytes, at.head.count, at.index, record);
    ++at.head.count;
    writeBlock(at.block, at.head, at.bytes);
    ++records_;
    writeHeader();
    for (auto& [ni, ei] : at.path) ++nodes_[ni].entries[ei].count;
    if (at.index == 0)
        for (std::size_t d = at.path.size(); d-- > 0;) {
            nodes_[at.path[d].first].entries[at.path[d].second].key =
                std::string(record.substr(0, static_cast<std::size_t>(keySize_)));
            if (at.path[d].second != 0) break;
        }
    for (auto& p : at.path) writeNode(p.first);
    writeIndexHeader();
}

// A full block: a new block after it takes the upper part (only the new record when it goes
// to the end of the last block, so that rising keys fill blocks completely), and the index
// gets an entry for it.
void ParadoxKeyedWriter::insertSplittingBlock(std::string_view record, Place& at) {
    const std::size_t rs = static_cast<std::size_t>(header_.recordSize), keyBytes = static_cast<std::size_t>(keySize_);
    BlockHead& h = at.head;
    std::string& bytes = at.bytes;
    const std::uint16_t nb = appendDataBlock();
    std::string upper(static_cast<std::size_t>(header_.blockSize), '\0');
    int lowCount, upCount;
    if (h.next == 0 && at.index == h.count) {
        std::memcpy(&upper[6], record.data(), rs);
        lowCount = h.count;
        upCount = 1;
    } else {
        const int mid = h.count / 2;
        upCount = h.count - mid;
        std::memcpy(&upper[6], &bytes[6 + static_cast<std::size_t>(mid) * rs], static_cast<std::size_t>(upCount) * rs);
        std::memset(&bytes[6 + static_cast<std::size_t>(mid) * rs], 0, static_cast<std::size_t>(upCount) * rs);
        lowCount = mid;
        if (at.index <= mid)
            placeInto(bytes, lowCount++, at.index, record);
        else
            placeInto(upper, upCount++, at.index - mid, record);
    }
    const std::uint16_t oldNext = h.next;
    writeBlock(nb, {oldNext, at.block, upCount}, upper);
    h.next = nb;
    h.count = lowCount;
    writeBlock(at.block, h, bytes);
    if (oldNext != 0) {
        std::string b2(2, '\0');
        put16(b2, 0, nb);
        db_->writeAt(static_cast<std::uint64_t>(header_.headerSize) +
                         static_cast<std::uint64_t>(oldNext - 1) * static_cast<std::uint64_t>(header_.blockSize) + 2,
                     b2.data(), 2);
    } else {
        lastBlock_ = nb;
    }
    ++records_;
    writeHeader();

    // Index: the old entry's count and key, a new entry after it, counts up the path.
    auto& path = at.path;
    Node& ln = nodes_[path.back().first];
    const std::size_t le = path.back().second;
    ln.entries[le].count = static_cast<std::uint32_t>(lowCount);
    ln.entries[le].key = bytes.substr(6, keyBytes);
    ln.entries.insert(ln.entries.begin() + static_cast<std::ptrdiff_t>(le + 1),
                      Entry{upper.substr(6, keyBytes), nb, static_cast<std::uint32_t>(upCount)});
    for (std::size_t d = 0; d + 1 < path.size(); ++d) ++nodes_[path[d].first].entries[path[d].second].count;
    for (std::size_t d = path.size() - 1; d-- > 0;) {  // a changed first key rises
        if (path[d + 1].second != 0) break;
        nodes_[path[d].first].entries[path[d].second].key = nodes_[path[d + 1].first].entries.front().key;
    }
    // Split overfull nodes before anything is written: an index block holds at most
    // perIndexBlock_ entries, and a node written before its split would run past its block.
    splitUpward(path, path.size() - 1);
    for (auto& p : path) writeNode(p.first);
    writeIndexHeader();
}

}  // namespace strnum
