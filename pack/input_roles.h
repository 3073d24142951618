// Each file on the packer's command line checked for the role it is given, before it is used:
// the app must be a Windows program, the stub a plinth runtime of this packer's version, the icon
// a .ico file, and the output neither a folder nor one of the inputs.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "byte_io.h"

namespace plinth::pack {

// The name in the runtime stub's version record whose value is the plinth version it belongs to.
// The packer replaces the version record, so installers don't carry it: only a bare runtime does.
inline constexpr std::u16string_view kRuntimeMarkName = u"PlinthRuntime";

// Why `bytes` can't be the app, as a sentence ("The app isn't a Windows executable: it looks
// like JSON text ..."), or nothing. The app must be an executable image (MZ and PE
// headers) for x86-64, x86 or ARM64, for the Windows GUI or console subsystem, and not a DLL.
std::optional<std::string> app_problem(ByteView bytes);

// Why `bytes` can't be the stub, as a sentence, or nothing: it must be a stub the writer can
// rewrite, and carry the runtime mark of `packer_version` ("it is plinth runtime 0.2.0, ...",
// "it is \"Notepad\" 10.0 ...").
std::optional<std::string> stub_problem(ByteView bytes, std::string_view packer_version);

// A hint for an icon file that is another image format (PNG, JPEG, GIF, BMP, WebP, TIFF, SVG,
// ICNS) or a program: how to make a .ico from it. Nothing for anything else, which the icon
// reader then judges. `shown` is the file's name as given, used in the suggested command.
std::optional<std::string> icon_format_hint(ByteView bytes, std::string_view shown);

// The integer ids of an executable's icon groups, or nothing when its resources can't be read.
std::optional<std::set<std::uint16_t>> icon_group_ids(ByteView executable);

// One input file and the option that named it ("--app").
struct NamedInput {
    std::string option;
    std::filesystem::path path;
};

// Why `out` can't be written, as a sentence, or nothing: it names a folder (an existing one, or
// one written with a trailing separator), or it is the same file as one of the inputs, through
// any path or link (compared by file identity, not by name), or it lies inside `app_folder`
// (the app given as a folder, whose next build would pack the installer). Each refusal that
// proposes a name proposes one that is accepted. Nothing is read or written.
std::optional<std::string> output_problem(const std::string& out_text, const std::filesystem::path& out,
                                          const std::vector<NamedInput>& inputs,
                                          const std::string& app_folder_text = {});

// Whether `path` would be written somewhere inside `folder` (both may not exist yet).
bool is_inside_folder(const std::filesystem::path& path, const std::filesystem::path& folder);

}  // namespace plinth::pack
