// The English text stands in for any text the catalogue lacks, so that a catalogue behind the
// code's texts shows English words, never an empty line.
#include "base/translate.h"

TextCatalogue TranslateCatalogue = {nullptr, nullptr, nullptr};

const char* tr(const char* msgid) {
    if (TranslateCatalogue.lookup != nullptr) {
        const char* text = TranslateCatalogue.lookup(TranslateCatalogue.context, msgid);
        if (text != nullptr && text[0] != 0) {
            return text;
        }
    }
    return msgid;
}

const char* tr_plural(const char* one, const char* many, uint64_t count) {
    if (TranslateCatalogue.lookup_plural != nullptr) {
        const char* text =
            TranslateCatalogue.lookup_plural(TranslateCatalogue.context, one, many, count);
        if (text != nullptr && text[0] != 0) {
            return text;
        }
    }
    return count == 1 ? one : many;
}
