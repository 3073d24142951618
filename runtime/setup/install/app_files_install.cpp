#include "install/app_files_install.h"

#include <algorithm>
#include <set>

#include "deletion/app_files_deletion.h"
#include "deletion/file_deletion.h"
#include "deletion/leftover_sweep.h"
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

void delete_staged(platform::Platform& platform, const Path& folder, const AppFiles& files, std::size_t from,
                   std::size_t to) {
    for (std::size_t i = from; i < to; ++i) {
        (void)delete_file(platform, staged_path(join_path(folder, to_utf16(files[i].path))));
    }
}

}  // namespace

Result<std::uint64_t> stage_app_files(platform::Platform& platform, const Path& folder, const AppFiles& files,
                                      bool sweep) {
    std::uint64_t written = 0;
    // The install folder is swept already. A folder is swept once only: a second sweep would
    // take the files staged in it.
    std::set<std::u16string> swept{std::u16string()};
    InflatedFiles inflated(platform, files);
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string_view path = files[i].path;
        const std::size_t end = path.rfind('\\');
        if (end != std::string_view::npos && swept.insert(fold_case(path.substr(0, end))).second) {
            const Path parent = join_path(folder, to_utf16(path.substr(0, end)));
            if (const auto code = platform.files.create_folder_tree(parent); code != platform::codes::kSuccess) {
                delete_staged(platform, folder, files, 0, i);
                return fail("Can't create the folder " + path_text(parent) + ": " +
                            os_error_text(platform.system_text, code));
            }
            // Never through a link: the .old files where it leads aren't ours.
            if (sweep && !passes_link(platform, folder, parent, true)) sweep_leftovers(platform, parent);
        }
        auto bytes = inflated.next();
        Status staged = bytes ? stage_bytes(platform, join_path(folder, to_utf16(path)), *bytes)
                              : Status(fail(std::move(bytes.error().text)));
        if (!staged) {
            // A failed write may have left part of the file.
            delete_staged(platform, folder, files, 0, bytes ? i + 1 : i);
            return fail(std::move(staged.error().text));
        }
        written += bytes->size();
    }
    return written;
}

Status put_app_files_in_place(platform::Platform& platform, const Path& folder, const AppFiles& files) {
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (auto status = put_in_place(platform, join_path(folder, to_utf16(files[i].path))); !status) {
            delete_staged(platform, folder, files, i + 1, files.size());
            return status;
        }
    }
    return success();
}

void delete_staged_app_files(platform::Platform& platform, const Path& folder, const AppFiles& files) {
    delete_staged(platform, folder, files, 0, files.size());
}

std::vector<std::string> dropped_app_files(const std::vector<std::string>& previous, const AppFiles& files,
                                           std::string_view exe) {
    std::vector<std::string> kept{std::string(exe)};
    for (const AppFile& file : files) kept.push_back(file.path);
    return paths_not_in(previous, kept);
}

std::vector<std::u16string> folders_of(const AppFiles& files) {
    std::vector<std::u16string> folders;
    for (const AppFile& file : files) {
        for (std::size_t end = file.path.find('\\'); end != std::string::npos; end = file.path.find('\\', end + 1)) {
            folders.push_back(fold_case(std::string_view(file.path).substr(0, end + 1)));
        }
    }
    std::sort(folders.begin(), folders.end());
    folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
    return folders;
}

std::vector<std::string> take_paths_in_the_way(std::vector<std::string>& dropped,
                                               const std::vector<std::u16string>& folders) {
    std::vector<std::string> in_the_way;
    std::vector<std::string> rest;
    for (std::string& path : dropped) {
        const bool folder = std::binary_search(folders.begin(), folders.end(), fold_case(path + '\\'));
        (folder ? in_the_way : rest).push_back(std::move(path));
    }
    dropped = std::move(rest);
    return in_the_way;
}

}  // namespace plinth
