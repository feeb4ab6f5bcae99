# Cross-compiles for 64-bit Windows with Debian's mingw-w64 GCC, posix thread model (std::thread
# and std::mutex need it). Programs built for the build machine's own use would be wrong here, so
# everything is looked up under the mingw root only; what runs at build or test time runs under
# Wine.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(kvx_mingw_triplet x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${kvx_mingw_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${kvx_mingw_triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${kvx_mingw_triplet}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${kvx_mingw_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR wine)
