#include "cli/shell_quote.h"

#include <cstring>

namespace {

constexpr char TOOL[] = "lumivo24-cli";

// A word the shell takes as it is: letters, digits and _ . : / - (and \ where it is no escape
// character, in cmd and PowerShell), and any non-ASCII letter unless `ascii_only`.
bool plain(const std::string& word, ShellKind shell) {
    if (word.empty()) {
        return false;
    }
    const char* marks = shell == SHELL_POSIX ? "_.:/-" : "_.:/\\-";
    for (const char c : word) {
        const unsigned char u = static_cast<unsigned char>(c);
        const bool letter = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') ||
                            (u >= '0' && u <= '9') || (u >= 0x80 && shell != SHELL_POWERSHELL);
        if (!letter && strchr(marks, c) == nullptr) {
            return false;
        }
    }
    return true;
}

// Doubles each of the quotes PowerShell ends a single-quoted string with: ' and the UTF-8 forms
// of U+2018, U+2019, U+201A and U+201B.
std::string powershell_single(const std::string& word) {
    std::string out = "'";
    for (size_t i = 0; i < word.size(); ++i) {
        const bool typographic = i + 2 < word.size() &&
                                 static_cast<unsigned char>(word[i]) == 0xE2 &&
                                 static_cast<unsigned char>(word[i + 1]) == 0x80 &&
                                 static_cast<unsigned char>(word[i + 2]) >= 0x98 &&
                                 static_cast<unsigned char>(word[i + 2]) <= 0x9B;
        if (typographic) {
            out += word.substr(i, 3) + word.substr(i, 3);
            i += 2;
        } else {
            out += word[i];
            if (word[i] == '\'') {
                out += '\'';
            }
        }
    }
    return out + "'";
}

std::string posix_single(const std::string& word) {
    std::string out = "'";
    for (const char c : word) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

std::string line(const std::vector<std::string>& arguments, ShellKind shell) {
    std::string out = TOOL;
    for (const std::string& argument : arguments) {
        out += ' ' + shell_quote(argument, shell);
    }
    return out;
}

} // namespace

std::string shell_quote(const std::string& word, ShellKind shell) {
    switch (shell) {
    case SHELL_POSIX:
        return plain(word, shell) ? word : posix_single(word);
    case SHELL_CMD:
        return plain(word, shell) ? word : "\"" + word + "\"";
    case SHELL_POWERSHELL:
        return plain(word, shell) ? word : powershell_single(word);
    }
    return word;
}

std::string shell_command_line(const std::vector<std::string>& arguments) {
#ifdef _WIN32
    const std::string cmd = line(arguments, SHELL_CMD);
    const std::string powershell = line(arguments, SHELL_POWERSHELL);
    // Double quotes keep a word whole in both shells, but PowerShell expands '$' and '`' within
    // them and ends them at a typographic double quote, and cmd expands %NAME%.
    bool differs = false;
    for (const std::string& argument : arguments) {
        for (const char* special :
             {"$", "`", "%", "\xE2\x80\x9C", "\xE2\x80\x9D", "\xE2\x80\x9E"}) {
            differs = differs || argument.find(special) != std::string::npos;
        }
    }
    return differs ? cmd + " (in PowerShell: " + powershell + ")" : cmd;
#else
    return line(arguments, SHELL_POSIX);
#endif
}
