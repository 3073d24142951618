#include "winget_manifests.h"

#include <algorithm>
#include <set>

#include "entry/exit_code.h"
#include "package/link_rules.h"

namespace plinth::pack {
namespace {

constexpr std::string_view kManifestVersion = "1.10.0";
constexpr std::string_view kLocale = "en-US";
// The characters winget refuses in identifiers, versions and file extensions (besides controls).
constexpr std::string_view kForbidden = "\\/:*?\"<>|";

std::size_t code_points(std::string_view text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

bool has_forbidden(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || kForbidden.find(c) != std::string_view::npos;
    });
}

// A YAML double-quoted scalar: every text the user wrote is quoted, so none reads as a number,
// a boolean, a comment or a key.
std::string quoted(std::string_view text) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            out += "\\x";
            out += kDigits[c >> 4];
            out += kDigits[c & 15];
        } else if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            // C1 controls may not stand in a YAML stream as they are.
            const auto next = static_cast<unsigned char>(text[++i]);
            out += "\\x";
            out += kDigits[next >> 4];
            out += kDigits[next & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

void check_length(std::vector<std::string>& problems, std::string_view what, std::string_view value,
                  std::size_t least, std::size_t most) {
    const std::size_t length = code_points(value);
    if (length < least || length > most) {
        problems.push_back(std::string(what) + " is " + std::to_string(length) + (length == 1 ? " character" : " characters") +
                           " long; winget takes " +
                           std::to_string(least) + " to " + std::to_string(most) + ".");
    }
}

void check_package_id(std::vector<std::string>& problems, std::string_view id) {
    std::vector<std::string_view> parts;
    for (std::size_t start = 0;;) {
        const std::size_t dot = id.find('.', start);
        parts.push_back(id.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start));
        if (dot == std::string_view::npos) break;
        start = dot + 1;
    }
    const bool parts_fit = std::all_of(parts.begin(), parts.end(), [](std::string_view part) {
        return code_points(part) >= 1 && code_points(part) <= 32 &&
               std::none_of(part.begin(), part.end(), [](char c) { return c == ' ' || c == '\t'; }) &&
               !has_forbidden(part);
    });
    if (parts.size() < 2 || parts.size() > 8 || !parts_fit || code_points(id) > 128) {
        problems.push_back("--package-id " + std::string(id) +
                           ": winget takes 2 to 8 parts joined by dots (Publisher.App), each 1 to 32 characters "
                           "without spaces or \\ / : * ? \" < > |.");
    }
}

std::string header(std::string_view schema) {
    return "# Created with plinth-pack winget\n# yaml-language-server: $schema=https://aka.ms/winget-manifest." +
           std::string(schema) + "." + std::string(kManifestVersion) + ".schema.json\n\n";
}

}  // namespace

namespace {

bool is_web_url(std::string_view url) {
    const std::size_t colon = url.find("://");
    if (colon == std::string_view::npos || url.size() <= colon + 3 || code_points(url) > 2048) return false;
    std::string scheme(url.substr(0, colon));
    for (char& c : scheme) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return scheme == "http" || scheme == "https";
}

// The optional texts of the defaultLocale manifest, as winget's schema takes them.
void check_locale_extras(std::vector<std::string>& problems, const WingetRequest& request) {
    for (const auto& [option, url] : {std::pair<const char*, const std::string&>{"--publisher-url", request.publisher_url},
                                      {"--release-notes-url", request.release_notes_url}}) {
        if (!url.empty() && !is_web_url(url)) {
            problems.push_back(std::string(option) + " " + url + ": winget takes an https:// (or http://) address of at most 2048 characters.");
        }
    }
    std::set<std::string> seen;
    for (const std::string& tag : request.tags) {
        check_length(problems, "--tag " + quoted(tag), tag, 1, 40);
        if (!seen.insert(tag).second) problems.push_back("--tag " + quoted(tag) + " is given twice; winget takes each tag once.");
    }
    if (request.tags.size() > 16) {
        problems.push_back("winget takes at most 16 tags; " + std::to_string(request.tags.size()) + " were given.");
    }
}

std::string locale_extras_yaml(const WingetRequest& request) {
    std::string yaml;
    if (!request.publisher_url.empty()) yaml += "PublisherUrl: " + quoted(request.publisher_url) + "\n";
    if (!request.release_notes_url.empty()) yaml += "ReleaseNotesUrl: " + quoted(request.release_notes_url) + "\n";
    if (!request.tags.empty()) {
        yaml += "Tags:\n";
        for (const std::string& tag : request.tags) yaml += "  - " + quoted(tag) + "\n";
    }
    return yaml;
}

// The URL protocols the installer registers, which winget lists as the package's.
std::string protocols_yaml(const AppManifest& manifest) {
    if (manifest.protocols.empty()) return {};
    std::string yaml = "Protocols:\n";
    for (std::string_view list = manifest.protocols; !list.empty();) yaml += "  - " + quoted(next_scheme(list)) + "\n";
    return yaml;
}

}  // namespace

Expected<std::vector<WingetFile>, std::vector<std::string>> winget_manifests(const AppManifest& manifest,
                                                                              std::string_view sha256_hex,
                                                                              const WingetRequest& request) {
    std::vector<std::string> problems;
    check_package_id(problems, request.package_id);
    const std::string_view url = request.url;
    const std::string scheme(url.substr(0, url.find("://")));
    std::string lower_scheme = scheme;
    std::transform(lower_scheme.begin(), lower_scheme.end(), lower_scheme.begin(), [](char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    });
    if (url.find("://") == std::string_view::npos || (lower_scheme != "http" && lower_scheme != "https") ||
        url.size() <= scheme.size() + 3 || code_points(url) > 2048) {
        problems.push_back("--url " + request.url + ": winget takes an https:// (or http://) address of at most 2048 characters.");
    }
    check_length(problems, "--license", request.license, 3, 512);
    check_length(problems, "--short-description", request.short_description, 3, 256);
    if (manifest.version.empty() || has_forbidden(manifest.version) || code_points(manifest.version) > 128) {
        problems.push_back("The installer's \"version\" " + quoted(manifest.version) +
                           " can't be winget's PackageVersion: it needs 1 to 128 characters without \\ / : * ? \" < > |. "
                           "Give the app manifest a \"version\" and pack again.");
    }
    check_length(problems, "The installer's \"publisher\"", manifest.publisher, 2, 256);
    check_length(problems, "The installer's \"name\"", manifest.name, 2, 256);
    check_length(problems, "The installer's \"id\"", manifest.id, 1, 255);

    // Windows matches extensions without regard to case: one entry for ".TXT" and ".txt".
    std::vector<std::string> extensions;
    std::set<std::string> seen;
    for (const DocumentType& type : manifest.documents) {
        for (std::string extension : type.extensions) {
            std::transform(extension.begin(), extension.end(), extension.begin(), [](char c) {
                return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
            });
            if (extension.empty() || code_points(extension) > 64 || has_forbidden(extension)) {
                problems.push_back("The extension " + quoted(extension) + " can't be listed for winget: it needs 1 to 64 "
                                   "characters without \\ / : * ? \" < > |.");
            } else if (seen.insert(extension).second) {
                extensions.push_back(extension);
            }
        }
    }
    if (extensions.size() > 512) problems.push_back("winget lists at most 512 file extensions; the installer has " +
                                                    std::to_string(extensions.size()) + ".");
    check_locale_extras(problems, request);
    if (!problems.empty()) return unexpected(std::move(problems));

    const std::string& id = request.package_id;
    const std::string identity = "PackageIdentifier: " + quoted(id) + "\nPackageVersion: " + quoted(manifest.version) + "\n";

    std::string version = header("version") + identity + "DefaultLocale: " + std::string(kLocale) +
                          "\nManifestType: version\nManifestVersion: " + std::string(kManifestVersion) + "\n";

    std::string installer = header("installer") + identity;
    // /S installs without a dialog; winget's "silent with progress" is the same run, as the
    // installer shows no progress window when silent. winget's --location becomes /dir=, quoted
    // so that a folder with spaces stays one argument.
    installer += "InstallerType: exe\nScope: user\nInstallModes:\n  - interactive\n  - silent\n  - silentWithProgress\n"
                 "InstallerSwitches:\n  Silent: /S\n  SilentWithProgress: /S\n  InstallLocation: '/dir=\"<INSTALLPATH>\"'\n"
                 "ExpectedReturnCodes:\n  - InstallerReturnCode: " +
                 std::to_string(exit_code_value(ExitCode::cancelled)) +
                 "\n    ReturnResponse: cancelledByUser\n"
                 "UpgradeBehavior: install\n"
                 "ProductCode: " + quoted(manifest.id) + "\n"
                 "AppsAndFeaturesEntries:\n"
                 "  - DisplayName: " + quoted(manifest.name) + "\n"
                 "    Publisher: " + quoted(manifest.publisher) + "\n"
                 "    DisplayVersion: " + quoted(manifest.version) + "\n"
                 "    ProductCode: " + quoted(manifest.id) + "\n"
                 "    InstallerType: exe\n";
    if (!extensions.empty()) {
        installer += "FileExtensions:\n";
        for (const std::string& extension : extensions) installer += "  - " + quoted(extension) + "\n";
    }
    installer += protocols_yaml(manifest);
    installer += "Installers:\n  - Architecture: x64\n    InstallerUrl: " + quoted(request.url) +
                 "\n    InstallerSha256: " + std::string(sha256_hex) +
                 "\nManifestType: installer\nManifestVersion: " + std::string(kManifestVersion) + "\n";

    std::string locale = header("defaultLocale") + identity + "PackageLocale: " + std::string(kLocale) +
                         "\nPublisher: " + quoted(manifest.publisher) + "\nPackageName: " + quoted(manifest.name) +
                         "\nLicense: " + quoted(request.license) + "\nShortDescription: " +
                         quoted(request.short_description) + "\n" + locale_extras_yaml(request) +
                         "ManifestType: defaultLocale\nManifestVersion: " +
                         std::string(kManifestVersion) + "\n";

    return std::vector<WingetFile>{{id + ".yaml", std::move(version)},
                                   {id + ".installer.yaml", std::move(installer)},
                                   {id + ".locale." + std::string(kLocale) + ".yaml", std::move(locale)}};
}

}  // namespace plinth::pack
