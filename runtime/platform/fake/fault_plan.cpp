#include "platform/fake/fault_plan.h"

#include "common/text.h"

namespace plinth::fake {

void FaultPlan::fail(std::string operation, std::uint32_t code, int nth) {
    rules_.push_back({std::move(operation), std::nullopt, nth, 0, code});
}

void FaultPlan::fail_on_path(std::string operation, std::u16string path, std::uint32_t code) {
    rules_.push_back({std::move(operation), ascii_lower(path), 0, 0, code});
}

void FaultPlan::fail_call(int nth, std::uint32_t code) { failing_call_ = {nth, code}; }

void FaultPlan::reset() {
    rules_.clear();
    failing_call_.reset();
    call_log_.clear();
}

std::optional<std::uint32_t> FaultPlan::check(std::string_view operation, std::u16string_view path) {
    std::string entry(operation);
    if (!path.empty()) entry += " " + to_utf8(path);
    call_log_.push_back(std::move(entry));
    if (failing_call_ && failing_call_->first == calls()) return failing_call_->second;
    const std::u16string lowered = ascii_lower(path);
    for (Rule& rule : rules_) {
        if (rule.operation != operation) continue;
        if (rule.path && *rule.path != lowered) continue;
        ++rule.seen;
        if (rule.nth == 0 || rule.nth == rule.seen) return rule.code;
    }
    return std::nullopt;
}

}  // namespace plinth::fake
