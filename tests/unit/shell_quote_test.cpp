// The commands lumivo24-cli prints for the user to paste: each word quoted as its shell reads it
// back unchanged. One row per kind of word and shell; the expected texts are written out. The
// command-line cases run the printed commands, with a space and Cyrillic letters, in sh and cmd.
#include <gtest/gtest.h>

#include <string>

#include "cli/shell_quote.h"

namespace {

struct Row {
    const char* word;
    const char* posix;
    const char* cmd;
    const char* powershell;
};

const Row ROWS[] = {
    {"/home/ivan/stairs.lv24", "/home/ivan/stairs.lv24", "/home/ivan/stairs.lv24",
     "/home/ivan/stairs.lv24"},
    {"C:\\Users\\Иван\\x.lv24", "'C:\\Users\\Иван\\x.lv24'", "C:\\Users\\Иван\\x.lv24",
     "'C:\\Users\\Иван\\x.lv24'"},
    {"/home/o'brien/a b", "'/home/o'\\''brien/a b'", "\"/home/o'brien/a b\"",
     "'/home/o''brien/a b'"},
    {"$HOME&(x)", "'$HOME&(x)'", "\"$HOME&(x)\"", "'$HOME&(x)'"},
    {"a’b", "a’b", "a’b", "'a’’b'"}, // PowerShell ends a quote at U+2019 too
    {"", "''", "\"\"", "''"},
    {"--port", "--port", "--port", "--port"},
};

} // namespace

TEST(ShellQuote, EachShellGetsTheWordBackUnchanged) {
    for (const Row& row : ROWS) {
        SCOPED_TRACE(row.word);
        EXPECT_EQ(shell_quote(row.word, SHELL_POSIX), row.posix);
        EXPECT_EQ(shell_quote(row.word, SHELL_CMD), row.cmd);
        EXPECT_EQ(shell_quote(row.word, SHELL_POWERSHELL), row.powershell);
    }
}
