# Shared by the stand-alone fuzz builds (driven by tests/messaging/fuzz/run-fuzz.sh,
# not part of the main build): C++20, Qt Core, and
#   zeph_fuzz_target(NAME HARNESS SOURCE...)
# a clang libFuzzer executable from its harness and the few repository sources
# it needs (paths below src/), so the rest of the tree may use any compiler.
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
find_package(Qt6 6.4 REQUIRED COMPONENTS Core)

function(zeph_fuzz_target name harness)
    list(TRANSFORM ARGN PREPEND ${ZEPH_SOURCE_DIR}/src/)
    add_executable(${name} ${harness} ${ARGN})
    target_include_directories(${name} PRIVATE ${ZEPH_SOURCE_DIR}/src)
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined -g -O1
                           -fno-omit-frame-pointer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_libraries(${name} PRIVATE Qt6::Core)
endfunction()
