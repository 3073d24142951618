#include "registry/uninstall_entry.h"

#include <cstdio>

#include "package/app_files.h"
#include "registry/document_types.h"
#include "registry/installed_files.h"
#include "registry/registry_access.h"

namespace plinth {
namespace {

std::string date_text(const platform::LocalDate& date) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02d", date.year, date.month, date.day);
    return text;
}

Status write_values(platform::Platform& platform, platform::RegistryKey& key,
                    const AppManifest& manifest, const UninstallEntryFacts& facts) {
    const std::string app = path_text(facts.app_path);
    const std::string uninstaller = "\"" + path_text(facts.uninstall_path) + "\"";
    const struct {
        const char* name;
        std::string text;
    } texts[] = {
        {"DisplayName", manifest.name},
        {"DisplayVersion", manifest.version},
        {"DisplayIcon", app + ",0"},
        {"InstallLocation", path_text(facts.install_folder)},
        {"UninstallString", uninstaller + " /uninstall"},
        {"QuietUninstallString", uninstaller + " /uninstall /S"},
        {"InstallDate", date_text(platform.session.local_date())},
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

Status write_uninstall_entry(platform::Platform& platform, const AppManifest& manifest,
                             const UninstallEntryFacts& facts) {
    auto key = create_key(platform, uninstall_key_path(manifest.id));
    if (!key) return fail(key.error().text);
    if (auto written = write_values(platform, **key, manifest, facts); !written) return written;
    // The associations are written while the entry's key is still open; it closes on return.
    return write_associations(platform, manifest.id, manifest.documents, facts.app_path);
}

}  // namespace plinth
