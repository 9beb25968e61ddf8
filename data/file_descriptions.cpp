#include "data/file_descriptions.h"

#include "base/error.h"
#include "base/ru.h"

namespace strnum {

using namespace strnum::literals;

const FileDescription& fileDescription(int kind) {
    if (kind < 0 || kind >= kFileKindCount)
        throwError(ErrorKind::InvalidArgument, std::string("Нет описания файла вида "_cp) + std::to_string(kind));
    return kFileDescriptions[static_cast<std::size_t>(kind)];
}

std::string districtTableName(int kind) { return std::string(fileDescription(kind).baseName) + ".DBF"; }

}  // namespace strnum
