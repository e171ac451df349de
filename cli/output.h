// What the command-line tool prints: texts for people on standard output, JSON for scripts, and
// one sentence per message on standard error. Part of the front end: the JSON library may throw,
// and cli_main catches whatever does.
#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

using Json = nlohmann::ordered_json; // keys stay in the order they are fixed in

void out_text(const std::string& text);
void out_json(const Json& value);            // indented, one document
void out_json_line(const Json& value);       // one line, for a stream of documents
void err_line(const std::string& sentence);  // an error, always said
void note_line(const std::string& sentence); // what was done; nothing with -q
void out_set_quiet(bool quiet);

// A sentence with its variable parts: each "%s" in `pattern` is replaced by the next of
// `values`, as printf replaces it, so that every sentence stands whole in the code.
std::string text_of(const char* pattern, std::initializer_list<std::string> values);

// Shows one frame on standard error for -v: seconds since the first frame shown, the port, the
// direction (">>" sent, "<<" received) and the bytes in hex ("(nothing)" for an empty answer).
void out_trace(const char* port, bool sent, const uint8_t* bytes, size_t n);

// UTF-16 without surrogates, as the program's own texts are, in UTF-8.
std::string utf8_of(const char16_t* text);
// The controller's 8-bit text as the window decodes it (its Cyrillic code page), in UTF-8.
std::string text_from_controller(const char* text);
// The same with control characters shown as '?', for a terminal.
std::string printable(const std::string& utf8);
