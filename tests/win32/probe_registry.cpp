#include <cstring>

#include "probe.h"

namespace probe {
namespace {

std::vector<std::uint8_t> sz_bytes(const std::u16string& value) {
    std::vector<std::uint8_t> bytes((value.size() + 1) * 2);
    std::memcpy(bytes.data(), value.c_str(), bytes.size());
    return bytes;
}

}  // namespace

void probe_registry(Context& context) {
    auto& registry = context.windows.registry;
    const std::u16string base =
        u"Software\\PlinthProbe\\" + plinth::to_utf16(std::to_string(GetCurrentProcessId()));
    const std::u16string sub = base + u"\\Sub";
    const std::u16string value = u"h\u00e9llo \U0001F600";

    auto key = registry.create_key(sub, 0, KEY_WRITE);
    check(key.ok(), "create_key makes the key and its missing parents",
          key.ok() ? "" : "error " + std::to_string(key.error()));
    if (!key.ok()) return;
    check_code((*key)->set_value(u"Text", REG_SZ, sz_bytes(value)), 0, "set_value REG_SZ");
    check_code((*key)->set_value(u"", REG_SZ, sz_bytes(u"default")), 0,
               "set_value of the default value (empty name)");
    std::uint32_t number = 0xDEADBEEF;
    check_code((*key)->set_value(u"Number", REG_DWORD,
                                 {reinterpret_cast<const std::uint8_t*>(&number), 4}),
               0, "set_value REG_DWORD");
    key->reset();  // closes the key

    // Read back independently.
    DWORD read_number = 0, size = sizeof read_number;
    LSTATUS status = RegGetValueW(HKEY_CURRENT_USER, plinth::platform::win32::wide(sub), L"Number",
                                  RRF_RT_REG_DWORD, nullptr, &read_number, &size);
    check(status == ERROR_SUCCESS && read_number == number, "the DWORD reads back as written",
          "status " + std::to_string(status) + ", " + hex(read_number));

    std::uint32_t bytes = 0;
    check_code(registry.get_value(sub, u"Text", RRF_RT_REG_SZ, nullptr, &bytes), 0,
               "get_value without a buffer gives the size");
    check(bytes == (value.size() + 1) * 2, "the size counts the terminating NUL",
          std::to_string(bytes));
    std::u16string buffer(bytes / 2, u'\0');
    std::uint32_t in_out = bytes;
    check_code(registry.get_value(sub, u"Text", RRF_RT_REG_SZ, buffer.data(), &in_out), 0,
               "get_value into a buffer of that size");
    check(buffer.c_str() == value, "the text reads back unchanged", text(buffer.c_str()));

    std::uint32_t small = 4;
    char16_t tiny[2];
    check_code(registry.get_value(sub, u"Text", RRF_RT_REG_SZ, tiny, &small), ERROR_MORE_DATA,
               "a buffer one text too small is refused with ERROR_MORE_DATA");
    std::uint32_t any = 64;
    char16_t wide_buffer[32];
    check_code(registry.get_value(sub, u"Number", RRF_RT_REG_SZ, wide_buffer, &any),
               ERROR_UNSUPPORTED_TYPE, "a DWORD asked for as REG_SZ is an unsupported type");
    any = 64;
    check_code(registry.get_value(sub, u"Missing", RRF_RT_REG_SZ, wide_buffer, &any),
               ERROR_FILE_NOT_FOUND, "a missing value");
    any = 64;
    check_code(registry.get_value(base + u"\\Nope", u"Text", RRF_RT_REG_SZ, wide_buffer, &any),
               ERROR_FILE_NOT_FOUND, "a missing key");

    check_code(registry.delete_key_value(sub, u"Text"), 0, "delete_key_value");
    any = 64;
    check_code(registry.get_value(sub, u"Text", RRF_RT_REG_SZ, wide_buffer, &any),
               ERROR_FILE_NOT_FOUND, "the deleted value is gone");
    any = 64;
    check_code(registry.get_value(sub, u"", RRF_RT_REG_SZ, wide_buffer, &any), 0,
               "the default value is still there");
    check_code(registry.delete_key_value(sub, u""), 0, "delete_key_value of the default value");

    // "Number" is left: what the URL schemes' removal asks before it deletes a key it may
    // share with another program.
    using plinth::platform::RegistryRoot;
    const auto counts = registry.key_counts(RegistryRoot::current_user, sub);
    check(counts.ok() && counts->subkeys == 0 && counts->values == 1, "key_counts counts values and subkeys",
          counts.ok() ? std::to_string(counts->subkeys) + " subkeys, " + std::to_string(counts->values) + " values"
                      : "error " + std::to_string(counts.error()));
    const auto parent = registry.key_counts(RegistryRoot::current_user, base);
    check(parent.ok() && parent->subkeys == 1 && parent->values == 0, "key_counts of the parent: one subkey");
    const auto missing = registry.key_counts(RegistryRoot::current_user, base + u"\\Nope");
    check(!missing.ok() && missing.error() == ERROR_FILE_NOT_FOUND, "key_counts of a missing key",
          missing.ok() ? "found" : std::to_string(missing.error()));
    // HKEY_CLASSES_ROOT shows the machine's classes: "exefile" is Windows' own.
    check(registry.key_counts(RegistryRoot::classes_root, u"exefile").ok(), "key_counts finds a machine class");
    check(!registry.key_counts(RegistryRoot::classes_root, u"plinth-probe-no-such-class").ok(),
          "key_counts of a class nobody has");

    check(registry.delete_key(base) != 0, "delete_key refuses a key that has subkeys");
    check_code(registry.delete_tree(u""), ERROR_INVALID_PARAMETER,
               "delete_tree of the empty path (all of HKEY_CURRENT_USER) is refused");
    check_code(registry.delete_tree(base), 0, "delete_tree of the key with a subkey");
    HKEY opened = nullptr;
    LSTATUS gone = RegOpenKeyExW(HKEY_CURRENT_USER, plinth::platform::win32::wide(base), 0,
                                 KEY_READ, &opened);
    check(gone == ERROR_FILE_NOT_FOUND, "removes the key with everything below it",
          std::to_string(gone));
    if (gone == ERROR_SUCCESS) RegCloseKey(opened);
    check_code(registry.delete_key(base), ERROR_FILE_NOT_FOUND,
               "delete_key afterwards finds nothing");
    auto leaf = registry.create_key(base, 0, KEY_WRITE);
    check(leaf.ok(), "create_key of a leaf key");
    if (leaf.ok()) leaf->reset();  // closes it
    check_code(registry.delete_key(base), 0, "delete_key of a key without subkeys");
    gone = RegOpenKeyExW(HKEY_CURRENT_USER, plinth::platform::win32::wide(base), 0, KEY_READ,
                         &opened);
    check(gone == ERROR_FILE_NOT_FOUND, "the key is gone", std::to_string(gone));
    if (gone == ERROR_SUCCESS) RegCloseKey(opened);
    registry.delete_key(u"Software\\PlinthProbe");
}

}  // namespace probe
