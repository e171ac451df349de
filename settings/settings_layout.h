// The form's side of the SettingsTable: the control IDs of the channel controls, the orders in
// which the form is walked and the factory defaults. The settings themselves, one row each, and
// the table's positions are in setting_rows.h.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "settings/setting_rows.h"

// ---- Controls of the form ------------------------------------------------------------------
// Dialog control IDs of the channel controls: entry 24 * column + (channel - 1), so one row per
// column, channels 1 to 24 from left to right. The template numbers its controls interleaved
// with the labels (and columns 8 and 9 with each other), so the IDs are listed, never computed.
// clang-format off
inline constexpr int32_t ControlIdGrid[CHANNEL_COUNT * CHANNEL_COLUMNS] = {
    // 1     2     3     4     5     6     7     8     9    10    11    12    13    14    15    16    17    18    19    20    21    22    23    24   <- channel
    1011, 1014, 1017, 1020, 1023, 1026, 1029, 1032, 1035, 1038, 1041, 1044, 1047, 1050, 1053, 1056, 1059, 1062, 1065, 1068, 1071, 1074, 1077, 1080, // 0 OnDelay
    1012, 1015, 1018, 1021, 1024, 1027, 1030, 1033, 1036, 1039, 1042, 1045, 1048, 1051, 1054, 1057, 1060, 1063, 1066, 1069, 1072, 1075, 1078, 1081, // 1 OnStartLevel
    1013, 1016, 1019, 1022, 1025, 1028, 1031, 1034, 1037, 1040, 1043, 1046, 1049, 1052, 1055, 1058, 1061, 1064, 1067, 1070, 1073, 1076, 1079, 1082, // 2 OnEndLevel
    1083, 1084, 1085, 1086, 1087, 1088, 1089, 1090, 1091, 1092, 1093, 1094, 1095, 1096, 1097, 1098, 1099, 1100, 1101, 1102, 1103, 1104, 1105, 1106, // 3 RiseTime
    1107, 1110, 1113, 1120, 1164, 1167, 1170, 1173, 1176, 1179, 1182, 1185, 1188, 1191, 1194, 1197, 1200, 1203, 1206, 1209, 1212, 1215, 1218, 1221, // 4 OffDelay
    1108, 1111, 1114, 1162, 1165, 1168, 1171, 1174, 1177, 1180, 1183, 1186, 1189, 1192, 1195, 1198, 1201, 1204, 1207, 1210, 1213, 1216, 1219, 1222, // 5 OffStartLevel
    1109, 1112, 1119, 1163, 1166, 1169, 1172, 1175, 1178, 1181, 1184, 1187, 1190, 1193, 1196, 1199, 1202, 1205, 1208, 1211, 1214, 1217, 1220, 1223, // 6 OffEndLevel
    1224, 1227, 1228, 1229, 1230, 1231, 1232, 1233, 1234, 1235, 1236, 1237, 1238, 1239, 1240, 1241, 1242, 1243, 1244, 1245, 1246, 1247, 1248, 1249, // 7 FallTime
    1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1266, 1267, 1268, 1269, 1270, 1271, 1272, 1273, 1282, 1283, 1284, 1285, 1286, 1287, 1288, 1289, // 8 StandbyEnabled
    1260, 1263, 1264, 1265, 1274, 1275, 1276, 1277, 1278, 1279, 1280, 1281, 1290, 1291, 1292, 1293, 1294, 1295, 1296, 1297, 1298, 1299, 1300, 1301, // 9 StandbyLevel
};
// clang-format on

// Control ID of table position 0..247 (its row's control, or the grid's); 0 for any other
// position.
int32_t settings_control_id(int position);

// ---- Orders in which the form is walked ------------------------------------------------------
// Each is a permutation of the 248 table positions: a few globals out of table order, then
// channel 1 to 24, each channel's columns in the order given.
using PositionOrder = std::array<int16_t, SETTINGS_COUNT>;

constexpr PositionOrder settings_order(const int (&globals)[GLOBAL_COUNT],
                                       const int (&columns)[CHANNEL_COLUMNS]) {
    PositionOrder order{};
    size_t at = 0;
    for (int position : globals) {
        order[at++] = static_cast<int16_t>(position);
    }
    for (int channel = 1; channel <= CHANNEL_COUNT; ++channel) {
        for (int column : columns) {
            order[at++] = static_cast<int16_t>(channel_position(column, channel));
        }
    }
    return order;
}

// Reading the form into the table: 1006, 1007, 1009, 1010, 1008, check box 1302, 1304, 1309;
// per channel the eight edits, the standby level, then the standby check box.
inline constexpr PositionOrder GatherOrder =
    settings_order({POS_SENSOR1_MIN, POS_SENSOR2_MIN, POS_SENSOR1_MAX, POS_SENSOR2_MAX,
                    POS_LIGHT_THRESHOLD, POS_USE_LIGHT_SENSOR, POS_OFF_TIMER, POS_REPEAT_TIMER},
                   {0, 1, 2, 3, 4, 5, 6, 7, 9, 8});

// Writing the table into the form: as gathering, but check box 1302 after 1304 and 1309.
inline constexpr PositionOrder ShowOrder =
    settings_order({POS_SENSOR1_MIN, POS_SENSOR2_MIN, POS_SENSOR1_MAX, POS_SENSOR2_MAX,
                    POS_LIGHT_THRESHOLD, POS_OFF_TIMER, POS_REPEAT_TIMER, POS_USE_LIGHT_SENSOR},
                   {0, 1, 2, 3, 4, 5, 6, 7, 9, 8});

// Locking and unlocking the form: the global edits, check box 1302, then per channel the
// edits of columns 0, 1, 6, 2, 3, 4, 5, 7, 9 and the standby check box last.
inline constexpr PositionOrder LockOrder =
    settings_order({POS_SENSOR1_MIN, POS_SENSOR2_MIN, POS_SENSOR1_MAX, POS_SENSOR2_MAX,
                    POS_LIGHT_THRESHOLD, POS_OFF_TIMER, POS_REPEAT_TIMER, POS_USE_LIGHT_SENSOR},
                   {0, 1, 6, 2, 3, 4, 5, 7, 9, 8});

// ---- Factory defaults --------------------------------------------------------------------
// One write of the factory defaults into the form: a text for an edit, a state for a check box.
struct DefaultStep {
    int16_t position; // table position of the control written
    bool is_flag;     // true: a check box, set to `checked`; false: an edit, set to `text`
    bool checked;     // the check box state (check boxes only)
    char16_t text[8]; // the edit text, NUL-terminated (edits only)
};

constexpr size_t DEFAULT_STEP_COUNT = 252; // 8 global, 10 per channel, four last "1" texts

// Fills `out` with the factory-default writes in the order they are made (at most `cap` of
// them) and returns the number filled. Some positions are written twice: channel 1's four
// times get "1" at the very end.
size_t settings_defaults(DefaultStep* out, size_t cap);
