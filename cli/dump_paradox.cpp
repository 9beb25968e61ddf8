#include "base/error.h"
#include "base/ru.h"
#include "cli/dump.h"

namespace strnum::cli {

using namespace strnum::literals;

void dumpParadoxTable(const std::filesystem::path&, std::ostream&) {
    throwError(ErrorKind::Unsupported, std::string("Таблицы Paradox пока не читаются"_cp));
}

}  // namespace strnum::cli
