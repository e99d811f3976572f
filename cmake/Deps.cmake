# Third-party libraries, built from Debian's packages. Nothing is vendored into the repository:
# scripts/setup.sh unpacks the Debian sources into KORVANIX_DEPS_DIR.
include(ExternalProject)

add_library(korvanix_deps INTERFACE)

if(WIN32)
    set(ZLIB_USE_STATIC_LIBS ON)  # libz.a, not the DLL import library
endif()
find_package(ZLIB REQUIRED)

file(GLOB zlib_src_dirs "${KORVANIX_DEPS_DIR}/zlib-*")
list(GET zlib_src_dirs 0 zlib_src)
if(NOT EXISTS "${zlib_src}/contrib/minizip/zip.c")
    message(FATAL_ERROR "zlib's source (with contrib/minizip) not found under ${KORVANIX_DEPS_DIR}: run scripts/setup.sh")
endif()
set(minizip_dir "${zlib_src}/contrib/minizip")
add_library(minizip STATIC ${minizip_dir}/ioapi.c ${minizip_dir}/zip.c ${minizip_dir}/unzip.c)
target_include_directories(minizip SYSTEM PUBLIC ${minizip_dir})
# NOCRYPT: archives are never encrypted. The 64-bit file functions are ours (see the zip component).
target_compile_definitions(minizip PUBLIC NOCRYPT NOUNCRYPT PRIVATE USE_FILE32API=0)
target_compile_options(minizip PRIVATE -w)
target_link_libraries(minizip PUBLIC ZLIB::ZLIB)
target_link_libraries(korvanix_deps INTERFACE minizip)

if(WIN32)
    # libjpeg-turbo cross-built for the target; SIMD off (no nasm object format to worry about), static only.
    file(GLOB jpeg_src_dirs "${KORVANIX_DEPS_DIR}/libjpeg-turbo-*")
    list(GET jpeg_src_dirs 0 jpeg_src)
    set(jpeg_prefix ${CMAKE_BINARY_DIR}/deps/jpeg)
    ExternalProject_Add(jpeg_build
        SOURCE_DIR ${jpeg_src}
        BINARY_DIR ${CMAKE_BINARY_DIR}/deps/jpeg-build
        INSTALL_DIR ${jpeg_prefix}
        CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE} -DCMAKE_BUILD_TYPE=Release
                   -DCMAKE_INSTALL_PREFIX=${jpeg_prefix} -DWITH_SIMD=0 -DENABLE_SHARED=0
                   -DWITH_TURBOJPEG=0 -DWITH_JPEG8=0 -DCMAKE_POSITION_INDEPENDENT_CODE=OFF
        BUILD_BYPRODUCTS ${jpeg_prefix}/lib/libjpeg.a
        UPDATE_COMMAND "" LOG_CONFIGURE ON LOG_BUILD ON LOG_INSTALL ON)
    file(MAKE_DIRECTORY ${jpeg_prefix}/include)
    add_library(jpeg STATIC IMPORTED GLOBAL)
    set_target_properties(jpeg PROPERTIES IMPORTED_LOCATION ${jpeg_prefix}/lib/libjpeg.a
        INTERFACE_INCLUDE_DIRECTORIES ${jpeg_prefix}/include)
    add_dependencies(jpeg jpeg_build)
    target_link_libraries(korvanix_deps INTERFACE jpeg)
else()
    find_package(JPEG REQUIRED)
    target_link_libraries(korvanix_deps INTERFACE JPEG::JPEG)
endif()
