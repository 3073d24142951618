/* The LZMA SDK's decoder (LzmaDec.c from Debian's lzma-dev, compiled in lzma_sdk.c), as one call. */
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* 1 when the raw LZMA data `src` (no end mark, properties `properties`: 5 bytes) decodes to
   exactly `dest_size` bytes and uses every byte of `src`; 0 for anything else. The dictionary is
   `dest` itself: the decoder allocates only its probability tables. */
/* The SDK's allocator, malloc and free, for its encoder too. */
void* plinth_lzma_alloc(void* unused, size_t size);
void plinth_lzma_free(void* unused, void* address);

int plinth_lzma_decode(unsigned char* dest, size_t dest_size, const unsigned char* src, size_t src_size,
                       const unsigned char* properties);

#ifdef __cplusplus
}
#endif
