# Windows tree: the program itself and the tests that need Win32 (run under Wine on Linux).
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
add_link_options(-static -static-libgcc -static-libstdc++)

# The JSON settings reader needs the header-only nlohmann-json, and lumivo24-cli CLI11 as well.
# The cross compiler must not search the host's /usr/include (its C library headers would break
# the build), so on a Linux host it gets a folder of its own holding only links to those two.
# Elsewhere, point the cache variable at the folders that hold CLI/CLI.hpp and nlohmann/json.hpp.
set(LUMIVO_CLI_INCLUDE_DIRS "" CACHE STRING
    "Include folders holding CLI/CLI.hpp (CLI11) and nlohmann/json.hpp, for lumivo24-cli")
if(NOT LUMIVO_CLI_INCLUDE_DIRS AND EXISTS /usr/include/CLI/CLI.hpp
   AND EXISTS /usr/include/nlohmann/json.hpp)
    set(LUMIVO_CLI_HEADERS ${CMAKE_BINARY_DIR}/cli-headers)
    file(MAKE_DIRECTORY ${LUMIVO_CLI_HEADERS})
    file(CREATE_LINK /usr/include/CLI ${LUMIVO_CLI_HEADERS}/CLI SYMBOLIC)
    file(CREATE_LINK /usr/include/nlohmann ${LUMIVO_CLI_HEADERS}/nlohmann SYMBOLIC)
    set(LUMIVO_CLI_INCLUDE_DIRS ${LUMIVO_CLI_HEADERS})
endif()
if(NOT LUMIVO_CLI_INCLUDE_DIRS)
    message(FATAL_ERROR "No CLI11 and nlohmann-json headers: install libcli11-dev and "
                        "nlohmann-json3-dev, or set LUMIVO_CLI_INCLUDE_DIRS")
endif()
add_library(lumivo_portable STATIC ${LUMIVO_PORTABLE_SOURCES})
target_include_directories(lumivo_portable PUBLIC ${CMAKE_SOURCE_DIR})
target_include_directories(lumivo_portable SYSTEM PUBLIC ${LUMIVO_CLI_INCLUDE_DIRS})

file(GLOB LUMIVO_WIN32_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/base/*_win32.cpp
     ${CMAKE_SOURCE_DIR}/app/*_win32.cpp ${CMAKE_SOURCE_DIR}/link/*_win32.cpp
     ${CMAKE_SOURCE_DIR}/settings/*_win32.cpp)
list(FILTER LUMIVO_WIN32_SOURCES EXCLUDE REGEX "/app/main_win32\\.cpp$")

add_library(lumivo_win32 STATIC ${LUMIVO_WIN32_SOURCES})
target_link_libraries(lumivo_win32 PUBLIC lumivo_portable user32 gdi32 comdlg32 advapi32 kernel32)

# The resource script is UTF-8; windres must be told so, or the Russian captions come out wrong.
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001 -I${CMAKE_SOURCE_DIR}/resources")
# The generated folder holds the version header and the manifest made from the project version.
add_library(lumivo_resources OBJECT ${CMAKE_SOURCE_DIR}/resources/lumivo24.rc)
target_include_directories(lumivo_resources PRIVATE ${LUMIVO_GENERATED_DIR})
set_source_files_properties(${CMAKE_SOURCE_DIR}/resources/lumivo24.rc PROPERTIES OBJECT_DEPENDS
    "${LUMIVO_GENERATED_DIR}/lumivo_version.h;${LUMIVO_GENERATED_DIR}/lumivo24.manifest")

add_executable(lumivo24 WIN32 ${CMAKE_SOURCE_DIR}/app/main_win32.cpp $<TARGET_OBJECTS:lumivo_resources>)
target_link_libraries(lumivo24 PRIVATE lumivo_win32)
# wWinMain: the command line comes from the system as UTF-16.
target_link_options(lumivo24 PRIVATE -municode)
set_target_properties(lumivo24 PROPERTIES OUTPUT_NAME lumivo24 RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

add_subdirectory(cli)

# The programs that ship leave their link maps in maps/: the release reads in them which
# libraries each program contains, for THIRD-PARTY-NOTICES.
foreach(program lumivo24 lumivo24-cli)
    if(TARGET ${program})
        target_link_options(${program} PRIVATE "LINKER:-Map=${CMAKE_BINARY_DIR}/maps/${program}.map")
    endif()
endforeach()
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/maps)

# The tests need GoogleTest's sources (Debian's googletest package puts them in /usr/src).
set(LUMIVO_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources for the Win32 tests")
if(EXISTS ${LUMIVO_GTEST_SOURCE_DIR}/CMakeLists.txt)
    set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(${LUMIVO_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    add_subdirectory(tests/win32)
    add_subdirectory(tests/e2e)
    if(TARGET lumivo24-cli)
        add_subdirectory(tests/cli)
    endif()
else()
    message(STATUS "No GoogleTest sources at ${LUMIVO_GTEST_SOURCE_DIR}: building the program only")
endif()
