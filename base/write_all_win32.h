// Writing a whole buffer to a Windows file or pipe handle.
#pragma once

#include <windows.h>

#include <cstddef>

// Writes all n bytes with WriteFile, at most 1 MiB a call, going on after short writes. False
// when a write fails or takes nothing, with the system's error code in *error unless it is null
// (ERROR_WRITE_FAULT for a write that took nothing).
bool write_all(HANDLE handle, const void* bytes, size_t n, DWORD* error);
