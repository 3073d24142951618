#include "installer_builder.h"

#include "file_io.h"
#include "icon_group.h"
#include "pack_manifest.h"
#include "package/app_files.h"
#include "package/container.h"
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

Result<Bytes> write_stub(ByteView stub, const ResourceTree& tree) {
    auto installer = replace_resources(stub, tree);
    if (!installer) return fail("The installer can't be built: " + installer.error().text + ".");
    return installer;
}

// The other files' resource: each file its own zlib stream, so that the installer inflates and
// checks them one at a time. Only the streams are kept: a file read here is freed once its
// stream is made and checked.
Result<Bytes> other_files_resource(const InstallerInputs& inputs, BuiltInstaller& built) {
    if (inputs.other_files.size() > kMaxAppFiles) return fail("The app folder has too many files for an installer.");
    std::vector<Bytes> streams;
    AppFiles table;
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
        total += kAppFileEntryHeaderSize + file.path.size() + stream->size();
        if (total > kMaxPackageSize) return fail("The app folder is too large for an installer.");
        built.other_files_size += data.size();
        table.push_back({file.path, static_cast<std::uint32_t>(data.size()), {}});
        streams.push_back(std::move(*stream));
    }
    for (std::size_t i = 0; i < table.size(); ++i) table[i].stream = streams[i];
    Bytes resource = build_app_files(table);
    built.other_files_resource_size = resource.size();
    return resource;
}

}  // namespace

Result<BuiltInstaller> build_installer(const InstallerInputs& inputs) {
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
    built.payload_size = payload->size();
    const std::uint64_t package_size = kPackageHeaderSize + inputs.manifest_json.size() + payload->size();
    if (package_size > kMaxPackageSize) {
        return fail("The package (" + std::to_string(package_size) + " bytes) is too large for an installer.");
    }
    Bytes package = build_package(inputs.manifest_json, *payload);
    payload->clear();
    payload->shrink_to_fit();
    tree->set(ResourceName::number(kTypeRcData), ResourceName::number(1), kLangNeutral, std::move(package));

    if (!inputs.other_files.empty()) {
        std::vector<std::string> paths;
        for (const OtherFile& file : inputs.other_files) {
            if (auto problem = app_file_path_problem(file.path)) {
                return fail("The app folder's file \"" + file.path + "\" " + *problem + ".");
            }
            paths.push_back(file.path);
        }
        if (auto problem = app_file_set_problem(paths, built.manifest.exe)) return fail(*problem);
        auto files = other_files_resource(inputs, built);
        if (!files) return fail(files.error().text);
        tree->set(ResourceName::number(kTypeRcData), ResourceName::number(2), kLangNeutral, std::move(*files));
    }

    if (!inputs.languages.empty()) {
        if (inputs.languages.size() > kMaxPackageSize) return fail("The languages are too large for an installer.");
        tree->set(ResourceName::number(kTypeRcData), ResourceName::number(3), kLangNeutral, inputs.languages);
    }

    auto installer = write_stub(inputs.stub, *tree);
    if (!installer) return fail(installer.error().text);
    built.installer = std::move(*installer);
    return built;
}

Result<Bytes> build_raw_installer(ByteView stub, ByteView package) {
    if (package.size() > kMaxPackageSize) return fail("The package is too large for an installer.");
    auto tree = stub_resources(stub);
    if (!tree) return fail(tree.error().text);
    tree->set(ResourceName::number(kTypeRcData), ResourceName::number(1), kLangNeutral,
              Bytes(package.begin(), package.end()));
    return write_stub(stub, *tree);
}

}  // namespace plinth::pack
