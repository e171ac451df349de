#!/usr/bin/env python3
"""Figures of lumivo24-cli against the controller emulator on a pseudo-terminal: wall time from
process start to exit of status, read and write (with its verification), and processor time
during status --watch. Printed, not judged: the machines are shared.

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


def run(*args):
    start = time.monotonic()
    done = subprocess.run([CLI, *args], cwd=WORK, stdout=subprocess.DEVNULL,
                          stderr=subprocess.PIPE)
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


def status_requests(control):
    with socket.create_connection(("127.0.0.1", control), timeout=5) as s:
        s.sendall(b"requests\n")
        reply = s.makefile().readline()
    return int(dict(item.split("=") for item in reply.split()[1:])["status"])


def main():
    emulator = subprocess.Popen([EMULATOR, "--static", "--link", PORT, "--lifetime", "600"],
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    try:
        emulator.stdout.readline()
        control = int(emulator.stdout.readline().split()[1])
        run("read", "--port", PORT, "--output", "backup.lv24")  # warm the caches
        rows = []
        for name, args in (("status", ("status", "--port", PORT)),
                           ("read", ("read", "--port", PORT, "--output", "backup.lv24")),
                           ("write + verify", ("write", "backup.lv24", "--port", PORT))):
            times = [run(*args) for _ in range(RUNS)]
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
    finally:
        emulator.send_signal(signal.SIGTERM)
        emulator.wait(10)
        shutil.rmtree(WORK, ignore_errors=True)

    print(f"lumivo24-cli against the emulator ({RUNS} runs each; {CLI})")
    print(f"  {'command':<16}{'median':>10}{'slowest':>10}   target")
    targets = {"read": "<= 250 ms", "write + verify": "<= 400 ms"}
    for name, median, slowest in rows:
        print(f"  {name:<16}{median * 1000:>8.1f} ms{slowest * 1000:>7.1f} ms   "
              f"{targets.get(name, '')}")
    print(f"  status --watch: {watch_share:.2f} % of one core over {WATCH_SECONDS:.0f} s, "
          f"{polls / WATCH_SECONDS:.2f} readings a second   target < 2 %")


main()
