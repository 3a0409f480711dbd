#!/usr/bin/env python3
"""Runs a command with COM1 of a fresh Wine prefix ($WINEPREFIX) led to a new
pseudo-terminal, whose far end this script keeps for as long as the command
runs; exits with the command's status. Wine reads HKLM\\Software\\Wine\\Ports
when its server starts.

The far end plays the device, and the command works it through three files in
a folder of its own, which SENSOR_MONITOR_WINE_COM1 names as a Windows path:
  sent.bin     what the command appends as LENGTH LF BYTES is sent to COM1,
               the BYTES of each in one write, as a device sends a record;
  waiting.txt  how many characters wait at COM1 unread, written anew each
               time that changes (while COM1 is open, the port takes them);
  hangup       once it exists, the far end is closed: the device is gone.
(Not com1.*: Windows takes any name COM1.EXT for the port itself.)
"""
import fcntl
import os
import pty
import struct
import subprocess
import sys
import tempfile
import termios
import time
import tty

here = os.path.dirname(os.path.abspath(__file__))
POLL_SECONDS = 0.005


def waiting_at(slave):
    """Characters waiting unread at the pseudo-terminal's COM1 end."""
    return struct.unpack("i", fcntl.ioctl(slave, termios.FIONREAD, b"\0" * 4))[0]


def write_all(fd, data):
    while data:
        data = data[os.write(fd, data):]


def replace_file(path, text):
    with open(path + ".new", "w") as f:
        f.write(text)
    os.replace(path + ".new", path)


class Device:
    """The far end of COM1, worked through the files in `folder`."""

    def __init__(self, folder, master, slave):
        self.sent_path = os.path.join(folder, "sent.bin")
        self.waiting_path = os.path.join(folder, "waiting.txt")
        self.hangup_path = os.path.join(folder, "hangup")
        open(self.sent_path, "wb").close()
        self.master, self.slave = master, slave
        self.offset = 0
        self.waiting = None

    def serve(self):
        if self.master is None:
            return
        if os.path.exists(self.hangup_path):
            os.close(self.master)
            self.master = None
            return
        with open(self.sent_path, "rb") as f:
            f.seek(self.offset)
            pending = f.read()
        while b"\n" in pending:
            header, rest = pending.split(b"\n", 1)
            length = int(header)
            if len(rest) < length:
                break
            write_all(self.master, rest[:length])
            self.offset += len(header) + 1 + length
            pending = rest[length:]
        waiting = waiting_at(self.slave)
        if waiting != self.waiting:
            replace_file(self.waiting_path, str(waiting))
            self.waiting = waiting


def main():
    prefix = os.environ["WINEPREFIX"]
    subprocess.run([os.path.join(here, "wine-prefix.sh"), prefix], check=True)
    master, slave = pty.openpty()
    tty.setraw(slave)
    env = dict(os.environ, WINEDEBUG="-all")
    subprocess.run(["wine", "reg", "add", r"HKLM\Software\Wine\Ports", "/v", "COM1", "/d", os.ttyname(slave), "/f"],
                   env=env, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-k"], env=env)
    subprocess.run(["wineserver", "-w"], env=env)
    with tempfile.TemporaryDirectory(prefix="com1-device-") as folder:
        device = Device(folder, master, slave)
        env["SENSOR_MONITOR_WINE_COM1"] = "Z:" + folder.replace("/", "\\")
        command = subprocess.Popen(sys.argv[1:], env=env)
        while command.poll() is None:
            device.serve()
            time.sleep(POLL_SECONDS)
        return command.returncode


if __name__ == "__main__":
    sys.exit(main())
