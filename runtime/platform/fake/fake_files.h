// An in-memory file system: folders and files with bytes and attributes, compared without ASCII
// case, with files that are running programs (can't be deleted, can be renamed) or held open
// (neither), and the canonical-path rule of the real system.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/fake/fault_plan.h"
#include "platform/platform.h"

namespace plinth::fake {

struct FileAttributes {
    bool read_only = false;
    bool running = false;  // a running program's image: delete refused, rename allowed
    bool locked = false;   // held open without delete sharing: delete, rename and write refused
    bool held = false;     // held open sharing only reading (Files::hold): reading still allowed
    bool refuses_change() const { return locked || held; }
};

class FakeFiles : public platform::Files {
public:
    explicit FakeFiles(FaultPlan& faults);

    platform::ErrorCode create_folder_tree(const Path& path) override;
    platform::SysResult<std::vector<Path>> list_folder(const Path& path, bool mark_folders = false) override;
    platform::SysResult<platform::FileInfo> metadata(const Path& path) override;
    platform::ErrorCode delete_file(const Path& path) override;
    platform::ErrorCode delete_file_by_handle(const Path& path, std::uint32_t disposition_flags) override;
    platform::ErrorCode remove_folder(const Path& path) override;
    platform::ErrorCode rename(const Path& from, const Path& to) override;
    // The log and the fault plan see it with the path it replaces, `to`.
    platform::ErrorCode replace(const Path& from, const Path& to) override;
    platform::SysResult<Path> canonical_path(const Path& path) override;
    platform::ErrorCode write_file(const Path& path, std::span<const std::uint8_t> bytes) override;
    // The whole file; the fault plan and the log know it as "files.read_file".
    platform::SysResult<std::vector<std::uint8_t>> read_file(const Path& path);
    // The log and the fault plan see these as "files.read_file" of the whole file when it is
    // opened, and "files.write_file" of all that is left of it.
    platform::SysResult<std::unique_ptr<platform::OpenFile>> open_for_reading(const Path& path) override;
    Expected<void, platform::CopyFailure> write_file_from(const Path& path, platform::OpenFile& source) override;
    // The file's writes are "files.write" of its path.
    platform::SysResult<std::unique_ptr<platform::NewFile>> create_new(const Path& path) override;
    platform::SysResult<std::unique_ptr<platform::NewFile>> open_for_append(const Path& path) override;
    // "files.hold" to the fault plan; the file is `held` until the result is destroyed, and
    // reads through it see the file's bytes as they are.
    platform::SysResult<std::unique_ptr<platform::HeldFile>> hold(const Path& path) override;

    // Seeding and inspection, for tests. Parents are created as needed.
    void add_folder(const Path& path);
    void add_file(const Path& path, std::vector<std::uint8_t> bytes, FileAttributes attributes = {});
    void add_file(const Path& path, std::string_view text, FileAttributes attributes = {});
    void set_attributes(const Path& path, FileAttributes attributes);
    // A second name for a file, as Windows gives a long name its 8.3 short name: the file can be
    // reached by either, and keeps the short name when another file is renamed into its place.
    void add_short_name(const Path& path, const Path& short_path);
    // A symbolic link or junction at `path` that leads to `target`: a path through it reaches the
    // target's entries, while deleting it (a file link) or removing it (a folder link) takes the
    // link alone, whatever the target holds.
    void add_link(const Path& path, const Path& target, bool folder);
    bool exists(const Path& path) const;
    bool is_folder(const Path& path) const;
    std::optional<std::vector<std::uint8_t>> bytes(const Path& path) const;
    std::optional<std::string> text(const Path& path) const;
    // Paths of every file and folder below `folder`, in sorted order, as stored.
    std::vector<Path> list_tree(const Path& folder) const;
    // The whole tree as text, sorted: equal dumps mean equal file systems.
    std::string dump() const;
    // Like Wine 8, refuse FileDispositionInfoEx with ERROR_INVALID_PARAMETER.
    void set_disposition_ex_supported(bool supported) { disposition_ex_supported_ = supported; }
    // A drive that has gone away: every path below it is unreachable.
    void remove_drive(const Path& drive);

    // The disposition flags of every delete_file_by_handle call, in order.
    std::vector<std::uint32_t> disposition_flags_seen;

private:
    struct Node {
        Path path;  // as first created
        bool folder = false;
        std::vector<std::uint8_t> bytes;
        FileAttributes attributes;
        Path link_to;  // a link's target, as given; empty for anything else
    };
    static Path key(const Path& path);
    // key(), with each link on the way taken to its target and a short name taken to the long
    // name it stands for. The final component stays as named: a link there is the link itself.
    Path resolve(const Path& path) const;
    // resolve(), and a link at the end taken to its target too.
    Path follow(const Path& path) const;
    static Path parent_key(const Path& key);
    const Node* find(const Path& path) const;
    Node* find(const Path& path);
    platform::ErrorCode missing_error(const Path& path) const;
    std::unique_ptr<platform::NewFile> appender(const Path& path);
    void ensure_folder(const Path& path);
    // Renames `from` (which exists) and everything below it to the free name `to`.
    platform::ErrorCode move_node(const Path& from, const Path& to);

    FaultPlan& faults_;
    std::map<Path, Node> nodes_;  // by key()
    std::map<Path, Path> short_names_;  // key() of a short name -> key() of the long one
    bool disposition_ex_supported_ = true;
};

}  // namespace plinth::fake
