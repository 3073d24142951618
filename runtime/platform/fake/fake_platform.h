// An in-memory Windows for the unit tests: everything the logic may call, with fault injection
// through one shared plan.
//
//   fake::FakePlatform fake;
//   fake.files.add_file(u"C:\\Apps\\App.exe", "bytes", {.running = true});
//   fake.faults.fail("registry.set_value", 5);
//   run_something(fake.platform());
//   EXPECT_EQ(fake.registry.dump(), expected_dump);
#pragma once

#include "platform/fake/fake_dialogs.h"
#include "platform/fake/fake_files.h"
#include "platform/fake/fake_process.h"
#include "platform/fake/fake_registry.h"
#include "platform/fake/fake_shell.h"
#include "platform/fake/fake_updates.h"
#include "platform/fake/fault_plan.h"
#include "platform/platform.h"

namespace plinth::fake {

class FakePlatform {
public:
    FakePlatform()
        : registry(faults), files(faults), shell(faults, files), processes(faults), dialogs(faults),
          module(faults), system_text(faults), session(faults), network(faults), crypto(faults), locks(faults),
          platform_{registry, files,   shell,   processes, dialogs, module,
                    system_text, session, network, crypto, locks} {}
    FakePlatform(const FakePlatform&) = delete;
    FakePlatform& operator=(const FakePlatform&) = delete;

    platform::Platform& platform() { return platform_; }

    // The registry and file system as one text: equal states give equal texts.
    std::string state_dump() const { return registry.dump() + "----\n" + files.dump(); }

    FaultPlan faults;
    FakeRegistry registry;
    FakeFiles files;
    FakeShell shell;
    FakeProcesses processes;
    FakeDialogs dialogs;
    FakeModule module;
    FakeSystemText system_text;
    FakeSession session;
    FakeNetwork network;
    FakeCrypto crypto;
    FakeLocks locks;

private:
    platform::Platform platform_;
};

}  // namespace plinth::fake
