#include "log/run_log.h"

#include <new>
#include <string>

#include "system_error/error_text.h"

namespace plinth {
namespace {

// Drops every event before anything is converted or asked of the system for it.
class NoLog final : public Log {
public:
    void write(std::string_view, std::string_view) override {}
    void write(std::string_view, const Path&) override {}
    void failed(platform::Platform&, std::string_view, const Path&, platform::ErrorCode) override {}
    void started(std::string_view, const std::vector<std::u16string>&) override {}
};

// Zero bytes at namespace scope, where a NoLog is made on each call. A constant-initialised
// object would be writable data with a destructor to register (its vtable pointer), a section
// of its own in the stub; a function-local static would bring in the thread-safe guard, and
// with it the exception runtime, some 20 KiB. A NoLog has no state, so making one again over
// the last is only writing its vtable pointer, and it needs no destructor at exit.
alignas(NoLog) unsigned char dropped_events[sizeof(NoLog)];

// Zero-padded to `width` digits, by hand: no formatting library in the stub for this.
void append_number(std::string& text, int value, int width) {
    char digits[4];
    for (int i = width - 1; i >= 0; --i) {
        digits[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    text.append(digits, static_cast<std::size_t>(width));
}

}  // namespace

void Log::write(std::string_view phrase, const Path& path) { write(phrase, path_text(path)); }

void Log::failed(platform::Platform& platform, std::string_view phrase, const Path& path, platform::ErrorCode code) {
    std::string text = path_text(path);
    text += ": ";
    text += english_os_error_text(platform.system_text, code);
    write(phrase, text);
}

void Log::started(std::string_view program, const std::vector<std::u16string>& arguments) {
    std::string line(program);
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        line.push_back(' ');
        line += to_utf8(arguments[i]);
    }
    write("Started", line);
}

Log& no_log() { return *new (dropped_events) NoLog; }

void report_failure(platform::Platform& platform, const Failure& failure, bool setup_line) {
    platform.log->write("Failed:", failure.text);
    if (!setup_line) return;
    std::string line = "setup: ";
    line += visible_controls(failure.text);
    line += '\n';
    platform.session.write_standard_error(line);
}

std::string time_stamp(const platform::LocalTime& time) {
    std::string text;
    const int fields[] = {time.year, time.month, time.day, time.hour, time.minute, time.second, time.millisecond};
    static constexpr char kBefore[] = "\0-- ::.";
    static constexpr int kWidths[] = {4, 2, 2, 2, 2, 2, 3};
    for (int i = 0; i < 7; ++i) {
        if (i > 0) text.push_back(kBefore[i]);
        append_number(text, fields[i], kWidths[i]);
    }
    return text;
}

FileLog::FileLog(platform::Platform& platform, const Path& path, bool held)
    : session_(platform.session), files_(platform.files), path_(path), held_(true) {
    if (!held) open();
}

void FileLog::open() {
    if (!held_) return;
    held_ = false;
    if (auto opened = files_.open_for_append(path_)) file_ = std::move(*opened);
    std::string waiting = std::move(waiting_);
    waiting_.clear();
    if (file_ && !waiting.empty()) {
        if (file_->write({reinterpret_cast<const std::uint8_t*>(waiting.data()), waiting.size()}) !=
            platform::codes::kSuccess) {
            file_.reset();
        }
    }
}

void FileLog::drop() {
    held_ = false;
    waiting_.clear();
}

void FileLog::write(std::string_view phrase, std::string_view value) {
    if (!file_ && !held_) return;
    std::string line = time_stamp(session_.local_time());
    line.push_back(' ');
    line += phrase;
    if (!value.empty()) {
        line.push_back(' ');
        line += visible_controls(value);
    }
    line += "\r\n";
    if (held_) {
        waiting_ += line;
        return;
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(line.data());
    if (file_->write({bytes, line.size()}) != platform::codes::kSuccess) file_.reset();
}

}  // namespace plinth
