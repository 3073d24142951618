#include "installer_signing.h"

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

#include "file_io.h"
#include "temporary_file.h"
#include "pe_image.h"
#include "resource_writer.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace plinth::pack {
namespace {

constexpr std::string_view kFile = "{file}";
constexpr std::string_view kIn = "{in}";
constexpr std::string_view kOut = "{out}";

// The largest file a signature may make of an installer: a certificate table of some
// certificates and a timestamp is a few KiB; 1 MiB is far beyond any real one.
constexpr std::uint64_t kMaxSignatureGrowth = 1u << 20;

bool has(std::string_view text, std::string_view word) { return text.find(word) != std::string_view::npos; }

Result<std::string> quoted(const std::string& path, ShellQuoting quoting) {
    if (quoting == ShellQuoting::cmd) {
        // cmd reads %NAME% even inside quotes, and a path never holds a quote on Windows.
        if (path.find_first_of("\"%") != std::string::npos) {
            return fail("the path " + path + " holds \" or %, which cmd can't be given quoted");
        }
        return "\"" + path + "\"";
    }
    std::string out = "'";
    for (char c : path) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out += c;
        }
    }
    return out + "'";
}

std::string describe_offset(std::uint64_t offset) { return "at byte " + std::to_string(offset); }

// Runs the command through the system's shell; its exit code, or a failure when it couldn't run.
Result<int> run_shell(const std::string& command) {
#ifdef _WIN32
    // cmd /c drops the first and the last quote of a line that starts with one: a pair of its own.
    const std::wstring line = L"\"" + path_from_utf8(command).wstring() + L"\"";
    const int status = _wsystem(line.c_str());
    if (status == -1) return fail("the sign command couldn't be started (no command processor)");
    return status;
#else
    const int status = std::system(command.c_str());
    if (status == -1) return fail("the sign command couldn't be started (no shell)");
    if (WIFSIGNALED(status)) return fail("the sign command was ended by signal " + std::to_string(WTERMSIG(status)));
    return WEXITSTATUS(status);
#endif
}

// A new folder beside a file, "<its name>.<random>.signing", created exclusively (an existing
// name, a link's included, is never used) and removed with its contents when this ends.
class SigningFolder {
public:
    static Result<SigningFolder> create(const std::filesystem::path& beside) {
        const TemporaryNames names = random_temporary_names();
        std::error_code error;
        for (int attempt = 0; attempt < TemporaryFile::kNamesTried; ++attempt) {
            std::filesystem::path candidate = beside;
            candidate += path_from_utf8("." + names() + ".signing");
            if (std::filesystem::create_directory(candidate, error)) return SigningFolder(std::move(candidate));
            if (error) return fail(error.message());
        }
        return fail("every name tried is taken");
    }
    SigningFolder(SigningFolder&& other) noexcept : path_(std::exchange(other.path_, {})) {}
    SigningFolder& operator=(SigningFolder&&) = delete;
    ~SigningFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    explicit SigningFolder(std::filesystem::path path) : path_(std::move(path)) {}
    std::filesystem::path path_;
};

}  // namespace

bool sign_command_writes_new_file(std::string_view command) { return has(command, kOut); }

Result<std::string> expand_sign_command(std::string_view command, const std::string& in, const std::string& out,
                                        ShellQuoting quoting) {
    const bool file = has(command, kFile), input = has(command, kIn), output = has(command, kOut);
    if (file && (input || output)) {
        return fail("the sign command has {file} and {in} or {out}: {file} is for a tool that signs in place, "
                    "{in} and {out} for one that writes a new file");
    }
    if (!file && input != output) {
        return fail(std::string("the sign command has ") + (input ? "{in} without {out}" : "{out} without {in}") +
                    ": a tool that writes a new file is given both");
    }
    if (!file && !input) {
        return fail("the sign command names no file: write {file} where the installer goes (a tool that signs in "
                    "place) or {in} and {out} (one that writes a new file)");
    }
    auto quoted_in = quoted(in, quoting);
    if (!quoted_in) return quoted_in;
    auto quoted_out = quoted(out, quoting);
    if (output && !quoted_out) return quoted_out;
    std::string expanded;
    for (std::size_t i = 0; i < command.size();) {
        const std::string_view rest = command.substr(i);
        if (rest.starts_with(kFile)) {
            expanded += *quoted_in;
            i += kFile.size();
        } else if (rest.starts_with(kIn)) {
            expanded += *quoted_in;
            i += kIn.size();
        } else if (rest.starts_with(kOut)) {
            expanded += *quoted_out;
            i += kOut.size();
        } else {
            expanded += command[i++];
        }
    }
    return expanded;
}

std::optional<std::string> signature_added_problem(ByteView unsigned_image, ByteView signed_image) {
    auto before = read_pe_image(unsigned_image);
    if (!before) return "the installer as written isn't a Windows program: " + before.error().text;
    auto after = read_pe_image(signed_image);
    if (!after) return "it isn't a Windows program: " + after.error().text;
    if (after->directory_count <= kDirSecurity || after->directories[kDirSecurity].size == 0) {
        return "it carries no signature (its certificate table is empty)";
    }
    const DataDirectory table = after->directories[kDirSecurity];
    // The certificate table starts at the next 8-byte boundary after the installer's bytes.
    const std::uint64_t start = (unsigned_image.size() + 7) / 8 * 8;
    if (signed_image.size() < unsigned_image.size()) return "it is shorter than the installer";
    if (table.rva != start) {
        return "its signature doesn't follow the installer's bytes (the certificate table is " + describe_offset(table.rva) +
               ", the installer ends " + describe_offset(unsigned_image.size()) + ")";
    }
    if (static_cast<std::uint64_t>(table.rva) + table.size != signed_image.size()) {
        return "its certificate table doesn't end where the file ends";
    }
    if (signed_image.size() - unsigned_image.size() > kMaxSignatureGrowth) return "its signature is larger than 1 MiB";
    const auto length = read_u32(signed_image, table.rva);
    const auto revision = read_u16(signed_image, table.rva + 4);
    const auto type = read_u16(signed_image, table.rva + 6);
    if (!length || *length <= 8 || *length > table.size || revision != 0x0200 || type != 0x0002) {
        return "its certificate table isn't an Authenticode signature (PKCS #7 signed data)";
    }
    // Same bytes, but for the fields a signature changes.
    const std::uint64_t checksum = before->checksum_offset();
    const std::uint64_t directory = before->directory_offset(kDirSecurity);
    if (before->directory_count <= kDirSecurity) return "the installer as written has no certificate directory";
    for (std::uint64_t i = 0; i < unsigned_image.size(); ++i) {
        if ((i >= checksum && i < checksum + 4) || (i >= directory && i < directory + 8)) continue;
        if (unsigned_image[i] != signed_image[i]) return "its bytes differ from the installer's " + describe_offset(i);
    }
    for (std::uint64_t i = unsigned_image.size(); i < start; ++i) {
        if (signed_image[i] != 0) return "the padding before its signature isn't zeros";
    }
    return std::nullopt;
}

Status sign_installer_file(const std::filesystem::path& file, const std::string& command) {
    const bool new_file = sign_command_writes_new_file(command);
    // The tool's output goes into a folder of its own, made exclusively beside the installer
    // (nothing planted there is followed; signing tools refuse to overwrite a file, so the
    // output's name itself can't be reserved), removed with whatever is left in it.
    std::optional<SigningFolder> folder;
    if (new_file) {
        auto made = SigningFolder::create(file);
        if (!made) return fail("no folder for the signed installer can be made beside it (" + made.error().text + ").");
        folder.emplace(std::move(*made));
    }
    const std::filesystem::path out = new_file ? folder->path() / file.filename() : file;
#ifdef _WIN32
    constexpr ShellQuoting quoting = ShellQuoting::cmd;
#else
    constexpr ShellQuoting quoting = ShellQuoting::posix;
#endif
    auto expanded = expand_sign_command(command, path_to_utf8(file), path_to_utf8(out), quoting);
    if (!expanded) return fail(expanded.error().text + ".");
    auto unsigned_image = read_file(file, kMaxImageSize + kMaxSignatureGrowth);
    if (!unsigned_image) return fail(unsigned_image.error().text);
    auto status = run_shell(*expanded);
    if (!status) return fail(status.error().text + ".");
    if (*status != 0) return fail("the sign command failed (exit code " + std::to_string(*status) + ").");
    auto signed_image = read_file(out, kMaxImageSize + kMaxSignatureGrowth);
    if (!signed_image) return fail("the sign command's result can't be read: " + signed_image.error().text);
    if (auto problem = signature_added_problem(*unsigned_image, *signed_image)) {
        return fail("the sign command's result isn't the installer with a signature added: " + *problem + ".");
    }
    if (new_file) {
        std::error_code error;
        std::filesystem::rename(out, file, error);
        if (error) return fail(path_to_utf8(file) + ": Can't be replaced by the signed file (" + error.message() + ").");
    }
    return success();
}

}  // namespace plinth::pack
