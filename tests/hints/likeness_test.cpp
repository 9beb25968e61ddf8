// The folded form of names and the likeness of their parts: what near matching takes for the
// same text, for a slip, a short form, another form of one surname, and for nothing alike.
#include "hints/likeness.h"

#include <gtest/gtest.h>

#include <map>

#include "base/text.h"
#include "hints/name_folding.h"
#include "support/test_support.h"

namespace strnum::hints {
namespace likeness_test {  // names of its own: the Windows build compiles test files together
namespace {

using test::w;

std::string fold1251(std::string_view utf8) { return NameFolding::of(CodePage::Cp1251).fold(w(utf8)); }

TEST(NameFolding, CaseYoLatinLookAlikesAndSeparatorsFoldAlike) {
    const std::string ivanov = fold1251("ИВАНОВ");
    EXPECT_EQ(fold1251("иванов"), ivanov);
    EXPECT_EQ(fold1251("  Иванов  "), ivanov);
    EXPECT_EQ(fold1251("ИBAHOB"), ivanov);  // B, A, H, O typed in the Latin layout
    EXPECT_EQ(fold1251("иbahob"), ivanov);
    EXPECT_EQ(fold1251("ФЁДОР"), fold1251("ФЕДОР"));
    EXPECT_EQ(fold1251("фёдор"), fold1251("ФЕДОР"));
    EXPECT_EQ(fold1251("ИВАНОВА-ПЕТРОВА"), fold1251("ИВАНОВА  ПЕТРОВА"));
    EXPECT_EQ(fold1251("Д'АРТАНЬЯН"), fold1251("ДАРТАНЬЯН"));
    EXPECT_EQ(fold1251("А."), fold1251("А"));
    EXPECT_EQ(fold1251("-.-"), "");
    // A slip stays a slip, and letters without a Cyrillic look-alike stay Latin.
    EXPECT_NE(fold1251("ИВАНОВ"), fold1251("ИВАНВО"));
    EXPECT_NE(fold1251("ИВАНОВ"), fold1251("IVANOV"));
}

TEST(NameFolding, TableBytesOfCodePage866FoldAsTheir1251Letters) {
    const std::string text = w("Семёнов-Petrov");  // small Latin letters fold as their capitals
    const auto in866 = fromCp1251(CodePage::Cp866, text);
    ASSERT_TRUE(in866);
    EXPECT_EQ(NameFolding::of(CodePage::Cp866).fold(*in866), fold1251("СЕМЕНОВ PETROV"));
    // A field cut at its first NUL, as the table reads it.
    const std::string field = *in866 + std::string("\0garbage", 8);
    EXPECT_EQ(NameFolding::of(CodePage::Cp866).fold(field), fold1251("СЕМЕНОВ PETROV"));
}

TEST(NameFolding, PackedTextsTellEqualTextsAndHowTheyBegin) {
    EXPECT_EQ(packName(fold1251("ИВАНОВ")), packName(fold1251("ИBAHOB")));
    EXPECT_NE(packName(fold1251("ИВАНОВ")), packName(fold1251("ИВАНОВА")));
    EXPECT_EQ(packName(""), packName(""));
    // One slip at the start leaves two of the first letters.
    const auto p = [](std::string_view s) { return packName(fold1251(s)); };
    EXPECT_TRUE(beginAlike(p("ИВАНОВ"), p("ВАНОВ")));   // the first letter dropped
    EXPECT_TRUE(beginAlike(p("ИВАНОВ"), p("ВИАНОВ")));  // the first two exchanged
    EXPECT_TRUE(beginAlike(p("ИВАНОВ"), p("ШВАНОВ")));  // a neighbouring key for the first
    EXPECT_TRUE(beginAlike(p("И"), p("ИВАН")));         // an initial
    EXPECT_FALSE(beginAlike(p("ИВАНОВ"), p("ПЕТРОВ")));
}

TEST(NameFolding, SexOfNamesPatronymicsAndSurnames) {
    EXPECT_EQ(sexOf(fold1251("ИВАН"), fold1251("ПЕТРОВИЧ")), Sex::Male);
    EXPECT_EQ(sexOf(fold1251("САША"), fold1251("ПЕТРОВНА")), Sex::Female);  // the patronymic decides
    EXPECT_EQ(sexOf(fold1251("АННА"), ""), Sex::Female);
    EXPECT_EQ(sexOf(fold1251("НИКИТА"), ""), Sex::Male);
    EXPECT_EQ(sexOf(fold1251("ИГОРЬ"), ""), Sex::Unknown);
    EXPECT_EQ(sexOf(fold1251("ЭЛЬДАР"), fold1251("РУСТАМ ОГЛЫ")), Sex::Male);
    EXPECT_EQ(sexOf("", ""), Sex::Unknown);
    EXPECT_EQ(surnameSex(fold1251("ИВАНОВА")), Sex::Female);
    EXPECT_EQ(surnameSex(fold1251("ТОЛСТОЙ")), Sex::Male);
    EXPECT_EQ(surnameSex(fold1251("ШЕВЧЕНКО")), Sex::Unknown);
    EXPECT_TRUE(sexFormsOfOneSurname(fold1251("ИВАНОВ"), fold1251("ИВАНОВА")));
    EXPECT_TRUE(sexFormsOfOneSurname(fold1251("ВИШНЕВСКАЯ"), fold1251("ВИШНЕВСКИЙ")));
    EXPECT_TRUE(sexFormsOfOneSurname(fold1251("ТОЛСТОЙ"), fold1251("ТОЛСТАЯ")));
    EXPECT_FALSE(sexFormsOfOneSurname(fold1251("ИВАНОВ"), fold1251("ПЕТРОВА")));
    EXPECT_FALSE(sexFormsOfOneSurname(fold1251("ОВ"), fold1251("ОВА")));  // no stem
}

TEST(Likeness, SlipsCostLessAsTheyAreCommoner) {
    const auto cost = [](std::string_view typed, std::string_view meant) {
        return slipCost(fold1251(typed), fold1251(meant));
    };
    EXPECT_EQ(cost("ИВАНОВ", "ИВАНОВ"), 0);
    const double neighbour = cost("ИВАНОВ", "ИВАПОВ");  // Н and П are neighbouring keys
    const double other = cost("ИВАНОВ", "ИВАЖОВ");
    const double sound = cost("МАЛОКО", "МОЛОКО");  // А for an unstressed О
    EXPECT_LT(neighbour, other);
    EXPECT_LT(sound, other);
    EXPECT_LT(cost("ИАВНОВ", "ИВАНОВ"), other);   // two letters exchanged
    EXPECT_LT(cost("ИВАННОВ", "ИВАНОВ"), other);  // a letter doubled
    EXPECT_LT(cost("ИВАНВ", "ИВАНОВ"), other);    // a letter dropped
    EXPECT_LT(cost("НАТАЛИЯ", "НАТАЛЬЯ"), other);
    // Two slips cost more than one; three unlike letters, or a length three apart, are no slips.
    EXPECT_GT(cost("ИАВНВО", "ИВАНОВ"), cost("ИАВНОВ", "ИВАНОВ"));
    EXPECT_NE(cost("ИАВНВО", "ИВАНОВ"), kNoSlips);
    EXPECT_EQ(cost("ЖЖЖНОВ", "ИВАНОВ"), kNoSlips);
    EXPECT_EQ(cost("ИВАНОВСКИЙ", "ИВАНОВ"), kNoSlips);
    EXPECT_EQ(cost("", "ИВАНОВ"), kNoSlips);
    // Long texts are measured without limit of length.
    const std::string longName(300, 'X');
    EXPECT_EQ(slipCost(longName, longName), 0);
}

// Every value as common as every other: one in a thousand.
class EvenPopulation : public Population {
public:
    double surname(std::string_view) const override { return 1e-3; }
    double name(std::string_view) const override { return 1e-3; }
    double patronymic(std::string_view) const override { return 1e-3; }
    double namePrefix(std::string_view prefix) const override { return prefix.size() == 1 ? 0.05 : 0.01; }
    double patronymicPrefix(std::string_view prefix) const override { return namePrefix(prefix); }
    double birth(Date) const override { return 1e-4; }
};

Likeness part(Part p, std::string_view record, std::string_view entry, Sex sex = Sex::Unknown) {
    static const EvenPopulation population;
    return compareNamePart(p, fold1251(record), fold1251(entry), 1e-3, population, sex);
}

TEST(Likeness, EachKindOfDifferenceIsNamedAndWeighed) {
    const Likeness same = part(Part::Surname, "ИВАНОВ", "ИВАНОВ");
    EXPECT_EQ(same.kinds, 0u);
    EXPECT_GT(same.logRatio, 0);

    EXPECT_EQ(part(Part::Surname, "ИВАНВО", "ИВАНОВ").kinds, kHintSlip);
    EXPECT_EQ(part(Part::Name, "И", "ИВАН").kinds, kHintShort);
    EXPECT_EQ(part(Part::Name, "ИВАН", "И").kinds, kHintShort);  // the directory holds the initial
    EXPECT_EQ(part(Part::Name, "АЛЕКС.", "АЛЕКСАНДР").kinds, kHintShort);
    EXPECT_EQ(part(Part::Name, "АЛ-ДР", "АЛЕКСАНДР").kinds, kHintShort);
    EXPECT_EQ(part(Part::Name, "САША", "АЛЕКСАНДР").kinds, kHintShort);
    EXPECT_EQ(part(Part::Patronymic, "АЛЕКСАНДРО", "АЛЕКСАНДРОВИЧ").kinds, kHintShort);  // cut at a width
    EXPECT_EQ(part(Part::Surname, "ИВАНОВА", "ИВАНОВА-ПЕТРОВА").kinds, kHintDoubleSurname);
    EXPECT_EQ(part(Part::Surname, "ПЕТРОВА ИВАНОВА", "ИВАНОВА-ПЕТРОВА").kinds, kHintDoubleSurname);
    EXPECT_EQ(part(Part::Surname, "ИВАНОВ", "ИВАНОВА").kinds, kHintSexForm);
    EXPECT_EQ(part(Part::Name, "", "ИВАН").kinds, kHintShort);
    // A name with nothing in common counts heavily against; another surname is a marriage,
    // likelier for a woman than for a man.
    const Likeness unlike = part(Part::Name, "ПЕТР", "АННА");
    EXPECT_EQ(unlike.kinds, kHintOther);
    EXPECT_LT(unlike.logRatio, -10);
    const Likeness woman = part(Part::Surname, "ПЕТРОВА", "СИДОРОВА", Sex::Female);
    const Likeness man = part(Part::Surname, "ПЕТРОВ", "СИДОРОВ", Sex::Male);
    EXPECT_EQ(woman.kinds, kHintMarried);
    EXPECT_GT(woman.logRatio, man.logRatio);
    // An initial says less than the whole name: many names begin with its letter.
    EXPECT_LT(part(Part::Name, "И", "ИВАН").logRatio, same.logRatio);
}

TEST(Likeness, NameAndPatronymicExchanged) {
    const Likeness x =
        compareSwapped(fold1251("ПЕТРОВИЧ"), fold1251("ИВАН"), fold1251("ИВАН"), fold1251("ПЕТРОВИЧ"), 1e-6, 1e-6);
    EXPECT_EQ(x.kinds, kHintSwapped);
    EXPECT_GT(x.logRatio, 0);
    const Likeness slip =
        compareSwapped(fold1251("ПЕТРОВИЧ"), fold1251("ИВНА"), fold1251("ИВАН"), fold1251("ПЕТРОВИЧ"), 1e-6, 1e-6);
    EXPECT_EQ(slip.kinds, kHintSwapped | kHintSlip);
    EXPECT_LT(slip.logRatio, x.logRatio);
}

TEST(Likeness, BirthDates) {
    const Date d = Date::fromYmd(1956, 3, 12);
    EXPECT_EQ(compareBirth(d, d, 1e-4).kinds, 0u);
    EXPECT_GT(compareBirth(d, d, 1e-4).logRatio, 0);
    EXPECT_EQ(compareBirth(Date::fromYmd(1956, 3, 13), d, 1e-4).kinds, kHintBirthDigit);
    EXPECT_EQ(compareBirth(Date::fromYmd(1986, 3, 12), d, 1e-4).kinds, kHintBirthDigit);
    EXPECT_EQ(compareBirth(Date::fromYmd(1956, 12, 3), d, 1e-4).kinds, kHintBirthDayMonth);
    EXPECT_EQ(compareBirth(Date(), d, 1e-4).kinds, kHintBirthMissing);
    EXPECT_EQ(compareBirth(d, Date(), 1e-4).kinds, kHintBirthMissing);
    EXPECT_EQ(compareBirth(Date(), Date(), 1e-4).logRatio, 0);
    const Likeness far = compareBirth(Date::fromYmd(1971, 8, 30), d, 1e-4);
    EXPECT_EQ(far.kinds, kHintOther);
    EXPECT_LT(far.logRatio, 0);
    // A digit one off (the key beside it) is likelier than any other digit.
    EXPECT_GT(compareBirth(Date::fromYmd(1956, 3, 13), d, 1e-4).logRatio,
              compareBirth(Date::fromYmd(1956, 3, 19), d, 1e-4).logRatio);

    EXPECT_TRUE(oneDigitApart(dateDigits(Date::fromYmd(1956, 3, 12)), dateDigits(Date::fromYmd(1958, 3, 12))));
    EXPECT_FALSE(oneDigitApart(dateDigits(Date::fromYmd(1956, 3, 12)), dateDigits(Date::fromYmd(1965, 3, 12))));
    EXPECT_FALSE(oneDigitApart(dateDigits(d), dateDigits(d)));
    EXPECT_FALSE(oneDigitApart(0, dateDigits(d)));
    EXPECT_TRUE(dayMonthExchanged(dateDigits(Date::fromYmd(1956, 3, 12)), dateDigits(Date::fromYmd(1956, 12, 3))));
    EXPECT_FALSE(dayMonthExchanged(dateDigits(Date::fromYmd(1956, 3, 3)), dateDigits(Date::fromYmd(1956, 3, 3))));
}

}  // namespace
}  // namespace likeness_test
}  // namespace strnum::hints
