#include "package/manifest.h"

#include <optional>
#include <utility>

#include "package/file_name_rules.h"
#include "package/strict_json.h"

namespace plinth {
namespace {

using nlohmann::json;

const json* member(const json& object, const char* key) {
    if (!object.is_object()) return nullptr;
    const auto found = object.find(key);
    return found == object.end() ? nullptr : &*found;
}

std::string text_member(const json& object, const char* key) {
    const json* value = member(object, key);
    return value != nullptr && value->is_string() ? value->get<std::string>() : std::string();
}

DocumentType read_document_type(const json& element) {
    DocumentType document;
    document.name = text_member(element, "name");
    if (const json* extensions = member(element, "extensions"); extensions && extensions->is_array()) {
        for (const json& extension : *extensions) {
            if (extension.is_string()) document.extensions.push_back(extension.get<std::string>());
        }
    }
    if (const json* owned = member(element, "owned"); owned && owned->is_boolean()) {
        document.owned = owned->get<bool>();
    }
    // Only an integer written without sign, fraction or exponent that fits in 64 bits is an icon
    // number; the parser gives every other number another type.
    if (const json* icon = member(element, "icon"); icon && icon->is_number_unsigned()) {
        document.icon = static_cast<std::uint16_t>(icon->get<std::uint64_t>() & 0xFFFF);
    }
    return document;
}

// Why a required text is unusable, or nothing when it is a non-empty string.
std::optional<std::string> required_text_problem(const json& root, const char* key) {
    const json* value = member(root, key);
    const std::string quoted = std::string("\"") + key + "\"";
    if (value == nullptr) return quoted + " is missing";
    if (!value->is_string()) return quoted + " is not a string (it is " + value->type_name() + ")";
    if (value->get_ref<const std::string&>().empty()) return quoted + " is empty";
    return std::nullopt;
}

}  // namespace

Expected<AppManifest, std::string> check_app_manifest(std::string_view text) {
    auto parsed = parse_strict_json(text);
    if (!parsed) return unexpected("The manifest isn't valid JSON: " + parsed.error() + ".");
    const json& root = *parsed;

    if (!root.is_object()) {
        return unexpected(std::string("The manifest is a JSON ") + root.type_name() +
                          ", not an object, so \"name\", \"id\" and \"exe\" are missing.");
    }
    for (const char* key : {"name", "id", "exe"}) {
        if (auto problem = required_text_problem(root, key)) {
            return unexpected("The manifest's " + *problem + "; it must be a non-empty string.");
        }
    }

    // The exe is joined to the install folder and written, swept and deleted there: a path, the
    // installer's own name or a leftover's name would reach another file.
    if (auto problem = app_exe_problem(member(root, "exe")->get_ref<const std::string&>())) {
        return unexpected(std::move(*problem));
    }

    AppManifest manifest;
    if (const json* documents = member(root, "documents"); documents && documents->is_array()) {
        for (const json& element : *documents) manifest.documents.push_back(read_document_type(element));
    }
    manifest.name = text_member(root, "name");
    manifest.id = text_member(root, "id");
    manifest.version = text_member(root, "version");
    manifest.publisher = text_member(root, "publisher");
    manifest.exe = text_member(root, "exe");
    return manifest;
}

Result<AppManifest> parse_app_manifest(std::string_view text) {
    auto checked = check_app_manifest(text);
    if (!checked) return fail(std::string(kUnreadablePackageText));
    return std::move(*checked);
}

}  // namespace plinth
