# The libraries Debian packages for Linux only, built for Windows from the sources that
# scripts/install-deps-windows.sh fetches into build-windows/third_party/. Their targets carry the
# names pkg-config and FindGTest give them on Linux, so src/ links them the same way on both.

set(KVX_THIRD_PARTY_DIR ${PROJECT_BINARY_DIR}/third_party
    CACHE PATH "Sources of minizip, libdeflate and nettle (scripts/install-deps-windows.sh)")
foreach(package minizip libdeflate nettle)
  if(NOT IS_DIRECTORY ${KVX_THIRD_PARTY_DIR}/${package})
    message(FATAL_ERROR "No ${package} source in ${KVX_THIRD_PARTY_DIR}: "
                        "run scripts/install-deps-windows.sh first")
  endif()
endforeach()

# Other people's code: built with its own warnings, never ours.
function(kvx_third_party_library name)
  add_library(${name} STATIC ${ARGN})
  target_compile_options(${name} PRIVATE -w)
endfunction()

# minizip: <minizip/unzip.h>, <minizip/zip.h> and <minizip/iowin32.h> (wide-character paths).
set(minizip_dir ${KVX_THIRD_PARTY_DIR}/minizip)
kvx_third_party_library(kvx_minizip ${minizip_dir}/ioapi.c ${minizip_dir}/unzip.c
                        ${minizip_dir}/zip.c ${minizip_dir}/iowin32.c)
target_include_directories(kvx_minizip PUBLIC ${KVX_THIRD_PARTY_DIR})
target_link_libraries(kvx_minizip PUBLIC ZLIB::ZLIB)
add_library(PkgConfig::MINIZIP ALIAS kvx_minizip)

# libdeflate: the whole library, as its own Makefile builds it (the CPU-specific parts select
# themselves at compile time and at run time).
set(libdeflate_dir ${KVX_THIRD_PARTY_DIR}/libdeflate)
file(GLOB libdeflate_sources ${libdeflate_dir}/lib/*.c ${libdeflate_dir}/lib/*/*.c)
kvx_third_party_library(kvx_libdeflate ${libdeflate_sources})
target_include_directories(kvx_libdeflate PUBLIC ${libdeflate_dir})
add_library(PkgConfig::LIBDEFLATE ALIAS kvx_libdeflate)

# nettle: only SHA-256, in its portable C form, which is all the run report uses.
set(nettle_dir ${KVX_THIRD_PARTY_DIR}/nettle)
kvx_third_party_library(kvx_nettle_sha256 ${nettle_dir}/sha256.c ${nettle_dir}/sha256-compress.c
                        ${nettle_dir}/write-be32.c)
target_include_directories(kvx_nettle_sha256 PUBLIC ${KVX_THIRD_PARTY_DIR})
add_library(PkgConfig::NETTLE ALIAS kvx_nettle_sha256)

# nlohmann-json is header-only: Debian's header (nlohmann-json3-dev), which does not depend on the
# system it was packaged for.
# It is reached through a folder of its own: /usr/include as an include folder would put the Linux
# C library's headers before mingw-w64's.
set(nlohmann_json_include ${PROJECT_BINARY_DIR}/nlohmann_json/include)
file(MAKE_DIRECTORY ${nlohmann_json_include})
file(CREATE_LINK /usr/include/nlohmann ${nlohmann_json_include}/nlohmann SYMBOLIC)
add_library(kvx_nlohmann_json INTERFACE)
target_include_directories(kvx_nlohmann_json SYSTEM INTERFACE ${nlohmann_json_include})
add_library(PkgConfig::NLOHMANN_JSON ALIAS kvx_nlohmann_json)

# GoogleTest and GoogleMock from Debian's source package (googletest).
set(googletest_dir /usr/src/googletest)
set(gtest_dir ${googletest_dir}/googletest)
set(gmock_dir ${googletest_dir}/googlemock)
kvx_third_party_library(kvx_gtest ${gtest_dir}/src/gtest-all.cc)
target_include_directories(kvx_gtest SYSTEM PUBLIC ${gtest_dir}/include PRIVATE ${gtest_dir})
target_link_libraries(kvx_gtest PUBLIC Threads::Threads)
kvx_third_party_library(kvx_gmock ${gmock_dir}/src/gmock-all.cc)
target_include_directories(kvx_gmock SYSTEM PUBLIC ${gmock_dir}/include PRIVATE ${gmock_dir})
target_link_libraries(kvx_gmock PUBLIC kvx_gtest)
kvx_third_party_library(kvx_gtest_main ${gtest_dir}/src/gtest_main.cc)
target_link_libraries(kvx_gtest_main PUBLIC kvx_gtest)
add_library(GTest::gtest ALIAS kvx_gtest)
add_library(GTest::gmock ALIAS kvx_gmock)
add_library(GTest::gtest_main ALIAS kvx_gtest_main)
