/* The floors for an app folder: the least work an installer of this kind can do for it. It maps
 * the installer and finds the app folder's table ("PLNFILES"). Then, by mode:
 *
 *   floor_files.exe INSTALLER OUT_FOLDER COPY_OUT
 *     install: for each file, creates its folders, inflates its zlib stream into a buffer of the
 *     file's size and writes it with one WriteFile; then copies the installer file. (The app exe
 *     itself is not written: the bench's app folders keep it tiny.)
 *   floor_files.exe --update DROPPED_LIST INSTALLER OUT_FOLDER COPY_OUT
 *     update, as a staged swap does it: each file (and the installer's copy) is written under
 *     "{name}.new.old" beside its target, then renamed onto it; then the files named in
 *     DROPPED_LIST (UTF-8, one relative path a line, sorted) are deleted, and each folder that
 *     leaves empty.
 *   floor_files.exe --remove INSTALLER OUT_FOLDER NAME...
 *     removal: deletes each file of the table and each NAME (the exe, uninstall.exe), then the
 *     folders, deepest first, and OUT_FOLDER itself.
 *
 * Exit code 0 on success; 1 and a line on standard error otherwise. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <zlib.h>

static int die(const char *what) {
    fprintf(stderr, "floor_files: %s (error %lu)\n", what, GetLastError());
    return 1;
}

static unsigned read_u32(const unsigned char *p) { return p[0] | p[1] << 8 | p[2] << 16 | (unsigned)p[3] << 24; }

static void join(wchar_t *path, const wchar_t *folder, const char *relative, int length) {
    wchar_t name[512];
    int units = MultiByteToWideChar(CP_UTF8, 0, relative, length, name, 511);
    name[units] = 0;
    swprintf(path, 1024, L"%ls\\%ls", folder, name);
}

/* Removes the folders of `path` below `root`, deepest first; a folder still holding files stays. */
static void remove_folders(wchar_t *path, size_t root_units) {
    for (wchar_t *p = path + wcslen(path); p > path + root_units; --p) {
        if (*p == L'\\') { *p = 0; RemoveDirectoryW(path); }
    }
}

int wmain(int argc, wchar_t **argv) {
    enum { INSTALL, UPDATE, REMOVE } mode = INSTALL;
    const wchar_t *dropped_list = NULL;
    if (argc >= 2 && wcscmp(argv[1], L"--update") == 0 && argc == 6) {
        mode = UPDATE;
        dropped_list = argv[2];
        argv += 2;
    } else if (argc >= 4 && wcscmp(argv[1], L"--remove") == 0) {
        mode = REMOVE;
        argv += 1;
    } else if (argc != 4) {
        fprintf(stderr, "usage: floor_files [--update DROPPED_LIST | --remove] INSTALLER OUT_FOLDER COPY_OUT|NAME...\n");
        return 2;
    }
    HANDLE file = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return die("open installer");
    LARGE_INTEGER file_size;
    if (!GetFileSizeEx(file, &file_size)) return die("size installer");
    HANDLE mapping = CreateFileMappingW(file, NULL, PAGE_READONLY, 0, 0, NULL);
    if (!mapping) return die("map installer");
    const unsigned char *view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    if (!view) return die("view installer");

    /* The last occurrence: the stub's own code holds the tag as a constant, the resource comes after. */
    const unsigned char *table = NULL;
    for (size_t i = (size_t)file_size.QuadPart - 12; i > 0 && !table; --i) {
        if (view[i] == 'P' && memcmp(view + i, "PLNFILES", 8) == 0) table = view + i;
    }
    if (!table) return die("no PLNFILES table");
    const unsigned count = read_u32(table + 8);
    const unsigned char *entry = table + 12;
    /* The streams follow the whole table. */
    const unsigned char *stream = table + 12;
    for (unsigned i = 0; i < count; ++i) stream += 10 + (stream[0] | stream[1] << 8);
    const size_t root_units = wcslen(argv[2]);

    for (unsigned i = 0; i < count; ++i) {
        const unsigned length = entry[0] | entry[1] << 8;
        const unsigned size = read_u32(entry + 2), packed = read_u32(entry + 6);
        wchar_t path[1024], staged[1040];
        join(path, argv[2], (const char *)entry + 10, (int)length);
        entry += 10 + length;
        if (mode == REMOVE) {
            if (!DeleteFileW(path)) return die("delete file");
            continue;
        }
        if (mode == INSTALL) {
            for (wchar_t *p = path + root_units + 1; *p; ++p) {
                if (*p == L'\\') { *p = 0; CreateDirectoryW(path, NULL); *p = L'\\'; }
            }
        }
        unsigned char *out = malloc(size ? size : 1);
        uLongf out_size = size;
        if (!out || uncompress(out, &out_size, stream, packed) != Z_OK || out_size != size) return die("inflate");
        stream += packed;
        swprintf(staged, 1040, L"%ls.new.old", path);
        HANDLE target = CreateFileW(mode == UPDATE ? staged : path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, NULL);
        if (target == INVALID_HANDLE_VALUE) return die("create file");
        DWORD written = 0;
        if (!WriteFile(target, out, size, &written, NULL) || written != size) return die("write file");
        CloseHandle(target);
        free(out);
        if (mode == UPDATE && !MoveFileExW(staged, path, MOVEFILE_REPLACE_EXISTING)) return die("rename file");
    }
    if (mode == REMOVE) {
        for (int i = 3; argv[i]; ++i) {
            wchar_t path[1024];
            swprintf(path, 1024, L"%ls\\%ls", argv[2], argv[i]);
            if (!DeleteFileW(path)) return die("delete a named file");
        }
        /* Then each folder once, when the table (which lists a folder's files together) leaves it. */
        entry = table + 12;
        wchar_t last[1024] = L"";
        int last_parent = -1;
        const unsigned char *last_name = NULL;
        for (unsigned i = 0; i <= count; ++i) {
            const unsigned length = i < count ? (entry[0] | entry[1] << 8) : 0;
            int parent = -1;
            for (unsigned k = 0; k < length; ++k) if (entry[10 + k] == '\\') parent = (int)k;
            const int same = last_name && i < count && parent == last_parent &&
                             memcmp(entry + 10, last_name, (size_t)(parent < 0 ? 0 : parent)) == 0;
            if (last_name && !same) remove_folders(last, root_units);
            if (i == count) break;
            join(last, argv[2], (const char *)entry + 10, (int)length);
            last_parent = parent;
            last_name = entry + 10;
            entry += 10 + length;
        }
        if (!RemoveDirectoryW(argv[2])) return die("remove the folder");
        return 0;
    }
    /* The removal's folder pass above still reads the table: the view goes only now. */
    UnmapViewOfFile(view);
    CloseHandle(mapping);
    CloseHandle(file);
    if (mode == UPDATE) {
        wchar_t staged[1040];
        swprintf(staged, 1040, L"%ls.new.old", argv[3]);
        if (!CopyFileW(argv[1], staged, FALSE) || !MoveFileExW(staged, argv[3], MOVEFILE_REPLACE_EXISTING))
            return die("copy installer");
        FILE *list = _wfopen(dropped_list, L"rb");
        if (!list) return die("open the dropped list");
        /* The list is sorted, so a folder's files come together: a folder the update empties is
         * removed once, when the list leaves it, as the installer removes it. */
        char line[1024], last[1024] = "";
        wchar_t path[1024];
        int last_parent = -1;
        while (fgets(line, sizeof line, list)) {
            int length = (int)strcspn(line, "\r\n");
            if (length == 0) continue;
            line[length] = 0;
            const char *slash = strrchr(line, '\\');
            const int parent = slash ? (int)(slash - line) : -1;
            if (last_parent >= 0 && (parent != last_parent || strncmp(line, last, (size_t)parent) != 0))
                remove_folders(path, root_units);
            join(path, argv[2], line, length);
            if (!DeleteFileW(path)) return die("delete a dropped file");
            memcpy(last, line, (size_t)length + 1);
            last_parent = parent;
        }
        if (last_parent >= 0) remove_folders(path, root_units);
        fclose(list);
        return 0;
    }
    if (!CopyFileW(argv[1], argv[3], FALSE)) return die("copy installer");
    return 0;
}
