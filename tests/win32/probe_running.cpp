#include <thread>

#include "probe.h"

namespace probe {

using plinth::join_path;

// A copy of the probe runs (sleeping) while its file is deleted and renamed: the case of an app
// that is open during an update or removal.
void probe_running_exe(Context& context) {
    auto& files = context.windows.files;
    auto own = context.windows.module.own_path();
    check(own.ok(), "own_path", own.ok() ? text(*own) : std::to_string(own.error()));
    if (!own.ok()) return;
    auto bytes = read_whole(files, *own);
    check(bytes.ok() && bytes->size() > 1024, "read_file of the running program itself");
    if (!bytes.ok()) return;

    Path copy = join_path(context.work, u"running.exe");
    check_code(files.write_file(copy, *bytes), 0, "write a copy of it");
    plinth::platform::ProcessStart start;
    start.application = copy;
    start.command_line = u"\"" + copy + u"\" --sleep 5000";
    check_code(context.windows.processes.start(start), 0, "start the copy");
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));

    check_code(files.delete_file(copy), ERROR_ACCESS_DENIED,
               "delete_file of a running program is ERROR_ACCESS_DENIED");
    check(files.delete_file_by_handle(copy, 0x13) != 0,
          "delete_file_by_handle of a running program fails too");
    check(files.metadata(copy).ok(), "the running program's file is still there");
    Path aside = join_path(context.work, u"running.exe.1.old");
    check_code(files.rename(copy, aside), 0, "a running program's file can be renamed");
    check(!files.metadata(copy).ok() && files.metadata(aside).ok(),
          "it now has the .old name, and its old name is free");
    check_code(files.write_file(copy, *bytes), 0, "a new file takes the old name");

    plinth::platform::ProcessStart missing;
    missing.command_line = u"\"" + join_path(context.work, u"missing.exe") + u"\"";
    check_code(context.windows.processes.start(missing), ERROR_FILE_NOT_FOUND,
               "starting a missing program is ERROR_FILE_NOT_FOUND");
}

}  // namespace probe
