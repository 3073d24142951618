# Cross-compiling for 64-bit Windows with Debian's mingw-w64, win32 thread model: the posix model
# links winpthread (its emutls and exception allocator use it) into every program, some 25 KiB of
# the stub, which starts no thread.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(PLINTH_MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${PLINTH_MINGW_TRIPLE}-gcc-win32)
set(CMAKE_CXX_COMPILER ${PLINTH_MINGW_TRIPLE}-g++-win32)
set(CMAKE_RC_COMPILER ${PLINTH_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${PLINTH_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Link zlib statically: the stub must need nothing beyond the system's own DLLs.
set(ZLIB_USE_STATIC_LIBS ON)
# Each function and object in a section of its own, so that --gc-sections drops what is unused.
set(CMAKE_C_FLAGS_INIT "-ffunction-sections -fdata-sections")
set(CMAKE_CXX_FLAGS_INIT "-ffunction-sections -fdata-sections")
