// plinth-pack: builds an installer from an app manifest and an app exe, and inspects one.
//
// Exit codes: 0 done, 1 the inputs or the output failed (nothing was written), 2 the command
// line was wrong.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/text.h"
#include "app_folder.h"
#include "compressor.h"
#include "default_stub.h"
#include "file_io.h"
#include "installer_builder.h"
#include "installer_report.h"
#include "resource_writer.h"

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

void print_usage(std::ostream& out) {
    out << "Usage:\n"
           "  plinth-pack build --manifest app.json --app MyApp.exe|AppFolder [--icon app.ico]\n"
           "                    [--stub plinth-setup.exe] [--compressor NAME] --out MyApp-Setup.exe\n"
           "  plinth-pack raw --package package.bin [--stub plinth-setup.exe] --out Setup.exe\n"
           "  plinth-pack inspect MyApp-Setup.exe\n"
           "  plinth-pack --help | --version\n"
           "\n"
           "build    checks the manifest, compresses the app and writes the installer.\n"
           "raw      embeds a package file as it is, without checks (for tests and custom pipelines).\n"
           "inspect  shows an installer's manifest, what it writes, and its payload sizes.\n"
           "\n"
           "Compressors in this build: "
        << compressor_list() << " (default " << compressor_name(default_compressor())
        << ").\n"
           "Without --stub, plinth-setup.exe is taken from beside plinth-pack"
#ifdef PLINTH_BUILD_TREE_STUB
           ", then from " PLINTH_BUILD_TREE_STUB
#endif
           ".\n";
}

int usage_error(const std::string& message) {
    std::cerr << "plinth-pack: " << message << "\nRun 'plinth-pack --help' for the usage.\n";
    return kExitUsage;
}

int failed(const std::string& message) {
    std::cerr << "plinth-pack: " << message << "\n";
    return kExitFailed;
}

// "--name value" pairs; each option at most once, and only the ones the command knows.
struct Options {
    std::map<std::string, std::string> values;
    std::vector<std::string> positional;
};

std::optional<std::string> parse_options(const std::vector<std::string>& args, const std::vector<std::string>& known,
                                         Options& options) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.rfind("--", 0) != 0 || arg.size() == 2) {
            options.positional.push_back(arg);
            continue;
        }
        if (std::find(known.begin(), known.end(), arg) == known.end()) return "unknown option " + arg;
        if (i + 1 >= args.size()) return arg + " needs a value";
        if (options.values.contains(arg)) return arg + " is given twice";
        options.values[arg] = args[++i];
    }
    return std::nullopt;
}

std::optional<std::string> require(const Options& options, std::initializer_list<const char*> names) {
    for (const char* name : names) {
        if (!options.values.contains(name)) return std::string("missing ") + name;
    }
    return std::nullopt;
}

Result<std::filesystem::path> find_stub(const Options& options, const std::filesystem::path& self) {
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

const char* icon_source_text(IconSource source) {
    switch (source) {
        case IconSource::icon_file: return "from the icon file";
        case IconSource::app: return "the app's own first icon";
        case IconSource::stub: return "the stub's default icon (the app has none)";
    }
    return "";
}

int run_build(const std::vector<std::string>& args, const std::filesystem::path& self) {
    Options options;
    if (auto error = parse_options(args, {"--manifest", "--app", "--icon", "--stub", "--compressor", "--out"}, options)) {
        return usage_error(*error);
    }
    if (!options.positional.empty()) return usage_error("unexpected argument " + options.positional.front());
    if (auto error = require(options, {"--manifest", "--app", "--out"})) return usage_error(*error);

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

    auto manifest = read_file(path_from_utf8(options.values["--manifest"]), kMaxSmallInputSize);
    if (!manifest) return failed(manifest.error().text);
    inputs.manifest_json.assign(manifest->begin(), manifest->end());
    if (auto app = read_app_input(path_from_utf8(options.values["--app"]), kMaxInputSize, inputs); !app) {
        return failed(app.error().text);
    }
    if (const auto icon = options.values.find("--icon"); icon != options.values.end()) {
        auto bytes = read_file(path_from_utf8(icon->second), kMaxSmallInputSize);
        if (!bytes) return failed(bytes.error().text);
        inputs.icon_file = std::move(*bytes);
    }
    auto stub_path = find_stub(options, self);
    if (!stub_path) return failed(stub_path.error().text);
    auto stub = read_file(*stub_path, kMaxInputSize);
    if (!stub) return failed(stub.error().text);
    inputs.stub = std::move(*stub);

    auto built = build_installer(inputs);
    if (!built) return failed(built.error().text);
    const std::filesystem::path out = path_from_utf8(options.values["--out"]);
    if (auto written = write_file_replacing(out, built->installer); !written) return failed(written.error().text);

    std::cout << path_to_utf8(out) << ": " << built->installer.size() << " bytes\n"
              << "  app:   " << built->manifest.name << " " << built->manifest.version << " (" << built->manifest.exe
              << "), " << inputs.app.size() << " bytes, " << compressor_name(inputs.compressor) << " to "
              << built->payload_size << " bytes\n";
    if (!inputs.other_files.empty()) {
        std::cout << "  files: " << inputs.other_files.size() << " more, " << built->other_files_size << " bytes, "
                  << built->other_files_resource_size << " bytes packed\n";
    }
    std::cout
              << "  icon:  " << icon_source_text(built->icon_source) << "\n"
              << "  stub:  " << path_to_utf8(*stub_path) << "\n";
    return kExitDone;
}

int run_raw(const std::vector<std::string>& args, const std::filesystem::path& self) {
    Options options;
    if (auto error = parse_options(args, {"--package", "--stub", "--out"}, options)) return usage_error(*error);
    if (!options.positional.empty()) return usage_error("unexpected argument " + options.positional.front());
    if (auto error = require(options, {"--package", "--out"})) return usage_error(*error);

    auto package = read_file(path_from_utf8(options.values["--package"]), kMaxInputSize);
    if (!package) return failed(package.error().text);
    auto stub_path = find_stub(options, self);
    if (!stub_path) return failed(stub_path.error().text);
    auto stub = read_file(*stub_path, kMaxInputSize);
    if (!stub) return failed(stub.error().text);
    auto installer = build_raw_installer(*stub, *package);
    if (!installer) return failed(installer.error().text);
    const std::filesystem::path out = path_from_utf8(options.values["--out"]);
    if (auto written = write_file_replacing(out, *installer); !written) return failed(written.error().text);
    std::cout << path_to_utf8(out) << ": " << installer->size() << " bytes, package of " << package->size()
              << " bytes embedded unchecked\n";
    return kExitDone;
}

int run_inspect(const std::vector<std::string>& args) {
    if (args.size() != 1 || args[0].rfind("--", 0) == 0) return usage_error("inspect takes one installer file");
    const std::filesystem::path path = path_from_utf8(args[0]);
    auto installer = read_file(path, kMaxInputSize);
    if (!installer) return failed(installer.error().text);
    auto report = describe_installer(*installer);
    if (!report) return failed(path_to_utf8(path) + ": " + report.error().text);
    std::cout << path_to_utf8(path) << "\n" << *report;
    return kExitDone;
}

int run(const std::vector<std::string>& all, const std::filesystem::path& argv0) {
    if (all.empty()) {
        print_usage(std::cerr);
        return kExitUsage;
    }
    const std::string& command = all.front();
    const std::vector<std::string> args(all.begin() + 1, all.end());
    if (command == "--help" || command == "-h" || command == "help") {
        print_usage(std::cout);
        return kExitDone;
    }
    if (command == "--version") {
        std::cout << "plinth-pack " PLINTH_VERSION "\n";
        return kExitDone;
    }
    const std::filesystem::path self = own_executable(argv0);
    if (command == "build") return run_build(args, self);
    if (command == "raw") return run_raw(args, self);
    if (command == "inspect") return run_inspect(args);
    return usage_error("unknown command " + command);
}

}  // namespace
}  // namespace plinth::pack

#ifdef _WIN32
// The wide entry point: paths with any characters reach the packer intact.
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        args.push_back(plinth::to_utf8(reinterpret_cast<const char16_t*>(argv[i])));
    }
    return plinth::pack::run(args, argc > 0 ? std::filesystem::path(argv[0]) : std::filesystem::path());
}
#else
int main(int argc, char** argv) {
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    return plinth::pack::run(args, argc > 0 ? std::filesystem::path(argv[0]) : std::filesystem::path());
}
#endif
