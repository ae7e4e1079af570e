# The Windows build: a static Qt for MinGW-w64 (CMAKE_PREFIX_PATH names it),
# the MinGW runtime linked in statically so that zeph.exe runs on its own, and
# the libjpeg that the static Qt bundles.
find_package(Qt6 6.4 REQUIRED COMPONENTS Core Network Widgets Test)

set(ZEPH_QT_PREFIX "${QT6_INSTALL_PREFIX}")
if(NOT ZEPH_QT_PREFIX)
    get_filename_component(ZEPH_QT_PREFIX "${Qt6_DIR}/../../.." ABSOLUTE)
endif()
find_library(ZEPH_BUNDLED_JPEG NAMES Qt6BundledLibjpeg PATHS "${ZEPH_QT_PREFIX}/lib" REQUIRED
             NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
add_library(JPEG::JPEG STATIC IMPORTED)
set_target_properties(JPEG::JPEG PROPERTIES
    IMPORTED_LOCATION "${ZEPH_BUNDLED_JPEG}"
    INTERFACE_INCLUDE_DIRECTORIES "${ZEPH_QT_PREFIX}/include/zeph-libjpeg")

add_link_options(-static -static-libgcc -static-libstdc++)
# Windows 10 and later, as Qt 6 itself.
add_compile_definitions(_WIN32_WINNT=0x0A00 WINVER=0x0A00 UNICODE _UNICODE NOMINMAX
                        WIN32_LEAN_AND_MEAN)
