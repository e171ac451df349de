// Reading the controller's answer to the identification request.
//
// The answer is recognised by the string "VORK, kavren board" anywhere in the received bytes;
// that string begins the payload of a frame, so the two bytes before it are the frame's total
// length and the identification text is the payload: length - 6 bytes from the string on. The
// board version is the decimal number after "kavren board v", times 1000.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t IDENT_TEXT_CAP = 1024;            // identification text with its terminator
constexpr int32_t IDENT_SUPPORTED_REVISION = 5000; // the board whose settings can be edited

// What an identification answer says.
struct IdentAnswer {
    char text[IDENT_TEXT_CAP]; // identification text, NUL-terminated (8-bit, as received)
    int32_t board_revision;    // version x 1000; 0 when no version was found
};

// Looks for the m-byte needle in the n bytes of data; on success sets *past to the position
// just past the first match, which lies wholly inside the data. An empty needle matches at 0.
bool ident_find_bytes(const uint8_t* needle, size_t m, const uint8_t* data, size_t n, size_t* past);

// True when the identification frame stands whole in the n bytes: the string, a whole frame
// head before it, and every byte up to the end its length field gives. An answer without a
// frame head before the string is never whole; it is taken when its window ends.
bool ident_answer_whole(const uint8_t* data, size_t n);

// True when the n bytes hold the start of an identification frame that runs past them, as the
// controller sends it: a frame head (at *at) whose length field gives a text of the string's
// length up to IDENT_TEXT_CAP - 1 bytes (*bytes: the whole frame), followed by as much of the
// string as has come; with none of it yet, the head must carry the identification's command.
bool ident_answer_begins(const uint8_t* data, size_t n, size_t* at, size_t* bytes);

// Reads the n bytes received into buf (buf_cap bytes; n above buf_cap counts as buf_cap).
// Returns false, leaving *out alone, when the identification string is not there. Otherwise
// fills *out and returns true; buf is changed: the byte at n - 2, where the CRC of an answer
// that fills the read exactly begins, becomes 0 so that the version ends there.
//
// The text is cut to the bytes received and to IDENT_TEXT_CAP - 1 bytes. When the string
// stands less than two bytes into the data, or the length field is below 6, the answer still
// identifies the controller and its text runs to the end of the received bytes.
bool ident_parse(uint8_t* buf, size_t buf_cap, size_t n, IdentAnswer* out);
