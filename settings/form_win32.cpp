// The form's controls: building the control map, defaults, edit lock and the transfer between
// the controls and a table. Which control comes when, and every text, is decided by the
// portable settings code (the order lists, the default steps and the value texts); this file
// only sends the messages.
#include "settings/form.h"

#include <cstdlib>
#include <cstring>

#include "app/app_state.h"
#include "app/status_log.h"
#include "base/text_line.h"
#include "resources/resource_ids.h"

constexpr int GATHER_TEXT_UNITS = 8192; // longest text read from one edit, terminator included

static HWND position_control(int position) {
    return app.ui->slots[slot_of_position(position)];
}

static bool is_flag(int position) {
    return settings_value_kind(position) == VALUE_FLAG;
}

static HWND lookup(int id) {
    return GetDlgItem(app.dialog, id);
}

bool controls_complete() {
    const UiRecord* ui = app.ui;
    if (ui == nullptr || ui->log == nullptr || ui->scratch == nullptr)
        return false;
    for (int p = 0; p < SETTINGS_COUNT; ++p) {
        if (ui->slots[slot_of_position(p)] == nullptr)
            return false;
    }
    return ui->slots[SLOT_DISTANCE1] && ui->slots[SLOT_DISTANCE2] && ui->slots[SLOT_ILLUMINANCE] &&
           ui->slots[SLOT_STATUS_LOG];
}

bool collect_controls() {
    UiRecord* ui = static_cast<UiRecord*>(calloc(1, sizeof(UiRecord)));
    app.ui = ui;
    if (ui == nullptr)
        return false;
    ui->log = static_cast<wchar_t*>(calloc(1, UI_TEXT_BUFFER_BYTES));
    if (ui->log == nullptr)
        return false;
    ui->scratch = static_cast<wchar_t*>(calloc(1, UI_TEXT_BUFFER_BYTES));
    if (ui->scratch == nullptr)
        return false;

    for (int p = 0; p < GLOBAL_COUNT; ++p)
        ui->slots[slot_of_position(p)] = lookup(settings_control_id(p));
    for (int n = 1; n <= CHANNEL_COUNT; ++n) {
        for (int c = 0; c < CHANNEL_COLUMNS; ++c)
            ui->slots[slot_of_position(channel_position(c, n))] =
                lookup(ControlIdGrid[CHANNEL_COUNT * c + (n - 1)]);
    }
    ui->slots[SLOT_STATUS_LOG] = lookup(IDC_STATUS_LOG);
    ui->slots[SLOT_DISTANCE1] = lookup(IDC_DISTANCE1);
    ui->slots[SLOT_DISTANCE2] = lookup(IDC_DISTANCE2);
    ui->slots[SLOT_ILLUMINANCE] = lookup(IDC_ILLUMINANCE);
    return controls_complete();
}

static void set_text(HWND control, const char16_t* text) {
    SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

static void set_check(HWND control, bool checked) {
    SendMessageW(control, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void load_defaults() {
    DefaultStep steps[DEFAULT_STEP_COUNT];
    size_t count = settings_defaults(steps, DEFAULT_STEP_COUNT);
    for (size_t i = 0; i < count; ++i) {
        HWND control = position_control(steps[i].position);
        if (steps[i].is_flag)
            set_check(control, steps[i].checked);
        else
            set_text(control, steps[i].text);
    }
}

// A check box cannot be made read-only, so the lock hides it instead.
void set_form_lock(uint8_t lock) {
    for (int16_t position : LockOrder) {
        HWND control = position_control(position);
        if (is_flag(position))
            ShowWindow(control, lock ? SW_HIDE : SW_SHOW);
        else
            SendMessageW(control, EM_SETREADONLY, lock, 0);
    }
}

void form_gather_checked(FormGathered* form) {
    char16_t text[GATHER_TEXT_UNITS];
    for (int16_t position : GatherOrder) {
        HWND control = position_control(position);
        form->kinds[position] = TEXT_NUMBER;
        if (is_flag(position)) {
            form->values[position] = 0.0f;
            if (SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED)
                form->values[position] = 1.0f;
            continue;
        }
        text[0] = u'\0';
        SendMessageW(control, WM_GETTEXT, GATHER_TEXT_UNITS, reinterpret_cast<LPARAM>(text));
        form->values[position] = form_text_value(text);
        form->kinds[position] = form_text_kind(text);
    }
}

void form_gather(float table[SETTINGS_COUNT]) {
    FormGathered form;
    form_gather_checked(&form);
    memcpy(table, form.values, sizeof(form.values));
}

// The line is formatted in a buffer of this call's own: this runs on the user-interface thread,
// while the worker may be waiting for it with a line of its own.
bool form_refused(FormCheckFor target, const FormGathered* form) {
    const FormFaults faults = form_check(form, target);
    if (faults.count == 0)
        return false;
    static char16_t text[GATHER_TEXT_UNITS]; // the first failing field's text (UI thread)
    text[0] = u'\0';
    SendMessageW(position_control(faults.first), WM_GETTEXT, GATHER_TEXT_UNITS,
                 reinterpret_cast<LPARAM>(text));
    char16_t line[TEXT_LINE_UNITS];
    form_fault_line(line, TEXT_LINE_UNITS, target, &faults, text);
    status_log_line(line);
    return true;
}

void form_show(const float table[SETTINGS_COUNT], ShowVariant variant) {
    char16_t text[TEXT_LINE_UNITS];
    for (int16_t position : ShowOrder) {
        HWND control = position_control(position);
        float value = table[position];
        if (is_flag(position)) {
            set_check(control, form_flag_checked(value));
            continue;
        }
        form_value_text(text, TEXT_LINE_UNITS, position, value, variant);
        set_text(control, text);
    }
}

void gather_form() {
    form_gather(app.settings_table);
}

void show_table(ShowVariant variant) {
    form_show(app.settings_table, variant);
}
