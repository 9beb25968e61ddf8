// A believable demonstration region, written with the project's own table writers: the
// district list WAY.DBF, district directories with their four files, the number directory
// NUMS.DB and a SOBES.INI pointing at them.  Used by the demo command, tests and the
// benchmarks (which ask for a large one).
//
// What it holds, so that every path of the operations shows up in a report:
//   - records whose number is empty, right, malformed (hyphens, wrong check number) and
//     wrong (another person's valid number); people the directory does not know;
//   - twins in the directory (same person under two numbers, statuses A, B and C);
//   - VDP/VP pairs of every kind, filled and empty NPSUI, NUCH, POL, FMDP/IMDP/OTDP;
//   - files in code page 866 and one district in 1251; a numeric NPSU in NZKORM.DBF;
//   - a district without some of its files, a district written as a Windows path
//     (C:\ORTAN\U02, mapped through the [Drives] section), and one whose directory is missing.
#pragma once

#include <cstdint>
#include <filesystem>

namespace strnum {

struct DemoOptions {
    int districts = 5;
    int people = 40;           // district records per district, over its four files
    std::int64_t directory = 0;  // entries of the number directory; 0: three per district record
    std::uint32_t seed = 1;
};

struct DemoSummary {
    std::int64_t districtRecords = 0;
    std::int64_t directoryEntries = 0;
};

// Writes the region into dir (created when missing; must not hold a region already).
// Throws Error.
DemoSummary writeDemoRegion(const std::filesystem::path& dir, const DemoOptions& options);

}  // namespace strnum
