/* The floor for the silent install: the least work an installer of this kind can do. It maps the
 * installer file, inflates the zlib stream found at OFFSET (LENGTH bytes) into a buffer that
 * doubles when full, writes the result with one WriteFile, and copies the installer file. An LZMA
 * stream there (compression/lzma_stream.h) is decoded instead, piece by piece on one thread with
 * the LZMA SDK's decoder (the stub's, built for speed here), into one buffer of its size.
 *
 *   floor.exe INSTALLER OFFSET LENGTH APP_OUT COPY_OUT
 *
 * Exit code 0 on success; 1 and a line on standard error otherwise. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>
#include <string.h>
#include <zlib.h>

#include "LzmaDec.h"

static int die(const char *what) {
    fprintf(stderr, "floor: %s (error %lu)\n", what, GetLastError());
    return 1;
}

static unsigned u32(const unsigned char *at) { return at[0] | at[1] << 8 | at[2] << 16 | (unsigned)at[3] << 24; }
static void *alloc(void *p, size_t size) { (void)p; return malloc(size); }
static void release(void *p, void *address) { (void)p; free(address); }

/* The LZMA stream's bytes, or NULL. */
static unsigned char *decode_lzma(const unsigned char *stream, unsigned long long length, size_t *size) {
    const unsigned char *end = stream + length, *at;
    *size = 0;
    for (at = stream + 9; at < end; at += 8 + u32(at)) *size += u32(at + 4);
    unsigned char *out = malloc(*size ? *size : 1);
    if (!out) return NULL;
    ISzAlloc a = {alloc, release};
    size_t done = 0;
    for (at = stream + 9; at < end; at += 8 + u32(at)) {
        SizeT out_size = u32(at + 4), in_size = u32(at);
        ELzmaStatus status;
        if (LzmaDecode(out + done, &out_size, at + 8, &in_size, stream + 4, LZMA_PROPS_SIZE, LZMA_FINISH_END, &status, &a) != SZ_OK)
            return NULL;
        done += out_size;
    }
    return out;
}

int wmain(int argc, wchar_t **argv) {
    if (argc != 6) {
        fprintf(stderr, "usage: floor INSTALLER OFFSET LENGTH APP_OUT COPY_OUT\n");
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

    size_t size = 0;
    unsigned char *out = NULL;
    if (length >= 9 && memcmp(view + offset, "LZMA", 4) == 0) {
        if (!(out = decode_lzma(view + offset, length, &size))) return die("LZMA decode");
    } else {
        size_t capacity = 1 << 20;
        z_stream z = {0};
        if (inflateInit(&z) != Z_OK) return die("inflateInit");
        out = malloc(capacity);
        if (!out) return die("malloc");
        z.next_in = (Bytef *)(view + offset);
        z.avail_in = (uInt)length;
        for (;;) {
            if (size == capacity) {
                capacity *= 2;
                out = realloc(out, capacity);
                if (!out) return die("realloc");
            }
            z.next_out = out + size;
            z.avail_out = (uInt)(capacity - size);
            const int rc = inflate(&z, Z_NO_FLUSH);
            size = capacity - z.avail_out;
            if (rc == Z_STREAM_END) break;
            if (rc != Z_OK) return die("inflate");
        }
        inflateEnd(&z);
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
