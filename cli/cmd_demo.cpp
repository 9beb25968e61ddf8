// strnum-cli demo DIR [--districts N] [--people N] [--directory N] [--seed S]
// Writes a demonstration region into DIR: WAY.DBF, the district directories under
// DIR/ORTAN, the number directory DIR/NUMS/NUMS.DB and DIR/SOBES.INI pointing at them.
#include <iostream>
#include <memory>

#include "base/text.h"
#include "cli/commands.h"
#include "demo/demo_region.h"

namespace strnum::cli {

namespace {
struct DemoArgs {
    std::string dir;
    DemoOptions options;
};
}  // namespace

void addDemoCommand(CLI::App& app) {
    auto args = std::make_shared<DemoArgs>();
    auto* cmd = app.add_subcommand("demo", "Write a demonstration region");
    cmd->add_option("DIR", args->dir, "folder to write the region into")->required();
    cmd->add_option("--districts", args->options.districts, "districts (5)")->check(CLI::Range(1, 99));
    cmd->add_option("--people", args->options.people, "district records per district (40)")
        ->check(CLI::Range(0, 10'000'000));
    cmd->add_option("--directory", args->options.directory, "entries of NUMS.DB (three per district record)")
        ->check(CLI::Range(std::int64_t{0}, std::int64_t{20'000'000}));
    cmd->add_option("--seed", args->options.seed, "random seed (1)");
    cmd->callback([args] {
        const DemoSummary s = writeDemoRegion(pathFromUtf8(args->dir), args->options);
        std::cout << "district records: " << s.districtRecords << ", directory entries: " << s.directoryEntries << "\n";
    });
}

}  // namespace strnum::cli
