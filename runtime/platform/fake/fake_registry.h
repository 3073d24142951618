// An in-memory HKEY_CURRENT_USER: keys compared without case, typed values, open keys counted.
// Beside it the machine's classes, which HKEY_CLASSES_ROOT shows under the user's own.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/fake/fault_plan.h"
#include "platform/platform.h"

namespace plinth::fake {

inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegDword = 4;

struct RegistryValue {
    std::u16string name;
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
};

class FakeRegistry : public platform::Registry {
public:
    explicit FakeRegistry(FaultPlan& faults) : faults_(faults) {}

    Expected<std::unique_ptr<platform::RegistryKey>, platform::ErrorCode> create_key(
        const std::u16string& path, std::uint32_t options, std::uint32_t access) override;
    platform::ErrorCode get_value(const std::u16string& path, const std::u16string& name,
                                  std::uint32_t flags, void* data, std::uint32_t* byte_count) override;
    platform::ErrorCode delete_tree(const std::u16string& path) override;
    platform::ErrorCode delete_key(const std::u16string& path) override;
    platform::ErrorCode delete_key_value(const std::u16string& path, const std::u16string& name) override;
    platform::SysResult<platform::KeyCounts> key_counts(platform::RegistryRoot root,
                                                        const std::u16string& path) override;

    // Seeding and inspection, for tests.
    void put_value(const std::u16string& path, const std::u16string& name, std::uint32_t type,
                   std::vector<std::uint8_t> data);
    void put_text(const std::u16string& path, const std::u16string& name, std::string_view text);
    std::optional<RegistryValue> value(const std::u16string& path, const std::u16string& name) const;
    // A REG_SZ value as text, without its terminating zero units.
    std::optional<std::string> text(const std::u16string& path, const std::u16string& name) const;
    std::optional<std::uint32_t> number(const std::u16string& path, const std::u16string& name) const;
    bool key_exists(const std::u16string& path) const;
    // A class key of the machine's (HKLM\Software\Classes\path), seen only through classes_root.
    void put_machine_class(const std::u16string& path);
    // Names of a key's values in the order they were first written.
    std::vector<std::u16string> value_names(const std::u16string& path) const;
    // The whole tree as text, sorted: equal dumps mean equal registries.
    std::string dump() const;
    int open_keys() const { return open_keys_; }
    // Runs at the start of every get_value call, e.g. to change a value between two reads.
    std::function<void()> before_get_value;
    // Arguments of the last create_key call.
    std::uint32_t last_create_options() const { return last_options_; }
    std::uint32_t last_create_access() const { return last_access_; }

private:
    struct Key {
        std::u16string name;
        std::map<std::u16string, std::unique_ptr<Key>> subkeys;  // by lower-case name
        std::map<std::u16string, RegistryValue> values;          // by lower-case name
        std::vector<std::u16string> value_order;                 // lower-case names
    };
    class OpenKey;

    Key* find(const std::u16string& path) const { return find_in(root_, path); }
    static Key* find_in(const Key& root, const std::u16string& path);
    // The parent of the key at `path` and the key's entry in it, for deleting it.
    struct Subkey {
        Key* parent;
        std::map<std::u16string, std::unique_ptr<Key>>::iterator entry;
        platform::ErrorCode code;  // success, or why there is no such key
    };
    Subkey find_subkey(const std::u16string& path);
    Key* find_or_create(const std::u16string& path) { return find_or_create_in(root_, path); }
    static Key* find_or_create_in(Key& root, const std::u16string& path);
    static void set(Key& key, const std::u16string& name, std::uint32_t type,
                    std::vector<std::uint8_t> data);
    static void dump_key(const Key& key, const std::string& path, std::string& out);

    FaultPlan& faults_;
    Key root_;
    Key machine_classes_;
    int open_keys_ = 0;
    std::uint32_t last_options_ = 0;
    std::uint32_t last_access_ = 0;
};

}  // namespace plinth::fake
