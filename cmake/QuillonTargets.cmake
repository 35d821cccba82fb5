# Shared compile settings live on interface targets, never in CMAKE_CXX_FLAGS.
add_library(quillon_warnings INTERFACE)
target_compile_options(quillon_warnings INTERFACE
    -Wall -Wextra -Wshadow -Wconversion -Wsign-conversion -Wnon-virtual-dtor
    -Woverloaded-virtual -Wimplicit-fallthrough)
# GCC 12 reports impossible overlaps inside std::string's inlined copies at -O3
# (a known false positive of -Wrestrict fixed in GCC 13); it would fail release
# builds on code that is correct.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(quillon_warnings INTERFACE -Wno-restrict)
endif()
if(QUILLON_WERROR)
    target_compile_options(quillon_warnings INTERFACE -Werror)
endif()

add_library(quillon_sanitize INTERFACE)
if(QUILLON_SANITIZE)
    target_compile_options(quillon_sanitize INTERFACE
        -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(quillon_sanitize INTERFACE -fsanitize=address,undefined)
endif()
if(QUILLON_SANITIZE_THREAD)
    if(QUILLON_SANITIZE)
        message(FATAL_ERROR "the thread sanitizer cannot be combined with the address sanitizer")
    endif()
    target_compile_options(quillon_sanitize INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
    target_link_options(quillon_sanitize INTERFACE -fsanitize=thread)
endif()

# Under the fuzz preset every library of the project carries libFuzzer's
# coverage counters and comparison hooks, not only the harness: the fuzzer can
# only steer towards branches it sees, and the parsers live in the libraries.
add_library(quillon_fuzz_coverage INTERFACE)
if(QUILLON_FUZZ)
    target_compile_options(quillon_fuzz_coverage INTERFACE -fsanitize=fuzzer-no-link)
endif()

# quillon_module(NAME <name> [SOURCES ...] [DEPS ...] [PRIVATE_DEPS ...])
# One static library per module, named quillon_<name>. Sources default to every
# .cpp in the module folder (tests and tools live elsewhere).
function(quillon_module)
    cmake_parse_arguments(M "" "NAME" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
    if(NOT M_SOURCES)
        file(GLOB M_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    endif()
    add_library(quillon_${M_NAME} STATIC ${M_SOURCES})
    target_include_directories(quillon_${M_NAME} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(quillon_${M_NAME} PUBLIC ${M_DEPS} quillon_sanitize
                          PRIVATE ${M_PRIVATE_DEPS} quillon_warnings quillon_fuzz_coverage)
endfunction()

# quillon_test(NAME <name> [SOURCES ...] DEPS ...)
# One GoogleTest binary per module; sources default to tests/<name>/*_test.cpp.
# Its tests carry the module's name as their label (ctest -L <name>).
function(quillon_test)
    if(NOT QUILLON_BUILD_TESTS)
        return()
    endif()
    cmake_parse_arguments(T "" "NAME" "SOURCES;DEPS" ${ARGN})
    if(NOT T_SOURCES)
        file(GLOB T_SOURCES CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/tests/${T_NAME}/*_test.cpp)
    endif()
    add_executable(quillon_${T_NAME}_tests ${T_SOURCES})
    target_link_libraries(quillon_${T_NAME}_tests PRIVATE ${T_DEPS} quillon_testing
                          GTest::gtest GTest::gmock GTest::gtest_main quillon_warnings)
    # The label lets a preset run one module's tests (the thread sanitizer's
    # run builds only the binaries it needs).
    gtest_discover_tests(quillon_${T_NAME}_tests
        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
        PROPERTIES ENVIRONMENT "QUILLON_SOURCE_DIR=${PROJECT_SOURCE_DIR}" LABELS ${T_NAME}
        DISCOVERY_TIMEOUT 60)
endfunction()

# quillon_fuzzer(NAME <name> DEPS ...)
# The libFuzzer entry is fuzz/<name>_fuzz.cpp and its corpus fuzz/corpus/<name>/.
# Under the fuzz preset it becomes a libFuzzer binary; in every other build it is
# linked to a small driver that replays the corpus, and that replay is a test.
function(quillon_fuzzer)
    cmake_parse_arguments(F "" "NAME" "DEPS" ${ARGN})
    set(source ${PROJECT_SOURCE_DIR}/fuzz/${F_NAME}_fuzz.cpp)
    set(corpus ${PROJECT_SOURCE_DIR}/fuzz/corpus/${F_NAME})
    if(QUILLON_FUZZ)
        add_executable(quillon_fuzz_${F_NAME} ${source})
        target_compile_options(quillon_fuzz_${F_NAME} PRIVATE -fsanitize=fuzzer)
        target_link_options(quillon_fuzz_${F_NAME} PRIVATE -fsanitize=fuzzer)
        target_link_libraries(quillon_fuzz_${F_NAME} PRIVATE ${F_DEPS})
    elseif(QUILLON_BUILD_TESTS)
        add_executable(quillon_replay_${F_NAME} ${source} ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp)
        target_link_libraries(quillon_replay_${F_NAME} PRIVATE ${F_DEPS} quillon_warnings)
        add_test(NAME fuzz_replay.${F_NAME} COMMAND quillon_replay_${F_NAME} ${corpus})
    endif()
endfunction()
