#include "command_line.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <optional>

namespace plinth::pack {
namespace {

struct OptionForm {
    std::string_view name;
    bool takes_value;
    bool required;
};

struct CommandForm {
    std::string_view name;
    std::vector<OptionForm> options;
    std::size_t positional;  // how many plain arguments it takes
};

// The inputs and checks of build, which check takes as they are: check is build writing nothing.
std::vector<OptionForm> build_options(std::initializer_list<OptionForm> output) {
    std::vector<OptionForm> options = {{"--manifest", true, true},  {"--app", true, true},     {"--icon", true, false},
                                       {"--stub", true, false},     {"--compressor", true, false},
                                       {"--compression", true, false},
                                       {"--languages", true, false}, {"--texts", true, false}, {"--quiet", false, false},
                                       {"--warnings-as-errors", false, false}};
    options.insert(options.end(), output);
    return options;
}

const std::vector<CommandForm>& commands() {
    static const std::vector<CommandForm> specs = {
        {"build", build_options({{"--out", true, true}, {"--sign-command", true, false}}), 0},
        {"check", build_options({}), 0},
        {"raw", {{"--package", true, true}, {"--stub", true, false}, {"--out", true, true}, {"--quiet", false, false}}, 0},
        {"inspect", {{"--notices", false, false}}, 1},
        {"winget",
         {{"--installer", true, true},
          {"--url", true, true},
          {"--package-id", true, true},
          {"--license", true, true},
          {"--short-description", true, true},
          {"--publisher-url", true, false},
          {"--release-notes-url", true, false},
          {"--tag", true, false},
          {"--out", true, false}},
         0},
        {"feed",
         {{"--feed", true, true},
          {"--installer", true, false},
          {"--withdraw", true, false},
          {"--release", true, false},
          {"--rollout", true, false},
          {"--url", true, false},
          {"--notes", true, false},
          {"--notes-file", true, false},
          {"--allow-signer-change", false, false},
          {"--warnings-as-errors", false, false},
          {"--quiet", false, false}},
         0},
    };
    return specs;
}

const CommandForm* find_command(std::string_view name) {
    for (const CommandForm& form : commands()) {
        if (form.name == name) return &form;
    }
    return nullptr;
}

const OptionForm* find_option(const CommandForm& form, std::string_view name) {
    for (const OptionForm& option : form.options) {
        if (option.name == name) return &option;
    }
    return nullptr;
}

// "--out" or "--out=x" when --out is one of the command's options.
bool names_an_option(const CommandForm& form, std::string_view arg) {
    if (arg == "--help" || arg == "-h") return true;
    return find_option(form, arg.substr(0, arg.find('='))) != nullptr;
}

// What a feed command line can't mean: it adds an installer, withdraws a release, or changes a
// release's rollout, one of the three.
std::optional<std::string> feed_options_problem(const CommandLine& line) {
    const int modes = line.has("--installer") + line.has("--withdraw") + line.has("--release");
    if (modes != 1) return "feed takes one of --installer, --withdraw and --release";
    if (line.has("--release") && !line.has("--rollout")) return "--release needs --rollout, the percentage to offer it to";
    if (!line.has("--installer")) {
        for (const char* option : {"--url", "--notes", "--notes-file", "--allow-signer-change"}) {
            if (line.has(option)) return std::string(option) + " goes with --installer";
        }
        if (line.has("--withdraw") && line.has("--rollout")) return "--rollout doesn't go with --withdraw";
    }
    if (const auto rollout = line.values.find("--rollout"); rollout != line.values.end()) {
        const std::string& text = rollout->second;
        if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != std::string::npos ||
            std::stoi(text) > 100) {
            return "--rollout takes a percentage from 0 to 100, not " + text;
        }
    }
    return std::nullopt;
}

}  // namespace

bool is_command(std::string_view name) { return find_command(name) != nullptr; }

Expected<CommandLine, std::string> parse_command_line(std::string_view command, const std::vector<std::string>& args) {
    const CommandForm* form = find_command(command);
    if (form == nullptr) return unexpected("unknown command " + std::string(command));
    CommandLine line;
    line.command = std::string(command);

    const auto options_end = std::find(args.begin(), args.end(), "--");
    if (std::any_of(args.begin(), options_end, [](const std::string& a) { return a == "--help" || a == "-h"; })) {
        line.help = true;
        return line;
    }

    bool options_over = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (options_over || arg.size() < 2 || arg[0] != '-') {
            line.positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            options_over = true;
            continue;
        }
        if (arg[1] != '-') {
            // A lone dash is a file name; other short options don't exist.
            return unexpected("unknown option " + arg);
        }
        const std::size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        const OptionForm* option = find_option(*form, name);
        if (option == nullptr) {
            return unexpected("unknown option " + name + " (" + std::string(command) + " --help lists its options)");
        }
        if (line.has(name)) return unexpected(name + " is given twice");
        if (!option->takes_value) {
            if (equals != std::string::npos) return unexpected(name + " takes no value");
            line.flags.insert(name);
            continue;
        }
        std::string value;
        if (equals != std::string::npos) {
            value = arg.substr(equals + 1);
        } else {
            if (i + 1 >= args.size() || names_an_option(*form, args[i + 1]) || args[i + 1] == "--") {
                return unexpected(name + " needs a value");
            }
            value = args[++i];
        }
        if (value.empty()) return unexpected(name + " needs a value");
        line.values.emplace(name, std::move(value));
    }

    for (const OptionForm& option : form->options) {
        if (option.required && !line.has(std::string(option.name))) return unexpected("missing " + std::string(option.name));
    }
    if (line.has("--notes") && line.has("--notes-file")) return unexpected("--notes and --notes-file can't both be given");
    if (command == "feed") {
        if (auto problem = feed_options_problem(line)) return unexpected(*problem);
    }
    if (line.positional.size() != form->positional) {
        if (form->positional == 0) return unexpected("unexpected argument " + line.positional.front());
        return unexpected(std::string(command) + " takes one installer file");
    }
    return line;
}

std::string command_help(std::string_view command) {
    if (command == "build") {
        return "Usage: plinth-pack build --manifest app.json --app MyApp.exe --out MyApp-Setup.exe [options]\n"
               "\n"
               "Checks the manifest and the inputs, compresses the app and writes the installer. Every\n"
               "problem found is reported, and nothing is written unless there are none.\n"
               "\n"
               "  --manifest FILE        the app manifest (JSON)\n"
               "  --app FILE|FOLDER      the app's exe, installed byte for byte under the manifest's \"exe\"; or\n"
               "                         a folder with that exe at its top level and every other file the app\n"
               "                         needs, installed with their paths (see docs/packer.md)\n"
               "  --out FILE             the installer to write; not a folder, and not one of the inputs\n"
               "  --icon FILE            a .ico file for the installer (default: the app's own first icon)\n"
               "  --stub FILE            the plinth runtime to pack into (default: see plinth-pack --help)\n"
               "  --compression NAME     deflate (default: every Windows stub reads it) or lzma (smaller,\n"
               "                         slower to install; needs a stub that reads LZMA, see docs/packer.md)\n"
               "  --compressor NAME      deflate's compressor: zlib, libdeflate or zopfli, as this build has them\n"
               "  --languages LIST       the page languages to carry: all (default), none, or tags such as\n"
               "                         de,fr,pt-BR; overrides the manifest's \"languages\"\n"
               "  --texts FILE           a table file of texts: adds languages, or rewords shipped ones\n"
               "  --sign-command CMD     signs the installer before it is put in place: CMD runs in the\n"
               "                         system's shell with {file} (a tool that signs in place) or {in}\n"
               "                         and {out} (one that writes a new file) replaced by paths; the\n"
               "                         result must be the installer with a signature added\n"
               "  --warnings-as-errors   refuse to write the installer when there is a warning\n"
               "  --quiet                print errors only: no summary, no warnings, no progress\n"
               "\n"
               "Options may also be written --name=value. Exit codes: 0 written (perhaps with warnings),\n"
               "1 refused or not written, 2 the command line was wrong.\n";
    }
    if (command == "check") {
        return "Usage: plinth-pack check --manifest app.json --app MyApp.exe|AppFolder [options]\n"
               "\n"
               "Runs every check of build on the same inputs, the installer made in memory, and writes\n"
               "nothing: for CI before a release, or an editor's check of a manifest. Exit code 0 when build\n"
               "would write the installer, 1 when it would refuse (every problem is reported), 2 when the\n"
               "command line was wrong.\n"
               "\n"
               "  --manifest, --app, --icon, --stub, --compression, --compressor, --languages, --texts,\n"
               "  --warnings-as-errors, --quiet   as for build (plinth-pack build --help)\n";
    }
    if (command == "raw") {
        return "Usage: plinth-pack raw --package package.bin --out Setup.exe [--stub plinth-setup.exe] [--quiet]\n"
               "\n"
               "Embeds the package file as it is, without checks (for tests and custom pipelines).\n"
               "\n"
               "  --package FILE   the package: PLNSETUP, the manifest's length, the manifest, the zlib stream\n"
               "  --out FILE       the installer to write; not a folder, and not one of the inputs\n"
               "  --stub FILE      the plinth runtime to pack into (default: see plinth-pack --help)\n"
               "  --quiet          print errors only\n"
               "\n"
               "Options may also be written --name=value.\n";
    }
    if (command == "inspect") {
        return "Usage: plinth-pack inspect [--notices] MyApp-Setup.exe\n"
               "\n"
               "Shows an installer's manifest, what it writes on the user's machine (folder, shortcut,\n"
               "registry keys) and its payload sizes, after inflating the payload to check it.\n"
               "\n"
               "  --notices   print instead the licence notices that the runtime carries for the\n"
               "              libraries linked into it (an installer or plinth-setup.exe itself)\n";
    }
    if (command == "winget") {
        return "Usage: plinth-pack winget --installer MyApp-Setup.exe --url URL --package-id Publisher.App\n"
               "                          --license TEXT --short-description TEXT [--publisher-url URL]\n"
               "                          [--release-notes-url URL] [--tag TAGS] [--out FOLDER]\n"
               "\n"
               "Writes the version, installer and defaultLocale manifests (1.10.0) that submit the installer to\n"
               "winget: name, publisher, version, file extensions, URL protocols and product code (the uninstall entry's key)\n"
               "come from the installer's own package, its SHA-256 from its bytes. See docs/winget.md.\n"
               "\n"
               "  --installer FILE            the installer, exactly as it is published (signed)\n"
               "  --url URL                   where winget downloads it from (https://...)\n"
               "  --package-id ID             winget's identifier, Publisher.App\n"
               "  --license TEXT              the app's licence, as winget shows it (\"MIT\", \"Proprietary\")\n"
               "  --short-description TEXT    one line about the app\n"
               "  --publisher-url URL         the publisher's home page (https://...)\n"
               "  --release-notes-url URL     the page of this version's release notes (https://...)\n"
               "  --tag TAGS                  search terms, separated by commas (\"notes,markdown\"), at most 16\n"
               "  --out FOLDER                where the three files go (default: the current folder)\n"
               "\n"
               "Options may also be written --name=value.\n";
    }
    if (command == "feed") {
        return "Usage: plinth-pack feed --feed FEED.json --installer Setup.exe [--url URL]\n"
               "                        [--notes TEXT | --notes-file FILE] [--rollout PERCENT]\n"
               "                        [--allow-signer-change] [--warnings-as-errors] [--quiet]\n"
               "       plinth-pack feed --feed FEED.json --withdraw VERSION [--quiet]\n"
               "       plinth-pack feed --feed FEED.json --release VERSION --rollout PERCENT [--quiet]\n"
               "\n"
               "Adds the installer's release to the app's update feed (docs/updates.md), or replaces the\n"
               "release of the same version; creates the feed when there is none. The id and the version\n"
               "come from the installer's own package. Releases are kept newest first; the file is\n"
               "replaced whole, and the same releases always give the same bytes. The installer's map,\n"
               "which lets an installed app fetch only what changed, is written beside it as\n"
               "Setup.exe.map and named in the release. Sign first; upload the installer, then the map,\n"
               "then the feed.\n"
               "\n"
               "  --feed FILE         the feed to update or create\n"
               "  --installer FILE    a plinth installer of the feed's app\n"
               "  --url URL           where the installer is, relative to the feed's URL or absolute https\n"
               "                      (default: the installer's file name)\n"
               "  --notes TEXT        the release notes the update dialog shows\n"
               "  --notes-file FILE   the same, read from a UTF-8 file\n"
               "  --rollout PERCENT   offer the release to this share of installs only (0 to 100); each\n"
               "                      install falls in a bucket of its own random number, so raising the\n"
               "                      share later only adds installs\n"
               "  --withdraw VERSION  remove that release: installed apps then see the next newest\n"
               "  --release VERSION   the release whose --rollout changes, without its installer\n"
               "  --allow-signer-change   no warning when the installer's signer differs from the newest\n"
               "                      release's (installed apps refuse an update from another signer)\n"
               "  --warnings-as-errors    refuse to change the feed when there is a warning\n"
               "  --quiet             print errors only\n";
    }
    return {};
}

}  // namespace plinth::pack
