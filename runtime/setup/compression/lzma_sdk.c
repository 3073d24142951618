/* The LZMA SDK's decoder, compiled from the file Debian's lzma-dev installs (its path comes from
   the build: PLINTH_LZMA_DEC_C). The SDK's Types.h would pull in <windows.h> for a Windows build;
   the decoder needs nothing of it. */
#include <stddef.h>
#include <stdlib.h>
#include <string.h>

/* The C library's headers are in already, so that dropping _WIN32 changes only the SDK's. */
#undef _WIN32
#include PLINTH_LZMA_DEC_C

#include "lzma_sdk.h"

void* plinth_lzma_alloc(void* unused, size_t size) {
    (void)unused;
    return malloc(size);
}

void plinth_lzma_free(void* unused, void* address) {
    (void)unused;
    free(address);
}

int plinth_lzma_decode(unsigned char* dest, size_t dest_size, const unsigned char* src, size_t src_size,
                       const unsigned char* properties) {
    ISzAlloc alloc = {plinth_lzma_alloc, plinth_lzma_free};
    SizeT out = dest_size;
    SizeT in = src_size;
    ELzmaStatus status;
    SRes result = LzmaDecode(dest, &out, src, &in, properties, LZMA_PROPS_SIZE, LZMA_FINISH_END, &status, &alloc);
    return result == SZ_OK && out == dest_size && in == src_size &&
           (status == LZMA_STATUS_MAYBE_FINISHED_WITHOUT_MARK || status == LZMA_STATUS_FINISHED_WITH_MARK);
}
