// plinth-pack: builds an installer from an app manifest and an app exe, and inspects one.
//
// Exit codes: 0 done, 1 the inputs or the output failed (nothing was written), 2 the command
// line was wrong.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <new>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app_folder.h"
#include "authenticode_signer.h"
#include "command_line.h"
#include "common/text.h"
#include "compressor.h"
#include "default_stub.h"
#include "file_io.h"
#include "installer_builder.h"
#include "input_roles.h"
#include "installer_report.h"
#include "languages.h"
#include "license_text.h"
#include "package/strict_json.h"
#include "package/manifest.h"
#include "pack_manifest.h"
#include "progress_line.h"
#include "resource_writer.h"
#include "installer_signing.h"
#include "sha256.h"
#include "winget_manifests.h"
#include "installer_map.h"
#include "update_feed.h"

namespace plinth::pack {
namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// Inputs larger than an installer can hold are refused before they are read whole.
constexpr std::uint64_t kMaxInputSize = kMaxImageSize;
constexpr std::uint64_t kMaxSmallInputSize = 64 * 1024 * 1024;  // manifests and icons

std::string compressor_list() {
    std::string list;
    for (Compressor c : available_compressors()) {
        if (!list.empty()) list += ", ";
        list += compressor_name(c);
    }
    return list;
}

void print_usage(std::ostream& out, const std::filesystem::path& argv0) {
    out << "Usage:\n"
           "  plinth-pack build --manifest app.json --app MyApp.exe|AppFolder [--icon app.ico]\n"
           "                    [--stub plinth-setup.exe] [--compression deflate|lzma] [--compressor NAME]\n"
           "                    [--languages LIST]\n"
           "                    [--texts texts.json] --out MyApp-Setup.exe [--sign-command CMD]\n"
           "                    [--warnings-as-errors] [--quiet]\n"
           "  plinth-pack check --manifest app.json --app MyApp.exe|AppFolder [the options of build but --out]\n"
           "  plinth-pack raw --package package.bin [--stub plinth-setup.exe] --out Setup.exe [--quiet]\n"
           "  plinth-pack inspect [--notices] MyApp-Setup.exe\n"
           "  plinth-pack winget --installer MyApp-Setup.exe --url URL --package-id Publisher.App\n"
           "                     --license TEXT --short-description TEXT [--out FOLDER]\n"
           "  plinth-pack feed --feed feed.json --installer MyApp-Setup.exe [--url URL] [--notes TEXT]\n"
           "  plinth-pack feed --feed feed.json --withdraw VERSION | --release VERSION --rollout PERCENT\n"
           "  plinth-pack --help | --version | -V\n"
           "  plinth-pack COMMAND --help\n"
           "\n"
           "build    checks the manifest, compresses the app and writes the installer.\n"
           "check    runs every check of build, and writes nothing.\n"
           "raw      embeds a package file as it is, without checks (for tests and custom pipelines).\n"
           "inspect  shows an installer's manifest, what it writes, and its payload sizes.\n"
           "winget   writes the winget manifests of an installer.\n"
           "feed     adds an installer to the app's update feed, withdraws or stages a release.\n"
           "\n"
           "Compressors in this build: "
        << compressor_list() << " (default " << compressor_name(default_compressor())
        << ").\n"
           "Without --stub, plinth-setup.exe is taken from the first of these places that has it:\n"
        << describe_stub_places(own_executable(argv0));
}

int usage_error(const std::string& message, const std::string& command = {}) {
    std::cerr << "plinth-pack: " << message << "\nRun 'plinth-pack " << (command.empty() ? "" : command + " ")
              << "--help' for the usage.\n";
    return kExitUsage;
}

int failed(const std::string& message) {
    std::cerr << "plinth-pack: " << message << "\n";
    return kExitFailed;
}

// A failure's text, which may end its sentence, with a clause that ends the sentence instead:
// "... larger than 1 MiB; it was left as it was.", never "... 1 MiB.; it was left ...".
std::string with_clause(std::string text, std::string_view clause) {
    if (text.ends_with('.')) text.pop_back();
    return text + std::string(clause);
}

Result<std::filesystem::path> find_stub(const CommandLine& options, const std::filesystem::path& self) {
    if (const auto given = options.values.find("--stub"); given != options.values.end()) {
        return path_from_utf8(given->second);
    }
    const auto candidates = stub_candidates(self);
    std::string looked;
    for (const auto& candidate : candidates) {
        std::error_code error;
        if (std::filesystem::is_regular_file(candidate, error)) return candidate;
        looked += (looked.empty() ? "" : ", ") + path_to_utf8(candidate);
    }
    return fail("no stub found (looked for " + looked + "); give one with --stub");
}

const char* icon_source_text(const BuiltInstaller& built) {
    switch (built.icon_source) {
        case IconSource::icon_file: return "from the icon file";
        case IconSource::app: return "the app's own first icon";
        case IconSource::stub:
            return built.app_resources_unreadable ? "the stub's default icon (the app's resources can't be read)"
                                                  : "the stub's default icon (the app has none)";
    }
    return "";
}

// Prints the review's findings, each with the manifest's name and the line and column. Returns
// how many refuse the pack: the errors, and the warnings too under --warnings-as-errors.
struct ManifestCounts {
    int errors = 0;
    int warnings = 0;
};

ManifestCounts report_manifest(const std::string& shown, const ManifestReview& review, bool quiet,
                               bool warnings_are_errors) {
    ManifestCounts counts;
    for (const ManifestProblem& problem : review.problems) {
        const bool warning = problem.severity == Severity::warning;
        if (warning && quiet && !warnings_are_errors) continue;
        ++(warning ? counts.warnings : counts.errors);
        std::cerr << "plinth-pack: " << (warning ? "warning: " : "") << shown;
        if (problem.at) std::cerr << ":" << problem.at->line << ":" << problem.at->column;
        std::cerr << ": " << problem.text << "\n";
    }
    return counts;
}

// Reads an input; a failure is printed, and counted in `problems`.
std::optional<Bytes> read_input(const std::filesystem::path& path, std::uint64_t max_size, int& problems) {
    auto bytes = read_file(path, max_size);
    if (bytes) return std::move(*bytes);
    std::cerr << "plinth-pack: " << bytes.error().text << "\n";
    ++problems;
    return std::nullopt;
}

// The app given as a folder: its exe, with the other files into `others`, listed against the
// manifest's "exe". Without a manifest that names one, nothing is listed: the manifest's own
// problem is reported by its review. A failure is printed and counted in `problems`.
std::optional<Bytes> read_app_folder(const std::filesystem::path& folder, const std::optional<Bytes>& manifest,
                                     std::vector<OtherFile>& others, int& problems) {
    if (!manifest) return std::nullopt;
    const auto base = check_app_manifest(std::string_view(reinterpret_cast<const char*>(manifest->data()), manifest->size()));
    if (!base) return std::nullopt;
    auto listing = list_app_folder(folder, base->exe);
    if (!listing) {
        // One problem a line, each counted.
        std::istringstream lines(listing.error().text);
        for (std::string line; std::getline(lines, line); ++problems) std::cerr << "plinth-pack: " << line << "\n";
        return std::nullopt;
    }
    auto exe = read_walked_file(listing->exe, listing->exe_size, kMaxInputSize);
    if (!exe) {
        std::cerr << "plinth-pack: " << exe.error().text << "\n";
        ++problems;
    }
    // The other files are read one at a time as they are compressed, so the packer holds one
    // file's bytes, not the folder's; each is read as the walk found it.
    for (AppFolderFile& file : listing->others) {
        if (file.size > kMaxInputSize) {
            std::cerr << "plinth-pack: " << path_to_utf8(file.source) << ": Too large (" << file.size
                      << " bytes; the limit is " << kMaxInputSize << ").\n";
            ++problems;
            continue;
        }
        others.push_back({std::move(file.path), {}, std::move(file.source), file.size});
    }
    if (!exe) return std::nullopt;
    return std::move(*exe);
}

// The languages resource for the build: the shipped tables found beside the packer, the
// developer's --texts, the choice. Problems are printed and counted in `problems`; `found` tells
// where the shipped tables were (empty: none found).
std::optional<LanguagesResource> gather_build_languages(const CommandLine& options, const std::filesystem::path& self,
                                                        const std::optional<Bytes>& manifest,
                                                        std::filesystem::path& found, int& problems) {
    const auto report = [&problems](const std::string& text) {
        std::cerr << "plinth-pack: " << text << "\n";
        ++problems;
        return std::nullopt;
    };
    std::optional<std::string> option;
    if (auto given = options.values.find("--languages"); given != options.values.end()) option = given->second;
    const std::string_view json = manifest ? std::string_view(reinterpret_cast<const char*>(manifest->data()), manifest->size())
                                           : std::string_view();
    auto chosen = chosen_languages(json, option);
    if (!chosen) return report(chosen.error());

    TextTables shipped;
    for (const auto& folder : languages_folder_candidates(self)) {
        std::error_code error;
        if (!std::filesystem::is_directory(folder, error)) continue;
        auto tables = read_shipped_tables(folder);
        if (!tables) return report(tables.error());
        shipped = std::move(*tables);
        found = folder;
        break;
    }
    TextTables added;
    if (auto texts = options.values.find("--texts"); texts != options.values.end()) {
        auto bytes = read_input(path_from_utf8(texts->second), kMaxSmallInputSize, problems);
        if (!bytes) return std::nullopt;
        auto tables = parse_table_file(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()),
                                       texts->second);
        if (!tables) return report(tables.error());
        added = std::move(*tables);
    }
    auto gathered = gather_languages(shipped, added, *chosen);
    if (!gathered) {
        std::string_view lines = gathered.error();
        while (!lines.empty()) {
            const std::size_t end = std::min(lines.find('\n'), lines.size());
            report(std::string(lines.substr(0, end)));
            lines.remove_prefix(std::min(end + 1, lines.size()));
        }
        return std::nullopt;
    }
    return build_languages(*gathered);
}

// The licence file the manifest names, beside the manifest, checked; nothing when it names none
// (the manifest's review tells a "license" that isn't a file name). Problems are printed and counted.
std::optional<std::string> read_license(const std::filesystem::path& manifest_path, const Bytes& manifest, int& problems) {
    const auto root = parse_strict_json(std::string_view(reinterpret_cast<const char*>(manifest.data()), manifest.size()));
    const JsonValue* name = root ? root->find("license") : nullptr;
    if (name == nullptr || !name->is_string() || name->text.empty()) return std::nullopt;
    const std::filesystem::path path = manifest_path.parent_path() / path_from_utf8(name->text);
    auto bytes = read_input(path, kMaxSmallInputSize, problems);
    if (!bytes) return std::nullopt;
    auto text = license_text(*bytes);
    if (text) return std::move(*text);
    std::cerr << "plinth-pack: " << path_to_utf8(path) << ": " << text.error() << "\n";
    ++problems;
    return std::nullopt;
}

// The summary's line for the languages: each one's cost in the installer.
std::string languages_summary(const LanguagesResource& languages, std::size_t size, const std::filesystem::path& found) {
    if (languages.costs.empty()) {
        return found.empty() ? "English only (no language tables found)" : "English only";
    }
    std::string text = "English and " + std::to_string(languages.costs.size()) + " more, " + std::to_string(size) + " bytes:";
    for (const auto& [tag, cost] : languages.costs) text += " " + tag + " " + std::to_string(cost);
    return text;
}

// A problem of an input's role, printed after the file's name.
void report_role(const std::string& shown, const std::optional<std::string>& problem, int& problems) {
    if (!problem) return;
    std::cerr << "plinth-pack: " << shown << ": " << *problem << "\n";
    ++problems;
}

int run_build(const CommandLine& options, const std::filesystem::path& self) {
    const bool quiet = options.flags.contains("--quiet");
    const bool warnings_are_errors = options.flags.contains("--warnings-as-errors");
    InstallerInputs inputs;
    inputs.compressor = default_compressor();
    if (const auto name = options.values.find("--compressor"); name != options.values.end()) {
        const auto chosen = compressor_from_name(name->second);
        if (!chosen) return usage_error("unknown compressor " + name->second + " (this build has " + compressor_list() + ")");
        const auto available = available_compressors();
        if (std::find(available.begin(), available.end(), *chosen) == available.end()) {
            return usage_error("compressor " + name->second + " is not in this build (it has " + compressor_list() + ")");
        }
        inputs.compressor = *chosen;
    }
    if (const auto name = options.values.find("--compression"); name != options.values.end()) {
        if (name->second == "lzma") {
            if (options.values.contains("--compressor")) {
                return usage_error("--compressor chooses deflate's compressor; it can't be given with --compression lzma");
            }
            inputs.compressor = Compressor::lzma;
        } else if (name->second != "deflate") {
            return usage_error("unknown compression " + name->second + " (deflate or lzma)");
        }
    }

    // A sign command that can't work is a wrong command line, told before any compressing.
    if (const auto sign = options.values.find("--sign-command"); sign != options.values.end()) {
        if (auto expanded = expand_sign_command(sign->second, "in", "out", ShellQuoting::posix); !expanded) {
            return usage_error("--sign-command: " + expanded.error().text, "build");
        }
    }

    // check: every check of build, the installer made in memory and dropped.
    const bool check_only = options.command == "check";
    const std::string& manifest_shown = options.values.at("--manifest");
    const std::string& app_shown = options.values.at("--app");
    const std::string out_shown = check_only ? std::string() : options.values.at("--out");
    const std::filesystem::path manifest_path = path_from_utf8(manifest_shown);
    const std::filesystem::path app_path = path_from_utf8(app_shown);
    const std::filesystem::path out = path_from_utf8(out_shown);
    const auto icon = options.values.find("--icon");
    auto stub_path = find_stub(options, self);
    if (!stub_path) return failed(stub_path.error().text);

    // The output is judged before any input is read: it must not be one of them.
    std::vector<NamedInput> named{{"--manifest", manifest_path}, {"--app", app_path}, {"--stub", *stub_path}};
    if (icon != options.values.end()) named.push_back({"--icon", path_from_utf8(icon->second)});
    if (auto problem = check_only ? std::nullopt : output_problem(out_shown, out, named, app_shown)) {
        return failed(out_shown + ": " + *problem + "\nplinth-pack: nothing was written.");
    }
    std::error_code ignored;

    // Every input is read and judged, and every problem reported, before anything is refused.
    int problems = 0;
    auto manifest = read_input(manifest_path, kMaxSmallInputSize, problems);
    const bool app_is_folder = std::filesystem::is_directory(std::filesystem::symlink_status(app_path, ignored));
    auto app = app_is_folder ? read_app_folder(app_path, manifest, inputs.other_files, problems)
                             : read_input(app_path, kMaxInputSize, problems);
    const auto app_role = app ? app_problem(*app) : std::nullopt;
    report_role(app_shown, app_role, problems);
    std::optional<Bytes> icon_file;
    if (icon != options.values.end()) {
        icon_file = read_input(path_from_utf8(icon->second), kMaxSmallInputSize, problems);
        if (icon_file) report_role(icon->second, icon_format_hint(*icon_file, icon->second), problems);
    }
    auto stub = read_input(*stub_path, kMaxInputSize, problems);
    if (stub) report_role(path_to_utf8(*stub_path), stub_problem(*stub, PLINTH_VERSION), problems);
    std::filesystem::path languages_found;
    auto languages = gather_build_languages(options, self, manifest, languages_found, problems);
    std::optional<std::string> license;
    if (manifest) license = read_license(manifest_path, *manifest, problems);
    ManifestCounts counts;
    if (manifest) {
        const std::string_view text(reinterpret_cast<const char*>(manifest->data()), manifest->size());
        AppFacts facts;
        if (app && !app_role) facts.icon_groups = icon_group_ids(*app);
        counts = report_manifest(manifest_shown, review_manifest(text, facts), quiet, warnings_are_errors);
    }
    if (problems + counts.errors > 0 || (warnings_are_errors && counts.warnings > 0)) {
        std::cerr << "plinth-pack: "
                  << (problems + counts.errors == 0 ? "the warnings count as errors (--warnings-as-errors); " : "")
                  << (check_only ? "build would refuse it.\n" : "nothing was written.\n");
        return kExitFailed;
    }

    inputs.manifest_json.assign(manifest->begin(), manifest->end());
    inputs.app = std::move(*app);
    inputs.icon_file = std::move(icon_file);
    inputs.stub = std::move(*stub);
    if (license) inputs.license = std::move(*license);
    const std::size_t languages_size = languages->bytes.size();
    inputs.languages = std::move(languages->bytes);
    Result<BuiltInstaller> built = fail("");
    {
        ProgressLine progress(std::cerr, !quiet && standard_error_is_terminal(), std::string(compressor_name(inputs.compressor)),
                              inputs.app.size(), reports_progress(inputs.compressor));
        inputs.progress = [&progress](std::uint64_t done) { progress.update(done); };
        const auto sign = options.values.find("--sign-command");
        built = check_only ? build_installer(inputs)
                           : build_installer_file(inputs, out, sign != options.values.end() ? sign->second : std::string());
    }
    if (!built) return failed(built.error().text);
    if (check_only) {
        if (!quiet) {
            std::cout << manifest_shown << ", " << app_shown << ": " << built->manifest.name << " " << built->manifest.version
                      << " would build, " << built->installer.size() << " bytes (nothing was written)\n";
        }
        return kExitDone;
    }

    if (quiet) return kExitDone;
    std::cout << path_to_utf8(out) << ": " << built->installer_size << " bytes\n"
              << "  app:   " << built->manifest.name << " " << built->manifest.version << " (" << built->manifest.exe
              << "), " << inputs.app.size() << " bytes, " << compressor_name(inputs.compressor) << " to "
              << built->payload_size << " bytes\n";
    if (!inputs.other_files.empty()) {
        std::cout << "  files: " << inputs.other_files.size() << " more, " << built->other_files_size << " bytes, "
                  << built->other_files_resource_size << " bytes packed (compressed data and their table)\n";
    }
    std::cout << "  texts: " << languages_summary(*languages, languages_size, languages_found) << "\n"
              << (inputs.license.empty() ? std::string() : "  licence: " + std::to_string(inputs.license.size()) + " bytes\n")
              << "  icon:  " << icon_source_text(*built) << "\n"
              << "  stub:  " << path_to_utf8(*stub_path) << "\n";
    return kExitDone;
}

int run_raw(const CommandLine& options, const std::filesystem::path& self) {
    const std::string& package_shown = options.values.at("--package");
    const std::string& out_shown = options.values.at("--out");
    const std::filesystem::path package_path = path_from_utf8(package_shown);
    const std::filesystem::path out = path_from_utf8(out_shown);
    auto stub_path = find_stub(options, self);
    if (!stub_path) return failed(stub_path.error().text);
    if (auto problem = output_problem(out_shown, out, {{"--package", package_path}, {"--stub", *stub_path}})) {
        return failed(out_shown + ": " + *problem + "\nplinth-pack: nothing was written.");
    }

    int problems = 0;
    auto package = read_input(package_path, kMaxInputSize, problems);
    auto stub = read_input(*stub_path, kMaxInputSize, problems);
    if (stub) report_role(path_to_utf8(*stub_path), stub_problem(*stub, PLINTH_VERSION), problems);
    if (problems > 0) {
        std::cerr << "plinth-pack: nothing was written.\n";
        return kExitFailed;
    }
    auto installer = build_raw_installer(*stub, *package);
    if (!installer) return failed(installer.error().text);
    if (auto written = write_file_replacing(out, *installer); !written) return failed(written.error().text);
    if (options.flags.contains("--quiet")) return kExitDone;
    std::cout << path_to_utf8(out) << ": " << installer->size() << " bytes, package of " << package->size()
              << " bytes embedded unchecked\n";
    return kExitDone;
}

int run_inspect(const CommandLine& options) {
    const std::filesystem::path path = path_from_utf8(options.positional.front());
    auto installer = read_file(path, kMaxInputSize);
    if (!installer) return failed(installer.error().text);
    if (options.flags.contains("--notices")) {
        auto notices = installer_notices(*installer);
        if (!notices) return failed(path_to_utf8(path) + ": " + notices.error().text);
        std::cout << *notices;
        return kExitDone;
    }
    auto report = describe_installer(*installer);
    if (!report) return failed(path_to_utf8(path) + ": " + report.error().text);
    std::cout << path_to_utf8(path) << "\n" << *report;
    return kExitDone;
}

int run_winget(const CommandLine& options) {
    const std::string& installer_shown = options.values.at("--installer");
    auto installer = read_file(path_from_utf8(installer_shown), kMaxInputSize);
    if (!installer) return failed(installer.error().text + " Nothing was written.");
    auto manifest = installer_manifest(*installer);
    if (!manifest) return failed(installer_shown + ": " + manifest.error().text + " Nothing was written.");
    WingetRequest request{options.values.at("--package-id"), options.values.at("--url"),
                          options.values.at("--license"), options.values.at("--short-description")};
    if (const auto url = options.values.find("--publisher-url"); url != options.values.end()) request.publisher_url = url->second;
    if (const auto url = options.values.find("--release-notes-url"); url != options.values.end()) request.release_notes_url = url->second;
    if (const auto tags = options.values.find("--tag"); tags != options.values.end()) {
        // Commas separate tags; spaces around them aren't part of one.
        for (std::string_view list = tags->second; !list.empty();) {
            const std::size_t comma = std::min(list.find(','), list.size());
            std::string_view tag = list.substr(0, comma);
            list.remove_prefix(std::min(comma + 1, list.size()));
            while (!tag.empty() && tag.front() == ' ') tag.remove_prefix(1);
            while (!tag.empty() && tag.back() == ' ') tag.remove_suffix(1);
            request.tags.emplace_back(tag);
        }
    }
    auto files = winget_manifests(*manifest, sha256_hex(*installer), request);
    if (!files) {
        for (const std::string& problem : files.error()) std::cerr << "plinth-pack: " << problem << "\n";
        std::cerr << "plinth-pack: nothing was written.\n";
        return kExitFailed;
    }
    const auto out = options.values.contains("--out") ? path_from_utf8(options.values.at("--out")) : std::filesystem::path(".");
    std::error_code error;
    std::filesystem::create_directories(out, error);
    if (error || !std::filesystem::is_directory(out, error)) {
        return failed(path_to_utf8(out) + ": can't be made a folder for the manifests; nothing was written.");
    }
    for (const WingetFile& file : *files) {
        const auto path = out / path_from_utf8(file.name);
        if (auto written = write_file_replacing(path, Bytes(file.text.begin(), file.text.end())); !written) {
            return failed(written.error().text);
        }
        std::cout << path_to_utf8(path) << "\n";
    }
    return kExitDone;
}

// The feed file's text when there is one.
Result<std::optional<std::string>> read_existing_feed(const std::filesystem::path& feed_path) {
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::symlink_status(feed_path, error))) return std::optional<std::string>();
    auto read = read_file(feed_path, kMaxSmallInputSize);
    if (!read) return fail(read.error().text);
    return std::optional<std::string>(std::string(read->begin(), read->end()));
}

// --withdraw and --release: a change to a release the feed has, without its installer.
int change_feed_release(const CommandLine& options, const std::string& feed_shown, const std::optional<std::string>& existing) {
    if (!existing) return failed(feed_shown + ": there is no feed to change.");
    const bool withdraw = options.values.contains("--withdraw");
    const std::string& version = options.values.at(withdraw ? "--withdraw" : "--release");
    auto feed = withdraw ? withdrawn_feed(*existing, version)
                         : rolled_out_feed(*existing, version, std::stoi(options.values.at("--rollout")));
    if (!feed) {
        const std::string& why = feed.error().text;
        return failed(feed_shown + " " + why + (why.ends_with('.') ? "" : ".") + " It was left as it was.");
    }
    if (auto written = write_file_replacing(path_from_utf8(feed_shown), Bytes(feed->begin(), feed->end())); !written) {
        return failed(written.error().text);
    }
    if (!options.flags.contains("--quiet")) {
        std::cout << feed_shown << ": " << version
                  << (withdraw ? " withdrawn" : " offered to " + options.values.at("--rollout") + "% of installs") << "\n";
    }
    return kExitDone;
}

int run_feed(const CommandLine& options) {
    const std::string& feed_shown = options.values.at("--feed");
    const std::filesystem::path feed_path = path_from_utf8(feed_shown);
    auto existing = read_existing_feed(feed_path);
    if (!existing) return failed(existing.error().text);
    if (!options.values.contains("--installer")) return change_feed_release(options, feed_shown, *existing);

    const std::string& installer_shown = options.values.at("--installer");
    const std::filesystem::path installer_path = path_from_utf8(installer_shown);
    auto installer = read_file(installer_path, kMaxInputSize);
    if (!installer) return failed(installer.error().text);
    auto manifest = installer_manifest(*installer);
    if (!manifest) return failed(installer_shown + " isn't a plinth installer: " + manifest.error().text);

    FeedEntry entry;
    entry.version = manifest->version;
    entry.size = installer->size();
    const auto url = options.values.find("--url");
    entry.installer = url != options.values.end() ? url->second : url_from_file_name(path_to_utf8(installer_path.filename()));
    if (const auto notes = options.values.find("--notes"); notes != options.values.end()) entry.notes = notes->second;
    if (const auto notes = options.values.find("--notes-file"); notes != options.values.end()) {
        auto text = read_file(path_from_utf8(notes->second), kMaxSmallInputSize);
        if (!text) return failed(text.error().text);
        entry.notes.assign(text->begin(), text->end());
        if (!is_valid_utf8(entry.notes)) return failed(notes->second + ": the notes aren't UTF-8 text.");
    }
    entry.sha256 = sha256_hex(*installer, false);
    // The map beside the installer, of the very bytes the feed lists; written before the feed,
    // so that no feed names a map that isn't there.
    auto map = installer_map(*installer);
    if (!map) return failed(installer_shown + ": " + map.error().text);
    std::filesystem::path map_path = installer_path;
    map_path += ".map";
    if (const auto rollout = options.values.find("--rollout"); rollout != options.values.end()) {
        entry.rollout = std::stoi(rollout->second);
    }

    std::vector<std::string> warnings;
    if (auto signer = authenticode_signer(*installer); !signer) {
        warnings.push_back(installer_shown + ": " + signer.error().text + ", so the feed names no signer for it");
    } else if (*signer) {
        entry.signer = **signer;
    }
    std::optional<std::string_view> existing_text;
    entry.map = map_url_for(entry.installer);
    entry.map_size = map->size();
    entry.map_sha256 = sha256_hex(*map, false);
    if (*existing) existing_text = **existing;
    if (!options.flags.contains("--allow-signer-change")) {
        for (std::string& warning : signer_warnings(existing_text, entry)) warnings.push_back(std::move(warning));
    }
    const bool warnings_are_errors = options.flags.contains("--warnings-as-errors");
    if (!warnings.empty() && (!options.flags.contains("--quiet") || warnings_are_errors)) {
        for (const std::string& warning : warnings) std::cerr << "plinth-pack: warning: " << warning << "\n";
    }
    if (!warnings.empty() && warnings_are_errors) {
        return failed("the warnings count as errors (--warnings-as-errors); " + feed_shown + " was left as it was.");
    }
    auto feed = updated_feed(existing_text, manifest->id, entry);
    if (!feed) {
        return failed(with_clause(feed_shown + " " + feed.error().text,
                                  *existing ? "; it was left as it was." : "; nothing was written."));
    }
    if (auto written = write_file_replacing(map_path, *map); !written) return failed(written.error().text);
    const Bytes bytes(feed->begin(), feed->end());
    if (auto written = write_file_replacing(feed_path, bytes); !written) return failed(written.error().text);
    if (!options.flags.contains("--quiet")) {
        std::cout << feed_shown << ": " << manifest->id << " " << entry.version << " -> " << entry.installer << ", "
                  << entry.size << " bytes, sha256 " << entry.sha256;
        if (!entry.signer.empty()) std::cout << ", signed by " << entry.signer;
        if (entry.rollout) std::cout << ", offered to " << *entry.rollout << "% of installs";
        std::cout << "\n"
                  << path_to_utf8(map_path) << ": " << map->size() << " bytes, uploaded after the installer, before the feed\n";
    }
    return kExitDone;
}

int run(const std::vector<std::string>& all, const std::filesystem::path& argv0) {
    if (all.empty()) {
        print_usage(std::cerr, argv0);
        return kExitUsage;
    }
    const std::string& command = all.front();
    const std::vector<std::string> args(all.begin() + 1, all.end());
    if (command == "--help" || command == "-h" || command == "help") {
        if (!args.empty() && is_command(args.front())) {
            std::cout << command_help(args.front());
        } else {
            print_usage(std::cout, argv0);
        }
        return kExitDone;
    }
    if (command == "--version" || command == "-V") {
        std::cout << "plinth-pack " PLINTH_VERSION "\n";
        return kExitDone;
    }
    if (!is_command(command)) return usage_error("unknown command " + command);
    auto options = parse_command_line(command, args);
    if (!options) return usage_error(options.error(), command);
    if (options->help) {
        std::cout << command_help(command);
        return kExitDone;
    }
    const std::filesystem::path self = own_executable(argv0);
    if (command == "build" || command == "check") return run_build(*options, self);
    if (command == "raw") return run_raw(*options, self);
    if (command == "winget") return run_winget(*options);
    if (command == "feed") return run_feed(*options);
    return run_inspect(*options);
}

// No exception leaves the packer: running out of memory, or anything unexpected, fails like any
// other input, and as the output is written last, nothing has been written.
template <class Body>
int guarded(Body body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return failed("out of memory");
    } catch (const std::exception& error) {
        return failed(std::string("unexpected error: ") + error.what());
    } catch (...) {
        return failed("unexpected error");
    }
}

}  // namespace
}  // namespace plinth::pack

#ifdef _WIN32
// The wide entry point: paths with any characters reach the packer intact.
int wmain(int argc, wchar_t** argv) {
    return plinth::pack::guarded([&] {
        std::vector<std::string> args;
        for (int i = 1; i < argc; ++i) {
            args.push_back(plinth::to_utf8(reinterpret_cast<const char16_t*>(argv[i])));
        }
        return plinth::pack::run(args, argc > 0 ? std::filesystem::path(argv[0]) : std::filesystem::path());
    });
}
#else
int main(int argc, char** argv) {
    return plinth::pack::guarded([&] {
        std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
        return plinth::pack::run(args, argc > 0 ? std::filesystem::path(argv[0]) : std::filesystem::path());
    });
}
#endif
