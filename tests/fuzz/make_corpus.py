#!/usr/bin/env python3
"""Writes the seed inputs of the fuzzers into tests/fuzz/corpus/<name>/.

Each seed is a small, real piece of traffic or file content in the layout its fuzzer reads
(see the comment at the top of each tests/fuzz/*_fuzz.cpp): identification answers, status
replies, settings replies, receive programs made of reads, number texts, settings files,
serial-port names from the registry, command lines, settings documents in JSON and assignments of
lumivo24-cli's set.
Running it again rewrites the same files; it removes nothing else.
"""

import json
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")

CMD_IDENTIFY = 0x0001
CMD_GET_STATUS = 0x0002
CMD_READ_SETTINGS = 0x0003
CMD_WRITE_SETTINGS = 0x0103

SETTINGS_COUNT = 248
CHANNELS = 24


def crc16(data):
    """CRC-16/CCITT-FALSE."""
    crc = 0xFFFF
    for byte in data:
        crc ^= byte << 8
        for _ in range(8):
            crc = ((crc << 1) ^ 0x1021) if crc & 0x8000 else crc << 1
            crc &= 0xFFFF
    return crc


def frame(command, payload=b""):
    head = struct.pack("<HH", command & 0xFFFF, len(payload) + 6) + payload
    return head + struct.pack("<H", crc16(head))


def write(name, seed, data, limit=4096):
    folder = os.path.join(CORPUS, name)
    os.makedirs(folder, exist_ok=True)
    assert len(data) <= limit, (name, seed)
    with open(os.path.join(folder, seed), "wb") as out:
        out.write(data)


# Identification answers: u16 byte count of the read, fill byte of the probe buffer, the bytes.

def ident_seed(seed, received, count=None, fill=0):
    write("ident_answer", seed,
          struct.pack("<HB", len(received) if count is None else count, fill) + received)


def ident_seeds():
    answer = frame(CMD_IDENTIFY, b"VORK, kavren board v5.000")
    ident_seed("answer_5000", answer)
    ident_seed("answer_after_stray_bytes", b"\x00\xff" + answer)
    ident_seed("answer_4_9999", frame(CMD_IDENTIFY, b"VORK, kavren board v4.9999"))
    ident_seed("answer_5_002", frame(CMD_IDENTIFY, b"VORK, kavren board v5.002"))
    ident_seed("answer_without_version", frame(CMD_IDENTIFY, b"VORK, kavren board"))
    ident_seed("answer_exponent", frame(CMD_IDENTIFY, b"VORK, kavren board v 5d0 rev"))
    ident_seed("answer_cut_short", answer[:15])
    ident_seed("answer_at_start", answer[4:])
    ident_seed("count_beyond_buffer", answer, count=0xFFFF, fill=0x56)
    long_text = b"VORK, kavren board v5.000 " + b"x" * 1100
    ident_seed("answer_long_length", struct.pack("<HH", 1, len(long_text) + 6) + long_text)
    ident_seed("length_below_six", b"\x01\x00\x03\x00VORK, kavren board v5")


# Status replies: the bytes of one read.

def status_reply(raw, d1, d2, faults, length=17):
    body = struct.pack("<HHHffB", CMD_GET_STATUS, length, raw, d1, d2, faults)
    return body + struct.pack("<H", crc16(body))


def status_seeds():
    write("status_reply", "reply", status_reply(2048, 12.5, 12.4, 0))
    write("status_reply", "zeros_before", b"\x00" * 9 + status_reply(0, -0.7, 300.0, 0))
    write("status_reply", "both_sensors_fail", status_reply(4095, 0.0, 0.0, 3))
    write("status_reply", "dark_beyond_scale", status_reply(5120, 1e10, float("nan"), 0))
    write("status_reply", "length_above_received", status_reply(100, 1.0, 2.0, 0, length=40))
    write("status_reply", "cut_short", status_reply(100, 1.0, 2.0, 0)[:14])


# Settings payloads: the table packed the controller's way.

def channel_position(column, channel):
    return 8 + CHANNELS * column + channel - 1


def pack_int(value, width):
    whole = int(value)  # cut toward zero
    return whole & ((1 << (8 * width)) - 1)


def wire_image(table):
    out = bytearray(643)
    for at, position in ((0, 0), (2, 1), (4, 2), (6, 3), (10, 6)):
        struct.pack_into("<H", out, at, pack_int(table[position] + 0.4999, 2))
    struct.pack_into("<H", out, 8, pack_int(4096 - (table[4] * 40.95 + 0.4999), 2))
    out[12] = pack_int(table[5] + 0.4999, 1)
    fields = ((0, 0, 4, 1), (1, 4, 2, 10), (2, 6, 2, 10), (3, 8, 4, 1), (4, 12, 4, 1),
              (5, 16, 2, 10), (6, 18, 2, 10), (7, 20, 4, 1), (9, 24, 2, 10))
    mask = 0
    for channel in range(1, CHANNELS + 1):
        record = 13 + 26 * (channel - 1)
        for column, at, width, scale in fields:
            value = table[channel_position(column, channel)] * scale + 0.4999
            struct.pack_into("<I" if width == 4 else "<H", out, record + at,
                             pack_int(value, width))
        if table[channel_position(8, channel)] == 1.0:
            mask |= 1 << (channel - 1)
    struct.pack_into("<I", out, 637, mask)
    struct.pack_into("<H", out, 641, crc16(out[:641]))
    return bytes(out)


def sample_table():
    table = [0.0] * SETTINGS_COUNT
    table[0:8] = [10, 200, 15, 250, 30, 1, 60, 5]
    for channel in range(1, CHANNELS + 1):
        values = (100 * channel, 12.5, 100, 1500, 30000, 100, 0, 2000, channel % 2, 5.5)
        for column, value in enumerate(values):
            table[channel_position(column, channel)] = value
    return table


def wire_seeds():
    write("wire_image", "zero_table", wire_image([0.0] * SETTINGS_COUNT))
    sample = wire_image(sample_table())
    write("wire_image", "sample_table", sample)
    write("wire_image", "wrong_crc", sample[:641] + b"\x00\x00")
    write("wire_image", "cut_short", sample[:300])
    big = bytearray(sample)
    struct.pack_into("<I", big, 13, 0xFFFFFFFF)  # channel 1 OnDelay beyond a float's precision
    struct.pack_into("<H", big, 8, 0xFFFF)       # darker than the sensor's scale
    struct.pack_into("<I", big, 637, 0xFF800001)  # mask bits that belong to no channel
    struct.pack_into("<H", big, 641, crc16(big[:641]))
    write("wire_image", "extremes", bytes(big))


# Receive programs: a byte choosing RX, then steps (see frame_receive_fuzz.cpp).

def reads(data, size=0x7F):
    """Steps that bring `data` in reads of at most `size` bytes (at most 0x7F)."""
    out = bytearray()
    for at in range(0, len(data), size):
        part = data[at:at + size]
        out += bytes([len(part)]) + part
    return bytes(out)


SMALL_RX_655 = 0x6D  # 1 + 109 * 6 bytes: one settings reply fits
FULL_RX = 0x80


def receive_seeds():
    reply = frame(CMD_READ_SETTINGS, wire_image(sample_table()))
    write("frame_receive", "settings_reply", bytes([SMALL_RX_655]) + reads(reply))
    write("frame_receive", "settings_reply_after_stray_byte",
          bytes([SMALL_RX_655]) + reads(b"\x00" + reply[:4]) + reads(reply[4:]))
    write("frame_receive", "settings_reply_cut_short", bytes([SMALL_RX_655]) + reads(reply[:300]))
    write("frame_receive", "settings_reply_full_rx", bytes([FULL_RX]) + reads(reply, 100))
    status = status_reply(2048, 12.5, 12.4, 0)
    write("frame_receive", "status_then_new_transaction",
          bytes([0x03]) + reads(status) + b"\xc0\xc1" + reads(status, 5))
    write("frame_receive", "overflowing_full_rx",
          bytes([FULL_RX]) + reads(reply[:10]) + b"\xbf\x11\xbf\x22\xc0" + reads(status))
    write("frame_receive", "overflowing_small_rx", bytes([0x01]) + b"\xa0\x33" + reads(status))
    request = b"\xc2" + struct.pack("<IB", CMD_READ_SETTINGS, 2) + struct.pack("<HH", 0, 0)
    write("frame_receive", "built_request", bytes([0x05]) + request + reads(status))
    write_request = (b"\xc2" + struct.pack("<IB", CMD_WRITE_SETTINGS, 2) +
                     struct.pack("<HH", 643, 0) + wire_image(sample_table()))
    write("frame_receive", "built_settings_write", bytes([FULL_RX]) + write_request)
    write("frame_receive", "payload_of_odd_state",
          bytes([0x10]) + b"\xc3" + struct.pack("<II", 0xFFFFFFFF, 0xFFFFFFFC))


# Number texts: the text itself; its first bytes double as the formatters' fields.

def number_seeds():
    texts = {
        "plain": b"12.5",
        "blanks_sign_exponent": b" \t-3.25e2",
        "d_exponent": b"1d5",
        "exponent_without_digits": b"7.5e+x",
        "tenth": b"0.1",
        "beyond_range": b"1e400",
        "smallest_subnormal": b"4.9406564584124654e-324",
        "halfway_below_smallest": b"2.4703282292062327208828439643411068618252990130716238221279284125033775364e-324",
        "halfway_integer": b"9007199254740993",
        "long_digits": b"0." + b"1234567890" * 90 + b"5e-3",
        # The largest operands of the exact reading: every kept digit, and the decimal point
        # at the last place before the value rounds to zero or to infinity.
        "many_digits_smallest": b"9" * 900 + b"e-1224",
        "many_digits_largest": b"9" * 900 + b"e-591",
        "many_digits_beyond": b"1" * 900 + b"e-590",
        "version": b"5.000\x00junk",
        "point_only": b"+.e5",
        "inf_word": b"inf",
        "hex_prefix": b"0x1p3",
        "huge_exponent": b"1e99999999999999999999999",
        "nonascii": b"\xa012\xff",
    }
    for seed, text in texts.items():
        write("number_text", seed, text)
    # double, decimals, width, buffer units, table position, 1 when shown from the controller
    fields = {
        "format_half": (2.5, 0, 0, 40, 0, 0),
        "format_quarter": (0.25, 1, 3, 40, channel_position(1, 3), 0),
        "format_percent": (30.0048828125, 1, 3, 8, 4, 1),
        "format_negative_tiny": (-0.04, 1, 0, 40, 4, 0),
        "format_huge": (1e300, 1, 0, 79, channel_position(0, 24), 0),
        "format_cut": (123456.75, 40, 100, 5, channel_position(9, 1), 0),
        "format_flag": (1.0, 0, 0, 10, channel_position(8, 7), 1),
    }
    for seed, (value, decimals, width, units, position, variant) in fields.items():
        write("number_text", seed,
              struct.pack("<dbbBBB", value, decimals, width, units, position, variant))


# Settings files as they lie on disk: banner, 0 byte, image, CRC, each LF written as CR LF.

BANNER = b"\r\nLumivo Lighting Works Ltd.\r\nNizhny Novgorod\r\nlumivo.example\r\n"
OTHER_BANNER = b"\r\nSomebody Else Lighting Co.\r\nSomewhere Cityx\r\nlights.example\r\n"


def image_order():
    order = [0, 2, 1, 3, 4, 5, 6]
    record = (0, 1, 2, 3, 4, 5, 6, 7, 9, 8)  # StandbyLevel before StandbyEnabled
    for channel in range(1, CHANNELS + 1):
        for column in record:
            order.append(channel_position(column, channel))
    return order[:246]


def settings_file(table, banner=BANNER, crc_fix=None):
    assert len(banner) == 63
    image = b"".join(struct.pack("<f", table[p]) for p in image_order())
    content = banner + b"\x00" + image
    crc = crc16(content) if crc_fix is None else crc_fix
    content += struct.pack("<H", crc)
    return content.replace(b"\n", b"\r\n")


def settings_file_seeds():
    sample = sample_table()
    write("settings_file", "sample", settings_file(sample))
    write("settings_file", "zero_table", settings_file([0.0] * SETTINGS_COUNT))
    odd = list(sample)
    odd[channel_position(0, 1)] = 8.625  # float bytes 00 00 0A 41
    odd[channel_position(0, 2)] = 616.0  # float bytes 00 00 1A 44
    write("settings_file", "line_feed_and_eof_bytes", settings_file(odd))
    write("settings_file", "other_banner", settings_file(sample, banner=OTHER_BANNER))
    write("settings_file", "wrong_crc", settings_file(sample, crc_fix=0x1A0A))
    write("settings_file", "cut_short", settings_file(sample)[:700])
    write("settings_file", "not_a_settings_file", b"This is some other file.\r\n" * 3)


# Registry value data of serial ports: UTF-16LE units, not terminated.

def port_name_seeds():
    names = {
        "com3": "COM3", "com10": "COM10", "com_only": "COM", "blanks_and_zeros": "COM \t0042",
        "negative": "COM-5", "beyond_32_bits": "COM99999999999", "no_digits": "COMx",
        "timer_of_reply": "COM4000", "nonascii_space": "COM\u3000" + "7",
    }
    for seed, name in names.items():
        write("port_name", seed, name.encode("utf-16-le"))


# Command lines: buffer sizes (converted text, log line, log bytes), then the 8-bit text.

def log_text_seeds():
    lines = {
        "cyrillic_path": (255, 100, 255, "C:\\Пользователи\\Ёлка\\лестница.lv24".encode("cp1251")),
        "quoted": (255, 100, 64, b'"D:\\settings\\stairs.lv24"'),
        "long_path": (255, 100, 255, b"C:\\" + b"very_long_directory_name\\" * 8 + b"x.lv24"),
        "long_name": (255, 100, 255, b"C:\\stairs\\" + "Подъезд ".encode("cp1251") * 12 + b".lv24"),
        "forward_slashes": (255, 60, 255, b"Z:/home/tech/" + b"settings/" * 6 + b"stairs.lv24"),
        "pattern_marks": (40, 30, 21, b"100%s %d %%s done"),
        "tiny_buffers": (1, 1, 3, b"abc"),
        "upper_bytes": (255, 119, 200, bytes(range(0x80, 0x100))),
    }
    for seed, (text_units, line_units, log_bytes, text) in lines.items():
        write("log_text", seed, bytes([text_units, line_units, log_bytes]) + text)


# Settings documents as `show --json` prints them (written compactly here), then edited.

GLOBAL_NAMES = (("sensor1_min_cm", 0), ("sensor1_max_cm", 1), ("sensor2_min_cm", 2),
                ("sensor2_max_cm", 3), ("light_threshold_percent", 4), ("use_light_sensor", 5),
                ("off_timer_s", 6))
CHANNEL_NAMES = ("on_delay_ms", "on_start_level_percent", "on_end_level_percent", "rise_time_ms",
                 "off_delay_ms", "off_start_level_percent", "off_end_level_percent",
                 "fall_time_ms", "standby_enabled", "standby_level_percent")
FLAGS = {5} | {channel_position(8, channel) for channel in range(1, CHANNELS + 1)}


def settings_document(table, source="stairs.lv24"):
    def value(position):
        number = table[position]
        if position in FLAGS:
            return number == 1.0
        return int(number) if number == int(number) and str(number) != "-0.0" else number

    doc = {"source": source}
    doc.update((name, value(position)) for name, position in GLOBAL_NAMES)
    doc["channels"] = [
        dict([("channel", channel)] + [(name, value(channel_position(column, channel)))
                                       for column, name in enumerate(CHANNEL_NAMES)])
        for channel in range(1, CHANNELS + 1)]
    doc["channels"][-1]["standby_enabled"] = None  # a .lv24 file does not hold it
    return doc


def json_seed(seed, doc):
    text = json.dumps(doc, separators=(",", ":")) if not isinstance(doc, bytes) else doc
    write("settings_json", seed, text.encode() if isinstance(text, str) else text, limit=8192)


def settings_json_seeds():
    sample = sample_table()
    json_seed("sample", settings_document(sample))
    odd = list(sample)
    odd[0:3] = [-0.0, 3.4028234663852886e38, 1.401298464324817e-45]  # float extremes
    odd[channel_position(1, 2)] = 0.10000000149011612  # the float nearest 0.1
    json_seed("float_extremes", settings_document(odd))
    doc = settings_document(sample)
    del doc["channels"][-1]["standby_enabled"]
    del doc["source"]
    json_seed("standby_absent_no_source", doc)
    json_seed("source_nested", dict(settings_document(sample), source={"a": [1, [2, {}]]}))
    refusals = {
        "nan_text": ("channels", 2, "on_delay_ms", "nan"),
        "beyond_float": ("channels", 3, "fall_time_ms", 1e39),
        "channel_out_of_order": ("channels", 4, "channel", 7),
        "flag_as_number": (None, None, "use_light_sensor", 1),
        "number_as_text": ("channels", 0, "rise_time_ms", "1500"),
        "unknown_name": ("channels", 5, "colour", "red"),
    }
    for seed, (array, index, name, value) in refusals.items():
        doc = settings_document(sample)
        (doc if array is None else doc[array][index])[name] = value
        json_seed(seed, doc)
    doc = settings_document(sample)
    del doc["channels"][7]
    json_seed("record_missing", doc)
    text = json.dumps(settings_document(sample), separators=(",", ":"))
    json_seed("beyond_double", text.replace('"off_timer_s":60', '"off_timer_s":1e999').encode())
    json_seed("name_twice", text.replace('"sensor1_max_cm"', '"sensor1_min_cm"').encode())
    json_seed("cut_short", text[:3000].encode())
    json_seed("not_an_object", b"[1, 2, 3]")
    # Decimals that a double rounds onto a point halfway between two floats.
    json_seed("halfway_through_a_double",
              text.replace('"sensor1_min_cm":10', '"sensor1_min_cm":7.038531e-26')
                  .replace('"sensor1_max_cm":200', '"sensor1_max_cm":3.4028235677973366e38')
                  .encode())


def assignment_seeds():
    texts = {
        "upwards": "ch1-15.on_delay_ms=0+150", "downwards": "ch15-1.off_delay_ms=0+150",
        "dark": "ch16-24.on_end_level_percent=0", "list": "ch1,3,5.standby_level_percent=5.5",
        "list_of_ranges": "ch1-3,7.rise_time_ms=1000+-50", "all": "ch*.standby_enabled=false",
        "global": "sensor1_max_cm=1e+3", "flag": "use_light_sensor=true",
        "twice": "ch1-3,2.fall_time_ms=5", "outside": "ch25.on_delay_ms=0",
        "global_sequence": "off_timer_s=0+1", "leaving_range": "ch*.fall_time_ms=3e38+1e37",
        "not_finite": "light_threshold_percent=nan", "decimal_comma": "ch7.on_delay_ms=1,5",
        "names": "ch1-15.rise_time_ms,fall_time_ms=500",
        "all_dark": "ch16-24.on_start_level_percent,on_end_level_percent,off_start_level_percent,"
                    "off_end_level_percent,standby_level_percent=0",
        "global_names": "sensor1_max_cm,sensor2_max_cm=150",
        "name_twice": "ch1.fall_time_ms,fall_time_ms=5",
        "mixed_kinds": "ch*.standby_enabled,standby_level_percent=true",
    }
    for seed, text in texts.items():
        write("assignment", seed, text.encode())


def main():
    ident_seeds()
    status_seeds()
    wire_seeds()
    receive_seeds()
    number_seeds()
    settings_file_seeds()
    port_name_seeds()
    log_text_seeds()
    settings_json_seeds()
    assignment_seeds()


if __name__ == "__main__":
    main()
