#include "platform/fake/fake_registry.h"

#include <cstring>

#include "common/text.h"

namespace plinth::fake {
namespace {

using platform::ErrorCode;
namespace codes = platform::codes;

constexpr ErrorCode kUnsupportedType = 1630;  // ERROR_UNSUPPORTED_TYPE
constexpr std::uint32_t kRestrictSz = 0x00000002;     // RRF_RT_REG_SZ
constexpr std::uint32_t kRestrictDword = 0x00000010;  // RRF_RT_REG_DWORD

std::vector<std::u16string> components(const std::u16string& path) {
    std::vector<std::u16string> parts;
    std::u16string part;
    for (char16_t unit : path) {
        if (unit == u'\\') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part.push_back(unit);
        }
    }
    if (!part.empty()) parts.push_back(part);
    return parts;
}

std::string hex(const std::vector<std::uint8_t>& data) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::uint8_t byte : data) {
        out.push_back(digits[byte >> 4]);
        out.push_back(digits[byte & 15]);
    }
    return out;
}

// Windows takes key and value names as NUL-terminated texts: whatever follows a NUL inside one
// is never seen, so the name it reaches is the part before.
std::u16string as_windows_reads(const std::u16string& name) { return name.substr(0, name.find(u'\0')); }

}  // namespace

class FakeRegistry::OpenKey : public platform::RegistryKey {
public:
    OpenKey(FakeRegistry& registry, std::u16string path) : registry_(registry), path_(std::move(path)) {
        ++registry_.open_keys_;
    }
    ~OpenKey() override { --registry_.open_keys_; }

    ErrorCode set_value(const std::u16string& name, std::uint32_t type,
                        std::span<const std::uint8_t> data) override {
        if (auto code = registry_.faults_.check("registry.set_value", name)) return *code;
        Key* key = registry_.find(path_);
        if (!key) return 1018;  // ERROR_KEY_DELETED: the key went away while open
        set(*key, as_windows_reads(name), type, {data.begin(), data.end()});
        return codes::kSuccess;
    }

private:
    FakeRegistry& registry_;
    std::u16string path_;
};

FakeRegistry::Key* FakeRegistry::find_in(const Key& root, const std::u16string& path) {
    const Key* key = &root;
    for (const auto& part : components(path)) {
        auto it = key->subkeys.find(ascii_lower(part));
        if (it == key->subkeys.end()) return nullptr;
        key = it->second.get();
    }
    return const_cast<Key*>(key);
}

FakeRegistry::Key* FakeRegistry::find_or_create_in(Key& root, const std::u16string& path) {
    Key* key = &root;
    for (const auto& part : components(path)) {
        auto& slot = key->subkeys[ascii_lower(part)];
        if (!slot) {
            slot = std::make_unique<Key>();
            slot->name = part;
        }
        key = slot.get();
    }
    return key;
}

void FakeRegistry::set(Key& key, const std::u16string& name, std::uint32_t type,
                       std::vector<std::uint8_t> data) {
    const std::u16string lower = ascii_lower(name);
    auto it = key.values.find(lower);
    if (it == key.values.end()) {
        key.value_order.push_back(lower);
        key.values[lower] = RegistryValue{name, type, std::move(data)};
    } else {
        it->second.type = type;
        it->second.data = std::move(data);
    }
}

Expected<std::unique_ptr<platform::RegistryKey>, ErrorCode> FakeRegistry::create_key(
    const std::u16string& path, std::uint32_t options, std::uint32_t access) {
    last_options_ = options;
    last_access_ = access;
    if (auto code = faults_.check("registry.create_key", path)) return unexpected(*code);
    std::u16string reached = as_windows_reads(path);
    find_or_create(reached);
    return std::unique_ptr<platform::RegistryKey>(new OpenKey(*this, std::move(reached)));
}

ErrorCode FakeRegistry::get_value(const std::u16string& path, const std::u16string& name,
                                  std::uint32_t flags, void* data, std::uint32_t* byte_count) {
    if (before_get_value) before_get_value();
    if (auto code = faults_.check("registry.get_value", path)) return *code;
    const Key* key = find(as_windows_reads(path));
    if (!key) return codes::kFileNotFound;
    auto it = key->values.find(ascii_lower(as_windows_reads(name)));
    if (it == key->values.end()) return codes::kFileNotFound;
    const RegistryValue& value = it->second;
    if ((flags & kRestrictSz) && value.type != kRegSz) return kUnsupportedType;
    if (flags == kRestrictDword && (value.type != kRegDword || value.data.size() != 4)) return kUnsupportedType;
    // Like the real call, a string lacking its terminating zero gets one in the output.
    std::vector<std::uint8_t> out = value.data;
    if (flags != kRestrictDword) {
        if (out.size() % 2) out.push_back(0);
        if (out.size() < 2 || out[out.size() - 1] != 0 || out[out.size() - 2] != 0) {
            out.push_back(0);
            out.push_back(0);
        }
    }
    const auto required = static_cast<std::uint32_t>(out.size());
    if (data == nullptr) {
        *byte_count = required;
        return codes::kSuccess;
    }
    if (*byte_count < required) {
        *byte_count = required;
        return codes::kMoreData;
    }
    std::memcpy(data, out.data(), out.size());
    *byte_count = required;
    return codes::kSuccess;
}

FakeRegistry::Subkey FakeRegistry::find_subkey(const std::u16string& path) {
    const auto parts = components(path);
    if (parts.empty()) return {nullptr, {}, codes::kInvalidParameter};
    std::u16string parent_path;
    for (size_t i = 0; i + 1 < parts.size(); ++i) parent_path += parts[i] + u"\\";
    Key* parent = find(parent_path);
    if (!parent) return {nullptr, {}, codes::kFileNotFound};
    auto it = parent->subkeys.find(ascii_lower(parts.back()));
    if (it == parent->subkeys.end()) return {parent, {}, codes::kFileNotFound};
    return {parent, it, codes::kSuccess};
}

ErrorCode FakeRegistry::delete_tree(const std::u16string& path) {
    if (auto code = faults_.check("registry.delete_tree", path)) return *code;
    auto [parent, it, code] = find_subkey(as_windows_reads(path));
    if (code != codes::kSuccess) return code;
    parent->subkeys.erase(it);
    return codes::kSuccess;
}

ErrorCode FakeRegistry::delete_key(const std::u16string& path) {
    if (auto code = faults_.check("registry.delete_key", path)) return *code;
    auto [parent, it, code] = find_subkey(as_windows_reads(path));
    if (code != codes::kSuccess) return code;
    if (!it->second->subkeys.empty()) return codes::kAccessDenied;
    parent->subkeys.erase(it);
    return codes::kSuccess;
}

ErrorCode FakeRegistry::delete_key_value(const std::u16string& path, const std::u16string& name) {
    if (auto code = faults_.check("registry.delete_key_value", path)) return *code;
    Key* key = find(as_windows_reads(path));
    if (!key) return codes::kFileNotFound;
    const std::u16string lower = ascii_lower(as_windows_reads(name));
    if (!key->values.erase(lower)) return codes::kFileNotFound;
    std::erase(key->value_order, lower);
    return codes::kSuccess;
}

platform::SysResult<platform::KeyCounts> FakeRegistry::key_counts(platform::RegistryRoot root,
                                                                  const std::u16string& path) {
    if (auto code = faults_.check("registry.key_counts", path)) return unexpected(*code);
    const std::u16string reached = as_windows_reads(path);
    const Key* key = nullptr;
    if (root == platform::RegistryRoot::classes_root) {
        // The user's class key hides the machine's of the same name.
        key = find(u"Software\\Classes\\" + reached);
        if (key == nullptr) key = find_in(machine_classes_, reached);
    } else {
        key = find(reached);
    }
    if (key == nullptr) return unexpected(codes::kFileNotFound);
    return platform::KeyCounts{static_cast<std::uint32_t>(key->subkeys.size()),
                               static_cast<std::uint32_t>(key->values.size())};
}

void FakeRegistry::put_machine_class(const std::u16string& path) { find_or_create_in(machine_classes_, path); }

void FakeRegistry::put_value(const std::u16string& path, const std::u16string& name,
                             std::uint32_t type, std::vector<std::uint8_t> data) {
    set(*find_or_create(path), name, type, std::move(data));
}

void FakeRegistry::put_text(const std::u16string& path, const std::u16string& name,
                            std::string_view text) {
    std::vector<std::uint8_t> data;
    for (char16_t unit : to_utf16(text) + u'\0') {
        data.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        data.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    put_value(path, name, kRegSz, std::move(data));
}

std::optional<RegistryValue> FakeRegistry::value(const std::u16string& path,
                                                 const std::u16string& name) const {
    const Key* key = find(path);
    if (!key) return std::nullopt;
    auto it = key->values.find(ascii_lower(name));
    if (it == key->values.end()) return std::nullopt;
    return it->second;
}

std::optional<std::string> FakeRegistry::text(const std::u16string& path,
                                              const std::u16string& name) const {
    auto found = value(path, name);
    if (!found || found->type != kRegSz) return std::nullopt;
    std::u16string units;
    for (size_t i = 0; i + 1 < found->data.size(); i += 2) {
        units.push_back(static_cast<char16_t>(found->data[i] | (found->data[i + 1] << 8)));
    }
    while (!units.empty() && units.back() == u'\0') units.pop_back();
    return to_utf8(units);
}

std::optional<std::uint32_t> FakeRegistry::number(const std::u16string& path,
                                                  const std::u16string& name) const {
    auto found = value(path, name);
    if (!found || found->type != kRegDword || found->data.size() != 4) return std::nullopt;
    return found->data[0] | (found->data[1] << 8) | (found->data[2] << 16) |
           (static_cast<std::uint32_t>(found->data[3]) << 24);
}

bool FakeRegistry::key_exists(const std::u16string& path) const { return find(path) != nullptr; }

std::vector<std::u16string> FakeRegistry::value_names(const std::u16string& path) const {
    std::vector<std::u16string> names;
    if (const Key* key = find(path)) {
        for (const auto& lower : key->value_order) names.push_back(key->values.at(lower).name);
    }
    return names;
}

void FakeRegistry::dump_key(const Key& key, const std::string& path, std::string& out) {
    out += "[" + path + "]\n";
    for (const auto& [lower, value] : key.values) {
        out += "  \"" + to_utf8(value.name) + "\" type " + std::to_string(value.type) + " = " +
               hex(value.data) + "\n";
    }
    for (const auto& [lower, subkey] : key.subkeys) {
        dump_key(*subkey, path.empty() ? to_utf8(subkey->name) : path + "\\" + to_utf8(subkey->name), out);
    }
}

std::string FakeRegistry::dump() const {
    std::string out;
    dump_key(root_, "", out);
    return out;
}

}  // namespace plinth::fake
