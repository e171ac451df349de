// A piece of untrusted text fit to stand in a message: control bytes shown as '?', and a long
// text cut (at a character boundary, with "..." after it) so that the message keeps its end.
#pragma once

#include <cstddef>

// Writes the first n bytes of `text` (fewer at a NUL) into `out` of `cap` bytes, cut to at most
// `limit` bytes of text, terminated. Returns `out`.
char* text_clip_escaped(const char* text, size_t n, size_t limit, char* out, size_t cap);
