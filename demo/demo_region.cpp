#include "demo/demo_region.h"

#include <algorithm>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

#include "base/date.h"
#include "base/error.h"
#include "base/ru.h"
#include "base/text.h"
#include "dbase/dbf_create.h"
#include "identity/insurance_number.h"
#include "paradox/paradox_format.h"
#include "paradox/paradox_writer.h"
#include "settings/ini_file.h"

namespace strnum {

using namespace strnum::literals;

namespace {

#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

// Names in UTF-8, converted once.
const char* const kSurnames[] = {"Иванов",  "Петров",      "Сидоров",   "Кузнецов", "Смирнов",  "Попов",    "Васильев",
                                 "Соколов", "Михайлов",    "Новиков",   "Фёдоров",  "Морозов",  "Волков",   "Алексеев",
                                 "Лебедев", "Семёнов",     "Егоров",    "Павлов",   "Козлов",   "Степанов", "Николаев",
                                 "Орлов",   "Андреев",     "Макаров",   "Никитин",  "Захаров",  "Зайцев",   "Соловьёв",
                                 "Борисов", "Яковлев",     "Григорьев", "Романов",  "Воробьёв", "Сергеев",  "Кузьмин",
                                 "Фролов",  "Александров", "Дмитриев",  "Королёв",  "Гусев"};
const char* const kMaleNames[] = {"Иван",     "Пётр",     "Сергей",  "Алексей", "Николай",  "Владимир", "Михаил",
                                  "Андрей",   "Дмитрий",  "Виктор",  "Юрий",    "Анатолий", "Борис",    "Василий",
                                  "Геннадий", "Григорий", "Евгений", "Леонид",  "Олег",     "Павел"};
const char* const kFemaleNames[] = {"Анна",   "Мария",   "Елена",    "Ольга",     "Татьяна", "Наталья", "Ирина",
                                    "Галина", "Людмила", "Светлана", "Валентина", "Нина",    "Зинаида", "Антонина",
                                    "Вера",   "Любовь",  "Надежда",  "Екатерина", "Раиса",   "Тамара"};
const char* const kMalePatronymics[] = {"Иванович",     "Петрович",   "Сергеевич",  "Алексеевич",  "Николаевич",
                                        "Владимирович", "Михайлович", "Андреевич",  "Дмитриевич",  "Викторович",
                                        "Юрьевич",      "Борисович",  "Васильевич", "Григорьевич", "Павлович"};
const char* const kFemalePatronymics[] = {"Ивановна",     "Петровна",   "Сергеевна",  "Алексеевна",  "Николаевна",
                                          "Владимировна", "Михайловна", "Андреевна",  "Дмитриевна",  "Викторовна",
                                          "Юрьевна",      "Борисовна",  "Васильевна", "Григорьевна", "Павловна"};

std::string upper1251(std::string_view utf8) {
    std::string s = *utf8To1251(utf8);
    for (char& c : s) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0xE0)
            c = static_cast<char>(b - 0x20);  // а..я -> А..Я
        else if (b == 0xB8)
            c = static_cast<char>(0xA8);  // ё -> Ё
    }
    return s;
}

struct Names {
    std::vector<std::string> maleSurnames, femaleSurnames, maleNames, femaleNames, malePatr, femalePatr;
    Names() {
        for (const char* s : kSurnames) {
            maleSurnames.push_back(upper1251(s));
            femaleSurnames.push_back(upper1251(std::string(s) + "а"));
        }
        for (const char* s : kMaleNames) maleNames.push_back(upper1251(s));
        for (const char* s : kFemaleNames) femaleNames.push_back(upper1251(s));
        for (const char* s : kMalePatronymics) malePatr.push_back(upper1251(s));
        for (const char* s : kFemalePatronymics) femalePatr.push_back(upper1251(s));
    }
};

struct Person {
    std::int32_t num = 0;  // 0: not in the directory
    std::string fam, nam, otch;
    Date birth;
    char sex = 'M';
    std::string cond = "A";
};

// A near miss: the directory's person as another office typed it, one kind of slip, chosen
// by `kind`.  Kinds that do not apply to the person (no Ё, a day past 12) leave it alone.
void typeAsAnotherOffice(Person& p, int kind) {
    switch (kind) {
        case 0:  // Ё written as Е
            for (std::string* t : {&p.fam, &p.nam, &p.otch})
                for (char& c : *t)
                    if (c == '\xA8') c = '\xC5';
            break;
        case 1:  // two letters of the surname exchanged
            if (p.fam.size() > 4) std::swap(p.fam[2], p.fam[3]);
            break;
        case 2:  // name and patronymic exchanged
            std::swap(p.nam, p.otch);
            break;
        case 3: {  // day and month exchanged
            int y = 0, m = 0, d = 0;
            p.birth.ymd(y, m, d);
            if (d <= 12 && d != m) p.birth = Date::fromYmd(y, d, m);
            break;
        }
        default:  // a letter of the surname left out
            if (p.fam.size() > 5) p.fam.erase(3, 1);
            break;
    }
}

class Generator {
public:
    explicit Generator(std::uint32_t seed) : rng_(seed) {}

    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(rng_) < p; }

    Person person() {
        Person p;
        p.sex = chance(0.55) ? 'F' : 'M';
        const bool f = p.sex == 'F';
        const auto& sur = f ? names_.femaleSurnames : names_.maleSurnames;
        p.fam = sur[static_cast<std::size_t>(pick(static_cast<int>(sur.size())))];
        const auto& nm = f ? names_.femaleNames : names_.maleNames;
        p.nam = nm[static_cast<std::size_t>(pick(static_cast<int>(nm.size())))];
        const auto& pt = f ? names_.femalePatr : names_.malePatr;
        p.otch = pt[static_cast<std::size_t>(pick(static_cast<int>(pt.size())))];
        p.birth = Date::fromSerial(Date::fromYmd(1925, 1, 1).serial() + pick(80 * 365));
        return p;
    }

    // A fresh number body no one has yet.
    std::int32_t newNumber() {
        for (;;) {
            const std::int32_t n = std::uniform_int_distribution<std::int32_t>(1'000'000, 999'999'999)(rng_);
            if (used_.insert(n).second) return n;
        }
    }

private:
    std::mt19937 rng_;
    Names names_;
    std::unordered_set<std::int32_t> used_;
};

std::string dateText(Date d) { return d.text(); }

// The number text a district record carries for a person, in one of the kinds of state the
// operations meet.
std::string recordNumber(Generator& g, const Person& p, const std::vector<Person>& directory) {
    const double r = g.pick(1000) / 1000.0;
    if (r < 0.35 || p.num == 0) return g.chance(0.2) && p.num == 0 ? "12345678901" : "";
    if (r < 0.75) return numberText(p.num);
    if (r < 0.82) {
        const std::string t = numberText(p.num);  // written with hyphens
        return t.substr(0, 3) + "-" + t.substr(3, 3) + "-" + t.substr(6, 3);
    }
    if (r < 0.90) {
        std::string t = numberText(p.num);  // a wrong check number
        t[10] = static_cast<char>('0' + (t[10] - '0' + 1) % 10);
        return t;
    }
    return numberText(directory[static_cast<std::size_t>(g.pick(static_cast<int>(directory.size())))].num);
}

const std::vector<DbfFieldSpec> kPersonFields = {{"NPD", 'C', 8, 0}, {"FM", 'C', 25, 0}, {"IM", 'C', 20, 0},
                                                 {"OT", 'C', 20, 0}, {"DTR", 'D', 8, 0}, {"POL", 'C', 1, 0}};

std::vector<DbfFieldSpec> pdlFields() {
    auto f = kPersonFields;
    for (const DbfFieldSpec& extra : std::vector<DbfFieldSpec>{{"NPSU", 'C', 11, 0},
                                                               {"NPSUI", 'C', 11, 0},
                                                               {"VDP", 'C', 2, 0},
                                                               {"VP", 'C', 2, 0},
                                                               {"NUCH", 'C', 11, 0},
                                                               {"FMDP", 'C', 10, 0},
                                                               {"IMDP", 'C', 10, 0},
                                                               {"OTDP", 'C', 10, 0},
                                                               {"SUMMA", 'N', 10, 2}})
        f.push_back(extra);
    return f;
}

void writeNums(const std::filesystem::path& file, const std::vector<Person>& people) {
    const std::vector<ParadoxFieldDef> fields = {{"NUM", pxtype::Long, 0},   {"FAM", pxtype::Alpha, 25},
                                                 {"NAM", pxtype::Alpha, 20}, {"OTCH", pxtype::Alpha, 20},
                                                 {"BIRTH", pxtype::Date, 0}, {"COND", pxtype::Alpha, 1}};
    constexpr int kSize = 4 + 25 + 20 + 20 + 4 + 1;
    std::string records(people.size() * kSize, '\0');
    for (std::size_t i = 0; i < people.size(); ++i) {
        char* r = records.data() + i * kSize;
        const Person& p = people[i];
        pxEncodeInt(r, 4, p.num);
        pxEncodeAlpha(r + 4, 25, p.fam, CodePage::Cp866);
        pxEncodeAlpha(r + 29, 20, p.nam, CodePage::Cp866);
        pxEncodeAlpha(r + 49, 20, p.otch, CodePage::Cp866);
        if (!p.birth.empty()) pxEncodeInt(r + 69, 4, p.birth.serial());
        pxEncodeAlpha(r + 73, 1, p.cond, CodePage::Cp866);
    }
    ParadoxCreateOptions options;
    options.keyFields = 1;
    createParadoxTable(file, fields, options, records);
}

}  // namespace

DemoSummary writeDemoRegion(const std::filesystem::path& where, const DemoOptions& options) {
    namespace fs = std::filesystem;
    // Paths written into WAY.DBF and SOBES.INI are absolute, so the region works from any
    // current directory.
    const fs::path dir = fs::absolute(where).lexically_normal();
    if (options.districts < 1 || options.people < 0)
        throwError(ErrorKind::InvalidArgument, std::string("Неверные размеры демонстрационного района"_cp));
    std::error_code ec;
    fs::create_directories(dir / "ORTAN", ec);
    fs::create_directories(dir / "NUMS", ec);
    if (fs::exists(dir / "WAY.DBF") || fs::exists(dir / "NUMS" / "NUMS.DB"))
        throwError(ErrorKind::InvalidArgument, std::string("В каталоге уже есть район: "_cp) + pathTo1251(dir));

    Generator g(options.seed);
    // Who is typed as another office typed them: a stream of its own, so that the rest of
    // the region is the same with it or without.
    std::minstd_rand slips(options.seed);
    DemoSummary summary;
    const std::int64_t regionRecords = std::int64_t{options.districts} * options.people;
    const std::int64_t wanted =
        options.directory > 0 ? options.directory : std::max<std::int64_t>(regionRecords * 3, 10);

    // The number directory: the region's people and people of other regions, with twins.
    std::vector<Person> directory;
    std::vector<std::size_t> twinned;  // entries that have a twin after them
    directory.reserve(static_cast<std::size_t>(wanted));
    while (static_cast<std::int64_t>(directory.size()) < wanted) {
        Person p = g.person();
        p.num = g.newNumber();
        p.cond = g.chance(0.97) ? "A" : (g.chance(0.5) ? "B" : "E");
        directory.push_back(p);
        if (g.chance(0.01) && static_cast<std::int64_t>(directory.size()) < wanted) {
            twinned.push_back(directory.size() - 1);
            Person twin = p;  // the same person under a second number
            twin.num = g.newNumber();
            twin.cond = g.chance(0.5) ? "C" : (g.chance(0.5) ? "A" : "B");
            directory.push_back(twin);
        }
    }
    summary.directoryEntries = static_cast<std::int64_t>(directory.size());

    // The district list.
    {
        DbfWriter way(dir / "WAY.DBF", {{"W", 'C', 120, 0}, {"NAME", 'C', 30, 0}}, 0x65);
        for (int d = 1; d <= options.districts; ++d) {
            char code[16];
            std::snprintf(code, sizeof code, "U%02d", d);
            const fs::path district = dir / "ORTAN" / code;
            fs::create_directories(district, ec);
            // District 2 is written as its Windows path; [Drives] maps C: to dir (on Windows
            // every directory is written as its Windows path already).
            const std::string written = d == 2 && !kWindows ? std::string("C:\\ORTAN\\") + code : pathTo1251(district);
            way.append({written, std::string("Участок "_cp) + code});

            const std::uint8_t driver = d == 3 ? 0xC9 : 0x65;
            const bool onlyPdl = d == 1 && options.districts > 1;
            DbfWriter pdl(district / "PDL.DBF", pdlFields(), driver);
            std::unique_ptr<DbfWriter> opeka, nzkorm, pdln;
            if (!onlyPdl) {
                auto f1 = kPersonFields;
                f1.push_back({"NPSUO", 'C', 11, 0});
                opeka = std::make_unique<DbfWriter>(district / "OPEKA.DBF", f1, driver);
                std::vector<DbfFieldSpec> f2 = {{"NPD", 'C', 8, 0},
                                                {"FAM", 'C', 25, 0},
                                                {"IM", 'C', 20, 0},
                                                {"OT", 'C', 20, 0},
                                                {"DATROG", 'D', 8, 0},
                                                {"POL", 'C', 1, 0},
                                                {"NPSU", d == 4 ? 'N' : 'C', 11, 0}};
                nzkorm = std::make_unique<DbfWriter>(district / "NZKORM.DBF", f2, driver);
                if (d != 5) pdln = std::make_unique<DbfWriter>(district / "PDLN.DBF", pdlFields(), driver);
            }
            for (int i = 0; i < options.people; ++i) {
                const bool known = g.chance(0.85);
                // Some recipients are people the directory holds twice.
                const bool twin = known && !twinned.empty() && g.chance(0.03);
                const std::size_t index =
                    twin ? twinned[static_cast<std::size_t>(g.pick(static_cast<int>(twinned.size())))]
                         : static_cast<std::size_t>(g.pick(static_cast<int>(directory.size())));
                Person p = known ? directory[index] : g.person();
                if (!known) p.num = 0;
                std::string number = recordNumber(g, p, directory);
                // Some are typed as another office typed them, without a number: the exact
                // lookup misses them, near matches find them.
                if (known && !twin && slips() % 12 == 0) {
                    typeAsAnotherOffice(p, static_cast<int>(slips() % 5));
                    number.clear();
                }
                const std::string npd = std::to_string(i + 1);
                const std::string sex(1, p.sex == 'F' ? '\xC6' : '\xCC');  // Ж, М
                const int file = onlyPdl ? 0 : g.pick(10);
                if (file < 6 || (file == 9 && !pdln)) {
                    static const char* const kPairs[][2] = {{" 1", "03"}, {" 2", "04"}, {" 1", "04"}, {" 3", "01"}};
                    const auto& pair = kPairs[g.pick(4)];
                    std::string second;
                    if (std::string(pair[0]) == " 3" && g.chance(0.5)) second = number;
                    std::string fam = p.fam;
                    std::string famdp;
                    if (fam.size() > 20 && g.chance(0.5)) {
                        famdp = fam.substr(20);
                        fam.resize(20);
                    }
                    pdl.append({npd, fam, p.nam, p.otch, dateText(p.birth), sex, number, second, pair[0], pair[1],
                                std::to_string(d), famdp, "", "", std::to_string(100 + g.pick(9000)) + ".50"});
                } else if (file < 7) {
                    opeka->append({npd, p.fam, p.nam, p.otch, dateText(p.birth), sex, number});
                } else if (file < 8 || !pdln) {
                    if (d == 4 && !number.empty() && !readNumberText(number).valid()) number.clear();
                    nzkorm->append({npd, p.fam, p.nam, p.otch, dateText(p.birth), sex,
                                    d == 4 && !number.empty() ? std::to_string(std::stoll(number)) : number});
                } else {
                    pdln->append({npd, p.fam, p.nam, p.otch, dateText(p.birth), sex, number, "", " 1", "03",
                                  std::to_string(d), "", "", "", "0"});
                }
                ++summary.districtRecords;
            }
            pdl.finish();
            if (opeka) opeka->finish();
            if (nzkorm) nzkorm->finish();
            if (pdln) pdln->finish();
        }
        // A district whose directory is gone.
        way.append({pathTo1251(dir / "ORTAN" / "U99"), std::string("Закрытый участок"_cp)});
        way.finish();
    }

    writeNums(dir / "NUMS" / "NUMS.DB", directory);

    IniFile ini = IniFile::load(dir / "SOBES.INI");
    ini.set("Init", "DBPath", pathTo1251(dir / "NUMS"));
    ini.set("Init", "WayPath", pathTo1251(dir));
    if (!kWindows) ini.set("Drives", "C", pathTo1251(dir));
    ini.save(dir / "SOBES.INI");
    return summary;
}

}  // namespace strnum
