#include "install/app_files_install.h"

#include "install/leftover_sweep.h"
#include "install/replace_and_write.h"
#include "package/payload.h"
#include "system_error/error_text.h"

namespace plinth {
namespace {

// Inflating overlaps writing: at most this much is inflated ahead of the file being written, on
// top of it, so that memory stays within the largest file and a few MiB.
constexpr std::size_t kInflateAheadBudget = 4u << 20;

// The files' bytes in the table's order, inflated on a second thread when the system gives one.
class InflatedFiles final : public platform::BufferMaker {
public:
    InflatedFiles(platform::Platform& platform, const AppFiles& files)
        : files_(files), ahead_(platform.session.work_ahead(*this, kInflateAheadBudget)) {}
    Result<std::span<const std::uint8_t>> next() {
        const AppFile& file = files_[taken_++];
        if (!ahead_) return inflater_.inflate(file.stream, file.size);
        if (auto bytes = ahead_->next()) return *bytes;
        return fail(failure_.empty() ? std::string(kDamagedPayloadText) : std::move(failure_));
    }

private:
    std::size_t count() const override { return files_.size(); }
    // A size its stream can't make is taken as none, so that no room is taken for it.
    std::size_t size_of(std::size_t index) const override {
        const AppFile& file = files_[index];
        return inflated_size_possible(file.stream, file.size) ? file.size : 0;
    }
    bool make(std::size_t index, std::span<std::uint8_t> out) override {
        const AppFile& file = files_[index];
        if (out.size() != file.size) return false;  // the failure is damage
        auto inflated = inflater_.inflate_into(file.stream, out);
        if (!inflated) failure_ = std::move(inflated.error().text);
        return static_cast<bool>(inflated);
    }

    const AppFiles& files_;
    FileInflater inflater_;
    std::string failure_;  // written by the worker before it hands the failed file over
    std::size_t taken_ = 0;
    // Last, so that the worker, which uses the members above, is stopped before they go.
    std::unique_ptr<platform::WorkAhead> ahead_;
};

}  // namespace

Result<std::uint64_t> install_app_files(platform::Platform& platform, const Path& folder, const AppFiles& files) {
    std::uint64_t written = 0;
    Path previous_parent = folder;  // the install folder is swept already
    InflatedFiles inflated(platform, files);
    for (const AppFile& file : files) {
        const Path target = join_path(folder, to_utf16(file.path));
        const Path parent = parent_folder(target).value_or(folder);
        if (parent != previous_parent) {
            if (const auto code = platform.files.create_folder_tree(parent); code != platform::codes::kSuccess) {
                return fail("Can't create the folder " + path_text(parent) + ": " +
                            os_error_text(platform.system_text, code));
            }
            // The packer lists each folder's files together, so each folder is swept once.
            sweep_leftovers(platform, parent);
            previous_parent = parent;
        }
        auto bytes = inflated.next();
        if (!bytes) return fail(std::move(bytes.error().text));
        if (auto status = replace_and_write(platform, target, *bytes); !status) return fail(std::move(status.error().text));
        written += bytes->size();
    }
    return written;
}

std::vector<std::string> dropped_app_files(const std::vector<std::string>& previous, const AppFiles& files,
                                           std::string_view exe) {
    std::vector<std::string> kept{std::string(exe)};
    for (const AppFile& file : files) kept.push_back(file.path);
    return paths_not_in(previous, kept);
}

}  // namespace plinth
