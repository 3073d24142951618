// The second thread that inflates an app folder's files ahead of their writing: buffers come out
// whole and in order, a failure ends the run at its own buffer, the thread keeps within its
// budget, and stopping early neither hangs nor leaks the thread.
#include <atomic>
#include <cstring>

#include "probe.h"

namespace probe {
namespace {

using plinth::platform::BufferMaker;

constexpr std::size_t kBudget = 256 * 1024;

// Buffer i is its size's worth of the byte i; `fail_at` fails one. It notes how far ahead of
// the taker each buffer was begun, and whether one larger than the budget was begun while
// another was still held.
class CountingMaker final : public BufferMaker {
public:
    explicit CountingMaker(std::vector<std::size_t> sizes, std::size_t fail_at = SIZE_MAX)
        : sizes_(std::move(sizes)), fail_at_(fail_at) {}

    std::size_t count() const override { return sizes_.size(); }
    std::size_t size_of(std::size_t index) const override { return sizes_[index]; }
    bool make(std::size_t index, std::span<std::uint8_t> out) override {
        const std::size_t taken = taken_.load();
        if (index - taken > most_ahead) most_ahead = index - taken;
        if (sizes_[index] > kBudget && taken != index) large_made_while_held = true;
        if (index == fail_at_) return false;
        std::memset(out.data(), static_cast<int>(index & 0xff), out.size());
        Sleep(0);
        return true;
    }
    void took(std::size_t count) { taken_.store(count); }

    std::size_t most_ahead = 0;
    bool large_made_while_held = false;

private:
    std::vector<std::size_t> sizes_;
    std::size_t fail_at_;
    std::atomic<std::size_t> taken_{0};
};

// Takes every buffer, slowly so that the thread could run far ahead; returns how many came out
// whole and in order before the first that didn't come.
std::size_t take_all(plinth::platform::WorkAhead& ahead, CountingMaker& maker) {
    std::size_t whole = 0;
    for (std::size_t index = 0; index < maker.count(); ++index) {
        auto bytes = ahead.next();
        maker.took(index + 1);
        if (!bytes) break;
        bool right = bytes->size() == maker.size_of(index);
        for (std::uint8_t byte : *bytes) right = right && byte == (index & 0xff);
        if (!right) break;
        ++whole;
        Sleep(1);
    }
    return whole;
}

}  // namespace

void probe_work_ahead(Context& context) {
    const struct {
        const char* what;
        std::vector<std::size_t> sizes;
        std::size_t fail_at;
        std::size_t whole;       // expected
        std::size_t most_ahead;  // at most, with one for the taker's count lagging
    } cases[] = {
        {"no buffers", {}, SIZE_MAX, 0, 0},
        {"one empty buffer", {0}, SIZE_MAX, 1, 0},
        // Four of 60 KiB fit the budget: three waiting and the one being made.
        {"64 buffers of 60 KiB", std::vector<std::size_t>(64, 60 * 1024), SIZE_MAX, 64, 4},
        // Tiny ones: eight waiting at most, whatever the budget.
        {"100 buffers of 10 bytes", std::vector<std::size_t>(100, 10), SIZE_MAX, 100, 9},
        {"mixed sizes, two beyond the budget", {1000, 0, 300 * 1024, 70000, 5, 1 << 20, 1, 200 * 1024, 3}, SIZE_MAX,
         9, 9},
        {"a failure at the fifth", std::vector<std::size_t>(20, 1000), 4, 4, 9},
    };
    for (const auto& c : cases) {
        CountingMaker maker(c.sizes, c.fail_at);
        std::size_t whole = 0;
        {
            auto ahead = context.windows.session.work_ahead(maker, kBudget);
            check(ahead != nullptr, std::string("work_ahead starts a thread: ") + c.what);
            if (!ahead) continue;
            whole = take_all(*ahead, maker);
            if (c.fail_at != SIZE_MAX) check(!ahead->next(), std::string("nothing follows a failure: ") + c.what);
        }
        check(whole == c.whole, std::string("buffers whole and in order: ") + c.what,
              std::to_string(whole) + " of " + std::to_string(c.whole));
        check(maker.most_ahead <= c.most_ahead, std::string("the thread keeps within its budget: ") + c.what,
              std::to_string(maker.most_ahead) + " ahead");
        check(!maker.large_made_while_held, std::string("a buffer beyond the budget waits for the others: ") + c.what);
    }

    // Stopped after two of many, the thread waiting for room or making a buffer: the destructor
    // ends it (a hang here is the test's timeout), and the maker is touched no more.
    CountingMaker many(std::vector<std::size_t>(1000, 100 * 1024));
    {
        auto ahead = context.windows.session.work_ahead(many, kBudget);
        if (ahead) {
            ahead->next();
            ahead->next();
        }
    }
    const std::size_t ahead_when_stopped = many.most_ahead;
    Sleep(50);
    check(many.most_ahead == ahead_when_stopped && ahead_when_stopped <= 3, "stopping early ends the thread",
          std::to_string(ahead_when_stopped) + " ahead");
}

}  // namespace probe
