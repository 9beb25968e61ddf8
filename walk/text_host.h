// A Host without windows (strnum-cli, benchmarks): nothing to repaint, no one to ask.  The summary question is
// kept and answered No; errors are kept; both are printed after the report, the question
// as the report's last line on standard output and the errors on standard error.
#pragma once

#include <iostream>
#include <string>
#include <vector>

#include "report/report.h"
#include "walk/host.h"

namespace strnum {

class TextHost : public Host {
public:
    void setLabel(HostLabel, std::string_view) override {}
    void setProgressRange(int, int) override {}
    void setProgress(int) override {}
    void showProgress(bool) override {}
    void setBusy(bool) override {}
    void processEvents() override {}
    bool confirm(std::string_view text) override {
        question = std::string(text);
        asked = true;
        return false;
    }
    void showReport(bool) override {}
    void showError(std::string_view message) override { errors.emplace_back(message); }
    void notice(std::string_view message) override { notices.emplace_back(message); }

    // Report lines in UTF-8 (colours dropped), the question last; notices and errors to err.
    void print(const Report& report, std::ostream& out, std::ostream& err) const;
    // The notices, then the errors, one a line in UTF-8.
    void printTroubles(std::ostream& err) const;

    std::string question;
    bool asked = false;
    std::vector<std::string> errors;
    std::vector<std::string> notices;
};

}  // namespace strnum
