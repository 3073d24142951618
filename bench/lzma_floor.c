/* The floor for an LZMA install: the least work an installer of this kind can do. It maps the
 * installer file, decodes the LZMA stream found at OFFSET (LENGTH bytes; compression/lzma_stream.h)
 * piece by piece on one thread with the LZMA SDK's decoder (the stub's, built for speed here) into
 * one buffer, writes the result with one WriteFile, and copies the installer file.
 *
 *   lzma_floor.exe INSTALLER OFFSET LENGTH APP_OUT COPY_OUT
 *
 * Exit code 0 on success; 1 and a line on standard error otherwise. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "LzmaDec.h"

static int die(const char *what) {
    fprintf(stderr, "lzma_floor: %s (error %lu)\n", what, GetLastError());
    return 1;
}

static unsigned u32(const unsigned char *at) { return at[0] | at[1] << 8 | at[2] << 16 | (unsigned)at[3] << 24; }
static void *alloc(void *p, size_t size) { (void)p; return malloc(size); }
static void release(void *p, void *address) { (void)p; free(address); }

int wmain(int argc, wchar_t **argv) {
    if (argc != 6) {
        fprintf(stderr, "usage: lzma_floor INSTALLER OFFSET LENGTH APP_OUT COPY_OUT\n");
        return 2;
    }
    const unsigned long long offset = wcstoull(argv[2], NULL, 10);
    const unsigned long long length = wcstoull(argv[3], NULL, 10);

    HANDLE file = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return die("open installer");
    HANDLE mapping = CreateFileMappingW(file, NULL, PAGE_READONLY, 0, 0, NULL);
    if (!mapping) return die("map installer");
    const unsigned char *view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    if (!view) return die("view installer");

    const unsigned char *stream = view + offset, *end = stream + length;
    if (length < 9 || memcmp(stream, "LZMA", 4) != 0) return die("not an LZMA stream");
    const unsigned char *props = stream + 4;
    size_t size = 0;
    for (const unsigned char *at = stream + 9; at < end; at += 8 + u32(at)) size += u32(at + 4);
    unsigned char *out = malloc(size ? size : 1);
    if (!out) return die("malloc");
    ISzAlloc a = {alloc, release};
    size_t done = 0;
    for (const unsigned char *at = stream + 9; at < end; at += 8 + u32(at)) {
        SizeT out_size = u32(at + 4), in_size = u32(at);
        ELzmaStatus status;
        if (LzmaDecode(out + done, &out_size, at + 8, &in_size, props, LZMA_PROPS_SIZE, LZMA_FINISH_END, &status, &a) != SZ_OK)
            return die("decode");
        done += out_size;
    }

    HANDLE app = CreateFileW(argv[4], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (app == INVALID_HANDLE_VALUE) return die("create app");
    DWORD written = 0;
    if (!WriteFile(app, out, (DWORD)size, &written, NULL) || written != size) return die("write app");
    CloseHandle(app);
    free(out);
    UnmapViewOfFile(view);
    CloseHandle(mapping);
    CloseHandle(file);

    if (!CopyFileW(argv[1], argv[5], FALSE)) return die("copy installer");
    return 0;
}
