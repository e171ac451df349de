#!/usr/bin/env bash
# The emulator as a whole: started on a pseudo-terminal with a --link and a Wine prefix (whose
# registry a stand-in for wine records), it answers an identification request written to its
# port, keeps answering across an unplug and plug on the same link, takes the links away while
# unplugged, and quits by its control channel, removing its links. A second run takes its
# commands on standard input and ends with it.
# Usage: smoke.sh path/to/lumivo24-emulator
set -uo pipefail
EMU=$1
WORK=$(mktemp -d /tmp/emu-smoke-XXXXXX)
PID=
cleanup() {
    [ -n "$PID" ] && kill "$PID" 2>/dev/null && wait "$PID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; echo "--- emulator log:" >&2; cat "$WORK/log" >&2; exit 1; }

mkdir -p "$WORK/prefix"
# The stand-in for wine: one line per run, "reg add" or "reg delete" and the value's name.
printf '#!/bin/sh\necho "$1 $2 $5" >>"%s/wine-runs"\n' "$WORK" >"$WORK/wine"
chmod +x "$WORK/wine"
"$EMU" --static --lifetime 40 --log "$WORK/log" --link "$WORK/port" \
    --wine-prefix "$WORK/prefix" --com 9 --wine "$WORK/wine" >"$WORK/out" 2>"$WORK/err" &
PID=$!
for _ in $(seq 1 100); do
    [ "$(wc -l <"$WORK/out")" -ge 2 ] && break
    sleep 0.05
done
PTY=$(awk '$1 == "pty" {print $2}' "$WORK/out")
PORT=$(awk '$1 == "control" {print $2}' "$WORK/out")
[ -c "$PTY" ] || fail "no pty line: $(cat "$WORK/out" "$WORK/err")"
[ -n "$PORT" ] || fail "no control line"
[ "$(readlink "$WORK/port")" = "$PTY" ] || fail "--link does not point at $PTY"
[ "$(readlink "$WORK/prefix/dosdevices/com9")" = "$PTY" ] || fail "com9 does not point at $PTY"

python3 - "$WORK/port" "$PORT" "$WORK/prefix/dosdevices/com9" <<'PY' || fail "exchange"
import os, select, socket, sys, time

port_path, control_port, com_link = sys.argv[1], int(sys.argv[2]), sys.argv[3]
IDENTIFY = bytes.fromhex("01 00 06 00 D2 58")
STATUS = bytes.fromhex("02 00 06 00 0E C3")
IDENT_ANSWER = bytes.fromhex("01 00 1F 00") + b"VORK, kavren board v5.000" + bytes.fromhex("10 08")

def exchange(path, request, expect_bytes):
    fd = os.open(path, os.O_RDWR | os.O_NOCTTY)
    try:
        os.write(fd, request)
        got, deadline = b"", time.time() + 2.0
        while len(got) < expect_bytes and time.time() < deadline:
            if select.select([fd], [], [], 0.1)[0]:
                got += os.read(fd, 4096)
        return got
    finally:
        os.close(fd)

control = socket.create_connection(("127.0.0.1", control_port), timeout=5)
lines = control.makefile("rw")
def command(text):
    lines.write(text + "\n"); lines.flush()
    reply = lines.readline().strip()
    if not reply.startswith("ok"):
        sys.exit(f"'{text}' -> {reply}")
    return reply

start = time.time()
got = exchange(port_path, IDENTIFY, len(IDENT_ANSWER))
if got != IDENT_ANSWER:
    sys.exit(f"identify answer {got.hex(' ')}")
if time.time() - start > 1.0:
    sys.exit("identify answer too slow")

command("set light 1000")
got = exchange(port_path, STATUS, 17)
if got[:6] != bytes.fromhex("02 00 11 00 E8 03"):
    sys.exit(f"status answer {got.hex(' ')}")

command("unplug")
if "plugged=no" not in command("status"):
    sys.exit("still plugged after unplug")
if os.path.lexists(com_link) or os.path.lexists(port_path):
    sys.exit("a link is left while unplugged")
reply = command("plug")
new = reply.split()[-1]
if os.readlink(port_path) != new or os.readlink(com_link) != new:
    sys.exit(f"links not re-pointed to {new}")
for _ in range(20):  # the port closes and reopens like a program scanning
    if exchange(port_path, IDENTIFY, len(IDENT_ANSWER)) != IDENT_ANSWER:
        sys.exit("no identify answer after plug")
counts = command("requests")
if "identify=21" not in counts or "status=1" not in counts:
    sys.exit(counts)
if command("quit") != "ok bye":
    sys.exit("quit")
PY

for _ in $(seq 1 100); do
    kill -0 "$PID" 2>/dev/null || break
    sleep 0.05
done
kill -0 "$PID" 2>/dev/null && fail "still running after quit"
wait "$PID"
status=$?
PID=
[ "$status" = 0 ] || fail "exit status $status"
[ -L "$WORK/port" ] && fail "--link left behind"
[ -L "$WORK/prefix/dosdevices/com9" ] && fail "com9 link left behind"
grep -q 'request cmd=0x0001 len=6 crc=ok' "$WORK/log" || fail "requests not logged"
# The port's registry value: made at start and at the plug, taken away at the unplug and the end.
printf 'reg %s \\Device\\LumivoEmu9\n' add delete add delete | cmp -s - "$WORK/wine-runs" ||
    fail "registry runs: $(cat "$WORK/wine-runs")"
# Commands on standard input; its end quits.
printf 'set faults 3\nrequests\n' | "$EMU" --static --stdin --lifetime 20 >"$WORK/out2" 2>"$WORK/log" ||
    fail "--stdin run failed"
[ "$(sed -n 3p "$WORK/out2")" = "ok faults 3" ] || fail "--stdin reply: $(cat "$WORK/out2")"
[ "$(wc -l <"$WORK/out2")" = 4 ] || fail "--stdin output: $(cat "$WORK/out2")"
echo "emulator smoke test passed"
