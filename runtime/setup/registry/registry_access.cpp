#include "registry/registry_access.h"

#include <bit>
#include <span>
#include <vector>

#include "common/text.h"
#include "failures/message_failure.h"
#include "log/run_log.h"

namespace plinth {
namespace {

constexpr std::uint32_t kNonVolatile = 0;          // REG_OPTION_NON_VOLATILE
constexpr std::uint32_t kKeyWrite = 0x00020006;    // KEY_WRITE
constexpr std::uint32_t kRestrictSz = 0x00000002;     // RRF_RT_REG_SZ
constexpr std::uint32_t kRestrictDword = 0x00000010;  // RRF_RT_REG_DWORD

// Windows reads key and value names only up to a NUL: one inside a name (an id or extension
// written as \u0000 in the manifest) would make the call reach another key or value, perhaps
// another program's. Such names are never handed over.
bool has_nul(std::string_view name) { return name.find('\0') != std::string_view::npos; }

// A key or value that isn't there is no event: the removal deletes what may never have been made.
// A value's name (`value`, when given) follows its key's path after a backslash.
void log_deletion(platform::Platform& platform, std::string_view what, std::string_view path,
                  const std::string_view* value, platform::ErrorCode code) {
    if (code == platform::codes::kFileNotFound) return;
    std::string text(what);
    text += path;
    if (value) {
        text += '\\';
        text += *value;
    }
    if (code != platform::codes::kSuccess) {
        text += " (error ";
        text += decimal_text(code);
        text += ')';
        return platform.log->write("Can't delete", text);
    }
    platform.log->write("Deleted", text);
}

}  // namespace

Status registry_failure(std::string_view subject, platform::ErrorCode code) {
    return fail(Message::cant_write_registry, {subject, decimal_text(code)});
}

Result<OpenKey> create_key(platform::Platform& platform, std::string_view key_path) {
    if (has_nul(key_path)) return registry_failure(key_path, platform::codes::kInvalidName);
    auto key = platform.registry.create_key(to_utf16(key_path), kNonVolatile, kKeyWrite);
    if (!key) return registry_failure(key_path, key.error());
    return OpenKey(std::move(*key));
}

namespace {

// Writes the value's bytes as the type says; the one check of a value's name and the one failure
// text for a write, whatever its type.
[[gnu::noinline]] Status set_value(platform::RegistryKey& key, std::string_view value_name, std::uint32_t type,
                                   std::span<const std::uint8_t> data) {
    const auto code =
        has_nul(value_name) ? platform::codes::kInvalidName : key.set_value(to_utf16(value_name), type, data);
    if (code != platform::codes::kSuccess) return registry_failure(value_name, code);
    return success();
}

// The removal's deletion of a key, with all it holds when `tree` says.
[[gnu::noinline]] void delete_key(platform::Platform& platform, std::string_view key_path, bool tree) {
    if (has_nul(key_path)) return;
    const std::u16string path = to_utf16(key_path);
    log_deletion(platform, "the registry key ", key_path, nullptr,
                 tree ? platform.registry.delete_tree(path) : platform.registry.delete_key(path));
}

}  // namespace

Status write_text_value(platform::RegistryKey& key, std::string_view value_name, std::string_view text) {
    // On little-endian Windows the string's own bytes are the UTF-16LE units, and its terminator
    // is the one zero unit.
    static_assert(std::endian::native == std::endian::little);
    const std::u16string units = to_utf16(text);
    const std::span<const std::uint8_t> data(reinterpret_cast<const std::uint8_t*>(units.c_str()),
                                             (units.size() + 1) * 2);
    return set_value(key, value_name, kRegSz, data);
}

Status write_number_value(platform::RegistryKey& key, std::string_view value_name, std::uint32_t number) {
    const std::uint8_t data[4] = {
        static_cast<std::uint8_t>(number & 0xFF),
        static_cast<std::uint8_t>((number >> 8) & 0xFF),
        static_cast<std::uint8_t>((number >> 16) & 0xFF),
        static_cast<std::uint8_t>((number >> 24) & 0xFF),
    };
    return set_value(key, value_name, kRegDword, data);
}

platform::ErrorCode read_text_value(platform::Platform& platform, std::string_view key_path,
                                    std::string_view value_name, std::string& text, bool& sized) {
    sized = false;
    if (has_nul(key_path) || has_nul(value_name)) return platform::codes::kFileNotFound;
    const std::u16string path = to_utf16(key_path);
    const std::u16string name = to_utf16(value_name);
    std::uint32_t count = 0;
    platform::ErrorCode code = platform.registry.get_value(path, name, kRestrictSz, nullptr, &count);
    if (code != platform::codes::kSuccess) return code;
    sized = true;
    // One unit more than the value needs, so an odd byte count still fits whole and the buffer
    // is never empty.
    std::vector<char16_t> buffer(count / 2 + 1, u'\0');
    std::uint32_t returned = count;
    code = platform.registry.get_value(path, name, kRestrictSz, buffer.data(), &returned);
    if (code != platform::codes::kSuccess) return code;  // also when the value grew in between
    // A success that claims more bytes than were offered would point past the buffer.
    if (returned > count) return platform::codes::kMoreData;
    std::u16string_view units(buffer.data(), returned / 2);
    while (!units.empty() && units.back() == u'\0') units.remove_suffix(1);
    text = to_utf8(units);
    return platform::codes::kSuccess;
}

std::optional<std::string> read_text_value(platform::Platform& platform, std::string_view key_path,
                                           std::string_view value_name) {
    std::string text;
    bool sized;
    if (read_text_value(platform, key_path, value_name, text, sized) != platform::codes::kSuccess) return std::nullopt;
    return text;
}

std::optional<std::uint32_t> read_number_value(platform::Platform& platform, std::string_view key_path,
                                               std::string_view value_name) {
    if (has_nul(key_path) || has_nul(value_name)) return std::nullopt;
    std::uint8_t bytes[4] = {};
    std::uint32_t count = sizeof bytes;
    if (platform.registry.get_value(to_utf16(key_path), to_utf16(value_name), kRestrictDword, bytes, &count) !=
            platform::codes::kSuccess ||
        count != sizeof bytes) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24));
}

void delete_tree(platform::Platform& platform, std::string_view key_path) { delete_key(platform, key_path, true); }

void delete_key(platform::Platform& platform, std::string_view key_path) { delete_key(platform, key_path, false); }

void delete_value(platform::Platform& platform, std::string_view key_path, std::string_view value_name) {
    if (has_nul(key_path) || has_nul(value_name)) return;
    const platform::ErrorCode code = platform.registry.delete_key_value(to_utf16(key_path), to_utf16(value_name));
    // The key's default value has no name; regedit calls it "(Default)".
    const std::string_view shown = value_name.empty() ? std::string_view("(Default)") : value_name;
    log_deletion(platform, "the registry value ", key_path, &shown, code);
}

std::string registry_value_path(std::string_view key_path, std::string_view value_name) {
    // The key's default value has no name; regedit calls it "(Default)".
    std::string path(key_path);
    path += '\\';
    path += value_name.empty() ? std::string_view("(Default)") : value_name;
    return path;
}

}  // namespace plinth
