#include "batches/persdat2.h"

#include "base/error.h"
#include "base/ru.h"
#include "base/text.h"
#include "identity/comparison.h"
#include "identity/insurance_number.h"
#include "system/replacing_file.h"

namespace strnum {

using namespace strnum::literals;

namespace {

constexpr std::size_t kGatherBytes = 64 * 1024;
constexpr std::size_t kDirectoryNameMax = 40;
constexpr std::size_t kDisplayFormMax = 14;
constexpr std::size_t kBirthMax = 10;

// A keyword field: its text between double quotes, added bare.
std::string keyword(std::string_view word) { return "\"" + std::string(word) + "\""; }

}  // namespace

Persdat2::Persdat2(const std::filesystem::path& file, std::string_view regNum)
    : path_(file), file_(std::make_unique<ReplacingFile>(file)) {
    line_.clear();
    line_.addBare(keyword("ЗГЛВ"_cp));
    line_.addText("04.00");
    line_.addText("NOMSTAV");
    line_.addText("V04.10");
    put();

    line_.clear();
    line_.addBare(keyword("РБТД"_cp) + "," + keyword("РБТД"_cp));
    line_.addText(regNum);
    line_.addBare("0");
    line_.addBare("0");
    line_.addText("ОПФР"_cp);
    put();

    line_.clear();
    line_.addBare(keyword("ПАЧК"_cp));
    line_.addNumber(1);
    line_.addText("ОБМН"_cp);
    line_.addText("ОП61"_cp);
    line_.addText("10/10/2004");
    line_.addNumber(0);
    line_.addNumber(0);
    for (int i = 0; i < 5; ++i) line_.addText("");
    for (int i = 0; i < 9; ++i) line_.addBare("0");
    put();

    line_.clear();
    line_.addBare(keyword("ТИПД"_cp));
    line_.addText("ОБМН"_cp);
    line_.addNumber(100);
    put();
}

Persdat2::~Persdat2() = default;

void Persdat2::application(const Application& a) {
    if (!failure_.empty()) throwError(ErrorKind::Io, failure_);
    const auto part = [&](std::string_view record, std::string_view directory) {
        return a.nameDiffers && record.substr(0, kNameMax) != directory ? record : std::string_view();
    };
    std::string birth;
    if (a.birthDiffers) {
        birth = std::string(a.birthText.substr(0, kBirthMax));
        for (char& c : birth)
            if (c == '.' || c == '-' || c == ':') c = '/';
    }
    line_.clear();
    line_.addBare(keyword("ОБМН"_cp));                              // 1
    line_.addNumber(a.number);                                      // 2
    line_.addText("10/10/2005");                                    // 3
    line_.addText(displayForm(a.body).substr(0, kDisplayFormMax));  // 4
    line_.addText(a.dirSurname.substr(0, kDirectoryNameMax));       // 5
    line_.addText(a.dirName.substr(0, kDirectoryNameMax));          // 6
    line_.addText(a.dirPatronymic.substr(0, kDirectoryNameMax));    // 7
    line_.addText(part(a.surname, a.dirSurname));                   // 8
    line_.addText(part(a.name, a.dirName));                         // 9
    line_.addText(part(a.patronymic, a.dirPatronymic));             // 10
    line_.addText("");                                              // 11
    line_.addText("");                                              // 12
    line_.addText(birth);                                           // 13
    for (int i = 14; i <= 16; ++i) line_.addNumber(0);              // 14-16
    for (int i = 17; i <= 28; ++i) line_.addText("");               // 17-28
    line_.addBare("");                                              // 29
    for (int i = 30; i <= 34; ++i) line_.addText("");               // 30-34
    put();
}

void Persdat2::put() {
    line_.appendLineTo(gathered_);
    if (gathered_.size() >= kGatherBytes) write();
}

std::string Persdat2::notWritten(const Error& e) const {
    std::error_code ec;
    return std::string("Пачка заявлений не записана: "_cp) + std::string(e.text()) +
           (std::filesystem::exists(path_, ec) ? std::string("; прежний файл оставлен как был"_cp) : std::string());
}

void Persdat2::write() {
    if (!failure_.empty()) throwError(ErrorKind::Io, failure_);
    if (gathered_.empty() || !file_) return;
    const std::string bytes = std::move(gathered_);
    gathered_.clear();
    try {
        file_->write(bytes);
    } catch (const Error& e) {
        // Lines are lost: the batch can no longer be whole, and is not put in place.
        failure_ = notWritten(e);
        throw;
    }
}

void Persdat2::close() {
    if (!file_) return;
    write();
    try {
        file_->commit();
    } catch (const Error& e) {
        file_.reset();
        throwError(ErrorKind::Io, notWritten(e));
    }
    file_.reset();
}

}  // namespace strnum
