// The texts the command-line tool says to a person, in the person's language where its
// catalogue has them. A text is written in English in the code and marked where it stands:
// tr("...") gives its translation, tr_plural("...", "...", n) the form for a count of n,
// TR_MARK("...") only marks a text kept in a table and translated where it is used.
// Without a catalogue (the window program never loads one) each gives the English text.
#pragma once

#include <cstdint>

// A catalogue: the translation of `msgid`, or of the plural pair for `count`; nullptr when
// the catalogue has none. `context` is what the catalogue's owner passes along.
struct TextCatalogue {
    const char* (*lookup)(void* context, const char* msgid);
    const char* (*lookup_plural)(void* context, const char* one, const char* many, uint64_t count);
    void* context;
};

extern TextCatalogue TranslateCatalogue; // the one in use; lookups nullptr until one is loaded

#define TR_MARK(text) text

__attribute__((format_arg(1))) const char* tr(const char* msgid);
__attribute__((format_arg(1))) __attribute__((format_arg(2))) const char*
tr_plural(const char* one, const char* many, uint64_t count);
