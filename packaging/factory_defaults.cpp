#include "packaging/factory_defaults.h"

#include "settings/form_text.h"
#include "settings/settings_file_format.h"

void factory_defaults_table(float table[SETTINGS_COUNT]) {
    for (int p = 0; p < SETTINGS_COUNT; ++p) {
        table[p] = 0.0f;
    }
    DefaultStep steps[DEFAULT_STEP_COUNT];
    const size_t n = settings_defaults(steps, DEFAULT_STEP_COUNT);
    // Later writes win, as in the form: channel 1's times get their "1" last.
    for (size_t i = 0; i < n; ++i) {
        const DefaultStep& step = steps[i];
        table[step.position] =
            step.is_flag ? (step.checked ? 1.0f : 0.0f) : form_text_value(step.text);
    }
}

size_t factory_defaults_file(uint8_t* out, size_t cap) {
    float table[SETTINGS_COUNT];
    uint8_t image[SETTINGS_FILE_IMAGE_BYTES];
    uint8_t content[SETTINGS_FILE_BYTES];
    factory_defaults_table(table);
    settings_image_pack(table, image);
    settings_file_content(image, content);
    const size_t length = settings_text_encode(content, SETTINGS_FILE_BYTES, out, cap);
    return length == SETTINGS_TEXT_FAILED ? 0 : length;
}
