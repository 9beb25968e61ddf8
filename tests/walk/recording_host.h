// A Host for tests: records every call as a line of text, in order.
#pragma once

#include <string>
#include <vector>

#include "support/test_support.h"
#include "walk/file_walk.h"
#include "walk/host.h"

namespace strnum::test {

class RecordingHost : public Host {
public:
    std::vector<std::string> calls;
    bool answer = false;

    void setLabel(HostLabel label, std::string_view text) override {
        calls.push_back("label " + std::to_string(static_cast<int>(label)) + " " + u(text));
    }
    void setProgressRange(int minimum, int maximum) override {
        calls.push_back("range " + std::to_string(minimum) + ".." + std::to_string(maximum));
    }
    void setProgress(int position) override { calls.push_back("progress " + std::to_string(position)); }
    void showProgress(bool visible) override { calls.push_back(visible ? "progress shown" : "progress hidden"); }
    void setBusy(bool busy) override { calls.push_back(busy ? "busy" : "not busy"); }
    void processEvents() override { calls.push_back("events"); }
    bool confirm(std::string_view text) override {
        calls.push_back("confirm " + u(text));
        return answer;
    }
    void showReport(bool modal) override { calls.push_back(modal ? "report modal" : "report"); }
    void showError(std::string_view message) override { calls.push_back("error " + u(message)); }
    void notice(std::string_view message) override { calls.push_back("notice " + u(message)); }
};

// District files walked in chunks of `slots` by the runs made while it lives.
class ChunkSlots {
public:
    explicit ChunkSlots(std::int64_t slots) : usual_(chunkSlots()) { chunkSlots() = slots; }
    ~ChunkSlots() { chunkSlots() = usual_; }
    ChunkSlots(const ChunkSlots&) = delete;
    ChunkSlots& operator=(const ChunkSlots&) = delete;

private:
    std::int64_t usual_;
};

}  // namespace strnum::test
