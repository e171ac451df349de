#!/usr/bin/env python3
"""Writes the channel grid of the main dialog into resources/lumivo24.rc.

The grid has 24 rows ("Лестница 1" to "Лестница 24") of ten controls each, two heading lines
per column and a row label per row. Its control IDs follow no formula, so they are listed here
row by row; the positions are laid out on a regular grid from the measures below. The lines go
between the "BEGIN channel grid" and "END channel grid" markers; the rest of the file is kept.
The controls are written row by row, column after column within a row: that is the order in
which Tab moves through them (the template's order is the dialog's tab order).
The measures are in dialog units; the widths leave every caption whole in the dialog font at
96 to 192 DPI (tests/win32/layout_test.cpp measures them).

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

# The row labels' IDs, channel 1 to 24.
ROW_LABEL_IDS = [1126, 1131, 1132, 1133, 1134, 1135, 1136, 1137, 1138, 1139, 1140, 1141,
                 1142, 1143, 1144, 1145, 1146, 1147, 1148, 1149, 1150, 1151, 1152, 1153]

# Per column: the two heading lines as (ID, text).
COLUMNS = [
    ((1124, "Задержка"), (1125, "вкл., мс")),
    ((1127, "Нач. ярк."), (1128, "вкл., %")),
    ((1129, "Кон. ярк."), (1130, "вкл., %")),
    ((1154, "Нараст."), (1155, "ярк., мс")),
    ((1156, "Задержка"), (1157, "выкл., мс")),
    ((1158, "Нач. ярк."), (1159, "выкл., %")),
    ((1160, "Кон. ярк."), (1161, "выкл., %")),
    ((1225, "Спад"), (1226, "ярк., мс")),
    ((1258, "Деж."), (1259, "режим")),
    ((1261, "Ярк. деж."), (1262, "реж., %")),
]

# Measures of the grid (dialog units).
HEADING_Y = 11         # the first heading line; the second follows it
LABEL_HEIGHT = 9       # headings and row labels
ROW_Y = 30             # the first row's edits
ROW_PITCH = 12         # from one row to the next
ROW_LABEL_X = 6
ROW_LABEL_WIDTH = 50   # "Лестница 24"
FIRST_COLUMN_X = 59    # column 0's edits
COLUMN_PITCH = 38      # from one edit column to the next
HEADING_WIDTH = 37     # "Задержка", "Ярк. деж."
STANDBY_GAP = 10       # from the edit column before the check boxes to them
STANDBY_PITCH = 21     # from the check box column to the next
STANDBY_HEADING_WIDTH = 26  # "режим"
STANDBY_COLUMN = 8
EDIT_SIZE = (32, 12)
CHECK_SIZE = (16, 10)
EDIT_STYLE = "ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP"
CHECK_STYLE = "BS_AUTOCHECKBOX | WS_TABSTOP"
INDENT = " " * 4


def label(text, cid, x, y, w):
    return f'{INDENT}LTEXT           "{text}", {cid}, {x}, {y}, {w}, {LABEL_HEIGHT}'


def column_x(column):
    """x of a column's controls: the edit columns a pitch apart, the check boxes a little
    further after the last of them, the last edit column a short pitch after the check boxes."""
    if column < STANDBY_COLUMN:
        return FIRST_COLUMN_X + COLUMN_PITCH * column
    standby = FIRST_COLUMN_X + COLUMN_PITCH * (STANDBY_COLUMN - 1) + EDIT_SIZE[0] + STANDBY_GAP
    return standby if column == STANDBY_COLUMN else standby + STANDBY_PITCH


def row_y(channel):
    return ROW_Y + ROW_PITCH * (channel - 1)


def control(cid, column, channel):
    x, y = column_x(column), row_y(channel)
    if column == STANDBY_COLUMN:
        w, h = CHECK_SIZE
        y += (EDIT_SIZE[1] - h) // 2
        return f'{INDENT}CONTROL         "", {cid}, "Button", {CHECK_STYLE}, {x}, {y}, {w}, {h}'
    w, h = EDIT_SIZE
    return f'{INDENT}CONTROL         "", {cid}, "Edit", {EDIT_STYLE}, {x}, {y}, {w}, {h}'


def heading_lines(column):
    x, w = column_x(column), HEADING_WIDTH
    if column == STANDBY_COLUMN:  # centred over the check boxes
        x, w = x - (STANDBY_HEADING_WIDTH - CHECK_SIZE[0]) // 2, STANDBY_HEADING_WIDTH
    return [label(text, cid, x, HEADING_Y + LABEL_HEIGHT * line, w)
            for line, (cid, text) in enumerate(COLUMNS[column])]


def grid_lines():
    lines = []
    for column in range(len(COLUMNS)):
        lines += heading_lines(column)
    for channel, (label_id, ids) in enumerate(zip(ROW_LABEL_IDS, IDS), start=1):
        y = row_y(channel) + (EDIT_SIZE[1] - LABEL_HEIGHT + 1) // 2
        lines.append(label(f"Лестница {channel}", label_id, ROW_LABEL_X, y, ROW_LABEL_WIDTH))
        for column, control_id in enumerate(ids):
            lines.append(control(control_id, column, channel))
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
