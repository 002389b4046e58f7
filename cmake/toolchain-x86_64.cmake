# MinGW-w64 cross toolchain, 64-bit, posix thread model, static runtime.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QUILL_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${QUILL_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUILL_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${QUILL_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QUILL_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# No MinGW DLL beside any program: libgcc, libstdc++ and winpthread linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
