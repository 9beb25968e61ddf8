#include "data/number_directory.h"

#include <array>

namespace strnum {

NumberDirectory::NumberDirectory(const std::filesystem::path& file, const EngineSettings& settings)
    : table_(file, settings) {
    table_.prepareOrders({std::string(kPersonOrder), std::string()});
}

bool NumberDirectory::findNumber(std::int32_t num) {
    if (!table_.indexFieldNames().empty()) table_.setIndexFieldNames("");
    const KeyValue key = num;
    return table_.findKey(std::span(&key, 1));
}

bool NumberDirectory::findPerson(std::string_view fam, std::string_view nam, std::string_view otch, Date birth) {
    if (table_.indexFieldNames() != kPersonOrder) table_.setIndexFieldNames(kPersonOrder);
    const std::array<KeyValue, 4> key{std::string(fam), std::string(nam), std::string(otch), birth};
    return table_.findKey(key);
}

}  // namespace strnum
