#include "installer_report.h"

#include <algorithm>
#include <sstream>

#include <zlib.h>

#include "authenticode_signer.h"

#include "locations/folder_name.h"
#include "package/app_files.h"
#include "package/container.h"
#include "package/link_rules.h"
#include "package/load_package.h"
#include "package/payload.h"
#include "package/piece_table.h"
#include "pe_image.h"
#include "registry/document_types.h"
#include "registry/uninstall_entry.h"
#include "resource_tree.h"
#include "texts/languages_resource.h"
#include "texts/messages.h"
#include "texts/text_lookup.h"

namespace plinth::pack {
namespace {

constexpr std::string_view kHive = "HKEY_CURRENT_USER\\";

// The installer's resources, read from its PE image.
Result<ResourceTree> installer_resources(ByteView installer) {
    auto image = read_pe_image(installer);
    if (!image) return fail(image.error().text);
    return read_resource_tree(*image);
}

// The bytes of an RCDATA resource in its first language; null when there is none.
const Bytes* find_rcdata(const ResourceTree& tree, const ResourceName& name) {
    const auto* languages = tree.find(ResourceName::number(kTypeRcData), name);
    return languages == nullptr || languages->empty() ? nullptr : &languages->begin()->second.bytes;
}

Result<Package> installer_package(const ResourceTree& tree) {
    const Bytes* resource = find_rcdata(tree, ResourceName::number(1));
    if (resource == nullptr) return fail(std::string(kNoPackageText));
    return read_package(*resource);
}

// The piece table's line: how many pieces, or why an update's map will see each stream whole.
std::string pieces_line(const Bytes* table_bytes, ByteView payload, const AppFiles& files) {
    if (table_bytes == nullptr) return "no table (each stream is one piece)";
    const auto table = read_piece_table(*table_bytes);
    if (!table || table->size() != 1 + files.size()) return "the table is damaged (each stream is one piece)";
    std::size_t count = 0;
    for (std::size_t i = 0; i < table->size(); ++i) {
        std::uint64_t sum = 0;
        for (std::uint32_t length : (*table)[i]) sum += length;
        if (sum != (i == 0 ? payload.size() : files[i - 1].stream.size())) {
            return "the table doesn't match the streams (each stream is one piece)";
        }
        count += (*table)[i].size();
    }
    return std::to_string(count) + " in " + std::to_string(table->size()) + (table->size() == 1 ? " stream" : " streams");
}

std::vector<std::string> protocol_schemes(const AppManifest& m) {
    std::vector<std::string> schemes;
    for (std::string_view list = m.protocols; !list.empty();) schemes.emplace_back(next_scheme(list));
    return schemes;
}

// What the manifest says of the app's life after its install: updates, links, taskbar identity.
void describe_delivery(std::ostringstream& out, const AppManifest& m) {
    const auto put_or_none = [&out](const std::string& value) {
        if (value.empty()) {
            out << "none";
        } else {
            out << quoted(value);
        }
    };
    out << "  update feed: ";
    put_or_none(m.update_feed);
    out << "\n  protocols:  ";
    const auto schemes = protocol_schemes(m);
    if (schemes.empty()) out << " none";
    for (std::size_t i = 0; i < schemes.size(); ++i) out << (i ? ", " : " ") << quoted(schemes[i]);
    out << "\n  AppUserModelID: ";
    put_or_none(m.app_user_model_id);
    out << "\n";
}

// Who signed the file, as its Authenticode signature names the signer; not verified here.
void describe_signature(std::ostringstream& out, ByteView installer) {
    out << "Signature\n  ";
    const auto signer = authenticode_signer(installer);
    if (!signer) {
        out << "unreadable: " << signer.error().text << "\n";
    } else if (!*signer) {
        out << "not signed\n";
    } else {
        out << "signed by: " << **signer << " (not verified here: osslsigncode verify or signtool verify /pa)\n";
    }
}

}  // namespace

Result<AppManifest> installer_manifest(ByteView installer) {
    auto tree = installer_resources(installer);
    if (!tree) return fail(tree.error().text);
    auto package = installer_package(*tree);
    if (!package) return fail(package.error().text);
    return std::move(package->manifest);
}

Result<std::string> installer_notices(ByteView installer) {
    auto tree = installer_resources(installer);
    if (!tree) return fail(tree.error().text);
    const Bytes* notices = find_rcdata(*tree, ResourceName::named(u"NOTICES"));
    if (notices == nullptr) {
        return fail("It carries no licence notices: it was made from a runtime older than this packer, or not from plinth's.");
    }
    const Bytes& packed = *notices;
    // gzip (zlib's window bits + 16); a few KiB of text, so anything past 1 MiB is damage.
    constexpr std::size_t kMaxNotices = 1 << 20;
    z_stream stream{};
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) return fail("Its notices can't be read.");
    std::string text(kMaxNotices, '\0');
    stream.next_in = const_cast<Bytef*>(packed.data());
    stream.avail_in = static_cast<uInt>(packed.size());
    stream.next_out = reinterpret_cast<Bytef*>(text.data());
    stream.avail_out = static_cast<uInt>(text.size());
    const int result = inflate(&stream, Z_FINISH);
    text.resize(stream.total_out);
    inflateEnd(&stream);
    if (result != Z_STREAM_END) return fail("Its notices can't be read: the resource NOTICES is damaged.");
    return text;
}

Result<std::string> describe_installer(ByteView installer) {
    auto tree = installer_resources(installer);
    if (!tree) return fail(tree.error().text);
    auto package = installer_package(*tree);
    if (!package) return fail(package.error().text);
    auto app = inflate_payload(package->payload);
    if (!app) return fail(app.error().text);

    const AppManifest& m = package->manifest;
    AppFiles files;
    const Bytes* table_bytes = find_rcdata(*tree, ResourceName::number(2));
    if (table_bytes != nullptr) {
        auto table = read_app_files(*table_bytes);
        if (!table) return fail(table.error().text);
        files = std::move(*table);
    }
    std::ostringstream out;
    out << "App manifest\n"
        << "  name:       " << quoted(m.name) << "\n"
        << "  id:         " << quoted(m.id) << "\n"
        << "  version:    " << quoted(m.version) << "\n"
        << "  publisher:  " << quoted(m.publisher) << "\n"
        << "  exe:        " << quoted(m.exe) << "\n"
        << "  documents:  " << m.documents.size() << "\n";
    for (std::size_t i = 0; i < m.documents.size(); ++i) {
        const DocumentType& d = m.documents[i];
        out << "    documents[" << i << "]: " << quoted(d.name) << ", extensions:";
        if (d.extensions.empty()) out << " none";
        for (std::size_t e = 0; e < d.extensions.size(); ++e) out << (e ? ", " : " ") << quoted(d.extensions[e]);
        out << (d.owned ? ", owned" : ", not owned");
        if (d.icon) {
            out << ", icon " << *d.icon;
        } else {
            out << ", no icon";
        }
        out << "\n";
    }

    describe_delivery(out, m);

    const std::string folder = folder_name(m.name);
    out << "What it writes (per user)\n"
        << "  install folder:  <user's Programs folder>\\" << folder << "\\ with " << quoted(m.exe)
        << " and \"uninstall.exe\"" << (files.empty() ? "" : ", and the other files listed below") << "\n"
        << "  shortcut file:   " << quoted(folder + ".lnk") << " (Start menu; desktop when chosen)\n"
        << "  uninstall key:   " << kHive << uninstall_key_path(m.id) << "\n";
    for (const DocumentType& d : m.documents) {
        const std::string id = prog_id(m.id, d);
        out << "  ProgID key:      " << kHive << "Software\\Classes\\" << id << "\n";
        for (const std::string& extension : d.extensions) {
            out << "  extension key:   " << kHive << "Software\\Classes\\." << extension
                << (d.owned ? "  (default value: " + id + "; " : "  (") << "OpenWithProgids\\" << id << ")\n";
        }
    }

    for (const std::string& scheme : protocol_schemes(m)) {
        out << "  protocol key:    " << kHive << "Software\\Classes\\" << scheme << "\n";
    }

    out << "Payload\n"
        << "  compressed:  " << package->payload.size() << " bytes\n"
        << "  inflated:    " << app->size() << " bytes\n";
    if (!files.empty()) {
        std::uint64_t compressed = 0;
        std::uint64_t inflated = 0;
        for (const AppFile& file : files) {
            compressed += file.stream.size();
            inflated += file.size;
        }
        // The packed size as `build` reports it: the whole resource, streams and table.
        const std::size_t packed = table_bytes->size();
        out << "Other files: " << files.size() << ", " << inflated << " bytes, " << packed << " bytes packed ("
            << compressed << " of compressed data, " << packed - compressed << " of their table)\n";
        for (const AppFile& file : files) out << "  " << file.path << "  " << file.size << " bytes\n";
    }

    out << "Pieces: " << pieces_line(find_rcdata(*tree, ResourceName::number(4)), package->payload, files) << "\n";

    // The page languages, each with its size and how many of the messages it has.
    const Bytes* texts = find_rcdata(*tree, ResourceName::number(3));
    if (texts == nullptr) {
        out << "Languages: English only\n";
    } else {
        const Bytes& bytes = *texts;
        std::ostringstream list;
        std::size_t count = 0;
        LanguagesReader reader(bytes);
        for (CarriedLanguage language; reader.next(language); ++count) {
            list << "  " << language.tag << "  " << language.table.size() << " bytes, ";
            auto table = inflate_payload(language.table, kMaxTableSize);
            if (!table) {
                list << "damaged (English is shown)\n";
                continue;
            }
            const TextLookup lookup(language.tag, std::move(*table));
            std::size_t translated = 0;
            for (std::size_t i = 0; i < kMessageCount; ++i) translated += lookup.has_text(static_cast<Message>(i)) ? 1 : 0;
            list << translated << " of " << kMessageCount << " texts\n";
        }
        out << "Languages: English and " << count << " more, " << bytes.size() << " bytes\n" << list.str();
    }
    // The licence window's text: its first line, and its size.
    if (const Bytes* license = find_rcdata(*tree, ResourceName::number(5))) {
        const std::string_view text(reinterpret_cast<const char*>(license->data()), license->size());
        out << "License: " << quoted(visible_controls(text.substr(0, text.find('\n')))) << ", " << license->size()
            << " bytes\n";
    } else {
        out << "License: none\n";
    }
    describe_signature(out, installer);
    return out.str();
}

}  // namespace plinth::pack
