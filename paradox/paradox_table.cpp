#include "paradox/paradox_table.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <thread>

#include "base/convert.h"
#include "base/error.h"
#include "base/parallel.h"
#include "base/ru.h"
#include "paradox/paradox_file.h"
#include "paradox/paradox_order.h"
#include "paradox/paradox_writer.h"
#include "system/large_memory.h"

namespace strnum {

using namespace strnum::literals;

namespace {

unsigned get16(const char* p) {
    return static_cast<unsigned char>(p[0]) | (static_cast<unsigned>(static_cast<unsigned char>(p[1])) << 8);
}

[[noreturn]] void corruptBlock(std::string_view name, std::string_view what, std::uint32_t block) {
    std::string m("Повреждена таблица Paradox "_cp);
    m += name;
    m += ": "_cp;
    m += what;
    m += " ("_cp;
    m += "блок "_cp;
    m += std::to_string(block);
    m += ")";
    throwError(ErrorKind::Corrupt, std::move(m));
}

// Room for a table's records: searched at random, in huge pages where there are.
char* allocate(std::size_t bytes) { return static_cast<char*>(allocateLarge(bytes)); }

}  // namespace

void ParadoxRecords::Free::operator()(char* p) const noexcept { freeLarge(p); }

ParadoxHeader readParadoxHeader(const std::filesystem::path& file, std::string_view name, CodePage defaultCp) {
    PxFile f(file, PxFile::Mode::Read, name);
    const std::uint64_t size = f.size();
    std::string head(static_cast<std::size_t>(std::min<std::uint64_t>(size, 0xFFFF)), '\0');
    f.readAt(0, head.data(), head.size());
    return parseParadoxHeader(head, size, name, defaultCp);
}

ParadoxRecords loadParadoxRecords(const std::filesystem::path& file, const ParadoxHeader& h, std::string_view name,
                                  unsigned threads) {
    PxFile f(file, PxFile::Mode::Read, name);
    const auto rs = static_cast<std::size_t>(h.recordSize);
    const auto bs = static_cast<std::size_t>(h.blockSize);
    const std::size_t perBlock = (bs - 6) / rs;
    // Block numbers are 16 bits: blocks past 65535 can never be in the chain.
    const std::uint32_t blocks = std::min<std::uint32_t>(h.fileBlocks, 65535);

    // One pass over the file in physical order, in parts on several threads: block k's
    // records go to the arena at slot (k - 1) * perBlock, and its links are kept; the chain
    // is followed afterwards on these.  When the chain runs through full blocks in file
    // order (as written), the records are then already in place.
    struct Info {
        std::uint16_t next = 0;
        int count = -1;  // -1: the block's count word cannot be right
    };
    std::vector<Info> info(blocks + 1);
    const std::size_t slotBytes = perBlock * rs;
    std::unique_ptr<char, ParadoxRecords::Free> arena(
        allocate(static_cast<std::size_t>(blocks) * slotBytes + ParadoxRecords::kSlack));
    const auto readBlocks = [&](std::uint32_t from, std::uint32_t to) {  // [from, to)
        // Reads of up to 256 KiB, the room for them no larger than this part of the file.
        const std::size_t batch = std::clamp<std::size_t>((256u << 10) / bs, 1, to > from ? to - from : 1);
        std::unique_ptr<char[]> room(new char[batch * bs]);
        char* const buf = room.get();
        for (std::uint32_t b0 = from; b0 < to; b0 += static_cast<std::uint32_t>(batch)) {
            const std::size_t nb = std::min<std::size_t>(batch, to - b0);
            const std::size_t got = f.readSome(static_cast<std::uint64_t>(h.headerSize) + (b0 - 1) * bs, buf, nb * bs);
            if (got < nb * bs) corruptBlock(name, "файл короче, чем указано в заголовке"_cp, b0);
            for (std::size_t k = 0; k < nb; ++k) {
                const char* blk = buf + k * bs;
                Info& in = info[b0 + k];
                in.next = static_cast<std::uint16_t>(get16(blk));
                const unsigned off = get16(blk + 4);
                if (off == (65536u - rs) % 65536u)
                    in.count = 0;
                else if (off % rs == 0 && off / rs < perBlock)
                    in.count = static_cast<int>(off / rs) + 1;
                if (in.count > 0)
                    std::memcpy(arena.get() + (b0 + k - 1) * slotBytes, blk + 6,
                                static_cast<std::size_t>(in.count) * rs);
            }
        }
    };
    // The file's blocks in parts read at once, on as many threads as the settings give.
    const unsigned parts = blocks >= 256 ? threads : 1;
    inParts(blocks, parts, [&](unsigned, std::size_t from, std::size_t to) {
        readBlocks(static_cast<std::uint32_t>(from) + 1, static_cast<std::uint32_t>(to) + 1);
    });

    // The chain, from the first block through "next"; a cycle or a link out of the file
    // is damage, not the end of the table.
    std::vector<std::uint32_t> chain;
    std::vector<bool> seen(blocks + 1, false);
    bool ascending = true;
    for (std::uint32_t b = h.firstBlock; b != 0; b = info[b].next) {
        if (b > blocks) corruptBlock(name, "ссылка на блок за концом файла"_cp, b);
        if (seen[b]) corruptBlock(name, "цепочка блоков замкнута в кольцо"_cp, b);
        if (info[b].count < 0) corruptBlock(name, "неверное число записей в блоке"_cp, b);
        seen[b] = true;
        if (!chain.empty() && b < chain.back()) ascending = false;
        chain.push_back(b);
    }

    ParadoxRecords out;
    out.recordSize_ = h.recordSize;
    std::size_t total = 0;
    for (auto b : chain) total += static_cast<std::size_t>(info[b].count);
    if (ascending) {
        // In place: every block moves towards the front, never over a block still to come.
        std::size_t cursor = 0;
        for (auto b : chain) {
            const std::size_t c = static_cast<std::size_t>(info[b].count);
            const std::size_t start = (b - 1) * perBlock;
            if (cursor != start) std::memmove(arena.get() + cursor * rs, arena.get() + start * rs, c * rs);
            cursor += c;
        }
        out.data_ = std::move(arena);
    } else {
        std::unique_ptr<char, ParadoxRecords::Free> packed(allocate(total * rs + ParadoxRecords::kSlack));
        std::size_t cursor = 0;
        for (auto b : chain) {
            const std::size_t c = static_cast<std::size_t>(info[b].count);
            std::memcpy(packed.get() + cursor * rs, arena.get() + (b - 1) * perBlock * rs, c * rs);
            cursor += c;
        }
        out.data_ = std::move(packed);
    }
    out.count_ = total;
    return out;
}

// ---- the table ------------------------------------------------------------------------

std::shared_ptr<ParadoxTable::Loaded> ParadoxTable::load(const std::filesystem::path& file, std::string_view name,
                                                         const EngineSettings& settings) {
    auto d = std::make_shared<Loaded>();
    d->header = readParadoxHeader(file, name, settings.defaultCodePage);
    d->records = loadParadoxRecords(file, d->header, name, threadCount(settings.threads));
    for (const auto& f : d->header.fields) {
        FieldInfo fi;
        fi.name = f.name;
        fi.type = static_cast<char>(f.type);
        fi.length = f.size;
        switch (f.type) {
            case pxtype::Alpha:
                fi.kind = FieldKind::Text;
                fi.width = f.size;
                break;
            case pxtype::Number:
            case pxtype::Money:
            case pxtype::Bcd:
                fi.kind = FieldKind::Number;
                fi.decimals = f.type == pxtype::Bcd ? f.decimals : 0;
                break;
            case pxtype::Short:
            case pxtype::Long:
            case pxtype::AutoInc:
                fi.kind = FieldKind::Integer;
                fi.width = f.type == pxtype::Short ? 6 : 11;
                break;
            case pxtype::Date:
                fi.kind = FieldKind::Date;
                break;
            case pxtype::Logical:
                fi.kind = FieldKind::Logical;
                break;
            case pxtype::Memo:
            case pxtype::Blob:
            case pxtype::FmtMemo:
            case pxtype::Ole:
            case pxtype::Graphic:
                fi.kind = FieldKind::Memo;
                fi.textMemo = f.type == pxtype::Memo || f.type == pxtype::FmtMemo;
                break;
            default:
                fi.kind = FieldKind::Other;
        }
        d->infos.push_back(std::move(fi));
    }
    return d;
}

ParadoxTable::ParadoxTable(const std::filesystem::path& file, const EngineSettings& settings)
    : file_(file), name_(pathTo1251(file.filename())), settings_(settings) {
    data_ = load(file_, name_, settings_);
}

ParadoxTable::ParadoxTable(const ParadoxTable& from, Cursor)
    : file_(from.file_),
      name_(from.name_),
      settings_(from.settings_),
      data_(from.data_),
      readOnly_(true),
      order_(from.order_),
      indexNames_(from.indexNames_) {}

std::unique_ptr<Table> ParadoxTable::cursor() const {
    if (stale_ || inserting_) return nullptr;  // what is in memory is not the file's now
    return std::unique_ptr<Table>(new ParadoxTable(*this, Cursor{}));
}

ParadoxTable::~ParadoxTable() = default;

bool ParadoxTable::eof() const { return pos_ >= data_->records.count(); }

void ParadoxTable::first() {
    refresh();
    pos_ = 0;
}

void ParadoxTable::next() {
    refresh();
    if (!eof()) ++pos_;
}

std::size_t ParadoxTable::currentStored() const {
    if (eof()) {
        std::string m("Нет текущей записи в таблице "_cp);
        m += name_;
        throwError(ErrorKind::InvalidArgument, std::move(m));
    }
    return order_ ? order_->stored(pos_) : pos_;
}

std::int64_t ParadoxTable::recordNumber() const { return eof() ? 0 : static_cast<std::int64_t>(currentStored()) + 1; }

const ParadoxField& ParadoxTable::field(FieldId f) const {
    if (f < 0 || static_cast<std::size_t>(f) >= data_->header.fields.size()) {
        std::string m("Неверный номер поля в таблице "_cp);
        m += name_;
        throwError(ErrorKind::InvalidArgument, std::move(m));
    }
    return data_->header.fields[static_cast<std::size_t>(f)];
}

const char* ParadoxTable::current(FieldId f) const {
    (void)field(f);
    return data_->records.record(currentStored());
}

std::string ParadoxTable::fieldMessage(FieldId f, std::string_view what) const {
    std::string m(what);
    m += " "_cp;
    m += "поля "_cp;
    m += field(f).name;
    m += ", "_cp;
    m += "таблица "_cp;
    m += name_;
    if (!eof()) {
        m += ", "_cp;
        m += "запись "_cp;
        m += std::to_string(recordNumber());
    }
    return m;
}

std::string ParadoxTable::text(FieldId f) const {
    if (inserting_) return pxValueText(field(f), buffer_.data(), codePage());
    return pxValueText(field(f), current(f), codePage());
}

std::int32_t ParadoxTable::integer(FieldId f) const {
    const char* rec = inserting_ ? buffer_.data() : current(f);
    bool ok = true;
    const auto v = pxValueInt(field(f), rec, codePage(), &ok);
    if (!ok) throwError(ErrorKind::Conversion, fieldMessage(f, "Не целое число в значении"_cp));
    return v.value_or(0);
}

Date ParadoxTable::date(FieldId f) const { return pxValueDate(field(f), inserting_ ? buffer_.data() : current(f)); }

bool ParadoxTable::isEmpty(FieldId f) const {
    const ParadoxField& fd = field(f);
    const char* rec = inserting_ ? buffer_.data() : current(f);
    if (fd.type == pxtype::Alpha) return pxAlphaBytes(rec + fd.offset, fd.size).empty();
    if (fd.type >= pxtype::Memo && fd.type <= pxtype::Graphic) return pxValueText(fd, rec, codePage()).empty();
    return pxIsEmpty(rec + fd.offset, fd.size);
}

MemoValue ParadoxTable::memo(FieldId f) const {
    const ParadoxField& fd = field(f);
    if (fd.type < pxtype::Memo || fd.type > pxtype::Graphic || inserting_) return {};
    if (!blobs_) blobs_ = std::make_unique<ParadoxBlobFile>(file_, name_);
    const char* rec = current(f);
    MemoValue v = blobs_->read(fd, std::string_view(rec + fd.offset, static_cast<std::size_t>(fd.size)));
    if (v.text && codePage() == CodePage::Cp866) v.bytes = cp866To1251Lossy(v.bytes);
    return v;
}

void ParadoxTable::edit() {
    std::string m("Изменение записей таблицы Paradox не поддерживается: "_cp);
    m += name_;
    throwError(ErrorKind::Unsupported, std::move(m));
}

void ParadoxTable::insert() {
    if (readOnly_) {
        std::string m("Вставка через курсор чтения не поддерживается: "_cp);
        m += name_;
        throwError(ErrorKind::Unsupported, std::move(m));
    }
    if (!data_->header.keyed()) {
        std::string m("Вставка в таблицу Paradox без ключа не поддерживается: "_cp);
        m += name_;
        throwError(ErrorKind::Unsupported, std::move(m));
    }
    if (!writer_) writer_ = std::make_unique<ParadoxKeyedWriter>(file_, name_);
    buffer_.assign(static_cast<std::size_t>(data_->header.recordSize), '\0');
    inserting_ = true;
}

void ParadoxTable::setText(FieldId f, std::string_view value) {
    const ParadoxField& fd = field(f);
    if (!inserting_) throwError(ErrorKind::InvalidArgument, fieldMessage(f, "Запись не редактируется: запись"_cp));
    if (fd.type == pxtype::Alpha) {
        if (!pxEncodeAlpha(buffer_.data() + fd.offset, fd.size, value, codePage()))
            throwError(ErrorKind::Conversion, fieldMessage(f, "Текст не помещается в поле: значение"_cp));
        return;
    }
    if (value.find_first_not_of(' ') == std::string_view::npos) {
        std::memset(buffer_.data() + fd.offset, 0, static_cast<std::size_t>(fd.size));
        return;
    }
    const auto v = toInt32(value);
    if (!v) throwError(ErrorKind::Conversion, fieldMessage(f, "Не число в значении"_cp));
    setInteger(f, *v);
}

void ParadoxTable::setInteger(FieldId f, std::int32_t value) {
    const ParadoxField& fd = field(f);
    if (!inserting_) throwError(ErrorKind::InvalidArgument, fieldMessage(f, "Запись не редактируется: запись"_cp));
    char* p = buffer_.data() + fd.offset;
    switch (fd.type) {
        case pxtype::Short:
            if (value < -32767 || value > 32767)
                throwError(ErrorKind::Conversion, fieldMessage(f, "Число не помещается в поле: значение"_cp));
            pxEncodeInt(p, 2, value);
            return;
        case pxtype::Long:
        case pxtype::AutoInc:
            pxEncodeInt(p, 4, value);
            return;
        case pxtype::Number:
        case pxtype::Money:
            pxEncodeDouble(p, value);
            return;
        case pxtype::Alpha:
            setText(f, std::to_string(value));
            return;
        default:
            throwError(ErrorKind::Unsupported, fieldMessage(f, "Нельзя записать число в значение"_cp));
    }
}

void ParadoxTable::setDate(FieldId f, Date value) {
    const ParadoxField& fd = field(f);
    if (!inserting_) throwError(ErrorKind::InvalidArgument, fieldMessage(f, "Запись не редактируется: запись"_cp));
    if (fd.type != pxtype::Date)
        throwError(ErrorKind::Unsupported, fieldMessage(f, "Нельзя записать дату в значение"_cp));
    char* p = buffer_.data() + fd.offset;
    if (value.empty())
        std::memset(p, 0, 4);
    else
        pxEncodeInt(p, 4, value.serial());
}

void ParadoxTable::post() {
    if (!inserting_) return;
    writer_->insert(buffer_);  // a refused key leaves the insert pending: the caller cancels
    // The records in memory are read again from the file at the next move of the cursor, so
    // that a run of inserts costs no more than the inserts themselves.
    inserting_ = false;
    stale_ = true;
}

void ParadoxTable::refresh() {
    if (!stale_) return;
    data_ = load(file_, name_, settings_);
    stale_ = false;
    order_ = nullptr;
    pos_ = 0;
    found_.reset();
    if (!indexNames_.empty()) order_ = &orderFor(canonicalNames(indexNames_));
}

void ParadoxTable::cancel() {
    inserting_ = false;
    buffer_.clear();
}

std::vector<int> ParadoxTable::resolveFields(std::string_view names) const {
    std::vector<int> ids;
    std::string missing;
    for (const auto& n : splitFieldNames(names)) {
        if (auto f = findField(n)) {
            ids.push_back(*f);
        } else {
            if (!missing.empty()) missing += ", ";
            missing += n;
        }
    }
    if (!missing.empty()) {
        std::string m("В таблице "_cp);
        m += name_;
        m += " "_cp;
        m += "нет полей для индекса: "_cp;
        m += missing;
        throwError(ErrorKind::NotFound, std::move(m));
    }
    return ids;
}

ParadoxOrder& ParadoxTable::orderFor(const std::string& names) {
    const std::lock_guard<std::mutex> lock(data_->ordersLock);
    return orderLocked(names);
}

ParadoxOrder& ParadoxTable::orderLocked(const std::string& names) {
    auto it = data_->orders.find(names);
    if (it != data_->orders.end()) return *it->second;
    std::vector<int> ids;
    ParadoxOrder* primary = nullptr;
    if (names.empty()) {
        for (int k = 0; k < std::max(data_->header.keyFields, 1); ++k) ids.push_back(k);
    } else {
        ids = resolveFields(names);
        primary = &orderLocked(std::string());
    }
    auto order = buildParadoxOrder(data_->header, data_->records, std::move(ids), primary, name_, 200000,
                                   threadCount(settings_.threads));
    auto& ref = *order;
    data_->orders.emplace(names, std::move(order));
    return ref;
}

std::string ParadoxTable::canonicalNames(std::string_view names) {
    std::string canonical;
    for (const auto& n : splitFieldNames(names)) {
        if (!canonical.empty()) canonical += ';';
        for (char c : n) canonical += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
    }
    return canonical;
}

void ParadoxTable::setIndexFieldNames(std::string_view names) {
    refresh();
    const std::string canonical = canonicalNames(names);
    if (!canonical.empty()) (void)resolveFields(names);  // names every missing field as given
    order_ = &orderFor(canonical);
    indexNames_ = std::string(names);
    pos_ = 0;
    found_.reset();
}

void ParadoxTable::prepareOrders(const std::vector<std::string>& lists) {
    ParadoxOrder& primary = orderFor(std::string());
    (void)primary;
    // Each order builds with up to two threads of its own; one after another is enough.
    for (const auto& l : lists) setIndexFieldNames(l);
}

bool ParadoxTable::findKey(std::span<const KeyValue> values) { return find(values, 0); }

bool ParadoxTable::find(std::span<const KeyValue> values, std::uint64_t hint) {
    refresh();
    if (!order_) order_ = &orderFor(std::string());
    const auto pos = hint ? order_->findHinted(values, hints_, hint) : order_->find(values);
    found_.reset();
    if (!pos) return false;
    pos_ = *pos;
    found_ = pos;
    return true;
}

std::uint64_t ParadoxTable::prefetch(std::span<const KeyValue> values) const {
    return order_ && !stale_ ? order_->prefetch(values, hints_) : 0;
}

bool ParadoxTable::knownToDifferFromFound() const {
    return order_ && found_ && !stale_ && !eof() && order_->knownDifferent(*found_, pos_);
}

std::unique_ptr<Table> openParadoxTable(const std::filesystem::path& file, const EngineSettings& settings) {
    return std::make_unique<ParadoxTable>(file, settings);
}

}  // namespace strnum
