// The one way the installer touches the registry: keys and values under HKEY_CURRENT_USER, texts
// handed over as NUL-terminated UTF-16, and every failed write turned into one failure text.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "common/result.h"
#include "platform/platform.h"

namespace plinth {

// An open key; destroying it closes it.
using OpenKey = std::unique_ptr<platform::RegistryKey>;

inline constexpr std::uint32_t kRegSz = 1;     // REG_SZ
inline constexpr std::uint32_t kRegDword = 4;  // REG_DWORD

// "Can't write to the registry ({subject}, error {code})."; a NUL in the subject shows as \0.
Status registry_failure(std::string_view subject, platform::ErrorCode code);

// Creates the key with its missing parents, or opens it when it exists.
Result<OpenKey> create_key(platform::Platform& platform, std::string_view key_path);

// A REG_SZ value: the UTF-16LE units and exactly one zero unit. The empty name is the default value.
Status write_text_value(platform::RegistryKey& key, std::string_view value_name, std::string_view text);

// A REG_DWORD value, little-endian.
Status write_number_value(platform::RegistryKey& key, std::string_view value_name, std::uint32_t number);

// A REG_SZ value as text without its trailing zero units, or nothing when the key or value is
// missing, of another type, unreadable, or changed size while it was being read.
std::optional<std::string> read_text_value(platform::Platform& platform, std::string_view key_path,
                                           std::string_view value_name);

// The same as a system answer: 0 with `text` set, or the error of the size query (ERROR_FILE_NOT_FOUND
// for a missing key or value, or a name with a NUL) or, `sized` then true, of the read that
// follows it (ERROR_MORE_DATA when the value grew in between).
platform::ErrorCode read_text_value(platform::Platform& platform, std::string_view key_path,
                                    std::string_view value_name, std::string& text, bool& sized);

// A REG_DWORD value, or nothing when the key or value is missing, of another type or unreadable.
std::optional<std::uint32_t> read_number_value(platform::Platform& platform, std::string_view key_path,
                                               std::string_view value_name);

// The deletions of the removal; whether they succeed is not looked at.
void delete_tree(platform::Platform& platform, std::string_view key_path);
void delete_key(platform::Platform& platform, std::string_view key_path);
void delete_value(platform::Platform& platform, std::string_view key_path, std::string_view value_name);

// "KEY\NAME" as the log names a value, the default value "KEY\(Default)".
std::string registry_value_path(std::string_view key_path, std::string_view value_name);

}  // namespace plinth
