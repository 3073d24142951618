// Every real Windows implementation of the seam, gathered for the program's entry.
#pragma once

#include "platform/platform.h"
#include "platform/win32/crypto.h"
#include "platform/win32/dialogs.h"
#include "platform/win32/files.h"
#include "platform/win32/locks.h"
#include "platform/win32/module.h"
#include "platform/win32/network.h"
#include "platform/win32/processes.h"
#include "platform/win32/registry.h"
#include "platform/win32/session.h"
#include "platform/win32/shell.h"
#include "platform/win32/system_text.h"

namespace plinth::platform::win32 {

struct Win32Platform {
    Win32Registry registry;
    Win32Files files;
    Win32Shell shell;
    Win32Processes processes;
    Win32Dialogs dialogs;
    Win32Module module;
    Win32SystemText system_text;
    Win32Session session;
    Win32Network network;
    Win32Crypto crypto;
    Win32Locks locks;

    Platform view() {
        return Platform{registry, files,  shell,       processes, dialogs, module,
                        system_text, session, network, crypto,    locks};
    }
};

}  // namespace plinth::platform::win32
