// Near matches in the number directory for persons the exact lookup does not find.
//
// Start here.  Number assignment finds a district record's person in the number directory
// only when surname, name, patronymic and birth date are all equal.  When they are not, the
// person is often there all the same, typed differently in one of the two offices: Ё for Е,
// a Latin letter, a slip of the keyboard, name and patronymic exchanged, a name cut or
// written short, one part of a double surname, a new surname after marriage, a birth date
// with one digit wrong, day and month exchanged, or missing.  NearMatchIndex is built once
// over the directory's entries and then gives, for one person, up to three entries that are
// most likely that person, best first, each with what differs and how sure the hint is.
//
//     NearMatchIndex index(directory, threads);          // once, after the directory is open
//     for (const Hint& h : index.find(surname, name, patronymic, birth)) ...
//
// How entries are found.  A hint needs strong evidence, and every kind of difference
// leaves most of the four values as they were, so two ways in reach every entry that can be
// a hint: the entries of the record's birth date (read in one run, compared by 32-bit forms
// of their folded texts; those with at least two of the three name parts equal, or one
// equal and the other two beginning alike, or name and patronymic exchanged, are taken
// further), and the entries with the record's folded surname, name and patronymic, in
// either order of the last two, whose birth date is one digit off, has day and month
// exchanged or is missing.  A difference in the texts and in the date at once is not looked
// for.  Each entry so found is weighed by hints/likeness.h: the likelihood ratio of its
// parts against the record's, from a model of typing Russian names and the shares of the
// record's values among the directory's entries (hints/README.md).
//
// Score and confidence.  An entry's weight is its likelihood ratio times the chance that a
// record not found exactly belongs to some entry at all (one half), shared out over the
// directory's entries; the record may also be of a person the directory lacks (the other
// half).  An entry's score is its weight's share of all of these: the probability, under
// the model, that the entry is the person.  So a larger or denser directory, where chance
// likeness is commoner, needs more evidence for the same score.  Hints are offered when the
// best entry, with the entries that read exactly like it (one person entered twice), scores
// at least 0.5; then up to three entries scoring at least 0.05 are hints, best first, equal
// scores in stored order.  A hint is "точно" when it scores at least 0.999 and one kind of
// difference explains it, not a new surname nor a missing date; otherwise "возможно".
//
// Contract
// - Texts are code page 1251, cut as the lookup cuts them (25 characters); they are folded
//   here (hints/name_folding.h).  An entry equal in all four values is found like any other
//   and has no difference flags.
// - Nothing is written anywhere; the directory is only read.
// - The index keeps the directory's records alive (a cursor (KeySearch::cursor) of the table): it
//   stays valid when the table is closed or read again, and keeps showing the entries it
//   was built over.
// - find() and findAll() are const and may run on several threads at once.  Results never
//   depend on the number of threads.
// - Failures: the constructor throws Error (NotFound naming the table and field when FAM,
//   NAM, OTCH, BIRTH or NUM is missing, Unsupported when a field has the wrong type or the
//   table cannot give a cursor (KeySearch::cursor)).  find() does not throw but for lack of memory.
//
// Memory: about 31 bytes per entry beside the directory's own records (3,000,000 entries:
// 93 MB), in huge pages where the system has them; while it is built, about 30 bytes per
// entry more.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/date.h"
#include "hints/hint.h"
#include "tables/table.h"

namespace strnum {

// A directory entry given directly, for directories that are not tables (tests, tools).
struct DirectoryPerson {
    std::int32_t num = 0;
    std::string fam, nam, otch;  // 1251
    Date birth;
};

// One person to find, texts in 1251.
struct PersonToFind {
    std::string surname, name, patronymic;
    Date birth;
};

class NearMatchIndex {
public:
    // Builds the index over the entries of an open number directory (NUMS: FAM, NAM, OTCH,
    // BIRTH, NUM), on up to `threads` threads.  A Paradox table is read straight from the
    // records it holds in memory; another table through a cursor (KeySearch::cursor).
    NearMatchIndex(Table& directory, unsigned threads = 1);
    explicit NearMatchIndex(std::vector<DirectoryPerson> entries, unsigned threads = 1);
    ~NearMatchIndex();
    NearMatchIndex(const NearMatchIndex&) = delete;
    NearMatchIndex& operator=(const NearMatchIndex&) = delete;

    std::size_t size() const;
    // Bytes the index holds (not counting the directory's records).
    std::size_t memoryBytes() const;

    // Up to three hints for a person, best first; none when no entry is likely enough.
    std::vector<Hint> find(std::string_view surname, std::string_view name, std::string_view patronymic,
                           Date birth) const;
    // find() for many persons on up to `threads` threads; the result i is for people[i].
    std::vector<std::vector<Hint>> findAll(std::span<const PersonToFind> people, unsigned threads = 1) const;

    // The entry at a position as the index reads it (texts 1251), for showing a hint.
    DirectoryPerson entry(std::size_t position) const;
    // The entry's account status (COND, 1251); empty where the directory has none.
    std::string status(std::size_t position) const;

    class Source;  // where the entries' texts come from
    struct Data;

private:
    struct Query;
    std::vector<Hint> find(const Query& q) const;
    void prefetch(const Query& q, int stage) const;
    std::unique_ptr<Data> d_;
};

}  // namespace strnum
