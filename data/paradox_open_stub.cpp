// Temporary: keeps the core linking until the Paradox reader provides openParadoxTable.
// The Paradox reader's author deletes this file when the real definition lands.
#include "base/error.h"
#include "base/ru.h"
#include "data/table.h"

namespace strnum {

using namespace strnum::literals;

std::unique_ptr<Table> openParadoxTable(const std::filesystem::path&, const EngineSettings&) {
    throwError(ErrorKind::Unsupported, std::string("Таблицы Paradox пока не читаются"_cp));
}

}  // namespace strnum
