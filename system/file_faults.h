// The seam for injected write failures: every call by which the core changes a file on
// disk (creating or truncating it, writing bytes, syncing, renaming it into place) asks the
// installed injector first, in system/file.cpp, the one place that makes those calls.
//
// Tests install an injector to make one call fail as a full disk, an I/O error or a file
// made read-only or removed would make it fail, and check what the file holds afterwards.
// The program itself never installs one; with none installed a call costs one atomic load.
//
//     faults::ScopedInjector fail([&](const faults::WriteCall& c) {
//         return ++calls == 3 ? faults::Fault{ENOSPC} : faults::Fault{};
//     });
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <limits>

namespace strnum::faults {

enum class Call {
    Create,   // opening a file that the open creates or truncates
    Write,    // writing bytes (one call of File::writeAt or File::append)
    Sync,     // making written bytes durable
    Replace,  // renaming a file over another
};

struct WriteCall {
    Call call;
    const std::filesystem::path& file;  // for Replace: the file being put in place
    std::uint64_t offset = 0;           // Write: where the bytes go (0 for sequential writes)
    std::size_t size = 0;               // Write: how many
};

// What the injector makes of a call.  error 0: the call goes on as usual.  Otherwise it
// fails with that errno after `written` bytes of a Write have reached the file (0: none; a
// disk that fills up while a file grows writes a first part and then fails).
struct Fault {
    int error = 0;
    std::size_t written = 0;
};

using Injector = std::function<Fault(const WriteCall&)>;

// Installs the injector for every file of the process (an empty one removes it) and
// returns the one installed before.  Not to be changed while another thread writes.
Injector setInjector(Injector injector);

// Installs an injector for its lifetime.
class ScopedInjector {
public:
    explicit ScopedInjector(Injector injector) : previous_(setInjector(std::move(injector))) {}
    ~ScopedInjector() { setInjector(std::move(previous_)); }
    ScopedInjector(const ScopedInjector&) = delete;
    ScopedInjector& operator=(const ScopedInjector&) = delete;

private:
    Injector previous_;
};

// The injector's answer for a call, or no fault when none is installed (used by the file layer).
Fault consult(const WriteCall& call);

}  // namespace strnum::faults
