#include "installer_builder.h"

#include "file_io.h"
#include "icon_group.h"
#include "installer_signing.h"
#include "pack_manifest.h"
#include "package/app_files.h"
#include "package/container.h"
#include "package/piece_table.h"
#include "resource_writer.h"
#include "version_record.h"

namespace plinth::pack {
namespace {

// The language of the stub's existing resource, so a rewrite keeps the stub's choice.
std::uint16_t language_of(const ResourceTree& tree, std::uint16_t type, std::uint16_t id, std::uint16_t fallback) {
    const auto* languages = tree.find(ResourceName::number(type), ResourceName::number(id));
    return languages != nullptr && !languages->empty() ? languages->begin()->first : fallback;
}

Result<ResourceTree> stub_resources(ByteView stub) {
    auto tree = read_stub_resources(stub);
    if (!tree) return fail("The stub can't be used: " + tree.error().text + ".");
    return tree;
}

// Counts what reaches the output, and whether anything was tried: the writer refuses before its
// first write, and its refusals read as part of a sentence; a failed write is one already.
class CountingSink final : public ByteSink {
public:
    explicit CountingSink(ByteSink& out) : out_(out) {}
    Status write(ByteView bytes) override {
        tried_ = true;
        auto status = out_.write(bytes);
        if (status) written_ += bytes.size();
        return status;
    }
    Status write_at(std::uint64_t offset, ByteView bytes) override { return out_.write_at(offset, bytes); }
    bool tried() const { return tried_; }
    std::uint64_t written() const { return written_; }

private:
    ByteSink& out_;
    bool tried_ = false;
    std::uint64_t written_ = 0;
};

// The table of the other files' resource, which their streams follow; the layout is
// build_app_files's, whose streams are in the store here.
struct StreamedFile {
    const std::string* path;
    std::uint32_t size;
    std::uint64_t stream_size;
};

Bytes app_files_table(const std::vector<StreamedFile>& files) {
    Bytes table(kAppFilesMagic.begin(), kAppFilesMagic.end());
    append_u32(table, static_cast<std::uint32_t>(files.size()));
    for (const StreamedFile& file : files) {
        append_u16(table, static_cast<std::uint16_t>(file.path->size()));
        append_u32(table, file.size);
        append_u32(table, static_cast<std::uint32_t>(file.stream_size));
        table.insert(table.end(), file.path->begin(), file.path->end());
    }
    return table;
}

// The other files' resource: each file its own zlib stream, so that the installer inflates and
// checks them one at a time. A file read here is freed once its stream is made, checked and
// stored: the packer holds one file and its stream at a time. The streams follow each other in
// the store; the resource is the table, in memory, followed by them.
Status store_other_files(const InstallerInputs& inputs, StreamStore& store, ResourceTree& tree, BuiltInstaller& built,
                         std::vector<StreamPieces>& pieces) {
    if (inputs.other_files.size() > kMaxAppFiles) return fail("The app folder has too many files for an installer.");
    std::vector<StreamedFile> files;
    StoredSpan streams;
    std::uint64_t total = kAppFilesHeaderSize;
    for (const OtherFile& file : inputs.other_files) {
        Bytes read;
        if (!file.source.empty()) {
            auto bytes = read_file(file.source, ReadRule{kMaxAppFileSize, true, file.source_size});
            if (!bytes) return fail(bytes.error().text);
            read = std::move(*bytes);
        }
        const Bytes& data = file.source.empty() ? file.bytes : read;
        if (data.size() > kMaxAppFileSize) {
            return fail("The app folder's file \"" + file.path + "\" is too large for an installer.");
        }
        auto stream = compress(inputs.compressor, data);
        if (!stream) return fail(stream.error().text);
        total += kAppFileEntryHeaderSize + file.path.size() + stream->bytes.size();
        if (total > kMaxPackageSize) return fail("The app folder is too large for an installer.");
        built.other_files_size += data.size();
        files.push_back({&file.path, static_cast<std::uint32_t>(data.size()), stream->bytes.size()});
        pieces.push_back(std::move(stream->pieces));
        auto stored = store.append(stream->bytes);
        if (!stored) return fail(stored.error().text);
        if (files.size() == 1) streams.offset = stored->offset;
        streams.size += stored->size;
    }
    Bytes table = app_files_table(files);
    built.other_files_resource_size = table.size() + streams.size;
    tree.set(ResourceName::number(kTypeRcData), ResourceName::number(2), kLangNeutral, std::move(table), streams);
    return success();
}

// The installer written to `out`, its compressed streams kept in `store` until then.
Result<BuiltInstaller> build_into(const InstallerInputs& inputs, StreamStore& store, ByteSink& out) {
    auto manifest = check_manifest_for_packing(inputs.manifest_json);
    if (!manifest) return fail(manifest.error());
    if (inputs.manifest_json.size() > kMaxPackageSize) return fail("The manifest is too large.");

    auto tree = stub_resources(inputs.stub);
    if (!tree) return fail(tree.error().text);

    BuiltInstaller built;
    built.manifest = std::move(*manifest);

    // Icon group 1: from the icon file, else the app's own first group, else the stub's.
    std::optional<IconSet> icons;
    if (inputs.icon_file) {
        auto parsed = parse_ico(*inputs.icon_file);
        if (!parsed) return fail("The icon can't be used: " + parsed.error().text + ".");
        icons = std::move(*parsed);
        built.icon_source = IconSource::icon_file;
    } else if (auto app_image = read_pe_image(inputs.app)) {
        if (auto app_tree = read_resource_tree(*app_image)) {
            auto group = first_icon_group(*app_tree);
            if (!group) return fail("The app's icon can't be used: " + group.error().text + ".");
            icons = std::move(*group);
            if (icons) built.icon_source = IconSource::app;
        } else {
            built.app_resources_unreadable = true;
        }
    }
    if (icons) {
        auto put = put_icon_group(*tree, 1, *icons, language_of(*tree, kTypeGroupIcon, 1, kLangEnglishUs));
        if (!put) {
            return fail(std::string(built.icon_source == IconSource::app ? "The app's icon" : "The icon") +
                        " can't be used: " + put.error().text + ".");
        }
    }

    const VersionStrings strings{built.manifest.name, built.manifest.version, built.manifest.publisher,
                                 built.manifest.name + " Setup"};
    tree->set(ResourceName::number(kTypeVersion), ResourceName::number(1),
              language_of(*tree, kTypeVersion, 1, kLangEnglishUs), build_version_record(strings));

    if (inputs.app.size() > kMaxPackageSize) return fail("The app is too large for an installer.");
    auto payload = compress(inputs.compressor, inputs.app, inputs.progress);
    if (!payload) return fail(payload.error().text);
    built.payload_size = payload->bytes.size();
    const std::uint64_t package_size = kPackageHeaderSize + inputs.manifest_json.size() + payload->bytes.size();
    if (package_size > kMaxPackageSize) {
        return fail("The package (" + std::to_string(package_size) + " bytes) is too large for an installer.");
    }
    // The package's head in memory, its payload in the store: what build_package makes, in two.
    auto stored = store.append(payload->bytes);
    if (!stored) return fail(stored.error().text);
    std::vector<StreamPieces> pieces{std::move(payload->pieces)};
    payload->bytes = Bytes();
    tree->set(ResourceName::number(kTypeRcData), ResourceName::number(1), kLangNeutral,
              build_package(inputs.manifest_json, {}), *stored);

    if (!inputs.other_files.empty()) {
        std::vector<std::string> paths;
        for (const OtherFile& file : inputs.other_files) {
            if (auto problem = app_file_path_problem(file.path)) {
                return fail("The app folder's file \"" + file.path + "\" " + *problem + ".");
            }
            paths.push_back(file.path);
        }
        if (auto problem = app_file_set_problem(paths, built.manifest.exe)) return fail(*problem);
        if (auto files = store_other_files(inputs, store, *tree, built, pieces); !files) {
            return fail(files.error().text);
        }
    }
    built.pieces = 0;
    for (const StreamPieces& stream : pieces) built.pieces += stream.size();
    tree->set(ResourceName::number(kTypeRcData), ResourceName::number(4), kLangNeutral, build_piece_table(pieces));

    if (!inputs.languages.empty()) {
        if (inputs.languages.size() > kMaxPackageSize) return fail("The languages are too large for an installer.");
        tree->set(ResourceName::number(kTypeRcData), ResourceName::number(3), kLangNeutral, inputs.languages);
    }

    if (!inputs.license.empty()) {
        tree->set(ResourceName::number(kTypeRcData), ResourceName::number(5), kLangNeutral,
                  Bytes(inputs.license.begin(), inputs.license.end()));
    }

    CountingSink counted(out);
    if (auto written = write_with_resources(inputs.stub, *tree, &store, counted); !written) {
        return fail(counted.tried() ? written.error().text : "The installer can't be built: " + written.error().text + ".");
    }
    built.installer_size = counted.written();
    return built;
}

}  // namespace

Result<BuiltInstaller> build_installer(const InstallerInputs& inputs) {
    MemoryStreamStore store;
    Bytes installer;
    MemorySink sink(installer);
    auto built = build_into(inputs, store, sink);
    if (built) built->installer = std::move(installer);
    return built;
}

Result<BuiltInstaller> build_installer_file(const InstallerInputs& inputs, const std::filesystem::path& out,
                                            const std::string& sign_command) {
    FileStreamStore store(out);
    ReplacingFile file(out);
    auto built = build_into(inputs, store, file);
    if (!built) return built;
    if (!sign_command.empty()) {
        auto written = file.complete();
        if (!written) return fail(written.error().text);
        if (auto signed_file = sign_installer_file(*written, sign_command); !signed_file) {
            return fail(path_to_utf8(out) + ": " + signed_file.error().text + " Nothing was written.");
        }
        std::error_code error;
        built->installer_size = std::filesystem::file_size(*written, error);
    }
    if (auto committed = file.commit(); !committed) return fail(committed.error().text);
    return built;
}

Result<Bytes> build_raw_installer(ByteView stub, ByteView package) {
    if (package.size() > kMaxPackageSize) return fail("The package is too large for an installer.");
    auto tree = stub_resources(stub);
    if (!tree) return fail(tree.error().text);
    tree->set(ResourceName::number(kTypeRcData), ResourceName::number(1), kLangNeutral,
              Bytes(package.begin(), package.end()));
    auto installer = replace_resources(stub, *tree);
    if (!installer) return fail("The installer can't be built: " + installer.error().text + ".");
    return installer;
}

}  // namespace plinth::pack
