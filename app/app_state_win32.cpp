// The process-wide records declared in app_state.h, and the lock that orders the two threads'
// copies to and from the SettingsTable.
#include "app/app_state.h"

AppState app;
HINSTANCE app_instance;
HWND app_dialog_created;

// A slim reader/writer lock needs no initialisation call and no clean-up, so it is usable
// from the first instruction to the end of the process, on either thread.
static SRWLOCK settings_table_srw = SRWLOCK_INIT;

void settings_table_lock() {
    AcquireSRWLockExclusive(&settings_table_srw);
}

void settings_table_unlock() {
    ReleaseSRWLockExclusive(&settings_table_srw);
}
