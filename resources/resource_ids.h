/* Identifiers of the program's resources and of the main dialog's controls.
   Plain #defines so that both the resource compiler and C++ read this file.
   The 240 controls of the channel grid are numbered irregularly; their IDs are listed once,
   in ControlIdGrid (settings/settings_layout.h), and written into the dialog template by
   scripts/gen_channel_grid.py. */
#ifndef LUMIVO24_RESOURCE_IDS_H
#define LUMIVO24_RESOURCE_IDS_H

#define IDD_MAIN 101 /* the main dialog */
#define IDI_APP 104  /* the program's icon */

/* Push buttons (commands of the main dialog). IDCANCEL (2) closes the program. */
#define IDC_FILE_SAVE 13      /* "Записать" in the group "Файл" */
#define IDC_FILE_OPEN 14      /* "Прочитать" in the group "Файл" */
#define IDC_DEVICE_WRITE 15   /* "Записать" in the group "Настройки" */
#define IDC_DEVICE_READ 16    /* "Прочитать" in the group "Настройки" */
#define IDC_LOAD_DEFAULTS 17  /* "По умолчанию" */

/* Readings and the status window. */
#define IDC_DISTANCE1 1002    /* sensor 1 distance, read-only */
#define IDC_DISTANCE2 1003    /* sensor 2 distance, read-only */
#define IDC_STATUS_LOG 1004   /* status window */
#define IDC_ILLUMINANCE 1005  /* illuminance, read-only */

/* Global settings. */
#define IDC_SENSOR1_MIN 1006
#define IDC_SENSOR2_MIN 1007
#define IDC_LIGHT_THRESHOLD 1008
#define IDC_SENSOR1_MAX 1009
#define IDC_SENSOR2_MAX 1010
#define IDC_USE_LIGHT_SENSOR 1302 /* check box */
#define IDC_OFF_TIMER 1304
#define IDC_OFF_TIMER_UNIT 1305   /* label "с" */
#define IDC_USE_OFF_TIMER 1306    /* check box, hidden, unused */
#define IDC_REPEAT_TIMER 1309     /* edit, hidden */
#define IDC_REPEAT_TIMER_UNIT 1310 /* label "с", hidden, unused */

/* Labels of the upper area. */
#define IDC_LABEL_DISTANCE1 1115
#define IDC_LABEL_SENSOR1_RANGE 1116
#define IDC_LABEL_DISTANCE2 1117
#define IDC_LABEL_SENSOR2_RANGE 1118
#define IDC_LABEL_ILLUMINANCE 1121
#define IDC_LABEL_ILLUMINANCE_NOTE 1122
#define IDC_LABEL_LIGHT_THRESHOLD 1123

#endif
