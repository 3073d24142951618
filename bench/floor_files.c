/* The floor for the silent install of an app folder: the least work an installer of this kind
 * can do for it. It maps the installer, finds the app folder's table ("PLNFILES"), and for each
 * file creates its folders, inflates its zlib stream into a buffer of the file's size, and
 * writes it with one WriteFile; then it copies the installer file. (The app exe itself is not
 * written: the bench's app folder keeps it tiny.)
 *
 *   floor_files.exe INSTALLER OUT_FOLDER COPY_OUT
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

int wmain(int argc, wchar_t **argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: floor_files INSTALLER OUT_FOLDER COPY_OUT\n");
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

    for (unsigned i = 0; i < count; ++i) {
        const unsigned length = entry[0] | entry[1] << 8;
        const unsigned size = read_u32(entry + 2), packed = read_u32(entry + 6);
        wchar_t relative[512], path[1024];
        int units = MultiByteToWideChar(CP_UTF8, 0, (const char *)entry + 10, (int)length, relative, 511);
        relative[units] = 0;
        swprintf(path, 1024, L"%ls\\%ls", argv[2], relative);
        for (wchar_t *p = path + wcslen(argv[2]) + 1; *p; ++p) {
            if (*p == L'\\') { *p = 0; CreateDirectoryW(path, NULL); *p = L'\\'; }
        }
        unsigned char *out = malloc(size ? size : 1);
        uLongf out_size = size;
        if (!out || uncompress(out, &out_size, stream, packed) != Z_OK || out_size != size) return die("inflate");
        HANDLE target = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (target == INVALID_HANDLE_VALUE) return die("create file");
        DWORD written = 0;
        if (!WriteFile(target, out, size, &written, NULL) || written != size) return die("write file");
        CloseHandle(target);
        free(out);
        entry += 10 + length;
        stream += packed;
    }
    UnmapViewOfFile(view);
    CloseHandle(mapping);
    CloseHandle(file);
    if (!CopyFileW(argv[1], argv[3], FALSE)) return die("copy installer");
    return 0;
}
