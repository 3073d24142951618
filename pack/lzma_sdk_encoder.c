/* The LZMA SDK's encoder, compiled from the files Debian's lzma-dev installs (their paths come
   from the build), as one call. Single-threaded (_7ZIP_ST): its output then depends only on the
   input and the properties. The SDK's Types.h would pull in <windows.h> for a Windows build; the
   encoder needs nothing of it. */
#include <stddef.h>
#include <stdlib.h>
#include <string.h>
#include <stdio.h>

/* The C library's headers are in already, so that dropping _WIN32 changes only the SDK's. */
#undef _WIN32
#include PLINTH_LZ_FIND_C
#include PLINTH_LZMA_ENC_C

#include "compression/lzma_sdk.h"
#include "lzma_sdk_encoder.h"

/* Level 9's own number of fast bytes. */
#define PLINTH_LZMA_FAST_BYTES 64

int plinth_lzma_encode(unsigned char* dest, size_t* dest_size, const unsigned char* src, size_t src_size,
                       unsigned dictionary, unsigned char* properties) {
    ISzAlloc alloc = {plinth_lzma_alloc, plinth_lzma_free};
    CLzmaEncProps props;
    LzmaEncProps_Init(&props);
    props.level = 9;
    props.dictSize = dictionary;
    props.lc = 3;
    props.lp = 0;
    props.pb = 2;
    props.fb = PLINTH_LZMA_FAST_BYTES;
    props.writeEndMark = 0;
    props.numThreads = 1;
    SizeT out = *dest_size;
    SizeT props_size = LZMA_PROPS_SIZE;
    SRes result = LzmaEncode(dest, &out, src, src_size, &props, properties, &props_size, 0, NULL, &alloc, &alloc);
    *dest_size = out;
    return result == SZ_OK && props_size == LZMA_PROPS_SIZE;
}
