#include "platform/fake/fake_files.h"

#include <algorithm>

#include "common/text.h"

namespace plinth::fake {
namespace {

using platform::ErrorCode;
namespace codes = platform::codes;

constexpr std::uint32_t kDispositionDelete = 0x1;
constexpr ErrorCode kDirectoryNameInvalid = 267;  // ERROR_DIRECTORY
constexpr std::uint32_t kDispositionIgnoreReadOnly = 0x10;

}  // namespace

FakeFiles::FakeFiles(FaultPlan& faults) : faults_(faults) { add_folder(u"C:"); }

// Lower-case, backslashes only, no trailing separator, no "\\?\" prefix.
Path FakeFiles::key(const Path& path) {
    Path out = ascii_lower(path);
    if (out.rfind(u"\\\\?\\", 0) == 0) out.erase(0, 4);
    for (char16_t& unit : out) {
        if (unit == u'/') unit = u'\\';
    }
    while (out.size() > 1 && out.back() == u'\\') out.pop_back();
    // As Windows reads a path, a final component loses its trailing dots and spaces.
    const std::size_t start = out.find_last_of(u'\\') + 1;
    std::size_t end = out.size();
    while (end > start && (out[end - 1] == u'.' || out[end - 1] == u' ')) --end;
    if (end > start && out.compare(start, Path::npos, u"..") != 0) out.resize(end);
    return out;
}

Path FakeFiles::resolve(const Path& path) const {
    Path k = key(path);
    // A bounded number of links, as the system gives up on a loop.
    for (int links = 0; links < 32; ++links) {
        std::size_t at = k.find(u'\\');
        for (; at != Path::npos; at = k.find(u'\\', at + 1)) {
            const auto it = nodes_.find(k.substr(0, at));
            if (it != nodes_.end() && !it->second.link_to.empty()) break;
        }
        if (at == Path::npos) break;
        k = key(nodes_.at(k.substr(0, at)).link_to) + k.substr(at);
    }
    if (nodes_.count(k)) return k;
    const auto alias = short_names_.find(k);
    return alias == short_names_.end() ? k : alias->second;
}

Path FakeFiles::follow(const Path& path) const {
    Path k = resolve(path);
    for (int links = 0; links < 32; ++links) {
        const auto it = nodes_.find(k);
        if (it == nodes_.end() || it->second.link_to.empty()) break;
        k = resolve(it->second.link_to);
    }
    return k;
}

Path FakeFiles::parent_key(const Path& key) {
    const size_t last = key.find_last_of(u'\\');
    return last == Path::npos ? Path() : key.substr(0, last);
}

const FakeFiles::Node* FakeFiles::find(const Path& path) const {
    auto it = nodes_.find(resolve(path));
    return it == nodes_.end() ? nullptr : &it->second;
}

FakeFiles::Node* FakeFiles::find(const Path& path) {
    auto it = nodes_.find(resolve(path));
    return it == nodes_.end() ? nullptr : &it->second;
}

ErrorCode FakeFiles::missing_error(const Path& path) const {
    const Path parent = parent_key(key(path));
    if (parent.empty()) return codes::kFileNotFound;
    const Node* node = find(parent);
    return node && node->folder ? codes::kFileNotFound : codes::kPathNotFound;
}

void FakeFiles::ensure_folder(const Path& path) {
    const Path k = key(path);
    if (k.empty() || nodes_.count(k)) return;
    // The path as the key spells it, but in its own case: parents made on the way keep the
    // spelling they were given, as the real file system does.
    Path shown = path;
    if (shown.rfind(u"\\\\?\\", 0) == 0) shown.erase(0, 4);
    for (char16_t& unit : shown) {
        if (unit == u'/') unit = u'\\';
    }
    while (shown.size() > 1 && shown.back() == u'\\') shown.pop_back();
    const Path parent = parent_key(k);
    if (!parent.empty()) ensure_folder(shown.substr(0, parent.size()));
    Node node;
    node.path = shown;
    node.folder = true;
    nodes_[k] = node;
}

ErrorCode FakeFiles::create_folder_tree(const Path& path) {
    if (auto code = faults_.check("files.create_folder_tree", path)) return *code;
    const Path k = key(path);
    // Only the drives that exist can take folders; a relative path hangs off the current folder.
    const size_t colon = k.find(u':');
    if (colon != Path::npos && !nodes_.count(k.substr(0, colon + 1))) return codes::kPathNotFound;
    for (Path walk = k; !walk.empty(); walk = parent_key(walk)) {
        auto it = nodes_.find(walk);
        if (it != nodes_.end() && !it->second.folder) return codes::kAlreadyExists;
    }
    ensure_folder(path);
    return codes::kSuccess;
}

platform::SysResult<std::vector<Path>> FakeFiles::list_folder(const Path& path, bool mark_folders) {
    if (auto code = faults_.check("files.list_folder", path)) return unexpected(*code);
    const Path k = follow(path);
    const auto folder = nodes_.find(k);
    if (folder == nodes_.end() || !folder->second.folder) return unexpected(codes::kPathNotFound);
    std::vector<Path> names;
    for (const auto& [node_key, node] : nodes_) {
        if (node_key == k || parent_key(node_key) != k) continue;
        names.push_back(final_component(node.path));
        // A link to a folder is marked as one, as FindFirstFileW gives it the folder attribute.
        const auto target = nodes_.find(follow(node.path));
        if (mark_folders && target != nodes_.end() && target->second.folder) names.back() += u'\\';
    }
    return names;
}

platform::SysResult<platform::FileInfo> FakeFiles::metadata(const Path& path) {
    if (auto code = faults_.check("files.metadata", path)) return unexpected(*code);
    const Node* node = find(path);
    if (!node) return unexpected(missing_error(path));
    const bool link = !node->link_to.empty();
    if (link) {
        const auto target = nodes_.find(follow(path));
        if (target == nodes_.end()) return unexpected(codes::kFileNotFound);
        node = &target->second;
    }
    return platform::FileInfo{node->folder, node->bytes.size(), node->attributes.read_only, link};
}

ErrorCode FakeFiles::delete_file(const Path& path) {
    if (auto code = faults_.check("files.delete_file", path)) return *code;
    Node* node = find(path);
    if (!node) return missing_error(path);
    if (node->folder || node->attributes.running || node->attributes.read_only) return codes::kAccessDenied;
    if (node->attributes.refuses_change()) return codes::kSharingViolation;
    nodes_.erase(resolve(path));
    return codes::kSuccess;
}

ErrorCode FakeFiles::remove_folder(const Path& path) {
    if (auto code = faults_.check("files.remove_folder", path)) return *code;
    Node* node = find(path);
    if (!node) return missing_error(path);
    if (!node->folder) return kDirectoryNameInvalid;
    const Path prefix = resolve(path) + u"\\";
    const auto next = nodes_.lower_bound(prefix);
    if (next != nodes_.end() && next->first.starts_with(prefix)) return codes::kDirNotEmpty;
    nodes_.erase(resolve(path));
    return codes::kSuccess;
}

ErrorCode FakeFiles::delete_file_by_handle(const Path& path, std::uint32_t disposition_flags) {
    disposition_flags_seen.push_back(disposition_flags);
    if (auto code = faults_.check("files.delete_file_by_handle", path)) return *code;
    Node* node = find(path);
    if (!node) return missing_error(path);
    if (node->attributes.refuses_change()) return codes::kSharingViolation;
    // Opening a folder needs backup semantics, which this open doesn't ask for.
    if (node->folder) return codes::kAccessDenied;
    if (!disposition_ex_supported_) return codes::kInvalidParameter;
    if (node->attributes.running) return codes::kAccessDenied;
    if (!(disposition_flags & kDispositionDelete)) return codes::kSuccess;
    if (node->attributes.read_only && !(disposition_flags & kDispositionIgnoreReadOnly)) {
        return codes::kAccessDenied;
    }
    nodes_.erase(resolve(path));
    return codes::kSuccess;
}

ErrorCode FakeFiles::rename(const Path& from, const Path& to) {
    if (auto code = faults_.check("files.rename", from)) return *code;
    Node* node = find(from);
    if (!node) return missing_error(from);
    if (node->attributes.refuses_change()) return codes::kSharingViolation;
    if (find(to)) return codes::kAlreadyExists;
    // As on Windows, a folder holding a running program or an open file can't be renamed.
    if (node->folder) {
        const Path prefix = resolve(from) + u"\\";
        for (auto it = nodes_.lower_bound(prefix); it != nodes_.end() && it->first.starts_with(prefix); ++it) {
            if (it->second.attributes.running || it->second.attributes.refuses_change()) return codes::kAccessDenied;
        }
    }
    return move_node(from, to);
}

ErrorCode FakeFiles::move_node(const Path& from, const Path& to) {
    const Path to_key = key(to);
    const Node* parent = find(parent_key(to_key));
    if (!parent_key(to_key).empty() && (!parent || !parent->folder)) return codes::kPathNotFound;
    const Path from_key = resolve(from);
    const Path stored_from = nodes_.at(from_key).path;
    std::map<Path, Node> moved;
    for (auto it = nodes_.begin(); it != nodes_.end();) {
        if (it->first == from_key || it->first.rfind(from_key + u"\\", 0) == 0) {
            Node renamed = it->second;
            renamed.path = to + it->second.path.substr(stored_from.size());
            moved[to_key + it->first.substr(from_key.size())] = renamed;
            it = nodes_.erase(it);
        } else {
            ++it;
        }
    }
    for (auto& [k, n] : moved) nodes_[k] = n;
    return codes::kSuccess;
}

ErrorCode FakeFiles::replace(const Path& from, const Path& to) {
    if (auto code = faults_.check("files.replace", to)) return *code;
    const Node* source = find(from);
    if (!source) return missing_error(from);
    if (source->folder) return codes::kAccessDenied;
    if (source->attributes.refuses_change()) return codes::kSharingViolation;
    if (const Node* target = find(to)) {
        if (target->folder || target->attributes.running || target->attributes.read_only) return codes::kAccessDenied;
        if (target->attributes.refuses_change()) return codes::kSharingViolation;
        if (resolve(to) == resolve(from)) return codes::kSuccess;
        // The file's own name, not the short one it may have been reached by; the short name
        // keeps standing for that place, so the new file takes it over.
        const Path replaced = target->path;
        nodes_.erase(resolve(to));
        return move_node(from, replaced);
    }
    return move_node(from, to);
}

platform::SysResult<Path> FakeFiles::canonical_path(const Path& path) {
    if (auto code = faults_.check("files.canonical_path", path)) return unexpected(*code);
    const Node* node = find(path);
    if (!node) return unexpected(missing_error(path));
    return u"\\\\?\\" + node->path;
}

platform::SysResult<std::vector<std::uint8_t>> FakeFiles::read_file(const Path& path) {
    if (auto code = faults_.check("files.read_file", path)) return unexpected(*code);
    const Node* node = find(path);
    if (!node) return unexpected(missing_error(path));
    if (node->folder) return unexpected(codes::kAccessDenied);
    if (node->attributes.locked) return unexpected(codes::kSharingViolation);
    return node->bytes;
}

ErrorCode FakeFiles::write_file(const Path& path, std::span<const std::uint8_t> bytes) {
    if (auto code = faults_.check("files.write_file", path)) return *code;
    Node* node = find(path);
    if (node) {
        if (node->folder || node->attributes.read_only) return codes::kAccessDenied;
        if (node->attributes.running || node->attributes.refuses_change()) return codes::kSharingViolation;
        node->bytes.assign(bytes.begin(), bytes.end());
        return codes::kSuccess;
    }
    const Path parent = parent_key(key(path));
    const Node* folder = find(parent);
    if (!parent.empty() && (!folder || !folder->folder)) return codes::kPathNotFound;
    Node created;
    created.path = path;
    created.bytes.assign(bytes.begin(), bytes.end());
    nodes_[key(path)] = created;
    return codes::kSuccess;
}

platform::SysResult<std::unique_ptr<platform::OpenFile>> FakeFiles::open_for_reading(const Path& path) {
    auto bytes = read_file(path);
    if (!bytes) return unexpected(bytes.error());
    // What was read at opening stays the file's content for its reader, as an open handle keeps
    // reading the file after a rename.
    class Snapshot final : public platform::OpenFile {
    public:
        explicit Snapshot(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
        platform::SysResult<std::size_t> read(std::span<std::uint8_t> into) override {
            const std::size_t count = std::min(into.size(), bytes_.size() - at_);
            std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(at_), count, into.begin());
            at_ += count;
            return count;
        }

    private:
        std::vector<std::uint8_t> bytes_;
        std::size_t at_ = 0;
    };
    return std::unique_ptr<platform::OpenFile>(std::make_unique<Snapshot>(std::move(*bytes)));
}

Expected<void, platform::CopyFailure> FakeFiles::write_file_from(const Path& path, platform::OpenFile& source) {
    std::vector<std::uint8_t> bytes;
    std::uint8_t chunk[4096];
    for (;;) {
        const auto got = source.read(chunk);
        if (!got) return unexpected(platform::CopyFailure{.reading = true, .code = got.error()});
        if (*got == 0) break;
        bytes.insert(bytes.end(), chunk, chunk + *got);
    }
    if (const ErrorCode code = write_file(path, bytes); code != codes::kSuccess) {
        return unexpected(platform::CopyFailure{.reading = false, .code = code});
    }
    return {};
}

platform::SysResult<std::unique_ptr<platform::NewFile>> FakeFiles::create_new(const Path& path) {
    if (auto code = faults_.check("files.create_new", path)) return unexpected(*code);
    if (find(path) != nullptr) return unexpected(platform::ErrorCode{80});  // ERROR_FILE_EXISTS
    if (const ErrorCode code = write_file(path, {}); code != codes::kSuccess) return unexpected(code);
    return appender(path);
}

platform::SysResult<std::unique_ptr<platform::NewFile>> FakeFiles::open_for_append(const Path& path) {
    if (auto code = faults_.check("files.open_for_append", path)) return unexpected(*code);
    if (const Node* node = find(path); node != nullptr && node->folder) return unexpected(codes::kAccessDenied);
    if (find(path) == nullptr) {
        if (const ErrorCode code = write_file(path, {}); code != codes::kSuccess) return unexpected(code);
    }
    return appender(path);
}

platform::SysResult<std::unique_ptr<platform::HeldFile>> FakeFiles::hold(const Path& path) {
    if (auto code = faults_.check("files.hold", path)) return unexpected(*code);
    Node* node = find(path);
    if (!node) return unexpected(missing_error(path));
    if (node->folder) return unexpected(codes::kAccessDenied);
    if (node->attributes.locked || node->attributes.held) return unexpected(codes::kSharingViolation);
    node->attributes.held = true;
    class Held final : public platform::HeldFile {
    public:
        Held(FakeFiles& files, Path path) : files_(files), path_(std::move(path)) {}
        ~Held() override {
            if (Node* node = files_.find(path_)) node->attributes.held = false;
        }
        platform::SysResult<std::uint64_t> size() override { return files_.find(path_)->bytes.size(); }
        platform::SysResult<std::size_t> read_at(std::uint64_t offset, std::span<std::uint8_t> into) override {
            if (auto code = files_.faults_.check("files.read_at", path_)) return unexpected(*code);
            const std::vector<std::uint8_t>& bytes = files_.find(path_)->bytes;
            if (offset >= bytes.size()) return std::size_t{0};
            const std::size_t count = std::min<std::uint64_t>(into.size(), bytes.size() - offset);
            std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), count, into.begin());
            return count;
        }
        std::uintptr_t handle() const override { return 0x4E1D; }

    private:
        FakeFiles& files_;
        Path path_;
    };
    return std::unique_ptr<platform::HeldFile>(std::make_unique<Held>(*this, path));
}

std::unique_ptr<platform::NewFile> FakeFiles::appender(const Path& path) {
    class Appender final : public platform::NewFile {
    public:
        Appender(FakeFiles& files, Path path) : files_(files), path_(std::move(path)) {}
        ErrorCode write(std::span<const std::uint8_t> bytes) override {
            if (auto code = files_.faults_.check("files.write", path_)) return *code;
            Node* node = files_.find(path_);
            if (node == nullptr) return codes::kFileNotFound;
            node->bytes.insert(node->bytes.end(), bytes.begin(), bytes.end());
            return codes::kSuccess;
        }

    private:
        FakeFiles& files_;
        Path path_;
    };
    return std::make_unique<Appender>(*this, path);
}

void FakeFiles::add_folder(const Path& path) { ensure_folder(path); }

void FakeFiles::add_file(const Path& path, std::vector<std::uint8_t> bytes, FileAttributes attributes) {
    ensure_folder(parent_key(key(path)).empty() ? Path() : *parent_folder(path));
    Node node;
    node.path = path;
    node.bytes = std::move(bytes);
    node.attributes = attributes;
    nodes_[key(path)] = node;
}

void FakeFiles::add_file(const Path& path, std::string_view text, FileAttributes attributes) {
    add_file(path, std::vector<std::uint8_t>(text.begin(), text.end()), attributes);
}

void FakeFiles::set_attributes(const Path& path, FileAttributes attributes) {
    if (Node* node = find(path)) node->attributes = attributes;
}

void FakeFiles::add_link(const Path& path, const Path& target, bool folder) {
    ensure_folder(*parent_folder(path));
    Node node;
    node.path = path;
    node.folder = folder;
    node.link_to = target;
    nodes_[key(path)] = node;
}

void FakeFiles::add_short_name(const Path& path, const Path& short_path) { short_names_[key(short_path)] = key(path); }

bool FakeFiles::exists(const Path& path) const { return find(path) != nullptr; }

bool FakeFiles::is_folder(const Path& path) const {
    const Node* node = find(path);
    return node && node->folder;
}

std::optional<std::vector<std::uint8_t>> FakeFiles::bytes(const Path& path) const {
    const Node* node = find(path);
    if (!node || node->folder) return std::nullopt;
    return node->bytes;
}

std::optional<std::string> FakeFiles::text(const Path& path) const {
    auto found = bytes(path);
    if (!found) return std::nullopt;
    return std::string(found->begin(), found->end());
}

std::vector<Path> FakeFiles::list_tree(const Path& folder) const {
    const Path k = key(folder);
    std::vector<Path> paths;
    for (const auto& [node_key, node] : nodes_) {
        if (node_key.rfind(k + u"\\", 0) == 0) paths.push_back(node.path);
    }
    return paths;
}

std::string FakeFiles::dump() const {
    std::string out;
    for (const auto& [node_key, node] : nodes_) {
        out += to_utf8(node.path);
        if (!node.link_to.empty()) {
            out += " -> " + to_utf8(node.link_to) + "\n";
            continue;
        }
        if (node.folder) {
            out += "\\\n";
            continue;
        }
        out += " [" + std::to_string(node.bytes.size()) + " bytes";
        std::uint32_t hash = 2166136261u;  // FNV-1a, to tell contents apart
        for (std::uint8_t byte : node.bytes) hash = (hash ^ byte) * 16777619u;
        out += ", " + std::to_string(hash);
        if (node.attributes.read_only) out += ", read-only";
        if (node.attributes.running) out += ", running";
        if (node.attributes.locked) out += ", locked";
        if (node.attributes.held) out += ", held";
        out += "]\n";
    }
    return out;
}

void FakeFiles::remove_drive(const Path& drive) {
    const Path k = key(drive);
    for (auto it = nodes_.begin(); it != nodes_.end();) {
        if (it->first == k || it->first.rfind(k + u"\\", 0) == 0) {
            it = nodes_.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace plinth::fake
