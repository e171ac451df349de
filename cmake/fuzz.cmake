# Fuzz tree (clang only): the portable code built for libFuzzer's coverage guidance and checked by
# AddressSanitizer and UndefinedBehaviorSanitizer, and one fuzzer for each routine that takes
# bytes from outside (the controller, a settings file, the command line). The fuzzers live in
# tests/fuzz/*_fuzz.cpp; CTest runs each for a fixed number of inputs, scripts/fuzz for longer.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "The fuzz tree needs clang: configure it with cmake --preset fuzz")
endif()

set(LUMIVO_FUZZ_CHECKS address,undefined)
# A sanitizer finding must end the run, so that libFuzzer keeps the input that caused it.
add_compile_options(-fno-omit-frame-pointer -fno-sanitize-recover=all)

add_library(lumivo_portable STATIC ${LUMIVO_PORTABLE_SOURCES} ${LUMIVO_POSIX_SOURCES})
target_include_directories(lumivo_portable PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(lumivo_portable PRIVATE -fsanitize=fuzzer-no-link,${LUMIVO_FUZZ_CHECKS})

add_subdirectory(tests/fuzz)
