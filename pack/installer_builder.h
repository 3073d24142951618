// Turning a stub, a manifest and an app into an installer, in memory or into the output file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "byte_io.h"
#include "common/result.h"
#include "compressor.h"
#include "package/app_manifest.h"

namespace plinth::pack {

// The largest package the installer can carry: its resource size is 32-bit, and the whole
// image must stay below the 2 GiB Windows can map (the writer checks the final image).
inline constexpr std::uint64_t kMaxPackageSize = 0x7fffffff;

enum class IconSource { icon_file, app, stub };

// One of an app folder's other files: its path in the install folder and its bytes, or where
// they are. A file given by `source` is read when its turn comes, as the walk found it (no link,
// `source_size` bytes), and freed once compressed: one file's bytes are held at a time.
struct OtherFile {
    std::string path;
    Bytes bytes;
    std::filesystem::path source;
    std::uint64_t source_size = 0;
};

struct InstallerInputs {
    std::string manifest_json;
    Bytes app;
    std::vector<OtherFile> other_files;  // none for an app of one exe
    std::optional<Bytes> icon_file;  // a .ico file's bytes, when one was given
    Bytes stub;
    Bytes languages;  // the languages resource; none when empty
    std::string license;  // the licence text (license_text.h); none when empty
    Compressor compressor = Compressor::zlib;
    CompressionProgress progress;  // told as the app is compressed, when set
};

struct BuiltInstaller {
    Bytes installer;  // built in memory; empty when written to a file
    std::uint64_t installer_size = 0;
    AppManifest manifest;
    std::size_t payload_size = 0;
    std::uint64_t other_files_size = 0;       // inflated bytes of the other files
    std::size_t other_files_resource_size = 0;  // bytes of their resource
    std::size_t pieces = 0;  // compressed pieces of every stream, each stream's end included
    IconSource icon_source = IconSource::stub;
    bool app_resources_unreadable = false;  // why the stub's icon stayed: not for want of one
};

// The installer: a copy of the stub with the package as RCDATA 1, icon group 1 from the icon
// file, else the app's first icon group, else the stub's own, and a version record made from
// the manifest; an app folder's other files as RCDATA 2, each compressed alone; the languages
// resource, when there is one, as RCDATA 3; the table of every stream's pieces as RCDATA 4; the
// licence text, when there is one, as RCDATA 5.
// Fails with a
// sentence for the developer (for the manifest, the first error of `review_manifest`); nothing is
// half done.
Result<BuiltInstaller> build_installer(const InstallerInputs& inputs);

// The same installer, byte for byte, written to `out` as it is made: the compressed streams wait
// in a temporary file beside `out`, and the installer is written to another and renamed into
// place, so that the packer holds one file and its stream at a time whatever the app's size.
// On failure `out` is left as it was and both temporary files are gone. With a `sign_command`,
// the complete installer is signed by it and checked (installer_signing.h) before it is put in
// place, so that `out` is never an unsigned or half-signed installer.
Result<BuiltInstaller> build_installer_file(const InstallerInputs& inputs, const std::filesystem::path& out,
                                            const std::string& sign_command = {});

// A copy of the stub with `package` as RCDATA 1, as it is: no check of its contents.
Result<Bytes> build_raw_installer(ByteView stub, ByteView package);

}  // namespace plinth::pack
