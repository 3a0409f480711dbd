#!/usr/bin/env python3
"""Runs a test program (under Wine, through the command given) that publishes the
demo device's ticks to SENSOR_MONITOR_TEST_BROKER, with a mosquitto broker of its own
on the loopback, and checks what reached the broker: "online", then at least three
ticks whose A and B follow the demo device's sequence, then "offline".

    check-publish.py COMMAND...
"""
import json
import math
import os
import socket
import subprocess
import sys
import tempfile
import time

TOPIC = "wine/demo"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def demo_ab(n):
    """The demo device's A and B of record n (its C is seeded noise)."""
    a = round(512 + 400 * math.sin(2 * math.pi * n / 40))
    p = n % 240
    b = 100 + 5 * p if p < 120 else 100 + 5 * (240 - p)
    return a, b


def follows_the_sequence(readings):
    """Whether the (A, B) pairs are consecutive records of the demo device."""
    for start in range(240):
        if all(demo_ab(start + k) == pair for k, pair in enumerate(readings)):
            return True
    return False


def main():
    port = free_port()
    with tempfile.TemporaryDirectory() as folder:
        config = os.path.join(folder, "mosquitto.conf")
        with open(config, "w") as f:
            f.write(f"listener {port} 127.0.0.1\nallow_anonymous true\npersistence false\n")
        broker = subprocess.Popen(["mosquitto", "-c", config], stderr=subprocess.DEVNULL)
        subscriber = None
        try:
            for _ in range(100):
                with socket.socket() as s:
                    if s.connect_ex(("127.0.0.1", port)) == 0:
                        break
                time.sleep(0.05)
            subscriber = subprocess.Popen(
                ["mosquitto_sub", "-h", "127.0.0.1", "-p", str(port), "-v", "-t", TOPIC, "-t", TOPIC + "/status"],
                stdout=subprocess.PIPE, text=True)
            time.sleep(0.5)
            env = dict(os.environ, SENSOR_MONITOR_TEST_BROKER=f"mqtt://127.0.0.1:{port}/{TOPIC}")
            status = subprocess.run(sys.argv[1:], env=env).returncode
            time.sleep(1)
        finally:
            if subscriber:
                subscriber.terminate()
            broker.terminate()
            broker.wait()
        received = subscriber.communicate()[0].splitlines() if subscriber else []
    if status != 0:
        print(f"check-publish: the test program failed ({status})", file=sys.stderr)
        return 1
    statuses = [line.split(" ", 1)[1] for line in received if line.startswith(TOPIC + "/status ")]
    ticks = [json.loads(line.split(" ", 1)[1]) for line in received if line.startswith(TOPIC + " ")]
    records = [(t["A"], t["B"]) for t in ticks if t.get("outcome") == "record"]
    problems = []
    if statuses[:1] != ["online"] or statuses[-1:] != ["offline"]:
        problems.append(f"status went {statuses}, not online ... offline")
    if len(records) < 3 or not follows_the_sequence(records[-3:]):
        problems.append(f"the last three published records {records[-3:]} are not the demo device's")
    for problem in problems:
        print(f"check-publish: {problem}", file=sys.stderr)
    if not problems:
        print(f"check-publish: {len(ticks)} ticks published under Wine reached the broker, status {statuses}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
