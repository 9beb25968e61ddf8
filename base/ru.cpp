#include "base/ru.h"

#include <cstdlib>
#include <mutex>
#include <string>
#include <unordered_map>

#include "base/text.h"

namespace strnum {

std::string_view internCp1251(const char* utf8, std::size_t size) {
    static std::mutex mutex;
    static std::unordered_map<const char*, std::string> texts;
    const std::lock_guard<std::mutex> lock(mutex);
    auto it = texts.find(utf8);
    if (it == texts.end()) {
        auto converted = utf8To1251(std::string_view(utf8, size));
        if (!converted) std::abort();  // a programming error the g++ build rejects at compile time
        it = texts.emplace(utf8, std::move(*converted)).first;
    }
    return it->second;
}

}  // namespace strnum
