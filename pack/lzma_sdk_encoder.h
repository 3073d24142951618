/* The LZMA SDK's encoder (lzma_sdk_encoder.c) as one call. */
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* 1 when `src` was encoded as raw LZMA data without an end mark into `dest` (room for
   *dest_size bytes; set to the bytes written), with its tightest settings and a dictionary of
   `dictionary` bytes, and its 5 bytes of properties written to `properties`; 0 when the data
   didn't fit or memory ran out. */
int plinth_lzma_encode(unsigned char* dest, size_t* dest_size, const unsigned char* src, size_t src_size,
                       unsigned dictionary, unsigned char* properties);

#ifdef __cplusplus
}
#endif
