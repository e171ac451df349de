#include "settings/long_path.h"

#include <cwchar>

namespace {

bool starts_with(const wchar_t* text, const wchar_t* head) {
    return wcsncmp(text, head, wcslen(head)) == 0;
}

bool is_letter(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

// Writes `head` followed by `rest` into out.
bool join(const wchar_t* head, const wchar_t* rest, wchar_t* out, size_t cap) {
    const size_t head_units = wcslen(head);
    const size_t rest_units = wcslen(rest);
    if (cap == 0 || head_units + rest_units >= cap) {
        return false;
    }
    wmemcpy(out, head, head_units);
    wmemcpy(out + head_units, rest, rest_units + 1);
    return true;
}

} // namespace

bool long_path_form(const wchar_t* full, wchar_t* out, size_t cap) {
    if (starts_with(full, L"\\\\?\\") || starts_with(full, L"\\\\.\\")) {
        return join(L"", full, out, cap);
    }
    if (is_letter(full[0]) && full[1] == L':' && full[2] == L'\\') {
        return join(L"\\\\?\\", full, out, cap);
    }
    if (starts_with(full, L"\\\\") && full[2] != 0 && full[2] != L'\\') {
        return join(L"\\\\?\\UNC\\", full + 2, out, cap);
    }
    return join(L"", full, out, cap);
}
