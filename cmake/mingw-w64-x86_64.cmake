# Cross-builds for 64-bit Windows with Debian's MinGW-w64 and runs the test programs under Wine:
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DVESPERKEEP_WINDOW=OFF
# The -posix compilers are used because the win32 thread model of GCC 12 has no std::mutex or
# std::thread. Everything is linked statically, so the programs need no MinGW DLLs beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# ctest and add_custom_command run the .exe files through Wine. The caller chooses the prefix and
# the quiet settings (scripts/test-windows does).
find_program(VESPERKEEP_WINE NAMES wine wine64)
if(VESPERKEEP_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VESPERKEEP_WINE})
endif()
