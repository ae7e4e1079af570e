# The libFuzzer targets, built when ZEPH_BUILD_FUZZ is on (the top CMakeLists
# includes this then; the whole build is clang's, instrumented for coverage).
# tests/tools/run-fuzz.sh configures such a build of its own for the
# fuzz tests, so the main build may use any compiler.
#   zeph_fuzz_target(NAME HARNESS [LIBS lib...] [SOURCES file...])
# SOURCES are paths below src/, for a target that needs only a few files.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "ZEPH_BUILD_FUZZ needs clang (-DCMAKE_CXX_COMPILER=clang++)")
endif()
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -g -O1 -fno-omit-frame-pointer)
add_link_options(-fsanitize=address,undefined)

function(zeph_fuzz_target name harness)
    cmake_parse_arguments(F "" "" "LIBS;SOURCES" ${ARGN})
    list(TRANSFORM F_SOURCES PREPEND ${PROJECT_SOURCE_DIR}/src/)
    add_executable(${name} ${harness} ${F_SOURCES})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${name} PRIVATE ${F_LIBS} Qt6::Core)
endfunction()
