// The checks of the form before its values leave the window, and the log line that says why they
// did not.
//
// Before a write to the controller every field must hold one number (blanks around it aside)
// that its field in the payload can carry: the range values_range names, in the form's unit.
// Before a save every field must hold one number; a file holds any float, so there is no range.
// A check box always holds 0 or 1, and RepeatTimer, which neither the controller nor a file
// holds, is not checked. The fields are taken in listing order (the global values, then channel
// after channel, as the command-line tool lists them); the log line names the first that fails,
// says what it holds and what would fit, and how many others fail.
#pragma once

#include <cstddef>
#include <cstdint>

#include "settings/form_text.h"
#include "settings/setting_rows.h"

// Where the form's values are going.
enum FormCheckFor : int {
    CHECK_FOR_CONTROLLER, // a settings write
    CHECK_FOR_FILE,       // a save to a settings file
};

// The form as gathered for a check.
struct FormGathered {
    float values[SETTINGS_COUNT];  // the SettingsTable as the texts and check boxes give it
    uint8_t kinds[SETTINGS_COUNT]; // TextKind of each text; TEXT_NUMBER for a check box
};

// Why a field fails.
enum FieldFault : uint8_t {
    FIELD_EMPTY,        // nothing but blanks
    FIELD_NOT_A_NUMBER, // anything else that is not one number
    FIELD_OUT_OF_RANGE, // a number its field in the payload cannot carry
};

struct FormFaults {
    size_t count;     // fields that fail; 0: the form may go
    int first;        // table position of the first that fails; -1 when none does
    FieldFault fault; // why the first fails
};

FormFaults form_check(const FormGathered* form, FormCheckFor target);

// The name the log gives a field: its row and its column caption, as the form shows them
// ("Лестница 3, «Нач. ярк. вкл., %»", "Датчик 1, см, «Минимум»"), or its row caption alone in
// quotes where it has no column ("«Освещённость, %»"). Writes at most cap - 1 units and a
// terminator; returns the units written.
size_t form_field_name(char16_t* out, size_t cap, int position);

// The log line for a form that failed its check (faults->count > 0), within `cap` units with the
// terminator, ending with a line break: "Не записано: Лестница 3, «Нач. ярк. вкл., %»: 7000 —
// допустимо 0…6553,5.", "Файл не записан: «Таймер Выкл., с»: «abc» — не число; ещё ошибок: 2.".
// `text` is the first failing field's text as it stands; it is cut to what room the line
// leaves. Returns the units written.
size_t form_fault_line(char16_t* out, size_t cap, FormCheckFor target, const FormFaults* faults,
                       const char16_t* text);
