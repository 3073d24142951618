#include "package/manifest.h"

#include <optional>
#include <utility>

#include "failures/message_failure.h"
#include "package/file_name_rules.h"
#include "package/link_rules.h"
#include "package/strict_json.h"
#include "package/signer_name.h"
#include "package/update_url.h"

namespace plinth {
namespace {

// The member's text copied into `into`, which stays empty when it is missing or no string.
void take_text(const JsonValue& object, const char* key, std::string& into) {
    const JsonValue* value = object.find(key);
    if (value != nullptr && value->is_string()) into = value->text;
}

DocumentType read_document_type(const JsonValue& element) {
    DocumentType document;
    take_text(element, "name", document.name);
    if (const JsonValue* extensions = element.find("extensions"); extensions && extensions->is_array()) {
        for (const JsonValue& extension : extensions->elements) {
            if (extension.is_string()) document.extensions.push_back(extension.text);
        }
    }
    if (const JsonValue* owned = element.find("owned"); owned && owned->is_boolean()) {
        document.owned = owned->boolean;
    }
    // Only an integer written without sign, fraction or exponent that fits in 64 bits is an icon
    // number; the reader gives every other number another kind.
    if (const JsonValue* icon = element.find("icon"); icon && icon->is_unsigned_integer()) {
        document.icon = static_cast<std::uint16_t>(icon->integer & 0xFFFF);
    }
    return document;
}

// The usable schemes, the first of each in any case, up to the limit; the rest is left out.
std::string read_protocols(const JsonValue& root) {
    std::string protocols;
    const JsonValue* list = root.find("protocols");
    if (list == nullptr || !list->is_array()) return protocols;
    std::size_t count = 0;
    for (const JsonValue& element : list->elements) {
        if (!element.is_string() || !usable_url_scheme(element.text) || lists_scheme(protocols, element.text)) continue;
        if (++count > kMaxUrlProtocols) break;
        if (count > 1) protocols += '|';
        protocols += element.text;
    }
    return protocols;
}

// A hook's arguments: an array of at most 16 strings, none holding a NUL; anything else is no
// hook at all, rather than a hook started with arguments other than those written.
std::optional<std::vector<std::string>> read_hook(const JsonValue& hooks, const char* key) {
    const JsonValue* list = hooks.find(key);
    if (list == nullptr || !list->is_array() || list->elements.size() > kMaxHookArguments) return std::nullopt;
    std::vector<std::string> arguments;
    for (const JsonValue& element : list->elements) {
        if (!element.is_string() || element.text.find('\0') != std::string::npos) return std::nullopt;
        arguments.push_back(element.text);
    }
    return arguments;
}

AppHooks read_hooks(const JsonValue& root) {
    AppHooks hooks;
    if (const JsonValue* found = root.find("hooks"); found && found->is_object()) {
        hooks.installed = read_hook(*found, "installed");
        hooks.updated = read_hook(*found, "updated");
        hooks.removing = read_hook(*found, "removing");
    }
    if (const JsonValue* refuse = root.find("removingMayRefuse"); refuse && refuse->is_boolean()) {
        hooks.removing_may_refuse = refuse->boolean;
    }
    return hooks;
}

// Why a required text is unusable, or nothing when it is a non-empty string.
std::optional<std::string> required_text_problem(const JsonValue& root, const char* key) {
    const JsonValue* value = root.find(key);
    const std::string quoted = std::string("\"") + key + "\"";
    if (value == nullptr) return quoted + " is missing";
    if (!value->is_string()) return quoted + " is not a string (it is " + json_type_name(value->type) + ")";
    if (value->text.empty()) return quoted + " is empty";
    return std::nullopt;
}

}  // namespace

std::string manifest_size_problem(std::size_t size) {
    return "The manifest is " + decimal_text(size) + " bytes; it may be at most " +
           decimal_text(kMaxManifestSize) + " bytes (1 MiB).";
}

namespace {

// The packer explains a refusal to the app's developer; the runtime shows one text for every
// refusal, so its instance composes no reason and the texts stay out of the stub. The manifest is
// filled in place: it is moved nowhere on its way into the package.
template <bool kExplain>
std::optional<std::string> read_manifest(std::string_view text, AppManifest& manifest) {
    const auto refuse = [](const auto& reason) -> std::optional<std::string> {
        if constexpr (kExplain) {
            return reason();
        } else {
            return std::string();
        }
    };
    if (text.size() > kMaxManifestSize) return refuse([&] { return manifest_size_problem(text.size()); });
    auto parsed = parse_strict_json(text);
    if (!parsed) return refuse([&] { return "The manifest isn't valid JSON: " + parsed.error() + "."; });
    const JsonValue& root = *parsed;

    if (!root.is_object()) {
        return refuse([&] {
            return std::string("The manifest is a JSON ") + json_type_name(root.type) +
                   ", not an object, so \"name\", \"id\" and \"exe\" are missing.";
        });
    }
    for (const char* key : {"name", "id", "exe"}) {
        if constexpr (kExplain) {
            if (auto problem = required_text_problem(root, key)) {
                return "The manifest's " + *problem + "; it must be a non-empty string.";
            }
        } else {
            const JsonValue* value = root.find(key);
            if (value == nullptr || !value->is_string() || value->text.empty()) return refuse(0);
        }
    }

    // The exe is joined to the install folder and written, swept and deleted there: a path, the
    // installer's own name or a leftover's name would reach another file.
    if constexpr (kExplain) {
        if (auto problem = app_exe_problem(root.find("exe")->text)) return problem;
    } else {
        if (!usable_app_exe(root.find("exe")->text)) return refuse(0);
    }

    if (const JsonValue* documents = root.find("documents"); documents && documents->is_array()) {
        for (const JsonValue& element : documents->elements) manifest.documents.push_back(read_document_type(element));
    }
    take_text(root, "name", manifest.name);
    take_text(root, "id", manifest.id);
    take_text(root, "version", manifest.version);
    take_text(root, "publisher", manifest.publisher);
    take_text(root, "exe", manifest.exe);
    if (const JsonValue* updates = root.find("updates"); updates && updates->is_object()) {
        take_text(*updates, "feed", manifest.update_feed);
        if (!split_update_url(manifest.update_feed)) manifest.update_feed.clear();
        if (const JsonValue* publishers = updates->find("publishers"); publishers && publishers->is_array()) {
            for (const JsonValue& element : publishers->elements) {
                if (element.is_string() && parse_x500_name(element.text)) manifest.update_publishers.push_back(element.text);
            }
        }
    }
    take_text(root, "appUserModelId", manifest.app_user_model_id);
    if (!usable_app_user_model_id(manifest.app_user_model_id)) manifest.app_user_model_id.clear();
    manifest.protocols = read_protocols(root);
    manifest.hooks = read_hooks(root);
    return std::nullopt;
}

}  // namespace

Expected<AppManifest, std::string> check_app_manifest(std::string_view text) {
    AppManifest manifest;
    if (auto problem = read_manifest<true>(text, manifest)) return unexpected(std::move(*problem));
    return manifest;
}

bool read_app_manifest(std::string_view text, AppManifest& manifest) {
    return !read_manifest<false>(text, manifest);
}

Result<AppManifest> parse_app_manifest(std::string_view text) {
    AppManifest manifest;
    if (!read_app_manifest(text, manifest)) return fail(Message::unreadable_package);
    return manifest;
}

}  // namespace plinth
