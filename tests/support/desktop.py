"""What the scripts that drive a program on the Wine desktop from outside
share: waiting for a condition, and xdotool to find windows and send input."""

import os
import re
import struct
import subprocess
import time

# Emulated programs (the 32-bit ones under qemu) take longer for everything.
WAIT_SCALE = float(os.environ.get("MW_WAIT_SCALE") or 1)


SETTINGS_SIZE = 2320


class Failure(Exception):
    pass


def text_field(text, size):
    data = text.encode("cp932")
    if len(data) >= size:
        raise Failure("path too long for the settings file: " + text)
    return data + b"\0" * (size - len(data))


def settings_record(list_path, download_folder, parallel):
    """marrowby's settings file (vorn.cfg) with automatic start on, parallel
    downloads at a time; the block after it is left out (its defaults)."""
    record = b"VORN" + struct.pack("<iiiiIii", 10, parallel, 1, 0, 30000, 0, 0)
    record += text_field("", 1153) + text_field("", 49) + text_field("", 49)
    record += text_field(download_folder, 264) + text_field(list_path, 773)
    assert len(record) == SETTINGS_SIZE
    return record


def wait_for(what, check, timeout=20.0):
    """check()'s first true value; Failure when timeout seconds pass first."""
    deadline = time.time() + timeout * WAIT_SCALE
    while time.time() < deadline:
        value = check()
        if value:
            return value
        time.sleep(0.2)
    raise Failure("timed out waiting for " + what)


def xdotool(*args):
    result = subprocess.run(["xdotool"] + list(args), capture_output=True, text=True, timeout=30)
    return result.stdout.split()


def visible_window(caption):
    """The X window id of the visible window with exactly this caption."""
    found = xdotool("search", "--onlyvisible", "--name", "^" + re.escape(caption) + "$")
    return found[0] if found else None
