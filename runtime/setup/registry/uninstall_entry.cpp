#include "registry/uninstall_entry.h"

#include <array>

#include "package/app_files.h"
#include "registry/document_types.h"
#include "registry/installed_files.h"
#include "registry/registry_access.h"
#include "log/run_log.h"

namespace plinth {
namespace {

// Appends the number in decimal, zero-padded to `width` characters with the sign counted, as
// "%0*d" writes it. By hand: the C library's formatter would bring its whole printf into the stub.
void append_zero_padded(std::string& out, int value, std::size_t width) {
    const long long magnitude = value < 0 ? -static_cast<long long>(value) : value;
    const std::string digits = decimal_text(static_cast<std::uint64_t>(magnitude));
    std::size_t length = digits.size();
    if (value < 0) {
        out += '-';
        ++length;
    }
    for (; length < width; ++length) out += '0';
    out += digits;
}

// YYYYMMDD.
std::string date_text(const platform::LocalDate& date) {
    std::string text;
    append_zero_padded(text, date.year, 4);
    append_zero_padded(text, date.month, 2);
    append_zero_padded(text, date.day, 2);
    return text;
}

// An app with updates gets its random number once, at its first install, and keeps it through
// every update. An app without updates never asks for randomness (it loads no crypto library).
Status write_rollout_number(platform::Platform& platform, platform::RegistryKey& key, std::string_view key_path,
                            const AppManifest& manifest) {
    if (manifest.update_feed.empty() || read_number_value(platform, key_path, kRolloutNumberValue)) {
        return success();
    }
    std::array<std::uint8_t, 4> random{};
    // Without randomness the install goes on without a number: it then takes staged releases
    // only once they reach every install.
    if (platform.crypto.random(random) != 0) return success();
    return write_number_value(key, kRolloutNumberValue,
                              random[0] | (random[1] << 8) | (random[2] << 16) | (static_cast<std::uint32_t>(random[3]) << 24));
}

Status write_values(platform::Platform& platform, platform::RegistryKey& key, std::string_view key_path,
                    const AppManifest& manifest, const UninstallEntryFacts& facts) {
    std::string icon = path_text(facts.app_path);
    icon += ",0";
    // Appended, not "\"" + ...: GCC 12 at -O3 takes that for an overlapping copy (-Wrestrict).
    std::string uninstall = "\"";
    uninstall += path_text(facts.uninstall_path);
    uninstall += "\" /uninstall";
    const std::string quiet_uninstall = uninstall + " /S";
    const std::string folder = path_text(facts.install_folder);
    const std::string date = date_text(platform.session.local_date());
    // Views of the texts above and of the manifest's: the table copies none of them.
    const struct {
        const char* name;
        std::string_view text;
    } texts[] = {
        {"DisplayName", manifest.name},
        {"DisplayVersion", manifest.version},
        {"DisplayIcon", icon},
        {"InstallLocation", folder},
        {"UninstallString", uninstall},
        {"QuietUninstallString", quiet_uninstall},
        {"InstallDate", date},
    };
    for (const auto& value : texts) {
        if (auto written = write_text_value(key, value.name, value.text); !written) return written;
    }
    // An empty publisher writes nothing, so an earlier one stays.
    if (!manifest.publisher.empty()) {
        if (auto written = write_text_value(key, "Publisher", manifest.publisher); !written) return written;
    }
    // The sum in 64 bits, so sizes beyond 4 GiB don't wrap before the division.
    const std::uint64_t kib = (facts.app_size + facts.installer_size) / 1024;
    const struct {
        const char* name;
        std::uint32_t number;
    } numbers[] = {
        {"EstimatedSize", static_cast<std::uint32_t>(kib)},
        {"NoModify", 1},
        {"NoRepair", 1},
    };
    for (const auto& value : numbers) {
        if (auto written = write_number_value(key, value.name, value.number); !written) return written;
    }
    if (auto written = write_rollout_number(platform, key, key_path, manifest); !written) return written;
    if (!facts.app_files.empty()) {
        return write_text_value(key, kInstalledFilesValue, join_installed_paths(facts.app_files));
    }
    return success();
}

}  // namespace

std::string uninstall_key_path(std::string_view id) {
    std::string path = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
    path += id;
    return path;
}

RecordedInstall recorded_install(platform::Platform& platform, std::string_view id) {
    const std::string key = uninstall_key_path(id);
    // Read in place, in the order of the members (a braced list is evaluated in order).
    RecordedInstall recorded{read_text_value(platform, key, "DisplayVersion"),
                             read_text_value(platform, key, "DisplayIcon"),
                             read_number_value(platform, key, kRolloutNumberValue),
                             read_text_value(platform, key, "InstallLocation")};
    // The icon is the exe's first, as write_values records it.
    if (recorded.exe && recorded.exe->ends_with(",0")) {
        recorded.exe->resize(recorded.exe->size() - 2);
    } else if (recorded.exe) {
        recorded.exe->clear();
    }
    return recorded;
}

Status write_uninstall_entry(platform::Platform& platform, const AppManifest& manifest,
                             const UninstallEntryFacts& facts) {
    const std::string key_path = uninstall_key_path(manifest.id);
    auto key = create_key(platform, key_path);
    if (!key) return pass_on(std::move(key.error()));
    if (auto written = write_values(platform, **key, key_path, manifest, facts); !written) return written;
    // The associations are written while the entry's key is still open; it closes on return.
    if (auto written = write_associations(platform, manifest.id, manifest.documents, facts.app_path); !written) {
        return written;
    }
    platform.log->write("Wrote the uninstall entry", key_path);
    return success();
}

}  // namespace plinth
