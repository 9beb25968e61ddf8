#include "data/not_found_table.h"

#include "base/ru.h"
#include "base/text.h"
#include "data/paths.h"

namespace strnum {

using namespace strnum::literals;

std::vector<ParadoxFieldDef> notFoundTableFields() {
    return {{"NUM", pxtype::Long, 0},   {"FAM", pxtype::Alpha, 25}, {"NAM", pxtype::Alpha, 20},
            {"OTCH", pxtype::Alpha, 20}, {"BIRTH", pxtype::Date, 0}, {"COND", pxtype::Alpha, 1},
            {"SEX", pxtype::Alpha, 1},   {"DATMOD", pxtype::Date, 0}};
}

void createNotFoundTable(const std::filesystem::path& directory) {
    ParadoxCreateOptions o;
    o.keyFields = 1;
    o.codePage = CodePage::Cp866;
    createParadoxTable(directory / "ANKT.DB", notFoundTableFields(), o);
}

NotFoundTable::NotFoundTable(const std::filesystem::path& directory) {
    auto found = findInDirectory(directory, "ANKT.DB");
    if (!found) {
        createNotFoundTable(directory);
        found = directory / "ANKT.DB";
    }
    file_ = *found;
    writer_ = std::make_unique<ParadoxKeyedWriter>(file_, pathTo1251(file_.filename()));
    const auto& f = writer_->header().fields;
    const auto expected = notFoundTableFields();
    bool ok = f.size() >= expected.size();
    for (std::size_t i = 0; ok && i < expected.size(); ++i) {
        const int size = expected[i].type == pxtype::Alpha ? expected[i].size : 4;
        ok = f[i].type == expected[i].type && f[i].size == size;
    }
    if (!ok) {
        std::string m("Таблица "_cp);
        m += pathTo1251(file_.filename());
        m += " "_cp;
        m += "не совпадает по структуре с таблицей ненайденных номеров"_cp;
        throwError(ErrorKind::Corrupt, std::move(m));
    }
}

bool NotFoundTable::add(std::int32_t num, std::string_view fam, std::string_view nam, std::string_view otch,
                        Date birth, std::string_view sex) {
    const ParadoxHeader& h = writer_->header();
    std::string rec(static_cast<std::size_t>(h.recordSize), '\0');
    const auto put = [&](std::size_t i, std::string_view text) {
        const ParadoxField& f = h.fields[i];
        const std::string_view kept = text.substr(0, std::min(text.size(), static_cast<std::size_t>(f.size)));
        if (!pxEncodeAlpha(rec.data() + f.offset, f.size, kept, h.textCodePage)) {
            std::string m("Текст не записывается в поле "_cp);
            m += f.name;
            m += " "_cp;
            m += "таблицы "_cp;
            m += pathTo1251(file_.filename());
            throwError(ErrorKind::Conversion, std::move(m));
        }
    };
    pxEncodeInt(rec.data() + h.fields[0].offset, 4, num);
    put(1, fam);
    put(2, nam);
    put(3, otch);
    if (!birth.empty()) pxEncodeInt(rec.data() + h.fields[4].offset, 4, birth.serial());
    put(5, "P");
    put(6, sex);
    try {
        writer_->insert(rec);
    } catch (const DuplicateKeyError&) {
        return false;
    }
    return true;
}

}  // namespace strnum
