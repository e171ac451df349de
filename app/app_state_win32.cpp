// The process-wide records declared in app_state.h.
#include "app/app_state.h"

AppState app;
HINSTANCE app_instance;
HWND app_dialog_created;
