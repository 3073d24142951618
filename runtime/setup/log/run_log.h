// The install log that /log=FILE asks for: one line per event of the run, each after a time stamp
// ("2026-12-09 03:10:42.123 Wrote C:\...\App.exe"), appended to the file in UTF-8. Events are a
// short fixed phrase and a value; failures carry the same text as the setup: line.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "common/text.h"
#include "platform/platform.h"

namespace plinth {

class Log {
public:
    virtual ~Log() = default;
    // One event: the phrase, then the value after a space when there is one. Control characters
    // of the value are shown, so that an event stays one line.
    virtual void write(std::string_view phrase, std::string_view value = {}) = 0;
    // The same with a path as the value.
    virtual void write(std::string_view phrase, const Path& path);
    // "{phrase} {path}: {the system's text for code}", for a call that failed.
    virtual void failed(platform::Platform& platform, std::string_view phrase, const Path& path, platform::ErrorCode code);
    // "Started {program} {arguments}": the run's first line, every argument after the first
    // (the program's own path) converted.
    virtual void started(std::string_view program, const std::vector<std::u16string>& arguments);
};

// The log of a run without /log: it drops everything.
Log& no_log();

// A log written to a file. The file is opened once; when that fails, or a write fails, nothing
// more is written, and the run goes on as it would have without the log.
class FileLog final : public Log {
public:
    // Opened at once; or, `held`, not before `open`: the lines wait in memory until the run knows
    // whether the file is one it installs (entry/log_target.h), and `drop` then forgets them.
    FileLog(platform::Platform& platform, const Path& path, bool held = false);
    void write(std::string_view phrase, std::string_view value = {}) override;
    using Log::write;
    bool is_open() const { return file_ != nullptr; }
    // Opens a held log and writes what waited; nothing when it isn't held any more.
    void open();
    // A held log is never opened: nothing is written, then or later.
    void drop();

private:
    platform::Session& session_;
    platform::Files& files_;
    Path path_;
    bool held_ = false;
    std::string waiting_;
    std::unique_ptr<platform::NewFile> file_;
};

// A failure that ends the run, told once: the log's "Failed: <text>" line and, unless a page tells
// it, the "setup: <text>" line on standard error (one line, whatever the text quotes).
void report_failure(platform::Platform& platform, const Failure& failure, bool setup_line);

// "2026-12-09 03:10:42.123".
std::string time_stamp(const platform::LocalTime& time);

}  // namespace plinth
