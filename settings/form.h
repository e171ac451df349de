// The form: the settings controls of the main dialog, reached through the UiRecord's slots.
//
// form_gather and form_show move all 248 values between the controls and a table the caller
// owns, with one message per control; on the link worker thread each message is carried out by
// the user-interface thread. gather_form and show_table do the same for app.settings_table,
// which only the user-interface thread touches: the link worker's transfers are carried out
// there whole (WM_APP_FORM_TO_TABLE, WM_APP_TABLE_FROM_CONTROLLER), so no file save or load can
// land in the middle of one.
#pragma once

#include <cstdint>

#include "settings/form_check.h"
#include "settings/form_text.h"
#include "settings/settings_layout.h"

// Builds the UiRecord (handles and both text buffers) from the main dialog in app.dialog.
// Returns false when an allocation failed or a control is missing; the record is then incomplete.
bool collect_controls();

// True when the UiRecord in AppState is whole: the record, both buffers and every slot.
bool controls_complete();

// Writes the factory defaults into every settings control (texts and check states).
void load_defaults();

// 1: every settings edit read-only and every settings check box hidden; 0: the reverse.
void set_form_lock(uint8_t lock);

// Reads every settings control into `table`.
void form_gather(float table[SETTINGS_COUNT]);

// The same, with what each text holds, for a check before a write or a save.
void form_gather_checked(FormGathered* form);

// User-interface thread: checks a gathered form for a write (CHECK_FOR_CONTROLLER) or a save
// (CHECK_FOR_FILE). When it fails, logs one line that names the first field failing, with its
// text as it stands, and returns true: nothing may be sent or saved. The fields are left as typed.
bool form_refused(FormCheckFor target, const FormGathered* form);

// Writes every value of `table` into its control, formatted for `variant`.
void form_show(const float table[SETTINGS_COUNT], ShowVariant variant);

// The same for the SettingsTable in AppState.
void gather_form();
void show_table(ShowVariant variant);
