// Text helpers shared by the unit tests.
#pragma once

#include <string>

// ASCII UTF-16 text as a narrow string, for readable comparisons.
inline std::string narrow(const char16_t* text) {
    std::string out;
    for (; *text != 0; ++text) {
        out.push_back(static_cast<char>(*text));
    }
    return out;
}
