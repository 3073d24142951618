// Fault injection for the fake platform: any fallible operation can be told to fail with a
// chosen error code, on its n-th call, on a given path, or as the n-th fallible call of a run.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plinth::fake {

class FaultPlan {
public:
    // Every call of `operation` (e.g. "files.write_file") fails with `code`; with `nth` > 0 only
    // its nth call (1-based, counted from now).
    void fail(std::string operation, std::uint32_t code, int nth = 0);
    // Calls of `operation` on exactly this path (compared without ASCII case) fail with `code`.
    void fail_on_path(std::string operation, std::u16string path, std::uint32_t code);
    // The nth fallible call of any operation (1-based, counted from the last reset) fails.
    void fail_call(int nth, std::uint32_t code);
    // Drops every rule; the call log and counters start again.
    void reset();

    // Called by each fake operation before it acts: the error code to fail with, if any.
    std::optional<std::uint32_t> check(std::string_view operation, std::u16string_view path = {});

    // The fallible calls made since the last reset, in order ("operation path").
    const std::vector<std::string>& call_log() const { return call_log_; }
    int calls() const { return static_cast<int>(call_log_.size()); }

private:
    struct Rule {
        std::string operation;
        std::optional<std::u16string> path;
        int nth = 0;   // 0: every matching call
        int seen = 0;  // matching calls so far
        std::uint32_t code = 0;
    };
    std::vector<Rule> rules_;
    std::optional<std::pair<int, std::uint32_t>> failing_call_;
    std::vector<std::string> call_log_;
};

}  // namespace plinth::fake
