#!/usr/bin/env python3
"""lumivo24-cli against the controller emulator on a pseudo-terminal.

Usage: cli_test.py CLI EMULATOR CASE

Each case starts its own emulator (static sensors, a --link to its port) and runs the tool as a
user would. Expected files and payloads are built here from literal values, with this file's
own encoders (struct, and binascii.crc_hqx, which is the same CRC-16), never with the tool's.
"""
import binascii
import fcntl
import glob
import grp
import os
import shutil
import signal
import socket
import stat
import struct
import subprocess
import sys
import tempfile
import termios
import time
import json
import re

CLI, EMULATOR, CASE = sys.argv[1], sys.argv[2], sys.argv[3]
WORK = tempfile.mkdtemp(prefix="cli-test-")
PORT = os.path.join(WORK, "port")
# Backups the tool makes before it changes the controller go here, not into the home folder.
STATE = tempfile.mkdtemp(prefix="cli-test-state-")
os.environ["XDG_STATE_HOME"] = STATE
BACKUPS = os.path.join(STATE, "lumivo24", "backups")

GLOBALS = ["sensor1_min_cm", "sensor1_max_cm", "sensor2_min_cm", "sensor2_max_cm",
           "light_threshold_percent", "use_light_sensor", "off_timer_s"]
COLUMNS = ["on_delay_ms", "on_start_level_percent", "on_end_level_percent", "rise_time_ms",
           "off_delay_ms", "off_start_level_percent", "off_end_level_percent", "fall_time_ms",
           "standby_enabled", "standby_level_percent"]


def fail(message):
    raise AssertionError(message)


def check(condition, message):
    if not condition:
        fail(message)


# ---- settings, written out the way the controller and the window store them ----------------

def factory():
    """The factory settings, as the form shows them after "По умолчанию"."""
    v = {"sensor1_min_cm": 0, "sensor1_max_cm": 100, "sensor2_min_cm": 0, "sensor2_max_cm": 100,
         "light_threshold_percent": 50, "use_light_sensor": True, "off_timer_s": 180,
         "channels": []}
    for n in range(1, 25):
        k = n - 1
        step, ramp = (1, 1) if n == 1 else (50 * k, 250 * k)
        odd = n % 2 == 1
        v["channels"].append({
            "on_delay_ms": step, "on_start_level_percent": 0.1, "on_end_level_percent": 100,
            "rise_time_ms": ramp, "off_delay_ms": step, "off_start_level_percent": 100,
            "off_end_level_percent": 0.1, "fall_time_ms": ramp, "standby_enabled": odd,
            "standby_level_percent": 0.1 if odd else 0})
    return v


def site():
    """Settings of a staircase: float bytes 0x0A (2208.0 is 00 00 0A 45) and 0x1A (616.0 is
    00 00 1A 44) among them, a 30 % threshold and the last channel's standby on."""
    v = factory()
    v.update(sensor1_max_cm=120, sensor2_min_cm=5, light_threshold_percent=30,
             use_light_sensor=False, off_timer_s=240)
    v["channels"][2]["on_delay_ms"] = 2208
    v["channels"][4]["rise_time_ms"] = 616
    v["channels"][1]["on_start_level_percent"] = 12.5
    v["channels"][23]["standby_enabled"] = True
    v["channels"][23]["standby_level_percent"] = 7.5
    return v


def scaled(x, scale=1):
    return int(x * scale + 0.4999)  # the values here are all positive


def crc16(data):
    return binascii.crc_hqx(bytes(data), 0xFFFF)


def wire_image(v):
    """The controller's 643-byte settings payload."""
    b = bytearray(643)
    struct.pack_into("<HHHHHHB", b, 0, scaled(v["sensor1_min_cm"]), scaled(v["sensor1_max_cm"]),
                     scaled(v["sensor2_min_cm"]), scaled(v["sensor2_max_cm"]),
                     int(4096 - (v["light_threshold_percent"] * 40.95 + 0.4999)),
                     scaled(v["off_timer_s"]),
                     1 if v["use_light_sensor"] else 0)
    mask = 0
    for n, c in enumerate(v["channels"], 1):
        struct.pack_into("<IHHIIHHIH", b, 13 + 26 * (n - 1), scaled(c["on_delay_ms"]),
                         scaled(c["on_start_level_percent"], 10),
                         scaled(c["on_end_level_percent"], 10), scaled(c["rise_time_ms"]),
                         scaled(c["off_delay_ms"]), scaled(c["off_start_level_percent"], 10),
                         scaled(c["off_end_level_percent"], 10), scaled(c["fall_time_ms"]),
                         scaled(c["standby_level_percent"], 10))
        mask |= (1 << (n - 1)) if c["standby_enabled"] else 0
    struct.pack_into("<I", b, 637, mask)
    struct.pack_into("<H", b, 641, crc16(b[:641]))
    return bytes(b)


BANNER = b"\r\nLumivo Lighting Works Ltd.\r\nNizhny Novgorod\r\nlumivo.example\r\n"


def settings_file(v):
    """The settings file the window saves when its form shows `v`."""
    floats = [v[k] for k in ("sensor1_min_cm", "sensor2_min_cm", "sensor1_max_cm",
                             "sensor2_max_cm", "light_threshold_percent")]
    def flag(x):  # a check box's 1 or 0; any other number as it is
        return float(x) if not isinstance(x, bool) else 1.0 if x else 0.0

    floats += [flag(v["use_light_sensor"]), v["off_timer_s"]]
    for c in v["channels"]:
        floats += [c[k] for k in COLUMNS[:8]]
        floats += [c["standby_level_percent"], flag(c["standby_enabled"])]
    content = BANNER + b"\0" + struct.pack("<246f", *floats[:246])
    content += struct.pack("<H", crc16(content))
    return content.replace(b"\n", b"\r\n")  # text line ends; the banner's CR LF gets CR CR LF


def frame(command, payload):
    head = struct.pack("<HH", command, len(payload) + 6) + payload
    return head + struct.pack("<H", crc16(head))


# ---- the emulator and the tool -----------------------------------------------------------------

# Emulator options of the cases that need more than the defaults: paced_BAUD paces the line.
OPTIONS = ["--baud", CASE[len("paced_"):]] if CASE.startswith("paced_") else []


class Emulator:
    def __init__(self):
        self.log = os.path.join(WORK, "emu.log")
        self.process = subprocess.Popen(
            [EMULATOR, "--static", "--link", PORT, "--log", self.log, "--lifetime", "300",
             *OPTIONS],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.pty = self.process.stdout.readline().split()[1]  # "pty /dev/pts/N"
        control = int(self.process.stdout.readline().split()[1])
        self.control = socket.create_connection(("127.0.0.1", control), timeout=10)
        self.lines = self.control.makefile("rwb")

    def __call__(self, command):
        self.lines.write(command if isinstance(command, bytes) else command.encode())
        self.lines.write(b"\n")
        self.lines.flush()
        reply = self.lines.readline().decode(errors="replace").strip()
        check(reply.startswith("ok"), f"emulator: '{command}' -> {reply}")
        return reply

    def requests(self):
        return dict(item.split("=") for item in self("requests").split()[1:])

    def settings(self):
        return bytes.fromhex(self("get settings").split()[1])

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        self.process.wait(10)


def cli(*args, check_rc=None):
    start = time.monotonic()
    done = subprocess.run([CLI, *args], cwd=WORK, capture_output=True, timeout=60)
    seconds = time.monotonic() - start
    out, err = done.stdout.decode(), done.stderr.decode()
    if check_rc is not None and done.returncode != check_rc:
        fail(f"{args} exited {done.returncode}, not {check_rc}\n{out}{err}")
    return done.returncode, out, err, seconds


def shell_environment():
    """A shell's environment in which `lumivo24-cli` is the tool under test, on the emulator."""
    return {**os.environ, "LUMIVO24_PORT": PORT,
            "PATH": os.path.dirname(CLI) + ":" + os.environ["PATH"]}


def path(name):
    return os.path.join(WORK, name)


def console_ports():
    """The ports a search looks at that are this machine's system console: those whose device
    number ends a line of /proc/consoles (major:minor)."""
    try:
        with open("/proc/consoles") as f:
            numbers = {line.split()[-1] for line in f if line.strip()}
    except OSError:
        return []
    found = []
    for device in sorted(glob.glob("/dev/tty[SUA]*") + glob.glob("/dev/rfcomm*")):
        number = os.stat(device).st_rdev
        uart = os.path.join("/sys/class/tty", os.path.basename(device), "type")
        if (f"{os.major(number)}:{os.minor(number)}" in numbers and
                re.fullmatch(r"/dev/(ttyUSB|ttyACM|ttyAMA|ttyS|rfcomm)\d+", device) and
                (not device.startswith("/dev/ttyS") or open(uart).read().strip() != "0")):
            found.append(device)
    return found


def write_file(name, data):
    with open(path(name), "wb") as f:
        f.write(data)


def read_file(name):
    with open(path(name), "rb") as f:
        return f.read()


# ---- the cases -----------------------------------------------------------------------------------

def case_usage(emu):
    _, out, _, _ = cli("--help", check_rc=0)
    check(len(out.splitlines()) <= 30 and max(map(len, out.splitlines())) <= 80,
          "--help does not fit a screen")
    check("ch1-15.on_delay_ms=0+150" in out and "ch15-1.off_delay_ms=0+150" in out and
          "ch1-15.rise_time_ms,fall_time_ms=500" in out, "--help lacks the examples")
    check(all(f"\n  {command} " in out for command in
              ("ports", "status", "read", "write", "set", "convert", "show", "diff", "timeline")),
          "--help lacks the commands")
    # The synopsis lists every option of write and set.
    check(out.count("[--dry-run]") == out.count("[--force] [--backup FILE | --no-backup]") == 2,
          out)
    for version in ("--version", "-V"):
        _, out, _, _ = cli(version, check_rc=0)
        check(out.strip() == "lumivo24-cli 1.0.0", f"version {out!r}")
    # -p is repeatable for ports only.
    _, out, _, _ = cli("help", "write", check_rc=0)
    check("--dry-run" in out and "--force" in out, out)
    _, out, _, _ = cli("help", "read", check_rc=0)
    check("Usage: lumivo24-cli read [OPTIONS]\n" in out and "FILE.lv24|FILE.json" in out, out)
    for command, repeatable in (("ports", True), ("status", False), ("write", False)):
        _, out, _, _ = cli("help", command, check_rc=0)
        check(("-p,--port P ..." in out) == repeatable and "-p,--port P" in out, out)
    for wrong, said in (([], "a command is required"), (["-v"], "a command is required"),
                        (["frobnicate"], "'frobnicate' is not a command"),
                        (["help", "frobnicate"], "'frobnicate' is not a command"),
                        (["read", "--port", PORT], "--output"), (["diff", "a.lv24"], "SOURCE"),
                        (["show", "a", "b"], ""), (["status", "--port"], "--port"),
                        (["write", "x.lv24", "--bogus"], "--bogus"),
                        (["status", "--port", ""], "empty"),
                        (["status", "-p", PORT, "--port", PORT], "more than once"),
                        (["status", "--count", "0"], "a whole number of 1 or more, not '0'"),
                        (["status", "--watch", "--count", "2"], "excludes"),
                        (["read", "my stairs.lv24"], "lumivo24-cli read -o 'my stairs.lv24'\n"),
                        (["read", "-o", "a.lv24", "b.lv24"], "'b.lv24' is one too many"),
                        (["read", "-o"], "-o needs the name of the file to save to after it"),
                        (["timeline", "defaults", "--output", "-q"], "--output needs the name of "
                         "the picture"),
                        (["write", "defaults", "--backup"], "--backup needs the name of a new")):
        rc, out, err, _ = cli(*wrong)
        check(rc == 2 and out == "" and said in err, f"{wrong}: {rc} {out!r} {err!r}")
        check(len(err) < 300, f"{wrong}: {err!r}")  # no range of a double's 309 digits
    rc, _, err, _ = cli("status", "--port", WORK)
    check(rc == 3 and "not a serial port" in err, f"a folder as the port: {rc} {err}")
    check(emu.requests()["identify"] == "0", "a wrong command line talked to the port")


def case_ports(emu):
    # The controller's text in its 8-bit Cyrillic code page: "Лестница" in CP1251.
    emu(b"set version 5.000 \xcb\xe5\xf1\xf2\xed\xe8\xf6\xe0")
    _, out, _, _ = cli("ports", "--port", PORT, "--port", path("none"), "--json", check_rc=0)
    listed = {entry["port"]: entry for entry in json.loads(out)}
    check(listed[PORT] == {"port": PORT, "controller": True,
                           "identification": "VORK, kavren board v5.000 Лестница",
                           "board_revision": 5000, "in_use_by_pid": None,
                           "system_console": False, "by_id": None, "usb_vid": None,
                           "usb_pid": None, "usb_serial": None, "friendly_name": None},
          f"controller entry {listed[PORT]}")
    check(listed[path("none")]["controller"] is False, "a missing port answered")
    _, out, _, _ = cli("ports", "--port", PORT, check_rc=0)
    check(f"{PORT}" in out and "board revision 5000" in out and "Лестница" in out, out)

    # A serial port that is the system console is listed as such, and no search sends it a byte
    # (-v shows every frame sent); it is probed only when named, which these tests leave alone.
    consoles = console_ports()
    if not consoles:
        print("cli ports: this machine's console is no serial port; its rows skipped")
    _, out, _, _ = cli("ports", "--json", check_rc=0)
    listed = {entry["port"]: entry for entry in json.loads(out)}
    _, text, _, _ = cli("ports", check_rc=0)
    rc, _, err, _ = cli("status", "-v")
    for console in consoles:
        check(listed[console]["system_console"] is True and not listed[console]["controller"],
              out)
        check(re.search(rf"^{re.escape(console)} +system console: not probed", text, re.M), text)
        check(rc == 3 and f"{console} >>" not in err and
              f"{console} is the system console, which the search leaves alone; name it with "
              "--port to look for the controller there." in err, f"{rc} {err}")


def case_status(emu):
    emu("set light 1024")
    emu("set distance 1 12.5")
    emu("set distance 2 12.4")
    reading = {"port": PORT, "valid": True, "distance1_cm": 13, "distance2_cm": 12,
               "illuminance_percent": 75.0, "sensor1_fault": False, "sensor2_fault": False,
               "checksum_ok": True}
    # Stray bytes before the frame, noise holding a false length field (11 00) before it, the
    # port before the command: the same reading each time.
    for stray in ("55", "ffee", "aabb110001020304"):
        emu(f"stray-always on {stray}")
        _, out, _, _ = cli("--port", PORT, "status", "--json", check_rc=0)
        check(json.loads(out) == reading, f"stray {stray}: {out}")
    emu("stray-always off")
    # No status frame in the answer: no reading, no numbers.
    emu("truncate 2 12")
    rc, out, err, _ = cli("status", "--port", PORT)
    check(rc == 3 and out == "" and f"The answer to the status request from the controller on "
          f"{PORT} stopped after 12 of 17 bytes.\n" in err, f"truncated: {rc} {out!r} {err}")
    emu("truncate 2 off")
    emu("set light 5120")
    emu("set faults 2")
    _, out, _, _ = cli("status", "--port", PORT, check_rc=0)
    check(out == "distance 1: 13 cm   distance 2: not working   illuminance: -25.0 %\n", out)
    rc, out = on_terminal("status", "--port", PORT, "--count", "1")  # the watch's own line
    check(rc == 0 and "  illuminance: -25.0 %" in out and "light" not in out, out)
    _, out, _, _ = cli("status", "--port", PORT, "--json", check_rc=0)
    reading = json.loads(out)
    check(reading["distance2_cm"] is None and reading["sensor2_fault"] is True, out)
    # A status frame whose CRC is wrong: shown as the window shows it, said to be wrong, exit 3.
    wrong = bytearray(frame(2, struct.pack("<HffB", 2048, 40.0, 50.0, 0)))
    wrong[-1] ^= 0xFF
    emu("raw 2 " + wrong.hex())
    rc, out, err, _ = cli("status", "--port", PORT, "--json")
    check(rc == 3 and json.loads(out)["checksum_ok"] is False and "failed its checksum" in err,
          f"{rc} {out} {err}")

    # --watch: five readings a second until interrupted, then a clean end. One answer without a
    # status frame shows as not valid, and the watch goes on.
    watch = subprocess.Popen([CLI, "status", "--watch", "--json"],
                             env={**os.environ, "LUMIVO24_PORT": PORT},
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    time.sleep(0.5)
    emu("raw 2 " + "5a" * 40)
    time.sleep(1.0)
    # The port is held exclusively meanwhile.
    rc, _, err, _ = cli("status", "--port", PORT)
    check(rc == 3 and f"in use by process {watch.pid}" in err, f"second opener: {rc} {err}")
    watch.send_signal(signal.SIGINT)
    out, _ = watch.communicate(timeout=5)
    check(watch.returncode == 0, f"--watch ended with {watch.returncode}")
    lines = [json.loads(line) for line in out.decode().splitlines()]
    # At most five a second (a slow answer moves the cadence, so a loaded machine sees fewer).
    span = lines[-1]["time"]
    check(len(lines) >= 5 and len(lines) - 1 <= span / 0.2 + 1,
          f"{len(lines)} readings in {span} s")
    check(lines[0]["time"] == 0 and 0.15 < lines[1]["time"] < 0.5, f"times {lines[:2]}")
    invalid = [line for line in lines if not line["valid"]]
    check(len(invalid) == 1 and sorted(invalid[0]) == ["port", "reason", "time", "valid"] and
          invalid[0]["reason"] == "the answer held no status frame",
          f"not one invalid reading without numbers: {lines}")
    check(all(line["illuminance_percent"] == -25.0 for line in lines if line["valid"]), lines)

    # --count: so many readings, then the distances seen; each frame shown with -v.
    emu("set distance 1 auto")
    _, out, err, _ = cli("status", "--port", PORT, "--count", "4", "-v", check_rc=0)
    lines = out.splitlines()
    check(len(lines) == 5 and lines[4].startswith("distance 1 seen: ") and
          lines[4].endswith("   distance 2 seen: none"), out)
    check(err.count(f" {PORT} >> 02 00 06 00 0E C3\n") == 4, err)

    # A counted watch with a reading that was not valid exits 3, having shown every reading.
    emu("raw 2 " + "5a" * 40)
    rc, out, err, _ = cli("status", "--port", PORT, "--count", "3", "--json")
    check(rc == 3 and len(out.splitlines()) == 3 and "1 of the 3 readings" in err, f"{rc} {err}")

    # A watch goes on through a reading with a wrong checksum (kept out of the distances seen), a
    # missed reading or two, and an unplugged controller, which it waits for and takes up again
    # on the same port; a termination request ends it as stopped, the ranges printed.
    emu("set faults 0")
    emu("set distance 1 100")
    emu("clear-requests")
    watch = subprocess.Popen([CLI, "status", "--port", PORT, "--watch"], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE)
    watch.stdout.readline()
    emu("raw 2 " + wrong.hex())  # 40 cm and 50 cm
    time.sleep(0.5)
    emu("silent on")
    time.sleep(0.45)  # at most two requests go unanswered: fewer than make the controller gone
    emu("silent off")
    time.sleep(0.5)
    device = os.path.realpath(PORT)
    emu("unplug")
    time.sleep(0.8)
    emu("set distance 1 120")
    emu("plug")
    deadline = time.monotonic() + 10
    while int(emu.requests()["identify"]) < 2 and time.monotonic() < deadline:
        time.sleep(0.05)  # the first identification was the watch's start
    time.sleep(0.6)
    watch.send_signal(signal.SIGTERM)
    out, err = watch.communicate(timeout=10)
    out, err = out.decode(), err.decode()
    lines = out.splitlines()
    check(watch.returncode == 143 and "Interrupted" in err, f"{watch.returncode} {err}")
    check(lines[-1] == "distance 1 seen: 100-120 cm   distance 2 seen: 12-12 cm", out)
    check(sum(line.startswith("distance 1: 40 cm") and line.endswith("(checksum wrong)")
              for line in lines) == 1, out)
    missed = lines.count("no valid reading: the controller did not answer")
    check(1 <= missed <= 2 and "stopped answering" not in out, out)
    check(lines.count("no valid reading: the port failed (unplugged?); waiting for the "
                      "controller") == 1, out)
    check(f"The controller on {PORT} answers again; the watch goes on." in err, err)
    check(lines[-2].startswith("distance 1: 120 cm"), out)
    for gone in (device, os.path.realpath(PORT)):
        check(not os.path.exists(lock_of(gone)), f"{lock_of(gone)} left behind")

    # A reader that goes away ends a watch quietly; output that cannot be written, with exit 4.
    watch = subprocess.Popen([CLI, "status", "--port", PORT, "--watch"],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    watch.stdout.readline()
    watch.stdout.close()
    check(watch.wait(5) == 0 and watch.stderr.read() == b"", "--watch into a closed pipe")
    with open("/dev/full", "wb") as full:
        done = subprocess.run([CLI, "status", "--port", PORT, "--watch"], stdout=full,
                              stderr=subprocess.PIPE, timeout=5)
    check(done.returncode == 4 and b"No space left" in done.stderr, f"--watch > /dev/full: {done}")


def case_read(emu):
    emu("set settings " + wire_image(site()).hex())
    saved = site()
    saved["light_threshold_percent"] = 30  # 2867 returns as 30.0048828125, the form shows 30
    expected = settings_file(saved)
    check(b"\x00\x00\x0d\x0a\x45" in expected and b"\x00\x00\x1a\x44" in expected,
          "the expected file lacks the 0x0A and 0x1A floats")

    # A file with two names is not split: refused, both keep the old content.
    write_file("site.lv24", b"old contents")
    os.link(path("site.lv24"), path("old.lv24"))
    rc, _, err, _ = cli("read", "--port", PORT, "--output", "site.lv24")
    check(rc == 4 and "it has 2 names (hard links)" in err and
          read_file("site.lv24") == read_file("old.lv24") == b"old contents", f"{rc} {err}")
    os.remove(path("old.lv24"))
    replaced = os.stat(path("site.lv24")).st_ino
    _, _, err, _ = cli("read", "--port", PORT, "--output", "site.lv24", check_rc=0)
    check(read_file("site.lv24") == expected, "the saved file differs from the window's")
    check(os.stat(path("site.lv24")).st_ino != replaced, "the old file was rewritten in place")
    check(sorted(os.listdir(WORK)) == ["emu.log", "port", "site.lv24"],
          f"left behind: {os.listdir(WORK)}")
    check("site.lv24" in err and PORT in err, err)
    # Loaded again, it shows what the controller holds.
    _, out, _, _ = cli("diff", "site.lv24", "device", "--port", PORT, check_rc=0)
    check(out == "", out)

    # JSON when the name says so; nothing but errors with -q.
    _, out, err, _ = cli("read", "-q", "--port", PORT, "--output", "site.json", check_rc=0)
    check(out == "" and err == "", f"-q said {out!r} {err!r}")
    saved = json.loads(read_file("site.json"))
    check(saved["channels"][2]["on_delay_ms"] == 2208 and saved["source"] == "device", saved)

    rc, _, err, _ = cli("read", "--port", PORT, "--output", path("no/such/folder/x.lv24"))
    check(rc == 4 and "x.lv24" in err, f"{rc} {err}")

    # What stands at the name: a link is followed (a dangling one creates its file), the mode of
    # a replaced file stays, the longest name works; anything but a writable file is refused.
    os.symlink("linked.lv24", path("link.lv24"))
    os.mkfifo(path("fifo"))
    write_file("ro.lv24", b"ro")
    os.chmod(path("ro.lv24"), 0o444)
    write_file("mode.lv24", b"mode")
    os.chmod(path("mode.lv24"), 0o640)
    os.mkdir(path("dir"))
    longest = "n" * 250 + ".lv24"
    for output, code, said in (("link.lv24", 0, ""), ("link.lv24", 0, ""), ("mode.lv24", 0, ""),
                               (longest, 0, ""), ("fifo", 4, "pipe"), ("/dev/full", 4, "device"),
                               ("ro.lv24", 4, "read-only"), ("", 4, "name is empty"),
                               ("dir", 4, "is a folder"), ("dir/", 4, "is a folder"),
                               ("new/", 4, "names a folder")):
        rc, _, err, _ = cli("read", "--port", PORT, "--output", output)
        check(rc == code and said in err, f"{output[:20]!r}: {rc} {err}")
    check(os.path.islink(path("link.lv24")) and read_file("linked.lv24") == expected, "link")
    check(read_file("mode.lv24") == expected and
          stat.S_IMODE(os.stat(path("mode.lv24")).st_mode) == 0o640, "mode not kept")
    check(read_file(longest) == expected and read_file("ro.lv24") == b"ro", "longest, read-only")
    check(stat.S_ISFIFO(os.stat(path("fifo")).st_mode) and os.listdir(path("dir")) == [], "fifo")

    # As root: another user's link in a sticky folder that everybody may write is refused, as
    # the kernel refuses it (which links are followed: the unit tests of the file saving).
    if os.geteuid() == 0:
        os.mkdir(path("shared"))
        os.chmod(path("shared"), 0o1777)
        write_file("victim.lv24", b"victim")
        os.symlink(path("victim.lv24"), path("shared/planted.lv24"))
        os.lchown(path("shared/planted.lv24"), 65534, -1)
        rc, _, err, _ = cli("read", "--port", PORT, "--output", path("shared/planted.lv24"))
        check(rc == 4 and "neither to the folder's owner nor to you" in err and
              read_file("victim.lv24") == b"victim", f"a planted link was followed: {rc} {err}")
    else:
        print("cli read: links in shared folders skipped (needs root)")

    # Ctrl+C during the read: no file, nothing left behind, exit 130.
    listing = sorted(os.listdir(WORK))
    emu("delay 250")
    emu("clear-requests")
    tool = subprocess.Popen([CLI, "read", "--port", PORT, "--output", "late.lv24"], cwd=WORK,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    while emu.requests()["identify"] == "0":
        time.sleep(0.01)
    tool.send_signal(signal.SIGINT)
    _, err = tool.communicate(timeout=10)
    check(tool.returncode == 130 and sorted(os.listdir(WORK)) == listing,
          f"interrupted: {tool.returncode} {err} {sorted(os.listdir(WORK))}")


def case_read_failures(emu):
    write_file("keep.lv24", b"keep")
    # A damaged image (inner CRC), a truncated one, an identification that stops for longer than
    # a second, a silent controller: no file, old one kept, and each said as it is.
    image = bytearray(wire_image(factory()))
    image[100] ^= 1
    for fault, undo, said in (
            (f"raw read {frame(3, bytes(image)).hex()}", "",
             f"The controller on {PORT} sent no valid answer to the settings read."),
            ("truncate read 300", "truncate read off", "The answer to the settings read from "
             f"the controller on {PORT} stopped after 300 of 649 bytes."),
            ("split 2 1200", "split 1 0", "The answer to the identification request from the "
             f"device on {PORT} stopped after 16 of 31 bytes."),
            ("silent on", "", f"No controller answered on {PORT}.")):
        emu(fault)
        for output in ("new.lv24", "keep.lv24"):
            rc, _, err, seconds = cli("read", "--port", PORT, "--output", output)
            check(rc == 3 and err == said + "\n", f"{fault}: {rc} {err}")
            check(seconds < 2.5, f"{fault}: gave up after {seconds:.2f} s")
            if fault.startswith("raw") and output == "new.lv24":
                emu(fault)
        check(not os.path.exists(path("new.lv24")), f"{fault}: a file was saved")
        check(read_file("keep.lv24") == b"keep", f"{fault}: the old file changed")
        if undo:
            emu(undo)
    rc, _, err, _ = cli("status", "--port", PORT)
    check(rc == 3 and "No controller answered" in err, err)


def case_write(emu):
    device = factory()
    device["channels"][23]["standby_enabled"] = True  # not in any file: must survive
    emu("set settings " + wire_image(device).hex())
    new = site()
    new["channels"][23]["standby_enabled"] = False
    write_file("new.lv24", settings_file(new))

    _, out, err, _ = cli("write", "new.lv24", "--port", PORT, "--dry-run", check_rc=0)
    check("channel 3 on_delay_ms: 100 -> 2208\n" in out, out)
    check("light_threshold_percent: 50 -> 30.004883\n" in out, out)
    check("standby_enabled" not in out, out)  # the last one stays the controller's
    check(emu.requests()["write"] == "0", "--dry-run wrote")

    emu("clear-requests")
    _, _, err, _ = cli("write", "new.lv24", "--port", PORT, check_rc=0)
    kept = site()  # channel 24's standby flag stays the controller's: on
    check(emu.settings() == wire_image(kept), "the controller holds other settings")
    counts = emu.requests()
    check(counts["write"] == "1" and counts["read"] == "2", f"requests {counts}")
    _, out, _, _ = cli("write", "new.lv24", "--port", PORT, "--dry-run", check_rc=0)
    check(out == "", f"changes left after the write: {out}")

    # The settings held before were saved first, as the window saves them, and write them back.
    backups = sorted(os.listdir(BACKUPS))
    check(len(backups) == 1 and re.fullmatch(r"\d{8}-\d{6}-port\.lv24", backups[0]), backups)
    backup = os.path.join(BACKUPS, backups[0])
    check(backup in err, err)
    with open(backup, "rb") as f:
        check(f.read() == settings_file(device), "the backup is not the settings held before")
    cli("write", backup, "--port", PORT, "--no-backup", check_rc=0)
    check(emu.settings() == wire_image(device), "the backup did not put the settings back")
    check(len(os.listdir(BACKUPS)) == 1, "--no-backup made a backup")
    # A port that is a bare number (/dev/pts/N) keeps its folder's name, so that a second backup
    # of the same second ("-2") never reads as the port; those seconds' first names are taken.
    pts = "pts" + os.path.basename(emu.pty)
    now = time.time()
    taken = [time.strftime("%Y%m%d-%H%M%S", time.localtime(now + s)) + f"-{pts}.lv24"
             for s in range(-1, 10)]
    for name in taken:
        write_file(os.path.join(BACKUPS, name), b"taken")
    cli("set", "device", "--port", emu.pty, "off_timer_s=181", check_rc=0)
    made = sorted(set(os.listdir(BACKUPS)) - set(taken) - {backups[0]})
    check(len(made) == 1 and re.fullmatch(r"\d{8}-\d{6}-" + pts + r"-2\.lv24", made[0]) and
          made[0].replace("-2.lv24", ".lv24") in taken, f"{made}")
    for name in taken + made:
        os.remove(os.path.join(BACKUPS, name))
    cli("write", backup, "--port", PORT, "--no-backup", check_rc=0)
    # A named backup never replaces anything (a dangling link neither), the file being written
    # least of all; each refusal comes before anything is sent, and names the file.
    os.symlink(path("nowhere.lv24"), path("dangling.lv24"))
    emu("clear-requests")
    for backup, said in (("new.lv24", "it is the file being written"), ("", "name is empty"),
                         ("dangling.lv24", "something of that name exists")):
        rc, _, err, _ = cli("write", "new.lv24", "--port", PORT, "--backup", backup)
        check(rc == 4 and f"Cannot save the backup to '{backup}': " in err and said in err, err)
    check(all(count == "0" for count in emu.requests().values()) and
          read_file("new.lv24") == settings_file(new) and
          not os.path.exists(path("nowhere.lv24")), "a refused backup reached the port or a file")
    # A factory reset, its backup where it was asked for; a .json name gives JSON.
    cli("write", "defaults", "--port", PORT, "--backup", "before-reset.lv24", check_rc=0)
    check(emu.settings() == wire_image(factory()), "write defaults left other settings")
    check(read_file("before-reset.lv24") == settings_file(device), "--backup holds other bytes")
    cli("write", "new.lv24", "--port", PORT, "--backup", "before-new.json", check_rc=0)
    saved = json.loads(read_file("before-new.json"))
    check(saved["source"] == "device" and saved["sensor1_max_cm"] == 100 and
          saved["channels"][23]["standby_enabled"] is False, f"JSON backup {saved}")

    # The command that puts a backup back, pasted into a shell as it stands, from a state folder
    # with a space, Cyrillic letters and a quote in its name.
    os.environ["XDG_STATE_HOME"] = path("state Иван Петров's")
    rc, _, err, _ = cli("write", "defaults", "--port", PORT)
    os.environ["XDG_STATE_HOME"] = STATE
    restore = re.search(r"To put them back: (.*)$", err, re.M)
    check(rc == 0 and restore is not None and "'\\''" in restore.group(1) and
          restore.group(1).endswith(f" --port {PORT}"), f"{rc} {err}")
    without_port = {k: v for k, v in shell_environment().items() if k != "LUMIVO24_PORT"}
    shell = subprocess.run(["sh", "-c", restore.group(1)], cwd=WORK, capture_output=True,
                           timeout=60, env=without_port)
    site_held = site()
    site_held["channels"][23]["standby_enabled"] = False  # no file holds it: it stays as it was
    check(shell.returncode == 0 and emu.settings() == wire_image(site_held),
          f"the printed command did not restore: {shell.stderr.decode()}")
    emu("set settings " + wire_image(factory()).hex())
    # No backup, no write.
    os.environ["XDG_STATE_HOME"] = path("new.lv24")  # a file: no folder can be made in it
    rc, _, err, _ = cli("write", "new.lv24", "--port", PORT)
    os.environ["XDG_STATE_HOME"] = STATE
    check(rc == 4 and "nothing was written" in err, f"{rc} {err}")
    check(emu.settings() == wire_image(factory()), "written without a backup")

    # A controller that keeps its old settings: the read-back shows it.
    emu("set settings " + wire_image(factory()).hex())
    emu("refuse-writes on")
    rc, _, err, _ = cli("write", "new.lv24", "--port", PORT)
    check(rc == 5 and "sensor1_max_cm: 120 -> 100\n" in err, f"{rc} {err}")
    emu("refuse-writes off")

    # A write that is not answered, or whose port goes once the request is out, may have reached
    # the controller: said so with the command that shows it, which then finds the settings sent
    # (for set device compared with the backup, which the change is the difference from).
    emu("truncate write 0")
    for args, compare in ((["write", "new.lv24"], "new.lv24"),
                          (["set", "device", "off_timer_s=99"], r"\S+\.lv24")):
        emu("set settings " + wire_image(factory()).hex())
        rc, _, err, _ = cli(*args, "--port", PORT)
        found = re.search(r"did not answer the settings write: it may already hold the settings "
                          rf"sent\. Check with: (lumivo24-cli diff device {compare} --port "
                          rf"{re.escape(PORT)})\n", err)
        check(rc == 3 and found and "below 9600 bit/s a write is never answered in time" in err,
              f"{args}: {rc} {err}")
        shell = subprocess.run(["sh", "-c", found.group(1)], cwd=WORK, capture_output=True,
                               timeout=60, env=shell_environment())
        check(shell.returncode == (0 if args[0] == "write" else 1) and
              (args[0] == "write" or shell.stdout == b"off_timer_s: 99 -> 180\n"),
              f"{args}: the check said {shell.returncode} {shell.stdout}")
    emu("truncate write off")
    emu("set settings " + wire_image(factory()).hex())
    emu("delay 250")
    emu("clear-requests")
    tool = subprocess.Popen([CLI, "write", "new.lv24", "--port", PORT, "--no-backup"], cwd=WORK,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    deadline = time.monotonic() + 10
    while emu.requests()["write"] == "0" and time.monotonic() < deadline:
        time.sleep(0.005)
    emu("unplug")
    err = tool.communicate(timeout=10)[1].decode()
    emu("plug")
    emu("delay 0")
    check(tool.returncode == 3 and f"The port {PORT} failed after the settings were sent: the "
          "controller may already hold them. Check with: lumivo24-cli diff device new.lv24 "
          f"--port {PORT}\n" in err, f"unplugged: {tool.returncode} {err}")


def case_write_refusals(emu):
    # Values the controller cannot hold: named with the range their fields hold, in their own
    # units, and nothing is sent.
    odd = site()
    odd.update(off_timer_s=-2, sensor1_max_cm=70000)
    odd["channels"][1]["on_start_level_percent"] = -2
    odd["channels"][4]["on_delay_ms"] = 4294967296
    odd["channels"][5]["rise_time_ms"] = float("-inf")
    odd["channels"][6]["fall_time_ms"] = float("nan")
    odd["channels"][8]["standby_enabled"] = 0.5
    write_file("odd.lv24", settings_file(odd))
    rc, _, err, _ = cli("write", "odd.lv24", "--port", PORT)
    for line in ("sensor1_max_cm: 70000 (it holds 0 to 65535 cm)",
                 "off_timer_s: -2 (it holds 0 to 65535 s)",
                 "channel 2 on_start_level_percent: -2 (it holds 0 to 6553.5 %)",
                 "channel 5 on_delay_ms: 4294967296 (it holds 0 to 4294967040 ms)",
                 "channel 6 rise_time_ms: -inf (it holds 0 to 4294967040 ms)",
                 "channel 7 fall_time_ms: nan (it holds 0 to 4294967040 ms)",
                 "channel 9 standby_enabled: 0.5 (it holds true or false)"):
        check(f"  {line}\n" in err, f"{line!r} not in {err}")
    check(rc == 4 and err.count("\n") == 8, f"{rc} {err}")

    write_file("site.lv24", settings_file(site()))
    damaged = bytearray(settings_file(site()))
    damaged[500] ^= 0x40
    write_file("damaged.lv24", bytes(damaged))
    write_file("short.lv24", settings_file(site())[:1000])
    # The window reads a dos2unix'd copy (every CR LF made LF, exactly the 1050-byte content)
    # with its line ends decoded, 4 bytes short: refused, for what it is.
    write_file("dos2unix.lv24", settings_file(site()).replace(b"\r\n", b"\n"))
    check(len(read_file("dos2unix.lv24")) == 1050, "dos2unix copy")
    os.mkfifo(path("fifo.lv24"))  # nobody writes to it: a read that waited would never end
    os.mkdir(path("folder.lv24"))
    for name, said in (("damaged.lv24", "checksum"), ("short.lv24", "too short"),
                       ("missing.lv24", "No such file"), ("dos2unix.lv24", "line ends"),
                       ("fifo.lv24", "it is a pipe (FIFO), not a regular file"),
                       ("/dev/zero", "it is a device, not a regular file"),
                       ("folder.lv24", "it is a folder")):
        rc, _, err, seconds = cli("write", name, "--port", PORT)
        check(rc == 4 and name in err and said in err and seconds < 5, f"{name}: {rc} {err}")
    # JSON has no NaN or infinity: such a file would not be read back, so none is written.
    write_file("kept.json", b"kept")
    for output in ("odd.json", "kept.json"):
        rc, _, err, _ = cli("convert", "odd.lv24", "-o", output)
        check(rc == 4 and "JSON has no number for these values" in err and
              "  channel 6 rise_time_ms: -inf\n  channel 7 fall_time_ms: nan\n" in err, f"{rc} {err}")
    check(not os.path.exists(path("odd.json")) and read_file("kept.json") == b"kept", "saved")
    check(all(count == "0" for count in emu.requests().values()), "a bad file reached the port")
    with open(emu.log) as log:
        check("port opened" not in log.read(), "the port was opened for a bad file")

    emu("set version 4.000")
    rc, _, err, _ = cli("write", "site.lv24", "--port", PORT)
    check(rc == 6 and "4000" in err, f"{rc} {err}")
    check(emu.requests()["write"] == "0" and emu.requests()["read"] == "0", "revision 4000 written")
    _, out, err, _ = cli("write", "site.lv24", "--port", PORT, "--dry-run", check_rc=0)
    check("channel 3 on_delay_ms: 100 -> 2208\n" in out and "need --force" in err, f"{out}{err}")
    check(emu.requests()["write"] == "0", "a dry run wrote")
    cli("write", "site.lv24", "--port", PORT, "--force", check_rc=0)
    check(emu.requests()["write"] == "1", "--force did not write")


def interrupted(emu, command, args, signal_number=signal.SIGINT):
    """Runs the tool, stops it with the signal once the controller has taken `command`."""
    emu("clear-requests")
    tool = subprocess.Popen([CLI, *args], cwd=WORK, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE)
    deadline = time.monotonic() + 10
    while emu.requests()[command] == "0" and time.monotonic() < deadline:
        time.sleep(0.005)
    tool.send_signal(signal_number)
    out, err = tool.communicate(timeout=10)
    return tool.returncode, out.decode(), err.decode()


def case_interrupt(emu):
    # Each answer comes 150 ms late, so the tool is still waiting when the signal comes.
    emu("delay 150")
    write_file("site.lv24", settings_file(site()))
    rc, _, err = interrupted(emu, "write", ["write", "site.lv24", "--port", PORT])
    check(rc == 130 and "may already hold" in err and
          f"lumivo24-cli diff device site.lv24 --port {PORT}" in err, f"write: {rc} {err}")
    rc, _, err = interrupted(emu, "read", ["read", "--port", PORT, "-o", "new.lv24"])
    check(rc == 130 and "nothing was changed" in err, f"read: {rc} {err}")
    check(not os.path.exists(path("new.lv24")), "an interrupted read saved a file")

    # Each kind of command that opens a port, stopped by each signal that asks a program to stop
    # while it waits on the controller: exit 128 + the signal, a sentence saying what is true of
    # the controller, and the port as it was found: its line settings, no exclusive mark, no
    # lock file.
    device = os.path.realpath(PORT)
    fd = open_line()
    left = termios.tcgetattr(fd)
    left[0] |= termios.IXON | termios.ICRNL
    left[2] = (left[2] & ~termios.CSIZE) | termios.CS7 | termios.PARENB
    left[4] = left[5] = termios.B9600
    termios.tcsetattr(fd, termios.TCSANOW, left)
    left = termios.tcgetattr(fd)
    os.close(fd)
    # The write above may have stored the file, and a write of what is held sends nothing.
    emu("set settings " + wire_image(factory()).hex())
    rows = (
        (["show", "device"], "read", signal.SIGINT, "nothing was changed"),
        (["status"], "status", signal.SIGQUIT, "nothing was changed"),
        (["ports"], "identify", signal.SIGHUP, "given back as it was found"),
        (["read", "-o", "r.lv24"], "identify", signal.SIGQUIT, "nothing was changed"),
        (["set", "device", "off_timer_s=1"], "read", signal.SIGHUP, "nothing was changed"),
        (["write", "site.lv24"], "write", signal.SIGTERM, "may already hold"),
    )
    for args, request, signal_number, said in rows:
        rc, _, err = interrupted(emu, request, [*args, "--port", PORT], signal_number)
        check(rc == 128 + signal_number and said in err, f"{args}: {rc} {err}")
        fd = open_line()
        line, mark = termios.tcgetattr(fd), exclusive(fd)
        os.close(fd)
        check(line == left and mark == 0 and not os.path.exists(lock_of(device)),
              f"{args}: the port was not left as found: {line} {mark}")
    check(sorted(os.listdir(WORK)) == ["emu.log", "port", "site.lv24"],
          f"left behind: {os.listdir(WORK)}")


def case_paced(emu, baud):
    """On a line paced at `baud` (at 9600, 676 ms for a 649-byte answer and as long for a write's
    request) and with every answer in two parts 400 ms apart: read, write and set device work.
    Below 9600 a write's request alone takes longer to cross than its answer is waited for (at
    4800, 1.35 s): the read works, and the write says what may have happened and why."""
    if baud < 9600:
        emu("set settings " + wire_image(site()).hex())
        cli("read", "--port", PORT, "--output", "site.lv24", check_rc=0)
        check(read_file("site.lv24") == settings_file(site()), "the saved file differs")
        write_file("factory.lv24", settings_file(factory()))
        rc, _, err, _ = cli("write", "factory.lv24", "--port", PORT, "--no-backup")
        check(rc == 3 and "it may already hold the settings sent" in err and
              "The line may be slower than the tool waits for: below 9600 bit/s a write is never "
              "answered in time." in err, f"{rc} {err}")
        print(f"cli paced at {baud} baud: read works, the write says why it fails")
        return
    for split in ("1 0", "2 400"):
        emu(f"split {split}")
        emu("set settings " + wire_image(site()).hex())
        cli("read", "--port", PORT, "--output", "site.lv24", check_rc=0)
        check(read_file("site.lv24") == settings_file(site()), f"{split}: the saved file differs")
        write_file("factory.lv24", settings_file(factory()))
        cli("write", "factory.lv24", "--port", PORT, "--no-backup", check_rc=0)
        device = factory()
        device["channels"][23]["standby_enabled"] = True  # in no file: the controller's stays
        check(emu.settings() == wire_image(device), f"{split}: the controller holds other values")
        cli("set", "device", "--port", PORT, "ch1-15.on_delay_ms=0+150", "off_timer_s=240",
            "--no-backup", check_rc=0)
        device["off_timer_s"] = 240
        for k in range(15):
            device["channels"][k]["on_delay_ms"] = 150 * k
        check(emu.settings() == wire_image(device), f"{split}: set device left other settings")
    print(f"cli paced at {baud} baud: read, write and set device verified")


def case_show_diff(emu):
    _, out, _, _ = cli("show", "defaults", "--json", check_rc=0)
    shown = json.loads(out)
    expected = {"source": "defaults", **factory()}
    for c, n in zip(expected["channels"], range(1, 25)):
        c["channel"] = n
    check(shown == expected, f"defaults: {out[:400]}")
    check(list(shown) == ["source", *GLOBALS, "channels"], f"keys {list(shown)}")
    check(list(shown["channels"][0]) == ["channel", *COLUMNS], "channel keys")

    write_file("site.lv24", settings_file(site()))
    _, out, _, _ = cli("show", "site.lv24", "--json", check_rc=0)
    write_file("site.json", out.encode())  # fed back, it makes the same file byte for byte
    cli("convert", "site.json", "--output", "again.lv24", check_rc=0)
    check(read_file("again.lv24") == settings_file(site()), "the JSON round trip changed the file")
    # The same text in UTF-16 (Notepad's "Unicode", PowerShell's >), with and without its BOM.
    for name, code in (("u16.json", "utf-16"), ("u16be.json", "utf-16-be")):
        write_file(name, out.encode(code))
        rc, _, err, _ = cli("show", name)
        check(rc == 4 and f"{name} is text in UTF-16; JSON settings must be in UTF-8" in err, err)
    shown = json.loads(out)
    check(shown["channels"][23]["standby_enabled"] is None, "a file holds no last standby flag")
    check(shown["channels"][1]["on_start_level_percent"] == 12.5, out[:300])
    check(shown["light_threshold_percent"] == 30, out[:300])
    _, out, _, _ = cli("show", "site.lv24", check_rc=0)
    rows = [line for line in out.splitlines() if line[:2].strip().isdigit()]
    check(len(rows) == 24 and rows[2].split()[:2] == ["3", "2208"], out)
    check(rows[23].split()[9] == "-", rows[23])

    # Nothing found: said to a person on standard error, standard output empty; -q silences it.
    for quiet, said in (([], "No differences: defaults and device hold the same settings.\n"),
                        (["-q"], "")):
        _, out, err, _ = cli(*quiet, "diff", "defaults", "device", "--port", PORT, check_rc=0)
        check(out == "" and err.endswith(said) and (said or err == ""), f"{quiet}: {out} {err}")
    # A raw threshold of 4097, beyond the sensor's 4096, is below 0 %: not "-0".
    image = bytearray(wire_image(factory()))
    struct.pack_into("<H", image, 8, 4097)
    struct.pack_into("<H", image, 641, crc16(image[:641]))
    emu("set settings " + bytes(image).hex())
    _, out, _, _ = cli("show", "device", "--port", PORT, check_rc=0)
    check("light threshold, %      -0.024414062\n" in out, out)
    emu("set settings " + wire_image(factory()).hex())
    rc, out, _, _ = cli("diff", "site.lv24", "defaults", "--json")
    differences = json.loads(out)["differences"]
    check(rc == 1, f"diff exited {rc}")
    check({"name": "on_delay_ms", "channel": 3, "a": 2208, "b": 100} in differences, out)
    check({"name": "sensor1_max_cm", "channel": None, "a": 120, "b": 100} in differences, out)
    check(len(differences) == 9, f"{len(differences)} differences: {out}")
    rc, _, err, _ = cli("show", "missing.lv24")
    check(rc == 4 and "missing.lv24" in err, err)

    # Results that cannot be written are a failure, whatever the command found.
    for command in (["show", "defaults", "--json"], ["diff", "site.lv24", "defaults"]):
        with open("/dev/full", "wb") as full:
            done = subprocess.run([CLI, *command], cwd=WORK, stdout=full, stderr=subprocess.PIPE)
        check(done.returncode == 4 and b"standard output" in done.stderr, f"{command}: {done}")


def case_set(emu):
    """set on a file in place, into JSON, from the defaults and on the controller; JSON as a
    source; every refusal before anything changes."""
    write_file("site.lv24", settings_file(site()))
    stairs = site()
    for k in range(15):
        stairs["channels"][k]["on_delay_ms"] = 150 * k
        stairs["channels"][14 - k]["off_delay_ms"] = 150 * k
    for c in stairs["channels"][15:]:
        c["on_end_level_percent"] = 0
    # Refused before anything is read or written: the bad assignment is named.
    for bad in ("ch0.on_delay_ms=5", "ch1-25.on_delay_ms=5", "bogus_name=1",
                "ch1.use_light_sensor=true", "use_light_sensor=1+1", "ch1.on_delay_ms"):
        rc, _, err, _ = cli("set", "site.lv24", bad)
        check(rc == 2 and bad in err, f"{bad}: {rc} {err}")
    # Each value out of its field's range named (the ranges: the unit tests of the values).
    for assignment, lines in (("ch1.on_delay_ms=-5", ["channel 1 on_delay_ms: -5"]),
                              ("ch15-1.off_delay_ms=1000+-100",
                               [f"channel {n} off_delay_ms: {100 * n - 500}" for n in (4, 3, 2, 1)]),
                              # as typed, not as the float it becomes (4294967296)
                              ("ch1.on_delay_ms=4294967295", ["channel 1 on_delay_ms: 4294967295"]),
                              ("ch1-3.on_delay_ms=4294967000+100",
                               ["channel 3 on_delay_ms: 4294967200"]),
                              ("light_threshold_percent=-5", ["light_threshold_percent: -5"])):
        rc, _, err, _ = cli("set", "site.lv24", assignment)
        holds = "0 to 100 %" if "threshold" in assignment else "0 to 4294967040 ms"
        check(rc == 4 and err.count("\n") == len(lines) + 1 and all(
            f"  {line} (it holds {holds})\n" in err for line in lines), err)
    check(read_file("site.lv24") == settings_file(site()), "a refused set changed the file")
    # A decimal comma is the point, also after a name list with commas; the files hold numbers.
    commas = site()
    commas["light_threshold_percent"] = 30.5
    for n in (0, 2):
        commas["channels"][n]["rise_time_ms"] = 0.5
    for output in ("comma.lv24", "comma.json"):
        cli("set", "site.lv24", "light_threshold_percent=30,5", "ch1,3.rise_time_ms=0,5",
            "-o", output, check_rc=0)
    check(read_file("comma.lv24") == settings_file(commas), "the comma's values saved otherwise")
    shown = read_file("comma.json").decode()
    check('"light_threshold_percent": 30.5,' in shown and '"rise_time_ms": 0.5,' in shown and
          ",5" not in shown, shown[:400])
    rc, _, err, _ = cli("set", "site.lv24", "ch1.on_delay_ms=-1,5")
    check(rc == 4 and "  channel 1 on_delay_ms: -1,5 (it holds" in err, err)  # as typed
    # --backup, --no-backup and --force are for the controller; a file target refuses them.
    for option in (["--backup", "b.lv24"], ["--backup", ""], ["--no-backup"], ["--force"]):
        rc, _, err, _ = cli("set", "site.lv24", "off_timer_s=5", *option)
        check(rc == 2 and option[0] in err and "set device" in err, f"{option}: {rc} {err}")
    rc, _, err, _ = cli("set", "site.lv24", "off_timer_s=5", "-o", "")  # not "in place"
    check(rc == 4 and "Cannot write '': the file name is empty" in err and
          read_file("site.lv24") == settings_file(site()), f"-o '': {rc} {err}")

    _, out, _, _ = cli("set", "site.lv24", "ch1-15.on_delay_ms=0+150",
                       "ch15-1.off_delay_ms=0+150", "--dry-run", check_rc=0)
    check("channel 2 on_delay_ms: 50 -> 150\n" in out and "channel 1 off_delay_ms: 1 -> 2100\n"
          in out, out)
    check(read_file("site.lv24") == settings_file(site()), "a dry run changed the file")
    cli("set", "site.lv24", "ch1-15.on_delay_ms=0+150", "ch15-1.off_delay_ms=0+150", check_rc=0)
    cli("set", "site.lv24", "ch16-24.on_end_level_percent=0", "-o", "stairs.json", check_rc=0)
    del stairs["channels"][23]["standby_enabled"]  # no .lv24 file holds it
    shown = json.loads(read_file("stairs.json"))
    for c, n in zip(stairs["channels"], range(1, 25)):
        check(all(shown["channels"][n - 1][k] == v for k, v in c.items()), f"channel {n}")
    # JSON back into the window's format, byte for byte.
    stairs["channels"][23]["standby_enabled"] = False
    cli("convert", "stairs.json", "-o", "stairs.lv24", check_rc=0)
    check(read_file("stairs.lv24") == settings_file(stairs), "stairs.lv24 differs")
    rc, _, err, _ = cli("set", "stairs.lv24", "ch*.standby_enabled=false")
    check(rc == 2 and "channel 24" in err, f"{rc} {err}")
    cli("set", "stairs.json", "ch*.standby_enabled=false", check_rc=0)
    check(json.loads(read_file("stairs.json"))["channels"][23]["standby_enabled"] is False,
          "the JSON file lost channel 24's flag")
    # A damaged JSON file is named with what is wrong and where.
    broken = read_file("stairs.json").replace(b'"off_timer_s"', b'"off_timer"')
    write_file("broken.json", broken)
    rc, _, err, _ = cli("show", "broken.json")
    check(rc == 4 and "off_timer" in err and "line" in err, f"{rc} {err}")

    # From the defaults into a new file, and on the controller itself with a backup first.
    cli("set", "defaults", "sensor1_max_cm=150", "sensor2_min_cm=1e-400", "-o", "new.lv24",
        check_rc=0)  # too small for a double: 0, as JSON takes it
    fresh = factory()
    fresh["sensor1_max_cm"] = 150
    check(read_file("new.lv24") == settings_file(fresh), "set defaults saved other bytes")
    emu("set settings " + wire_image(factory()).hex())
    cli("set", "device", "--port", PORT, "ch16-24.on_end_level_percent=0", "off_timer_s=240",
        check_rc=0)
    dark = factory()
    dark["off_timer_s"] = 240
    for c in dark["channels"][15:]:
        c["on_end_level_percent"] = 0
    check(emu.settings() == wire_image(dark), "set device left other settings")
    check(len(os.listdir(BACKUPS)) == 1, f"backups: {os.listdir(BACKUPS)}")
    rc, _, err, _ = cli("set", "device", "--port", PORT, "ch2.rise_time_ms=1e10")
    check(rc == 4 and emu.settings() == wire_image(dark), f"an unholdable value went out: {err}")
    # Channel 1 rises in 1 ms: 0.5 is within its rounding, but packs to 0, so it is written.
    _, _, err, _ = cli("set", "device", "--port", PORT, "ch1.rise_time_ms=0.5", "--no-backup",
                       check_rc=0)
    dark["channels"][0]["rise_time_ms"] = 0
    check("nothing had to change" not in err and emu.settings() == wire_image(dark), err)

    # A value nobody assigned keeps the controller's own bytes: a 30 % threshold, stored as 2867
    # and read back as 30.0048828125, would lose a step with every write if packed again. An
    # assignment the controller already holds writes nothing and saves no backup. Five rounds,
    # as the drift grew by a step with each.
    for again in (False, True) * 5:
        if not again:
            cli("write", "defaults", "--port", PORT, check_rc=0)
            cli("set", "device", "--port", PORT, "light_threshold_percent=30", check_rc=0)
        emu("clear-requests")
        backups = len(os.listdir(BACKUPS))
        _, _, err, _ = cli("set", "device", "--port", PORT, "ch1.on_delay_ms=5", check_rc=0)
        check(("nothing had to change" in err) == again and
              emu.requests()["write"] == ("0" if again else "1") and
              len(os.listdir(BACKUPS)) == backups + (0 if again else 1),
              f"again {again}: {emu.requests()} {err}")
        check(emu.settings()[8:10] == struct.pack("<H", 2867), "the threshold moved")
    threshold = factory()
    threshold["light_threshold_percent"] = 30
    threshold["channels"][0]["on_delay_ms"] = 5
    check(emu.settings()[8:10] == struct.pack("<H", 2867) and
          emu.settings() == wire_image(threshold), "set device changed other values")


def staircase(v):
    """`v` after the staircase of the documentation."""
    for k in range(15):
        v["channels"][k].update(on_delay_ms=150 * k, rise_time_ms=500, fall_time_ms=500)
        v["channels"][14 - k]["off_delay_ms"] = 150 * k
    for c in v["channels"][15:]:
        c.update(on_start_level_percent=0, on_end_level_percent=0, off_start_level_percent=0,
                 off_end_level_percent=0, standby_level_percent=0)
    return v


def documented_staircase(text):
    """The staircase's command as `text` prints it, with the lines it continues onto."""
    found = re.search(r"lumivo24-cli set device ch1-15\.on_delay_ms=0\+150(.*\\\n)*.*", text)
    check(found, "no staircase in the text")
    return found.group(0)


def case_staircase(emu):
    """The staircase exactly as the README prints it, run in a shell on a controller holding the
    factory defaults; --help, the manual page and the guide print the same values."""
    root = os.path.join(os.path.dirname(__file__), "..", "..")
    command = documented_staircase(open(os.path.join(root, "README.md")).read())
    shell = subprocess.run(["sh", "-c", command], cwd=WORK, capture_output=True, timeout=60,
                           env=shell_environment())
    check(shell.returncode == 0, f"{command}: {shell.stderr.decode()}")
    check(emu.settings() == wire_image(staircase(factory())), "the controller holds other values")
    held = json.loads(cli("show", "device", "--port", PORT, "--json", check_rc=0)[1])["channels"]
    man = open(os.path.join(root, "packaging", "lumivo24-cli.1")).read()
    for i, text in enumerate((cli("--help", check_rc=0)[1],
                              man.replace("\\-", "-").replace("\\e", "\\"),
                              open(os.path.join(root, "docs", "guide.md")).read())):
        words = documented_staircase(text).replace("\\\n", " ").split()[3:]
        cli("set", "defaults", *words, "-o", f"doc{i}.json", check_rc=0)
        check(json.loads(read_file(f"doc{i}.json"))["channels"] == held, f"text {i}: other values")


def on_terminal(*args, env=None, columns=0, raw=False):
    """Runs the tool with its standard output and, when `env` is given, its standard error on a
    pseudo-terminal of `columns` columns (0: one that tells none), in a UTF-8 locale unless `env`
    says otherwise; returns its exit code and what it printed there (line ends as the terminal
    turns them, back to LF), as bytes when `raw`."""
    master, slave = os.openpty()
    fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 24, columns, 0, 0))
    base = {k: v for k, v in os.environ.items() if k not in ("LC_ALL", "LC_CTYPE", "COLUMNS")}
    tool = subprocess.Popen([CLI, *args], cwd=WORK, stdout=slave,
                            stderr=slave if env is not None else subprocess.DEVNULL,
                            env={**base, "LANG": "C.UTF-8", **(env or {})})
    os.close(slave)
    out = b""
    try:
        while chunk := os.read(master, 65536):
            out += chunk
    except OSError:  # EIO: the tool has closed the terminal
        pass
    os.close(master)
    out = out.replace(b"\r\n", b"\n")
    return tool.wait(60), out if raw else out.decode()


NOTE = "Drawn from the settings, not measured: one person at 0 ms only, night assumed."
STAIRS_SUMMARY = "lights 1→15, 150 ms apart; goes dark 15→1, 150 ms apart; 16-24 dark"
STAIRS_ROW_15 = " 15      2100      2600    180000    180500   0.1      0.1→100         100→0.1"
STAIRS_CHART_15 = " 15 " + "·" * 27 + "░▒▒▓███  │  ██▓▒▒░" + "·" * 28  # glow, rise, hold, fall


def case_timeline(emu):
    """The wave of a file, of the controller and of the defaults: a chart on a terminal only, JSON,
    the picture saved whole or refused before anything is read; a dry run of set saying what it
    does to the wave. (Each wave's times, texts and JSON: the unit tests of the timeline.)"""
    write_file("stairs.lv24", settings_file(staircase(factory())))
    _, out, _, _ = cli("timeline", "stairs.lv24", check_rc=0)
    lines = out.splitlines()
    check(lines[0] == STAIRS_SUMMARY and STAIRS_ROW_15 in lines and lines[-1] == NOTE, out)
    check("│" not in out and "█" not in out, f"a chart on a pipe: {out}")
    rc, out = on_terminal("timeline", "stairs.lv24")
    check(rc == 0 and STAIRS_CHART_15 in out.splitlines() and out.endswith(NOTE + "\n"), out)
    # An absurd on-delay, taken as the limit, is marked; it squashes nothing, and every line of
    # its table and chart fits 80 columns.
    late = staircase(factory())
    late["channels"][2]["on_delay_ms"] = 1e30
    write_file("late.lv24", settings_file(late))
    rc, out = on_terminal("timeline", "late.lv24")
    check(rc == 0 and max(len(line) for line in out.splitlines()) <= 80 and
          "  3   1193 h*   1193 h*" in out and STAIRS_CHART_15 in out.splitlines() and
          "\n  » goes on past the axis" in out, out)

    terminal_rows()

    # The controller's settings, read as the window reads them.
    emu("set settings " + wire_image(staircase(factory())).hex())
    wave = json.loads(cli("timeline", "device", "--port", PORT, "--json", check_rc=0)[1])
    check(wave["summary"] == STAIRS_SUMMARY and len(wave["channels"]) == 24 and
          wave["channels"][23] == {"channel": 24, "dark": True, "on_begin_ms": None,
                                   "on_end_ms": None, "off_begin_ms": None, "off_end_ms": None},
          wave)

    # The picture: only the file, whole; a name that is no .svg is refused before the
    # controller is asked, a folder that does not exist leaves nothing behind.
    emu("clear-requests")
    _, out, err, _ = cli("timeline", "defaults", "--output", "wave.svg", check_rc=0)
    check(out == "" and "wave.svg" in err and read_file("wave.svg").endswith(b"</svg>\n"), err)
    for output, code, said in (("wave.png", 2, "ending in .svg, not 'wave.png'"),
                               ("no/such/folder/x.svg", 4, "nothing was saved")):
        rc, out, err, _ = cli("timeline", "device", "--port", PORT, "--output", output)
        check(rc == code and out == "" and said in err, f"{output!r}: {rc} {out!r} {err!r}")
    check(emu.requests()["read"] == "1", f"requests {emu.requests()}")
    check(sorted(os.listdir(WORK)) == ["emu.log", "late.lv24", "port", "stairs.lv24", "wave.svg"],
          f"left behind: {os.listdir(WORK)}")

    # A dry run says what the change does to the wave, and says it when it does nothing to it.
    _, out, _, _ = cli("set", "stairs.lv24", "ch7.fall_time_ms=0", "--dry-run", check_rc=0)
    check(f"before: {STAIRS_SUMMARY}\nafter:  lights 1→15, 150 ms apart;\n" in out, out)
    _, out, _, _ = cli("set", "device", "--port", PORT, "off_timer_s=240", "--dry-run",
                       check_rc=0)
    check(out == "off_timer_s: 180 -> 240\nunchanged: " + STAIRS_SUMMARY + "\n", out)
    check(emu.requests()["write"] == "0", "a dry run wrote")


def terminal_rows():
    """The staircase's chart in the terminal's character set and width; a file stays UTF-8."""
    locales = tempfile.mkdtemp(prefix="cli-test-locales-")
    try:
        for charset in ("CP1251", "KOI8-R"):
            subprocess.run(["localedef", "-i", "ru_RU", "-f", charset,
                            os.path.join(locales, "ru_RU." + charset)], check=True,
                           capture_output=True, timeout=120)
        ascii_15 = " 15 " + "." * 27 + "-++*###  |  ##*++-" + "." * 28
        ascii_summary = STAIRS_SUMMARY.replace("→", "->").encode()
        for env, cyrillic in (({"LANG": "C"}, b"lestnicza"),  # transliterated
                              ({"LANG": "ru_RU.CP1251", "LOCPATH": locales},
                               bytes.fromhex("ebe5f1f2ede8f6e0")),
                              ({"LC_ALL": "ru_RU.KOI8-R", "LOCPATH": locales},
                               bytes.fromhex("ccc5d3d4cec9c3c1"))):
            rc, out = on_terminal("timeline", "stairs.lv24", env=env, raw=True)
            lines = out.split(b"\n")
            check(rc == 0 and lines[0] == ascii_summary and ascii_15.encode() in lines and
                  b" ch lights at fully lit dims from   dark at rest on start->end  off start->end"
                  in lines and max(out) < 0x80, f"{env}: {out!r}")
            rc, out = on_terminal("show", "лестница.lv24", env=env, raw=True)
            check(rc == 4 and b"Cannot read " + cyrillic + b".lv24: " in out, f"{env}: {out!r}")
    finally:
        shutil.rmtree(locales, ignore_errors=True)
    # 60 columns (the terminal's or COLUMNS): the table in two parts, every line within 59.
    for columns, env in ((60, None), (120, {"COLUMNS": "60"})):
        rc, out = on_terminal("timeline", "stairs.lv24", env=env, columns=columns)
        lines = out.splitlines()
        check(rc == 0 and max(len(line) for line in lines) <= 59 and
              STAIRS_ROW_15[:43] in lines and " 15" + STAIRS_ROW_15[43:] in lines and
              " 15 " + "·" * 19 + "░▒▓██  │  █▓▒░" + "·" * 20 in lines, out)
    rc, out = on_terminal("timeline", "stairs.lv24", columns=40)
    check(rc == 0 and out == "lights 1→15, 150 ms apart;\n   goes dark 15→1, 150 ms apart;\n"
          "   16-24 dark\n\nThe table and the chart need 60 columns; the terminal has 40.\n"
          "Drawn from the settings, not measured:\none person at 0 ms only, night assumed.\n", out)
    # A file gets UTF-8 and the full width, whatever the locale and COLUMNS say.
    done = subprocess.run([CLI, "timeline", "stairs.lv24", "--chart"], cwd=WORK, timeout=60,
                          capture_output=True, env={**os.environ, "LC_ALL": "C", "COLUMNS": "40"})
    check(STAIRS_CHART_15 in done.stdout.decode().splitlines(), done.stdout.decode())


TIOCGEXCL = 0x80045440  # reads a terminal's exclusive mark (Linux)


def exclusive(fd):
    return struct.unpack("i", fcntl.ioctl(fd, TIOCGEXCL, b"\0" * 4))[0]


def open_line():
    return os.open(PORT, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)


def lock_of(device):
    """The UUCP lock file of a device: LCK..pts_3 for /dev/pts/3."""
    return os.path.join("/var/lock" if os.path.isdir("/var/lock") else "/run/lock",
                        "LCK.." + device[len("/dev/"):].replace("/", "_"))


def case_line(emu):
    """The port shared as Linux serial programs share it: lock files, the line's settings put
    back, another program's exclusive mark, and a port this user may not open."""
    device = os.path.realpath(PORT)  # the tool is given the link, the lock names the device
    lock = lock_of(device)
    gone = subprocess.Popen(["true"])
    gone.wait()
    for holder, rc in ((os.getpid(), 3), (gone.pid, 0)):
        with open(lock, "w") as f:
            f.write(f"{holder:10d}\n")
        try:
            code, _, err, _ = cli("status", "--port", PORT)
            check(code == rc, f"lock of {holder}: exit {code} {err}")
            if rc == 3:
                check(f"Cannot open {PORT}: it is in use by process {holder}." in err, err)
                _, out, _, _ = cli("ports", "--port", PORT, check_rc=0)
                check(f"{PORT}  in use by process {holder}\n" in out, out)
                check(emu.requests()["identify"] == "0", "a locked port was sent a request")
            else:
                check(not os.path.exists(lock), "the stale lock was taken and left behind")
        finally:
            if os.path.exists(lock):
                os.unlink(lock)

    # The line's settings as another program left them come back after the tool.
    fd = open_line()
    raw = termios.tcgetattr(fd)
    line = termios.tcgetattr(fd)
    line[0] |= termios.IXON | termios.ICRNL
    line[2] = (line[2] & ~termios.CSIZE) | termios.CS7 | termios.PARENB
    line[3] |= termios.ICANON
    line[4] = line[5] = termios.B9600
    termios.tcsetattr(fd, termios.TCSANOW, line)
    expected = termios.tcgetattr(fd)
    os.close(fd)
    try:
        cli("status", "--port", PORT, check_rc=0)
        fd = open_line()
        check(termios.tcgetattr(fd) == expected, "the line's settings were not put back")
        check(exclusive(fd) == 0, "the tool left its exclusive mark behind")
        termios.tcsetattr(fd, termios.TCSANOW, raw)
    finally:
        os.close(fd)

    # A port that another program took exclusively stays that program's, root or not.
    emu("clear-requests")
    other = open_line()
    try:
        fcntl.ioctl(other, termios.TIOCEXCL)
        rc, _, err, _ = cli("status", "--port", PORT)
        check(rc == 3 and "another program is using it" in err, f"{rc} {err}")
        check(exclusive(other) == 1, "another program's exclusive mark was cleared")
        check(emu.requests()["identify"] == "0", "a port held exclusively was sent a request")
    finally:
        fcntl.ioctl(other, termios.TIOCNXCL)
        os.close(other)

    # Permission denied: the tool names the group that gives access (tested as root only).
    if os.geteuid() != 0 or shutil.which("runuser") is None:
        print("cli line: permission rows skipped (needs root and runuser)")
        return
    owner = os.stat(device)
    os.chmod(WORK, 0o755)
    # That user runs a copy of the tool in a folder it can reach: the build tree may lie in a
    # folder only its owner may enter (a clone in a private temporary folder).
    reachable = tempfile.mkdtemp(prefix="cli-test-tool-")
    os.chmod(reachable, 0o755)
    tool = shutil.copy2(CLI, reachable)
    try:
        for group in ("dialout", "uucp"):
            os.chown(device, 0, grp.getgrnam(group).gr_gid)
            os.chmod(device, 0o660)
            done = subprocess.run(["runuser", "-u", "nobody", "--", tool, "status", "-p", PORT],
                                  capture_output=True, timeout=60)
            err = done.stderr.decode()
            check(done.returncode == 3 and f"Cannot open {PORT}: permission denied; " in err and
                  f"'sudo usermod -aG {group} $USER', then log in again." in err, err)
    finally:
        os.chown(device, owner.st_uid, owner.st_gid)
        os.chmod(device, owner.st_mode & 0o7777)
        shutil.rmtree(reachable, ignore_errors=True)


CASES = {name[5:]: f for name, f in globals().items() if name.startswith("case_")}

if __name__ == "__main__":
    emulator = Emulator()
    try:
        if CASE.startswith("paced_"):
            case_paced(emulator, int(CASE[len("paced_"):]))
        else:
            CASES[CASE](emulator)
        print(f"cli {CASE}: passed")
    except AssertionError as e:
        print(f"cli {CASE}: FAILED: {e}", file=sys.stderr)
        with open(emulator.log) as log:
            print("--- emulator log:\n" + "".join(log.readlines()[-20:]), file=sys.stderr)
        sys.exit(1)
    finally:
        emulator.stop()
        shutil.rmtree(WORK, ignore_errors=True)
        shutil.rmtree(STATE, ignore_errors=True)
