#!/usr/bin/env python3
"""Figures of lumivo24-cli against the controller emulator on a pseudo-terminal: wall time from
process start to exit of status, read and write (with its verification), and processor time
during status --watch. Then the same commands, and `set device` with one assignment, on a line
paced at 115200 baud (the emulator's --baud), beside their targets and the line's floor: the
bytes each command moves over the line both ways, counted from the requests the emulator took,
and the time they take at that rate; and, with fewer runs, on a line paced at 9600 baud, the
slowest the tool waits for. Printed, not judged: the machines are shared.

Usage: cli_bench.py CLI EMULATOR [runs] [watch seconds]
"""
import os
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import time

CLI, EMULATOR = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
RUNS = int(sys.argv[3]) if len(sys.argv) > 3 else 20
WATCH_SECONDS = float(sys.argv[4]) if len(sys.argv) > 4 else 20.0
WORK = tempfile.mkdtemp(prefix="cli-bench-")
PORT = os.path.join(WORK, "port")
PACED_PORT = os.path.join(WORK, "paced-port")
BAUD = 115200
SLOW_BAUD, SLOW_RUNS = 9600, 3
# Bytes of each request and of its answer on the line. The identification answer is the
# emulator's: "VORK, kavren board v5.000" in a frame. Settings read and write: 643 bytes in one.
LINE_BYTES = {"identify": 6 + 31, "status": 6 + 17, "read": 6 + 649, "write": 649 + 7}
# What a write moves: identification, settings read, write, read-back.
WRITE_FRAMES = {"identify": 1, "read": 2, "write": 1}
PACED_TARGETS = {"read": 0.150, "write + verify": 0.350, "set device": 0.350}
# Backups the tool makes before a write go here, not into the user's folders.
ENVIRONMENT = dict(os.environ, XDG_STATE_HOME=os.path.join(WORK, "state"))


def run(*args):
    start = time.monotonic()
    done = subprocess.run([CLI, *args], cwd=WORK, stdout=subprocess.DEVNULL,
                          stderr=subprocess.PIPE, env=ENVIRONMENT)
    seconds = time.monotonic() - start
    if done.returncode != 0:
        sys.exit(f"{args}: exit {done.returncode}: {done.stderr.decode()}")
    return seconds


def cpu_seconds(pid):
    """Processor time of a process's threads, to the nanosecond (the scheduler's own count)."""
    total = 0
    for thread in os.listdir(f"/proc/{pid}/task"):
        with open(f"/proc/{pid}/task/{thread}/schedstat") as f:
            total += int(f.read().split()[0])
    return total / 1e9


def requests(control):
    """The emulator's count of requests taken, by command."""
    with socket.create_connection(("127.0.0.1", control), timeout=5) as s:
        s.sendall(b"requests\n")
        reply = s.makefile().readline()
    return {name: int(count) for name, count in (item.split("=") for item in reply.split()[1:])}


def status_requests(control):
    return requests(control)["status"]


def start_emulator(link, *options):
    emulator = subprocess.Popen([EMULATOR, "--static", "--link", link, "--lifetime", "600",
                                 *options],
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    emulator.stdout.readline()
    return emulator, int(emulator.stdout.readline().split()[1])


def stop_emulator(emulator):
    emulator.send_signal(signal.SIGTERM)
    emulator.wait(10)


def line_bytes(frames):
    return sum(LINE_BYTES[name] * count for name, count in frames.items())


def set_available():
    """Whether the tool has the set command: its own help, not the tool's (which an unknown
    command followed by --help prints too, with exit 0)."""
    done = subprocess.run([CLI, "set", "--help"], capture_output=True, text=True)
    return done.returncode == 0 and "Usage: lumivo24-cli set" in done.stdout


def paced_figures(baud, runs):
    """Median and slowest of `runs`, and the requests of one run, per command on a line paced at
    `baud`."""
    # The write alternates between two files that differ in one value: a write of what the
    # controller holds already sends nothing.
    commands = [("read", lambda i: ("read", "--port", PACED_PORT, "--output", "paced.lv24")),
                ("write + verify", lambda i: ("write", ("other.lv24", "paced.lv24")[i % 2],
                                              "--port", PACED_PORT))]
    if set_available():
        # A value that changes on every run and that neither file holds, so that every run writes.
        commands.append(("set device", lambda i: ("set", "device", f"off_timer_s={200 + i}",
                                                  "--port", PACED_PORT)))
    emulator, control = start_emulator(PACED_PORT, "--baud", str(baud))
    rows = {}
    try:
        run("read", "--port", PACED_PORT, "--output", "paced.lv24")
        run("set", "paced.lv24", "off_timer_s=181", "--output", "other.lv24")
        for name, args in commands:
            before = requests(control)
            times = [run(*args(i)) for i in range(runs)]
            after = requests(control)
            frames = {k: (after[k] - before[k]) / runs for k in LINE_BYTES}
            unknown = sum(after[k] - before[k] for k in ("other", "bad-crc"))
            rows[name] = (statistics.median(times), max(times), frames, unknown)
    finally:
        stop_emulator(emulator)
    return rows


def print_paced(rows, baud, runs, targets):
    print(f"lumivo24-cli on a line paced at {baud} baud (emulator --baud {baud}, --port given, "
          f"{runs} runs each)")
    print(f"  {'command':<16}{'median':>10}{'slowest':>10}   {'target':<11}"
          f"line floor: bytes both ways, their time at {baud} baud")
    for name in PACED_TARGETS:
        target = f"<= {targets[name] * 1000:.0f} ms" if name in targets else ""
        if name in rows:
            median, slowest, frames, unknown = rows[name]
            figures = f"{median * 1000:>8.1f} ms{slowest * 1000:>7.1f} ms"
            floor = line_bytes(frames)
            requests_text = ", ".join(f"{k} {v:g}" for k, v in frames.items() if v)
            note = f" ({requests_text}" + (f"; {unknown} other requests" if unknown else "") + ")"
        else:
            figures = f"{'not available':>23}"
            floor = line_bytes(WRITE_FRAMES)
            note = " (as a write: identify 1, read 2, write 1)"
        print(f"  {name:<16}{figures}   {target:<11}"
              f"{floor:>6.0f} B {floor * 10 / baud * 1000:>6.1f} ms{note}")


def main():
    emulator, control = start_emulator(PORT)
    try:
        run("read", "--port", PORT, "--output", "backup.lv24")  # warm the caches
        run("set", "backup.lv24", "off_timer_s=181", "--output", "other.lv24")
        rows = []
        files = ("other.lv24", "backup.lv24")  # as in paced_figures: every run writes
        for name, args in (("status", lambda i: ("status", "--port", PORT)),
                           ("read", lambda i: ("read", "--port", PORT, "--output", "backup.lv24")),
                           ("write + verify", lambda i: ("write", files[i % 2], "--port", PORT))):
            times = [run(*args(i)) for i in range(RUNS)]
            rows.append((name, statistics.median(times), max(times)))

        watch = subprocess.Popen([CLI, "status", "--port", PORT, "--watch"], cwd=WORK,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(1.0)  # past start-up and the search for the controller
        cpu_before, wall_before = cpu_seconds(watch.pid), time.monotonic()
        polls_before = status_requests(control)
        time.sleep(WATCH_SECONDS)
        cpu_after, wall_after = cpu_seconds(watch.pid), time.monotonic()
        polls = status_requests(control) - polls_before
        watch.send_signal(signal.SIGINT)
        watch.wait(10)
        watch_share = 100.0 * (cpu_after - cpu_before) / (wall_after - wall_before)
        stop_emulator(emulator)
        emulator = None
        paced = paced_figures(BAUD, RUNS)
        slow = paced_figures(SLOW_BAUD, SLOW_RUNS)
    finally:
        if emulator is not None:
            stop_emulator(emulator)
        shutil.rmtree(WORK, ignore_errors=True)

    print(f"lumivo24-cli against the emulator ({RUNS} runs each; {CLI})")
    print(f"  {'command':<16}{'median':>10}{'slowest':>10}   target")
    targets = {"read": "<= 250 ms", "write + verify": "<= 400 ms"}
    for name, median, slowest in rows:
        print(f"  {name:<16}{median * 1000:>8.1f} ms{slowest * 1000:>7.1f} ms   "
              f"{targets.get(name, '')}")
    print(f"  status --watch: {watch_share:.2f} % of one core over {WATCH_SECONDS:.0f} s, "
          f"{polls / WATCH_SECONDS:.2f} readings a second   target < 2 %")
    print()
    print_paced(paced, BAUD, RUNS, PACED_TARGETS)
    print()
    print_paced(slow, SLOW_BAUD, SLOW_RUNS, {})


main()
