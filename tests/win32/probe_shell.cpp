#include "probe.h"

#include <shlobj.h>
#include <shobjidl.h>

#include "platform/win32/com_error.h"
#include "platform/win32/unique_handle.h"

namespace probe {
namespace {

using plinth::join_path;
using plinth::platform::KnownFolder;
using plinth::platform::win32::ComPtr;
using plinth::platform::win32::from_wide;
using plinth::platform::win32::wide;

struct LinkReadBack {
    HRESULT hr = E_FAIL;
    Path target, working_directory, description;
};

// Reads a shortcut back through the shell's own link object.
LinkReadBack read_link(const Path& path) {
    LinkReadBack result;
    ComPtr<IShellLinkW> link;
    result.hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                 reinterpret_cast<void**>(link.put()));
    if (FAILED(result.hr)) return result;
    ComPtr<IPersistFile> file;
    result.hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.put()));
    if (FAILED(result.hr)) return result;
    result.hr = file->Load(wide(path), STGM_READ);
    if (FAILED(result.hr)) return result;
    std::vector<wchar_t> buffer(32768);
    if (SUCCEEDED(link->GetPath(buffer.data(), static_cast<int>(buffer.size()), nullptr, 0)))
        result.target = from_wide(buffer.data());
    if (SUCCEEDED(link->GetWorkingDirectory(buffer.data(), static_cast<int>(buffer.size()))))
        result.working_directory = from_wide(buffer.data());
    if (SUCCEEDED(link->GetDescription(buffer.data(), static_cast<int>(buffer.size()))))
        result.description = from_wide(buffer.data());
    return result;
}

}  // namespace

void probe_shell(Context& context) {
    auto& shell = context.windows.shell;
    auto& files = context.windows.files;

    for (auto [folder, name] : {std::pair{KnownFolder::programs, "Programs"},
                                std::pair{KnownFolder::desktop, "Desktop"}}) {
        auto path = shell.known_folder(folder, KF_FLAG_CREATE);
        check(path.ok() && !path->empty(), std::string("known_folder ") + name,
              path.ok() ? text(*path) : hex(static_cast<std::uint32_t>(path.error().code)));
        if (path.ok()) {
            auto info = files.metadata(*path);
            check(info.ok() && info->is_folder, std::string("the ") + name + " folder exists");
        }
    }
    auto user_programs = shell.known_folder(KnownFolder::user_program_files, KF_FLAG_CREATE);
    if (user_programs.ok()) {
        auto info = files.metadata(*user_programs);
        check(info.ok() && info->is_folder, "known_folder UserProgramFiles exists",
              text(*user_programs));
    } else {
        // Wine 8 doesn't know this folder; Windows does.
        check(user_programs.error().code < 0, "known_folder UserProgramFiles fails with an HRESULT",
              hex(static_cast<std::uint32_t>(user_programs.error().code)));
    }

    // Shortcuts, read back through IShellLinkW.
    Path target = join_path(context.work, u"target.exe");
    check_code(files.write_file(target, std::vector<std::uint8_t>(16, 0)), 0, "write target.exe");
    plinth::platform::ShortcutSpec wanted;
    wanted.shortcut_path = join_path(context.work, u"Probe \u00e9.lnk");
    wanted.target_path = target;
    wanted.working_directory = context.work;
    wanted.description = u"Probe \u2713 app...";
    auto made = shell.create_shortcut(wanted);
    check(made.ok(), "create_shortcut",
          made.ok() ? "" : hex(static_cast<std::uint32_t>(made.error().code)));
    LinkReadBack back = read_link(wanted.shortcut_path);
    check(SUCCEEDED(back.hr), "the shortcut file loads", hex(static_cast<std::uint32_t>(back.hr)));
    check(back.target == target, "its target reads back", text(back.target));
    check(back.working_directory == context.work, "its working folder reads back",
          text(back.working_directory));
    check(back.description == wanted.description, "its description reads back",
          text(back.description));

    wanted.working_directory.reset();
    wanted.description = u"second";
    made = shell.create_shortcut(wanted);
    check(made.ok(), "create_shortcut over an existing one, without a working folder");
    back = read_link(wanted.shortcut_path);
    check(back.description == u"second", "the new description replaced the old");

    wanted.shortcut_path = join_path(context.work, u"missing\\x.lnk");
    made = shell.create_shortcut(wanted);
    check(!made.ok() && made.error().code < 0,
          "a shortcut in a missing folder fails with an HRESULT",
          made.ok() ? "made" : hex(static_cast<std::uint32_t>(made.error().code)) + " " +
                                   text(made.error().description));

    // The COM error text prefers the description a failing call leaves behind.
    ComPtr<ICreateErrorInfo> create;
    ComPtr<IErrorInfo> info;
    if (SUCCEEDED(CreateErrorInfo(create.put())) &&
        SUCCEEDED(create->SetDescription(const_cast<wchar_t*>(L"Probe description.\r\n"))) &&
        SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(info.put())))) {
        SetErrorInfo(0, info.get());
        auto error = plinth::platform::win32::com_error(E_FAIL);
        check(error.code == E_FAIL && error.description == u"Probe description.\r\n",
              "com_error takes the thread's error description", text(error.description));
        error = plinth::platform::win32::com_error(E_FAIL);
        check(error.description.empty(), "and takes it once", text(error.description));
        SetErrorInfo(0, info.get());
        plinth::platform::win32::clear_com_error_info();
        error = plinth::platform::win32::com_error(E_FAIL);
        check(error.description.empty(), "a stale description is cleared before a call",
              text(error.description));
    } else {
        check(false, "CreateErrorInfo makes an error information object");
    }

    shell.change_notify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST);
    check(true, "change_notify returns");

    // Environment.
    std::u16string long_value(5000, u'v');
    long_value += u"\u00e9\U0001F600";
    SetEnvironmentVariableW(L"PLINTH_PROBE_LONG", wide(long_value));
    auto got = shell.environment_variable(u"PLINTH_PROBE_LONG");
    check(got && *got == long_value, "a value longer than any fixed buffer reads back whole",
          got ? std::to_string(got->size()) + " units" : "not set");
    SetEnvironmentVariableW(L"PLINTH_PROBE_UNSET", nullptr);
    check(!shell.environment_variable(u"PLINTH_PROBE_UNSET"), "an unset variable is nothing");
    auto local = shell.environment_variable(u"LOCALAPPDATA");
    check(local && !local->empty(), "LOCALAPPDATA", local ? text(*local) : "not set");
}

}  // namespace probe
