// strnum-cli number VALUE
//   A body of up to nine characters: prints its display form.
//   A number text of 10 or 11 characters: prints "valid" or "invalid" and the display
//   form of its body; exit status 0 when valid, 1 when not.
#include <iostream>
#include <memory>

#include "base/convert.h"
#include "base/error.h"
#include "base/ru.h"
#include "base/text.h"
#include "cli/commands.h"
#include "identity/insurance_number.h"

namespace strnum::cli {

using namespace strnum::literals;

void addNumberCommand(CLI::App& app) {
    auto value = std::make_shared<std::string>();
    auto* cmd = app.add_subcommand("number", "Display form and check of an insurance number");
    cmd->add_option("VALUE", *value, "a body of up to nine digits, or an 11-character number text")->required();
    cmd->callback([value] {
        const std::string& text = *value;
        if (text.size() >= 10) {
            const NumberReading r = readNumberText(text);
            std::cout << (r.valid() ? "valid" : "invalid");
            if (r.body) std::cout << " " << displayForm(*r.body);
            std::cout << "\n";
            exitStatus() = r.valid() ? 0 : 1;
            return;
        }
        const auto body = toInt32(text);
        if (!body) {
            exitStatus() = 2;
            throwError(ErrorKind::Conversion, std::string("Не число: \""_cp) + utf8To1251(text).value_or("?") + "\"");
        }
        std::cout << displayForm(*body) << "\n";
    });
}

}  // namespace strnum::cli
