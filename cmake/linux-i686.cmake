# A 32-bit Linux build of the portable layers with the host g++ and Debian's
# g++-multilib, which tools/test-all makes where 32-bit Windows programs cannot start.
# No system name is set: the machine runs what it builds, so the tests run directly.
# Files of 2 GiB and more need the 64-bit file interface, which 32-bit glibc gives
# only on request.
set(CMAKE_C_FLAGS_INIT "-m32 -D_FILE_OFFSET_BITS=64")
set(CMAKE_CXX_FLAGS_INIT "-m32 -D_FILE_OFFSET_BITS=64")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")
