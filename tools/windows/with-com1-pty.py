#!/usr/bin/env python3
"""Runs a command with COM1 of a fresh Wine prefix ($WINEPREFIX) led to a new
pseudo-terminal, held open for as long as the command runs; exits with the
command's status. Wine reads HKLM\\Software\\Wine\\Ports when its server starts."""
import os
import pty
import subprocess
import sys
import tty

here = os.path.dirname(os.path.abspath(__file__))
prefix = os.environ["WINEPREFIX"]
subprocess.run([os.path.join(here, "wine-prefix.sh"), prefix], check=True)
master, slave = pty.openpty()
tty.setraw(slave)
env = dict(os.environ, WINEDEBUG="-all")
subprocess.run(["wine", "reg", "add", r"HKLM\Software\Wine\Ports", "/v", "COM1", "/d", os.ttyname(slave), "/f"],
               env=env, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
subprocess.run(["wineserver", "-k"], env=env)
subprocess.run(["wineserver", "-w"], env=env)
sys.exit(subprocess.run(sys.argv[1:], env=env).returncode)
