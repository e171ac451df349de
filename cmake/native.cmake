# Host tree: the portable code, its unit tests and the controller emulator.
option(LUMIVO_TSAN "Build the native tree with ThreadSanitizer instead" OFF)
if(LUMIVO_TSAN)
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
elseif(LUMIVO_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=address,undefined)
endif()

add_library(lumivo_portable STATIC ${LUMIVO_PORTABLE_SOURCES} ${LUMIVO_POSIX_SOURCES})
target_include_directories(lumivo_portable PUBLIC ${CMAKE_SOURCE_DIR})

find_package(GTest REQUIRED)
include(GoogleTest)

if(EXISTS ${CMAKE_SOURCE_DIR}/emulator/CMakeLists.txt)
    add_subdirectory(emulator)
endif()
add_subdirectory(cli)
add_subdirectory(tests/unit)
add_subdirectory(tests/cli)
add_subdirectory(packaging)
