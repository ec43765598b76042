# Cross build with MinGW-w64; the preset's toolchain file sets MW_MINGW_TRIPLE
# and CMAKE_SYSTEM_PROCESSOR first. The -posix compilers are used because
# GoogleTest needs std::mutex, which the win32 thread model lacks.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${MW_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MW_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MW_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MW_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Static runtime: the programs must run on a Windows machine without MinGW DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
