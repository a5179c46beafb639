# Cross-compiles for 64-bit Windows with MinGW-w64 (posix threads); the results run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ORVIK_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${ORVIK_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORVIK_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ORVIK_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ORVIK_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Static runtime: every .exe imports only system DLLs, which Wine provides.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# CTest and test discovery run the cross-built executables through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)

# Release is -O2, as the program has always shipped: GCC 12's -O3 also warns of bounds it
# invents inside MinGW's own wmemcpy.
set(CMAKE_C_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Flags of a Release build")
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Flags of a Release build")
