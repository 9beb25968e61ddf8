// People for the near-match tests: surnames, names and patronymics drawn from lists of common
// Russian ones with the unevenness of real registers (a few very common, a long tail), and
// the ways two offices come to write the same person differently, planted one at a time.
// Header only: the core test binary takes every *_test.cpp and nothing else from here.
#pragma once

#include <algorithm>
#include <cmath>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "base/date.h"
#include "support/test_support.h"

namespace strnum::test::hints {

struct Person {
    std::string fam, nam, otch;  // 1251, capitals
    Date birth;
    bool female = false;
};

inline bool endsWith(std::string_view s, std::string_view tail) {
    return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

// The female form of a surname given in its male form.
inline std::string femaleSurname(const std::string& male) {
    static const std::string ov = w("ОВ"), ev = w("ЕВ"), yov = w("ЁВ"), in = w("ИН"), yn = w("ЫН"), skiy = w("СКИЙ"),
                             ckiy = w("ЦКИЙ"), oy = w("ОЙ"), yy = w("ЫЙ"), a = w("А");
    if (endsWith(male, ov) || endsWith(male, ev) || endsWith(male, yov) || endsWith(male, in) || endsWith(male, yn))
        return male + a;
    if (endsWith(male, skiy) || endsWith(male, ckiy)) return male.substr(0, male.size() - 2) + w("АЯ");
    if (endsWith(male, oy) || endsWith(male, yy)) return male.substr(0, male.size() - 2) + w("АЯ");
    return male;
}

// Draws people; the same seed gives the same people.  With fewNames, as the demonstration
// region draws them: 40 surnames, 20 names of each sex and 15 fathers' names, all alike
// common, so that many people share a full name.
class PeopleMaker {
public:
    explicit PeopleMaker(std::uint32_t seed, bool fewNames = false) : rng_(seed) {
        for (std::istringstream in(w(kSurnames)); in;) {
            std::string s;
            if (in >> s) surnames_.push_back(s);
        }
        std::istringstream men(w(kMen));
        for (Father f; men >> f.name >> f.sonOf >> f.daughterOf;) men_.push_back(f);
        for (std::istringstream in(w(kWomen)); in;) {
            std::string s;
            if (in >> s) women_.push_back(s);
        }
        common_ = surnames_.size();
        // The long tail: rarer surnames from roots and endings, together as common as the
        // listed ones (in real registers the 250 commonest surnames are under half of all).
        std::vector<std::string> roots, endings;
        for (std::istringstream in(w(kRoots)); in;) {
            std::string r;
            if (in >> r) roots.push_back(r);
        }
        for (std::istringstream in(w(kEndings)); in;) {
            std::string e;
            if (in >> e) endings.push_back(e);
        }
        for (const std::string& r : roots)
            for (const std::string& e : endings)
                if (std::find(surnames_.begin(), surnames_.end(), r + e) == surnames_.end()) surnames_.push_back(r + e);
        surnameWeights_ = cumulative(common_, 0.9, 5);
        manWeights_ = cumulative(men_.size(), 1.0, 3);
        womanWeights_ = cumulative(women_.size(), 1.0, 3);
        if (fewNames) {
            surnames_.resize(40);
            common_ = surnames_.size();
            tail_ = 0;
            men_.resize(20);
            women_.resize(20);
            surnameWeights_ = cumulative(common_, 0, 0);
            manWeights_ = cumulative(men_.size(), 0, 0);
            womanWeights_ = cumulative(women_.size(), 0, 0);
        }
    }

    Person person() {
        Person p;
        p.female = chance(0.55);
        p.fam = p.female && chance(0.03) ? doubleSurname() : surname(p.female);
        p.nam = p.female ? women_[zipf(womanWeights_)] : men_[zipf(manWeights_)].name;
        const Father& f = men_[zipf(manWeights_)];
        p.otch = p.female ? f.daughterOf : f.sonOf;
        p.birth = birth();
        return p;
    }
    std::string surname(bool female) {
        const std::string& s =
            chance(tail_)
                ? surnames_[common_ + static_cast<std::size_t>(pick(static_cast<int>(surnames_.size() - common_)))]
                : surnames_[zipf(surnameWeights_)];
        return female ? femaleSurname(s) : s;
    }
    std::string doubleSurname() { return surname(true) + "-" + surname(true); }
    Date birth() { return Date::fromSerial(Date::fromYmd(1925, 1, 1).serial() + pick(90 * 365)); }
    // A name of the list for this sex with its short forms known to offices, or any.
    const std::vector<std::string>& womenNames() const { return women_; }

    std::mt19937& rng() { return rng_; }
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(rng_) < p; }

private:
    struct Father {
        std::string name, sonOf, daughterOf;
    };
    // Rank r weighs 1 / (r + offset)^exponent: a few names common, many rarer.
    static std::vector<double> cumulative(std::size_t n, double exponent, double offset) {
        std::vector<double> c(n);
        double sum = 0;
        for (std::size_t r = 0; r < n; ++r) c[r] = sum += 1 / std::pow(double(r + 1) + offset, exponent);
        for (double& x : c) x /= sum;
        return c;
    }
    std::size_t zipf(const std::vector<double>& c) {
        const double x = std::uniform_real_distribution<double>(0, 1)(rng_);
        return std::min<std::size_t>(std::lower_bound(c.begin(), c.end(), x) - c.begin(), c.size() - 1);
    }

    static constexpr const char* kSurnames =
        "СМИРНОВ ИВАНОВ КУЗНЕЦОВ СОКОЛОВ ПОПОВ ЛЕБЕДЕВ КОЗЛОВ НОВИКОВ МОРОЗОВ ПЕТРОВ ВОЛКОВ СОЛОВЬЁВ ВАСИЛЬЕВ "
        "ЗАЙЦЕВ ПАВЛОВ СЕМЁНОВ ГОЛУБЕВ ВИНОГРАДОВ БОГДАНОВ ВОРОБЬЁВ ФЁДОРОВ МИХАЙЛОВ БЕЛЯЕВ ТАРАСОВ БЕЛОВ "
        "КОМАРОВ ОРЛОВ КИСЕЛЁВ МАКАРОВ АНДРЕЕВ КОВАЛЁВ ИЛЬИН ГУСЕВ ТИТОВ КУЗЬМИН КУДРЯВЦЕВ БАРАНОВ КУЛИКОВ "
        "АЛЕКСЕЕВ СТЕПАНОВ ЯКОВЛЕВ СОРОКИН СЕРГЕЕВ РОМАНОВ ЗАХАРОВ БОРИСОВ КОРОЛЁВ ГЕРАСИМОВ ПОНОМАРЁВ "
        "ГРИГОРЬЕВ ЛАЗАРЕВ МЕДВЕДЕВ ЕРШОВ НИКИТИН СОБОЛЕВ РЯБОВ ПОЛЯКОВ ЦВЕТКОВ ДАНИЛОВ ЖУКОВ ФРОЛОВ "
        "ЖУРАВЛЁВ НИКОЛАЕВ КРЫЛОВ МАКСИМОВ СИДОРОВ ОСИПОВ БЕЛОУСОВ ФЕДОТОВ ДОРОФЕЕВ ЕГОРОВ МАТВЕЕВ БОБРОВ "
        "ДМИТРИЕВ КАЛИНИН АНИСИМОВ ПЕТУХОВ АНТОНОВ ТИМОФЕЕВ НИКИФОРОВ ВЕСЕЛОВ ФИЛИППОВ МАРКОВ БОЛЬШАКОВ "
        "СУХАНОВ МИРОНОВ ШИРЯЕВ АЛЕКСАНДРОВ КОНОВАЛОВ ШЕСТАКОВ КАЗАКОВ ЕФИМОВ ДЕНИСОВ ГРОМОВ ФОМИН ДАВЫДОВ "
        "МЕЛЬНИКОВ ЩЕРБАКОВ БЛИНОВ КОЛЕСНИКОВ КАРПОВ АФАНАСЬЕВ ВЛАСОВ МАСЛОВ ИСАКОВ ТИХОНОВ АКСЁНОВ "
        "ГАВРИЛОВ РОДИОНОВ КОТОВ ГОРБУНОВ КУДРЯШОВ БЫКОВ ЗУЕВ ТРЕТЬЯКОВ САВЕЛЬЕВ ПАНОВ РЫБАКОВ СУВОРОВ "
        "АБРАМОВ ВОРОНОВ МУХИН АРХИПОВ ТРОФИМОВ МАРТЫНОВ ЕМЕЛЬЯНОВ ГОРШКОВ ЧЕРНОВ ОВЧИННИКОВ СЕЛЕЗНЁВ "
        "ПАНФИЛОВ КОПЫЛОВ МИХЕЕВ ГАЛКИН НАЗАРОВ ЛОБАНОВ ЛУКИН БЕЛЯКОВ ПОТАПОВ НЕКРАСОВ ХОХЛОВ ЖДАНОВ НАУМОВ "
        "ШИЛОВ ВОРОНЦОВ ЕРМАКОВ ДРОЗДОВ ИГНАТЬЕВ САВИН ЛОГИНОВ САФОНОВ КАПУСТИН КИРИЛЛОВ МОИСЕЕВ ЕЛИСЕЕВ "
        "КОШЕЛЕВ КОСТИН ГОРБАЧЁВ ОРЕХОВ ЕФРЕМОВ ИСАЕВ ЕВДОКИМОВ КАЛАШНИКОВ КАБАНОВ НОСКОВ ЮДИН КУЛАГИН "
        "ЛАПИН ПРОХОРОВ НЕСТЕРОВ ХАРИТОНОВ АГАФОНОВ МУРАВЬЁВ ЛАРИОНОВ ФЕДОСЕЕВ ЗИМИН ПАХОМОВ ШУБИН ИГНАТОВ "
        "ФИЛАТОВ КРЮКОВ РОГОВ КУЛАКОВ ТЕРЕНТЬЕВ МОЛЧАНОВ ВЛАДИМИРОВ АРТЕМЬЕВ ГУРЬЕВ ЗИНОВЬЕВ ГРИШИН КОНОНОВ "
        "ДЕМЕНТЬЕВ СИТНИКОВ СИМОНОВ МИШИН ФАДЕЕВ КОМИССАРОВ МАМОНТОВ НОСОВ ГУЛЯЕВ ШАРОВ УСТИНОВ ВИШНЯКОВ "
        "ЕВСЕЕВ ЛАВРЕНТЬЕВ БРАГИН КОНСТАНТИНОВ КОРНИЛОВ АВДЕЕВ ЗЫКОВ БИРЮКОВ ШАРАПОВ НИКОНОВ ЩУКИН "
        "ДЬЯЧКОВ ОДИНЦОВ САЗОНОВ ЯКУШЕВ КРАСИЛЬНИКОВ ГОРДЕЕВ САМОЙЛОВ КНЯЗЕВ БЕСПАЛОВ УВАРОВ ШАШКОВ "
        "БОБЫЛЁВ ДОРОНИН БЕЛОЗЁРОВ РОЖКОВ САМСОНОВ МЯСНИКОВ ЛИХАЧЁВ БУРОВ СЫСОЕВ ФОМИЧЁВ РУСАКОВ СТРЕЛКОВ "
        "ГУЩИН ТЕТЕРИН КОЛОБОВ СУББОТИН ФОКИН БЛОХИН СЕЛИВЕРСТОВ ПЕСТОВ КОНДРАТЬЕВ СИЛИН МЕРКУШЕВ ЛЫТКИН "
        "ТУРОВ ШЕВЧЕНКО КОВАЛЕНКО БОНДАРЕНКО КОВАЛЬЧУК ПОЛИЩУК СЕДЫХ ЧЕРНЫХ БЕЛЫХ ВИШНЕВСКИЙ ЗАВАДСКИЙ "
        "ПОКРОВСКИЙ БЕРЕЗОВСКИЙ ТРУБЕЦКОЙ ТОЛСТОЙ ЛАНСКОЙ КРАСОВСКИЙ ОСТРОВСКИЙ ДОБРЫНИН ПЕТРОВСКИЙ";
    static constexpr const char* kRoots =
        "БЕРЕЗ ГРАЧ ДУБ ЛИС КЛЕН ЩЕГЛ СКВОРЦ ЧИЖ КРОТ ЛОС БАРСУК ЕЖ ЗЯБЛ СНЕГИР ЖАВОРОНК ГОРЛ ПЕСК ЯСЕН "
        "ОСИН ЛИП ТОПОЛ КАЛИН МАЛИН ВИШН ЧЕРЕМУХ РЯБИН ОРЕШ ЖЕЛУД КОЛОС ЗЕРН МЕЛЬН КУЗН ГОНЧАР ПЛОТН КОЖЕВН "
        "СТОЛЯР БОНДАР ТКАЧ ШВЕЦ ПАСТУХ РЫБН ОХОТН ЛЕСН ПОЛЕВ ЛУГ БОЛОТ РЕЧН ОЗЕРН ГОРН ДОЛИН КАМЕН ГЛИН "
        "ПЕСЧАН СОЛОВ КУКУШК ДЯТЛ ФИЛИН СОВ ЯСТРЕБ СОКОЛЬНИК БЕРКУТ КОРШУН ГОЛУБ ЛЕБЕДИН ЖУРАВЕЛ ЦАПЛ "
        "ШМЕЛ ПЧЕЛ МУРАВ КОМАР ЖУК ПАУК КУЗНЕЧИК СВЕРЧК ВОЛОДИН МИТРОФАН ЕВСТАФ ГЕРАСИМЕНК ПРОКОФ ТИХОМИР "
        "ДОБРОМИР РАДОМИР СВЕТОЗАР ЯРОСЛАВ ВЛАДИСЛАВ СТАНИСЛАВ БРОНИСЛАВ";
    static constexpr const char* kEndings = "ОВ ЕВ ИН СКИЙ ЕНКО УК ЫХ ИКОВ ОВСКИЙ ИЧЕВ";
    static constexpr const char* kMen =
        "АЛЕКСАНДР АЛЕКСАНДРОВИЧ АЛЕКСАНДРОВНА СЕРГЕЙ СЕРГЕЕВИЧ СЕРГЕЕВНА ВЛАДИМИР ВЛАДИМИРОВИЧ ВЛАДИМИРОВНА "
        "АЛЕКСЕЙ АЛЕКСЕЕВИЧ АЛЕКСЕЕВНА АНДРЕЙ АНДРЕЕВИЧ АНДРЕЕВНА ДМИТРИЙ ДМИТРИЕВИЧ ДМИТРИЕВНА "
        "НИКОЛАЙ НИКОЛАЕВИЧ НИКОЛАЕВНА ЕВГЕНИЙ ЕВГЕНЬЕВИЧ ЕВГЕНЬЕВНА ВИКТОР ВИКТОРОВИЧ ВИКТОРОВНА "
        "ЮРИЙ ЮРЬЕВИЧ ЮРЬЕВНА МИХАИЛ МИХАЙЛОВИЧ МИХАЙЛОВНА ИГОРЬ ИГОРЕВИЧ ИГОРЕВНА ИВАН ИВАНОВИЧ ИВАНОВНА "
        "ВАСИЛИЙ ВАСИЛЬЕВИЧ ВАСИЛЬЕВНА АНАТОЛИЙ АНАТОЛЬЕВИЧ АНАТОЛЬЕВНА ОЛЕГ ОЛЕГОВИЧ ОЛЕГОВНА "
        "ВАЛЕРИЙ ВАЛЕРЬЕВИЧ ВАЛЕРЬЕВНА ПАВЕЛ ПАВЛОВИЧ ПАВЛОВНА ГЕННАДИЙ ГЕННАДЬЕВИЧ ГЕННАДЬЕВНА "
        "ВЯЧЕСЛАВ ВЯЧЕСЛАВОВИЧ ВЯЧЕСЛАВОВНА ПЁТР ПЕТРОВИЧ ПЕТРОВНА КОНСТАНТИН КОНСТАНТИНОВИЧ КОНСТАНТИНОВНА "
        "ВИТАЛИЙ ВИТАЛЬЕВИЧ ВИТАЛЬЕВНА ЛЕОНИД ЛЕОНИДОВИЧ ЛЕОНИДОВНА БОРИС БОРИСОВИЧ БОРИСОВНА "
        "ГРИГОРИЙ ГРИГОРЬЕВИЧ ГРИГОРЬЕВНА ВАЛЕНТИН ВАЛЕНТИНОВИЧ ВАЛЕНТИНОВНА РОМАН РОМАНОВИЧ РОМАНОВНА "
        "СТЕПАН СТЕПАНОВИЧ СТЕПАНОВНА ФЁДОР ФЁДОРОВИЧ ФЁДОРОВНА МАКСИМ МАКСИМОВИЧ МАКСИМОВНА "
        "АРТЁМ АРТЁМОВИЧ АРТЁМОВНА ДЕНИС ДЕНИСОВИЧ ДЕНИСОВНА СЕМЁН СЕМЁНОВИЧ СЕМЁНОВНА "
        "ГЕОРГИЙ ГЕОРГИЕВИЧ ГЕОРГИЕВНА ЭДУАРД ЭДУАРДОВИЧ ЭДУАРДОВНА АРКАДИЙ АРКАДЬЕВИЧ АРКАДЬЕВНА "
        "ЯКОВ ЯКОВЛЕВИЧ ЯКОВЛЕВНА ИЛЬЯ ИЛЬИЧ ИЛЬИНИЧНА НИКИТА НИКИТИЧ НИКИТИЧНА ЛЕВ ЛЬВОВИЧ ЛЬВОВНА "
        "ТИМОФЕЙ ТИМОФЕЕВИЧ ТИМОФЕЕВНА КИРИЛЛ КИРИЛЛОВИЧ КИРИЛЛОВНА ЕГОР ЕГОРОВИЧ ЕГОРОВНА "
        "АНТОН АНТОНОВИЧ АНТОНОВНА МАТВЕЙ МАТВЕЕВИЧ МАТВЕЕВНА ФИЛИПП ФИЛИППОВИЧ ФИЛИППОВНА";
    static constexpr const char* kWomen =
        "ЕЛЕНА ТАТЬЯНА НАТАЛЬЯ ОЛЬГА ИРИНА СВЕТЛАНА ГАЛИНА ЛЮДМИЛА АННА МАРИЯ ВАЛЕНТИНА НИНА ЛЮБОВЬ "
        "НАДЕЖДА ЕКАТЕРИНА ТАМАРА ВЕРА ЛАРИСА МАРИНА ЮЛИЯ АНТОНИНА ЗИНАИДА РАИСА ЛИДИЯ ВАЛЕРИЯ ОКСАНА "
        "АЛЕКСАНДРА АНАСТАСИЯ ДАРЬЯ ЕВГЕНИЯ КСЕНИЯ ВИКТОРИЯ ПОЛИНА АЛЛА ЖАННА КЛАВДИЯ МАРГАРИТА НОННА "
        "ЭЛЬВИРА ЕЛИЗАВЕТА СОФЬЯ АЛЁНА ПРАСКОВЬЯ ЕВДОКИЯ ФАИНА ТАИСИЯ";

    std::mt19937 rng_;
    std::vector<std::string> surnames_;  // male forms: the common ones first, then the tail
    std::size_t common_ = 0;
    double tail_ = 0.45;  // the share of people with a surname of the tail
    std::vector<Father> men_;
    std::vector<std::string> women_;
    std::vector<double> surnameWeights_, manWeights_, womanWeights_;
};

// ---- planting one difference -------------------------------------------------------------

// The kinds of difference planted, one per record.
enum class Planted {
    Yo,                       // Ё written as Е, or Е as Ё
    Latin,                    // look-alike Latin letters
    OneSlip,                  // a letter dropped, doubled, exchanged with the next or a neighbouring key
    TwoSlips,                 // two of those
    Swapped,                  // name and patronymic exchanged
    Cut,                      // a part cut at a narrow field's width
    Initial,                  // name or patronymic as an initial
    ShortForm,                // a name in a short form (САША) or abbreviated (АЛ-ДР, АЛЕКС.)
    DoublePart,               // one part of a double surname
    DoubleBlank,              // a double surname with a blank for its hyphen
    Married,                  // a woman's new surname
    SexForm,                  // the surname in the other sex's form
    BirthDigit,               // one digit of the birth date wrong
    BirthDayMonth,            // day and month exchanged
    BirthMissing,             // the record's birth date empty
    BirthMissingInDirectory,  // the directory's birth date empty
};
inline constexpr int kPlantedKinds = 16;

inline const char* plantedName(Planted k) {
    static const char* const names[kPlantedKinds] = {
        "Ё/Е",        "Latin letters", "one slip",       "two slips",          "name<->patronymic", "cut at width",
        "initial",    "short form",    "double, 1 part", "double, blank",      "married",           "sex form",
        "date digit", "day<->month",   "date missing",   "date missing in dir"};
    return names[static_cast<int>(k)];
}

// One slip of the keyboard in s, not at a blank or hyphen: a letter dropped, doubled,
// exchanged with the next, or a neighbouring key of the ЙЦУКЕН layout hit instead.
inline bool slip(std::string& s, PeopleMaker& m) {
    static const std::vector<std::string> rows = {w("ЙЦУКЕНГШЩЗХЪ"), w("ФЫВАПРОЛДЖЭ"), w("ЯЧСМИТЬБЮ")};
    const auto neighbours = [&](char c) {
        std::string out;
        for (std::size_t r = 0; r < rows.size(); ++r) {
            const std::size_t i = rows[r].find(c);
            if (i == std::string::npos) continue;
            if (i > 0) out += rows[r][i - 1];
            if (i + 1 < rows[r].size()) out += rows[r][i + 1];
            if (r > 0) {
                if (i < rows[r - 1].size()) out += rows[r - 1][i];
                if (i + 1 < rows[r - 1].size()) out += rows[r - 1][i + 1];
            }
            if (r + 1 < rows.size()) {
                if (i < rows[r + 1].size()) out += rows[r + 1][i];
                if (i > 0 && i - 1 < rows[r + 1].size()) out += rows[r + 1][i - 1];
            }
        }
        return out;
    };
    if (s.size() < 3) return false;
    for (int attempt = 0; attempt < 20; ++attempt) {
        const std::size_t i = static_cast<std::size_t>(m.pick(static_cast<int>(s.size())));
        if (s[i] == '-' || s[i] == ' ') continue;
        switch (m.pick(4)) {
            case 0:
                s.erase(i, 1);
                return true;
            case 1:
                s.insert(i, 1, s[i]);
                return true;
            case 2:
                if (i + 1 >= s.size() || s[i + 1] == s[i] || s[i + 1] == '-' || s[i + 1] == ' ') continue;
                std::swap(s[i], s[i + 1]);
                return true;
            default: {
                const std::string n = neighbours(s[i]);
                if (n.empty()) continue;
                s[i] = n[static_cast<std::size_t>(m.pick(static_cast<int>(n.size())))];
                return true;
            }
        }
    }
    return false;
}

inline std::string* partOf(Person& p, int k) { return k == 0 ? &p.fam : k == 1 ? &p.nam : &p.otch; }

inline bool plant(Planted k, Person& r, Person& e, PeopleMaker& m) {
    r = e;
    const std::string yo = w("Ё"), ye = w("Е");
    switch (k) {
        case Planted::Yo: {
            for (int part : {0, 1, 2}) {  // Ё where the directory has it, else an Е made Ё
                std::string& s = *partOf(r, part);
                if (const auto i = s.find(yo); i != std::string::npos) return s.replace(i, 1, ye), true;
            }
            const int part = m.pick(3);
            std::string& s = *partOf(r, part);
            const auto i = s.find(ye);
            if (i == std::string::npos) return false;
            s.replace(i, 1, yo);
            return true;
        }
        case Planted::Latin: {
            const std::string cyr = w("АВЕКМНОРСТХ"), lat = "ABEKMHOPCTX";
            std::string& s = *partOf(r, m.pick(3));
            int changed = 0;
            const int want = 1 + m.pick(2);
            for (std::size_t i = 0; i < s.size() && changed < want; ++i)
                if (const auto j = cyr.find(s[i]); j != std::string::npos && m.chance(0.5)) s[i] = lat[j], ++changed;
            return changed > 0;
        }
        case Planted::OneSlip:
            return slip(*partOf(r, m.pick(3)), m);
        case Planted::TwoSlips: {
            const int a = m.pick(3), b = m.chance(0.5) ? a : m.pick(3);
            return slip(*partOf(r, a), m) && slip(*partOf(r, b), m);
        }
        case Planted::Swapped:
            std::swap(r.nam, r.otch);
            return r.nam != r.otch;
        case Planted::Cut: {  // a narrow field of 10 characters
            for (int part : {2, 0, 1})
                if (partOf(r, part)->size() > 10) return partOf(r, part)->resize(10), true;
            return false;
        }
        case Planted::Initial: {
            std::string& s = m.chance(0.5) ? r.nam : r.otch;
            if (s.size() < 2) return false;
            s = s.substr(0, 1) + (m.chance(0.5) ? "." : "");
            return true;
        }
        case Planted::ShortForm: {
            static const std::vector<std::pair<std::string, std::string>> forms = {
                {w("АЛЕКСАНДР"), w("САША")}, {w("АЛЕКСЕЙ"), w("ЛЕША")},   {w("ВЛАДИМИР"), w("ВОВА")},
                {w("ДМИТРИЙ"), w("ДИМА")},   {w("ЕВГЕНИЙ"), w("ЖЕНЯ")},   {w("НИКОЛАЙ"), w("КОЛЯ")},
                {w("МИХАИЛ"), w("МИША")},    {w("ЕКАТЕРИНА"), w("КАТЯ")}, {w("НАТАЛЬЯ"), w("НАТАША")},
                {w("ТАТЬЯНА"), w("ТАНЯ")},   {w("ЕЛЕНА"), w("ЛЕНА")},     {w("ЛЮДМИЛА"), w("ЛЮДА")},
                {w("АННА"), w("АНЯ")},       {w("МАРИЯ"), w("МАША")}};
            for (const auto& [full, shortForm] : forms)
                if (r.nam == full && m.chance(0.5)) return r.nam = shortForm, true;
            std::string& s = m.chance(0.6) ? r.nam : r.otch;
            if (s.size() < 7) return false;
            if (m.chance(0.5))
                s = s.substr(0, 2) + "-" + s.substr(s.size() - 2);  // АЛ-ДР
            else
                s = s.substr(0, 4 + static_cast<std::size_t>(m.pick(2))) + ".";  // АЛЕКС.
            return true;
        }
        case Planted::DoublePart: {
            const auto dash = e.fam.find('-');
            if (dash == std::string::npos) return false;
            r.fam = m.chance(0.5) ? e.fam.substr(0, dash) : e.fam.substr(dash + 1);
            return true;
        }
        case Planted::DoubleBlank: {
            const auto dash = e.fam.find('-');
            if (dash == std::string::npos) return false;
            r.fam[dash] = ' ';
            return true;
        }
        case Planted::Married:
            if (!e.female) return false;
            r.fam = m.surname(true);
            return r.fam != e.fam;
        case Planted::SexForm: {
            const std::string a = w("А"), aya = w("АЯ");
            if (e.female && endsWith(e.fam, aya) && !endsWith(e.fam, w("ЯЯ")))
                r.fam = e.fam.substr(0, e.fam.size() - 2) +
                        (endsWith(e.fam, w("СКАЯ")) || endsWith(e.fam, w("ЦКАЯ")) ? w("ИЙ") : w("ОЙ"));
            else if (e.female && endsWith(e.fam, a))
                r.fam = e.fam.substr(0, e.fam.size() - 1);
            else if (!e.female && femaleSurname(e.fam) != e.fam)
                r.fam = femaleSurname(e.fam);
            else
                return false;
            return true;
        }
        case Planted::BirthDigit: {
            for (int attempt = 0; attempt < 20; ++attempt) {
                std::string t = e.birth.text();  // dd.mm.yyyy
                static const int digits[] = {0, 1, 3, 4, 6, 7, 8, 9};
                const std::size_t i = static_cast<std::size_t>(digits[m.pick(8)]);
                const char old = t[i];
                t[i] =
                    m.chance(0.6) ? static_cast<char>(old == '9' ? '8' : old + 1) : static_cast<char>('0' + m.pick(10));
                if (t[i] == old) continue;
                const Date d =
                    Date::fromYmd(std::stoi(t.substr(6)), std::stoi(t.substr(3, 2)), std::stoi(t.substr(0, 2)));
                if (d.empty()) continue;
                r.birth = d;
                return true;
            }
            return false;
        }
        case Planted::BirthDayMonth: {
            int y = 0, mo = 0, d = 0;
            e.birth.ymd(y, mo, d);
            if (d > 12 || d == mo) return false;
            r.birth = Date::fromYmd(y, d, mo);
            return true;
        }
        case Planted::BirthMissing:
            r.birth = Date();
            return true;
        case Planted::BirthMissingInDirectory:
            e.birth = Date();
            return true;
    }
    return false;
}

}  // namespace strnum::test::hints
