# Cross build for i686 Windows with Debian's MinGW-w64 "-posix" compilers (GoogleTest
# needs std::mutex), linked statically so the programs need no extra DLL.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TOVK_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${TOVK_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOVK_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TOVK_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TOVK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# Tests run under Wine through our wrapper, in a prefix of this build's own: a win64 one,
# where 32-bit programs run through WoW64 as on most of the users' machines (Debian's
# wine32 provides it; tools/test-all checks that this machine can start them).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run --prefix ${CMAKE_BINARY_DIR}/wine)
