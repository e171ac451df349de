#!/usr/bin/env python3
"""Writes the channel grid of the main dialog into resources/lumivo24.rc.

The grid has 24 rows ("Лестница 1" to "Лестница 24") of ten controls each, two heading lines
per column and a row label per row. Its control IDs and its y positions follow no formula, so
they are listed here row by row and the template lines are generated from them. The lines go
between the "BEGIN channel grid" and "END channel grid" markers; the rest of the file is kept.

Usage: scripts/gen_channel_grid.py          rewrite the grid in resources/lumivo24.rc
       scripts/gen_channel_grid.py --check  exit 1 when the file differs from what it would write
"""
import pathlib
import sys

RC = pathlib.Path(__file__).resolve().parent.parent / "resources" / "lumivo24.rc"

# Control IDs of each channel, columns 0 to 9 (OnDelay, OnStartLevel, OnEndLevel, RiseTime,
# OffDelay, OffStartLevel, OffEndLevel, FallTime, StandbyEnabled, StandbyLevel).
IDS = [
    (1011, 1012, 1013, 1083, 1107, 1108, 1109, 1224, 1250, 1260),
    (1014, 1015, 1016, 1084, 1110, 1111, 1112, 1227, 1251, 1263),
    (1017, 1018, 1019, 1085, 1113, 1114, 1119, 1228, 1252, 1264),
    (1020, 1021, 1022, 1086, 1120, 1162, 1163, 1229, 1253, 1265),
    (1023, 1024, 1025, 1087, 1164, 1165, 1166, 1230, 1254, 1274),
    (1026, 1027, 1028, 1088, 1167, 1168, 1169, 1231, 1255, 1275),
    (1029, 1030, 1031, 1089, 1170, 1171, 1172, 1232, 1256, 1276),
    (1032, 1033, 1034, 1090, 1173, 1174, 1175, 1233, 1257, 1277),
    (1035, 1036, 1037, 1091, 1176, 1177, 1178, 1234, 1266, 1278),
    (1038, 1039, 1040, 1092, 1179, 1180, 1181, 1235, 1267, 1279),
    (1041, 1042, 1043, 1093, 1182, 1183, 1184, 1236, 1268, 1280),
    (1044, 1045, 1046, 1094, 1185, 1186, 1187, 1237, 1269, 1281),
    (1047, 1048, 1049, 1095, 1188, 1189, 1190, 1238, 1270, 1290),
    (1050, 1051, 1052, 1096, 1191, 1192, 1193, 1239, 1271, 1291),
    (1053, 1054, 1055, 1097, 1194, 1195, 1196, 1240, 1272, 1292),
    (1056, 1057, 1058, 1098, 1197, 1198, 1199, 1241, 1273, 1293),
    (1059, 1060, 1061, 1099, 1200, 1201, 1202, 1242, 1282, 1294),
    (1062, 1063, 1064, 1100, 1203, 1204, 1205, 1243, 1283, 1295),
    (1065, 1066, 1067, 1101, 1206, 1207, 1208, 1244, 1284, 1296),
    (1068, 1069, 1070, 1102, 1209, 1210, 1211, 1245, 1285, 1297),
    (1071, 1072, 1073, 1103, 1212, 1213, 1214, 1246, 1286, 1298),
    (1074, 1075, 1076, 1104, 1215, 1216, 1217, 1247, 1287, 1299),
    (1077, 1078, 1079, 1105, 1218, 1219, 1220, 1248, 1288, 1300),
    (1080, 1081, 1082, 1106, 1221, 1222, 1223, 1249, 1289, 1301),
]

# Row label (ID, x, y, width) and the row's y for columns 0-3, 4-7, 8 and 9.
ROWS = [
    ((1126, 5, 120, 46), 119, 119, 121, 119),
    ((1131, 5, 132, 44), 131, 131, 133, 131),
    ((1132, 5, 144, 46), 143, 143, 145, 143),
    ((1133, 5, 156, 45), 155, 155, 157, 155),
    ((1134, 6, 167, 44), 167, 167, 169, 167),
    ((1135, 6, 179, 45), 179, 179, 182, 179),
    ((1136, 6, 192, 45), 191, 191, 193, 191),
    ((1137, 6, 204, 45), 203, 203, 206, 203),
    ((1138, 5, 216, 45), 215, 215, 217, 215),
    ((1139, 5, 228, 46), 227, 227, 229, 227),
    ((1140, 5, 240, 46), 239, 239, 241, 240),
    ((1141, 5, 252, 46), 251, 251, 253, 252),
    ((1142, 5, 264, 45), 263, 263, 265, 264),
    ((1143, 5, 275, 46), 275, 275, 277, 276),
    ((1144, 5, 288, 46), 287, 287, 289, 287),
    ((1145, 5, 300, 46), 299, 299, 301, 299),
    ((1146, 5, 312, 46), 311, 311, 312, 311),
    ((1147, 5, 324, 46), 323, 323, 324, 323),
    ((1148, 5, 336, 45), 335, 335, 337, 335),
    ((1149, 5, 348, 45), 347, 347, 349, 347),
    ((1150, 5, 360, 45), 359, 359, 361, 359),
    ((1151, 5, 371, 45), 371, 371, 373, 372),
    ((1152, 5, 385, 44), 384, 383, 386, 384),
    ((1153, 5, 397, 44), 396, 395, 397, 396),
]

# Per column: x of its controls, then each heading line as (ID, x, y, width, text).
COLUMNS = [
    (51, (1124, 51, 97, 34, "Задержка"), (1125, 51, 106, 34, "вкл., мс")),
    (87, (1127, 87, 97, 34, "Нач. ярк."), (1128, 87, 107, 34, "вкл., %")),
    (123, (1129, 123, 97, 34, "Кон. ярк."), (1130, 123, 107, 34, "вкл., %")),
    (159, (1154, 159, 97, 34, "Нараст."), (1155, 159, 107, 34, "ярк., мс")),
    (195, (1156, 195, 98, 34, "Задержка"), (1157, 195, 107, 34, "выкл., мс")),
    (231, (1158, 231, 98, 34, "Нач. ярк."), (1159, 231, 108, 34, "выкл., %")),
    (267, (1160, 267, 98, 34, "Кон. ярк."), (1161, 267, 108, 34, "выкл., %")),
    (303, (1225, 303, 98, 31, "Спад"), (1226, 303, 108, 30, "ярк., мс")),
    (338, (1258, 336, 98, 24, "Деж."), (1259, 335, 108, 24, "режим")),
    (359, (1261, 359, 98, 34, "Ярк. деж."), (1262, 359, 108, 34, "реж., %")),
]

STANDBY_COLUMN = 8
LABEL_HEIGHT = 9
EDIT_SIZE = (32, 12)
CHECK_SIZE = (16, 10)
EDIT_STYLE = "ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP"
CHECK_STYLE = "BS_AUTOCHECKBOX | WS_TABSTOP"
INDENT = " " * 4


def label(text, cid, x, y, w):
    return f'{INDENT}LTEXT           "{text}", {cid}, {x}, {y}, {w}, {LABEL_HEIGHT}'


def row_y(row, column):
    _, y_0_3, y_4_7, y_8, y_9 = row
    if column < 4:
        return y_0_3
    if column < 8:
        return y_4_7
    return y_8 if column == STANDBY_COLUMN else y_9


def control(cid, column, y):
    x = COLUMNS[column][0]
    if column == STANDBY_COLUMN:
        w, h = CHECK_SIZE
        return f'{INDENT}CONTROL         "", {cid}, "Button", {CHECK_STYLE}, {x}, {y}, {w}, {h}'
    w, h = EDIT_SIZE
    return f'{INDENT}CONTROL         "", {cid}, "Edit", {EDIT_STYLE}, {x}, {y}, {w}, {h}'


def grid_lines():
    lines = []
    for _, first, second in COLUMNS:
        for cid, x, y, w, text in (first, second):
            lines.append(label(text, cid, x, y, w))
    for channel, (row, ids) in enumerate(zip(ROWS, IDS), start=1):
        cid, x, y, w = row[0]
        lines.append(label(f"Лестница {channel}", cid, x, y, w))
        for column, control_id in enumerate(ids):
            lines.append(control(control_id, column, row_y(row, column)))
    return lines


def rewrite(text):
    lines = text.split("\n")
    begin = next(i for i, l in enumerate(lines) if l.strip() == "// BEGIN channel grid")
    end = next(i for i, l in enumerate(lines) if l.strip() == "// END channel grid")
    return "\n".join(lines[: begin + 1] + grid_lines() + lines[end:])


def main():
    old = RC.read_text(encoding="utf-8")
    new = rewrite(old)
    if "--check" in sys.argv[1:]:
        return 0 if new == old else 1
    if new != old:
        RC.write_text(new, encoding="utf-8")
    return 0


if __name__ == "__main__":
    sys.exit(main())
