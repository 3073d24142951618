#include <algorithm>

#include "probe.h"

namespace probe {
namespace {

using plinth::join_path;
using plinth::platform::win32::wide;

std::vector<std::uint8_t> pattern(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    std::uint32_t state = 12345;
    for (auto& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<std::uint8_t>(state >> 16);
    }
    return bytes;
}

void probe_root_length() {
    struct Case {
        std::u16string path;
        std::size_t root;
    };
    const Case cases[] = {
        {u"C:\\Users\\x", 3},
        {u"C:\\", 3},
        {u"C:", 2},
        {u"C:relative", 2},
        {u"\\\\?\\C:\\Users", 7},
        {u"\\\\?\\C:", 6},
        {u"\\\\?\\UNC\\server\\share\\folder", 21},
        {u"\\\\?\\UNC\\server\\share", 20},
        {u"\\\\server\\share\\folder", 15},
        {u"\\\\server\\share", 14},
        {u"\\\\?\\Volume{1234}\\folder", 17},
        {u"\\folder", 1},
        {u"folder\\sub", 0},
        {u"", 0},
    };
    for (const Case& c : cases) {
        std::size_t got = plinth::platform::win32::root_length(c.path);
        check(got == c.root, "root_length(" + text(c.path) + ") is " + std::to_string(c.root),
              got == c.root ? "" : "got " + std::to_string(got));
    }
}

}  // namespace

plinth::platform::SysResult<std::vector<std::uint8_t>> read_whole(plinth::platform::Files& files, const Path& path) {
    auto opened = files.open_for_reading(path);
    if (!opened) return plinth::unexpected(opened.error());
    std::vector<std::uint8_t> bytes;
    std::uint8_t chunk[65536];
    for (;;) {
        const auto got = (*opened)->read(chunk);
        if (!got) return plinth::unexpected(got.error());
        if (*got == 0) return bytes;
        bytes.insert(bytes.end(), chunk, chunk + *got);
    }
}

void probe_files(Context& context) {
    auto& files = context.windows.files;
    const Path& work = context.work;
    probe_root_length();

    // Folder trees.
    Path deep = join_path(work, u"a\\b\\c");
    check_code(files.create_folder_tree(deep), 0, "create_folder_tree makes three levels");
    auto info = files.metadata(deep);
    check(info.ok() && info->is_folder, "the deepest folder exists");
    check_code(files.create_folder_tree(deep), 0, "an existing folder tree is success");
    check_code(files.create_folder_tree(deep + u"\\d\\\\"), 0,
               "trailing separators are ignored");
    check(files.metadata(join_path(deep, u"d")).ok(), "and the folder before them is made");
    check_code(files.create_folder_tree(u"C:\\"), 0, "a drive root that exists is success");
    Path verbatim = u"\\\\?\\" + join_path(work, u"v1\\v2");
    check_code(files.create_folder_tree(verbatim), 0, "a \\\\?\\ path tree is made");
    check(files.metadata(join_path(work, u"v1\\v2")).ok(), "and is there under its plain name");

    Path blocker = join_path(work, u"file.txt");
    check_code(files.write_file(blocker, pattern(10)), 0, "write_file of a small file");
    check_code(files.create_folder_tree(blocker), ERROR_ALREADY_EXISTS,
               "a file where the folder should be is ERROR_ALREADY_EXISTS");
    check(files.create_folder_tree(join_path(blocker, u"x")) != 0,
          "a folder below a file can't be made");

    // A path longer than MAX_PATH, through the \\?\ form.
    Path long_folder = u"\\\\?\\" + work;
    for (int i = 0; i < 6; ++i) long_folder = join_path(long_folder, std::u16string(50, u'a' + i));
    check_code(files.create_folder_tree(long_folder), 0, "a tree longer than MAX_PATH");
    Path long_file = join_path(long_folder, u"long.bin");
    check_code(files.write_file(long_file, pattern(100)), 0, "a file at that depth");
    auto long_canonical = files.canonical_path(long_file);
    if (!long_canonical.ok() && long_canonical.error() == ERROR_MORE_DATA) {
        // Wine 8 reads the name into a MAX_PATH buffer of its own; Windows has no such limit.
        note("canonical_path past MAX_PATH: ERROR_MORE_DATA (Wine's limit)");
    } else {
        check(long_canonical.ok() && long_canonical->size() > MAX_PATH,
              "canonical_path of a path longer than MAX_PATH",
              long_canonical.ok() ? std::to_string(long_canonical->size()) + " units"
                                  : "error " + std::to_string(long_canonical.error()));
    }
    // Longer than the first buffer canonical_path tries, shorter than Wine's limit.
    Path middle = join_path(work, std::u16string(150, u'm'));
    check_code(files.create_folder_tree(middle), 0, "a folder with a 150-unit name");
    auto middle_canonical = files.canonical_path(middle);
    check(middle_canonical.ok() && middle_canonical->size() > 150 &&
              middle_canonical->ends_with(std::u16string(150, u'm')),
          "canonical_path grows its buffer for it",
          middle_canonical.ok() ? std::to_string(middle_canonical->size()) + " units"
                                : "error " + std::to_string(middle_canonical.error()));

    // Whole-file writes and reads.
    Path data = join_path(work, u"data.bin");
    auto big = pattern(3 * 1024 * 1024 + 7);
    check_code(files.write_file(data, big), 0, "write_file of 3 MiB");
    auto data_info = files.metadata(data);
    check(data_info.ok() && !data_info->is_folder && data_info->size == big.size(),
          "metadata gives the size of the file");
    auto read = read_whole(files, data);
    check(read.ok() && *read == big, "a file reads back whole");
    check_code(files.write_file(data, pattern(3)), 0, "write_file over an existing file");
    read = read_whole(files, data);
    check(read.ok() && read->size() == 3, "truncates it to the new bytes");
    check_code(files.write_file(data, {}), 0, "write_file of nothing");
    read = read_whole(files, data);
    check(read.ok() && read->empty(), "reads back as an empty file");
    auto missing_read = read_whole(files, join_path(work, u"missing.bin"));
    check(!missing_read.ok() && missing_read.error() == ERROR_FILE_NOT_FOUND,
          "open_for_reading of a missing file is ERROR_FILE_NOT_FOUND");
    check_code(files.write_file(join_path(work, u"nope\\x.bin"), pattern(1)),
               ERROR_PATH_NOT_FOUND, "write_file into a missing folder is ERROR_PATH_NOT_FOUND");

    // A held file: read at any offset, and no one can write, rename or delete it until let go.
    {
        Path held_path = join_path(work, u"held.bin");
        check_code(files.write_file(held_path, big), 0, "write_file of the file to hold");
        auto held = files.hold(held_path);
        check(held.ok(), "hold opens the file");
        if (held.ok()) {
            auto size = (*held)->size();
            check(size.ok() && *size == big.size(), "a held file gives its size");
            std::vector<std::uint8_t> part(70000);
            auto got = (*held)->read_at(big.size() - 100000, part);
            check(got.ok() && *got == part.size() &&
                      std::equal(part.begin(), part.end(), big.end() - 100000),
                  "read_at reads across chunks from an offset");
            got = (*held)->read_at(big.size() - 10, part);
            check(got.ok() && *got == 10, "read_at stops at the file's end");
            got = (*held)->read_at(big.size() + 5, part);
            check(got.ok() && *got == 0, "read_at past the end reads nothing");
            check_code(files.write_file(held_path, pattern(1)), ERROR_SHARING_VIOLATION, "a held file can't be written");
            check_code(files.delete_file(held_path), ERROR_SHARING_VIOLATION, "nor deleted");
            check_code(files.rename(held_path, join_path(work, u"held2.bin")), ERROR_SHARING_VIOLATION, "nor renamed");
            check(read_whole(files, held_path).ok(), "but read by others");
            held->reset();
        }
        check_code(files.delete_file(held_path), 0, "once let go, it is deleted");
        auto missing = files.hold(held_path);
        check(!missing.ok() && missing.error() == ERROR_FILE_NOT_FOUND, "hold of a missing file is ERROR_FILE_NOT_FOUND");
    }

    // Streamed copies: every byte across several chunks, over an existing file, and from a source
    // renamed while it is open (the installed uninstall.exe copying itself).
    check_code(files.write_file(data, big), 0, "write_file of 3 MiB again");
    Path copy = join_path(work, u"copy.bin");
    check_code(files.write_file(copy, pattern(10)), 0, "a file for the copy to replace");
    auto source = files.open_for_reading(data);
    check(source.ok(), "open_for_reading");
    if (source.ok()) {
        Path aside = join_path(work, u"data.bin.1.old");
        check_code(files.rename(data, aside), 0, "rename of a file open for reading");
        check(files.write_file_from(copy, **source).ok(), "write_file_from");
        read = read_whole(files, copy);
        check(read.ok() && *read == big, "the copy has every byte of what was opened, none of before");
        source->reset();
        check_code(files.rename(aside, data), 0, "the file is closed after its reader");
    }
    auto missing_source = files.open_for_reading(join_path(work, u"missing.bin"));
    check(!missing_source.ok() && missing_source.error() == ERROR_FILE_NOT_FOUND,
          "open_for_reading of a missing file is ERROR_FILE_NOT_FOUND");
    if (auto again = files.open_for_reading(data); again.ok()) {
        auto failed = files.write_file_from(join_path(work, u"nope\\x.bin"), **again);
        check(!failed.ok() && !failed.error().reading && failed.error().code == ERROR_PATH_NOT_FOUND,
              "write_file_from into a missing folder fails on the writing side");
    }

    Path unicode = join_path(work, u"\u00fcn\u00ef \U0001F600.txt");
    check_code(files.write_file(unicode, pattern(5)), 0, "a file name beyond the BMP");

    // Listing.
    auto names = files.list_folder(work);
    check(names.ok(), "list_folder of the work folder");
    if (names.ok()) {
        auto has = [&](const std::u16string& name) {
            return std::find(names->begin(), names->end(), name) != names->end();
        };
        check(has(u"a") && has(u"data.bin") && has(u"file.txt") &&
                  has(u"\u00fcn\u00ef \U0001F600.txt"),
              "lists folders and files with their exact names");
        check(!has(u".") && !has(u".."), "leaves out . and ..");
    }
    auto marked = files.list_folder(work, true);
    check(marked.ok() && std::find(marked->begin(), marked->end(), u"a\\") != marked->end() &&
              std::find(marked->begin(), marked->end(), u"data.bin") != marked->end(),
          "with mark_folders, a folder's name ends with a backslash and a file's doesn't");
    auto empty = files.list_folder(deep + u"\\d");
    check(empty.ok() && empty->empty(), "an empty folder lists nothing");
    auto missing_list = files.list_folder(join_path(work, u"missing"));
    check(!missing_list.ok() && missing_list.error() == ERROR_PATH_NOT_FOUND,
          "a missing folder is ERROR_PATH_NOT_FOUND",
          missing_list.ok() ? "listed" : std::to_string(missing_list.error()));

    // Metadata.
    auto missing_info = files.metadata(join_path(work, u"missing"));
    check(!missing_info.ok() && missing_info.error() == ERROR_FILE_NOT_FOUND,
          "metadata of a missing file is ERROR_FILE_NOT_FOUND");

    // Canonical paths.
    auto canonical = files.canonical_path(join_path(work, u"a\\b\\..\\b\\.\\c"));
    auto direct = files.canonical_path(deep);
    check(canonical.ok() && direct.ok() && *canonical == *direct,
          "canonical_path resolves . and ..",
          canonical.ok() ? text(*canonical) : std::to_string(canonical.error()));
    check(direct.ok() && direct->rfind(u"\\\\?\\", 0) == 0, "and gives the \\\\?\\ form");
    auto canonical_missing = files.canonical_path(join_path(work, u"missing"));
    check(!canonical_missing.ok() && canonical_missing.error() == ERROR_FILE_NOT_FOUND,
          "canonical_path of a missing file is ERROR_FILE_NOT_FOUND");

    // Deletion, including a read-only file.
    Path plain = join_path(work, u"plain.txt");
    check_code(files.write_file(plain, pattern(4)), 0, "write plain.txt");
    check_code(files.delete_file(plain), 0, "delete_file of a plain file");
    check(!files.metadata(plain).ok(), "it is gone");
    check_code(files.delete_file(plain), ERROR_FILE_NOT_FOUND,
               "delete_file of a missing file is ERROR_FILE_NOT_FOUND");

    Path read_only = join_path(work, u"read-only.txt");
    check_code(files.write_file(read_only, pattern(4)), 0, "write read-only.txt");
    SetFileAttributesW(wide(read_only), FILE_ATTRIBUTE_READONLY);
    auto ro_info = files.metadata(read_only);
    check(ro_info.ok() && ro_info->read_only, "metadata reports the read-only attribute");
    check_code(files.delete_file(read_only), ERROR_ACCESS_DENIED,
               "delete_file of a read-only file is ERROR_ACCESS_DENIED");
    check_code(files.delete_file_by_handle(read_only, 0x13), 0,
               "delete_file_by_handle ignoring the read-only attribute");
    check(!files.metadata(read_only).ok(), "the read-only file is gone");
    // Where the Ex form is refused (Wine), the fallback opens a file that isn't read-only without
    // write access to its attributes, and deletes it all the same.
    Path writable = join_path(work, u"writable.txt");
    check_code(files.write_file(writable, pattern(4)), 0, "write writable.txt");
    check_code(files.delete_file_by_handle(writable, 0x13), 0,
               "delete_file_by_handle of a file that isn't read-only");
    check(!files.metadata(writable).ok(), "the file that wasn't read-only is gone");

    // Files only: a folder named like a leftover stays, even when empty.
    Path folder_old = join_path(work, u"folder.old");
    check_code(files.create_folder_tree(folder_old), 0, "make an empty folder.old");
    check(files.delete_file(folder_old) != 0, "delete_file of a folder fails");
    check(files.delete_file_by_handle(folder_old, 0x13) != 0, "delete_file_by_handle of a folder fails");
    auto folder_info = files.metadata(folder_old);
    check(folder_info.ok() && folder_info->is_folder, "the folder is still there");

    Path held = join_path(work, u"held.txt");
    check_code(files.write_file(held, pattern(4)), 0, "write held.txt");
    HANDLE holder = CreateFileW(wide(held), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                0, nullptr);
    check_code(files.delete_file_by_handle(held, 0x13), ERROR_SHARING_VIOLATION,
               "delete_file_by_handle of a file open without delete sharing");
    check_code(files.rename(held, join_path(work, u"held.old")), ERROR_SHARING_VIOLATION,
               "rename of a file open without delete sharing");
    if (holder != INVALID_HANDLE_VALUE) CloseHandle(holder);
    check(files.metadata(held).ok(), "the held file is still there");

    // Rename.
    Path from = join_path(work, u"from.txt"), to = join_path(work, u"to.txt");
    check_code(files.write_file(from, pattern(8)), 0, "write from.txt");
    check_code(files.rename(from, to), 0, "rename");
    check(!files.metadata(from).ok() && files.metadata(to).ok(), "the file has its new name");
    check_code(files.write_file(from, pattern(8)), 0, "write from.txt again");
    check_code(files.rename(from, to), ERROR_ALREADY_EXISTS,
               "rename onto an existing file is ERROR_ALREADY_EXISTS");
}

}  // namespace probe
