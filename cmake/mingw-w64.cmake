# Cross compilation for 64-bit Windows with mingw-w64. Test programs run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(LUMIVO_MINGW x86_64-w64-mingw32)
# The POSIX-threads variant of the compiler: its C++ library has std::mutex and std::thread,
# which GoogleTest needs (the win32-threads variant lacks them before GCC 13).
set(CMAKE_C_COMPILER ${LUMIVO_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${LUMIVO_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${LUMIVO_MINGW}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${LUMIVO_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# scripts/wine-run runs a Windows program in the build tree's private Wine prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
