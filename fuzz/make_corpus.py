#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets to fuzz/corpus/<target>/.

Each seed is a small valid input of its target (see the comment at the top
of each fuzz/*_fuzzer.cpp for the input layout). The card_image seeds are
written by the target itself (KESTREL_FUZZ_WRITE_SEEDS), since they are
the sectors of a formatted card: pass the fuzz build's bin folder.

    fuzz/make_corpus.py [BUILD_BIN_DIR]
"""
import os
import struct
import subprocess
import sys

ROOT = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    folder = os.path.join(ROOT, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def le32(*values):
    return b"".join(struct.pack("<I", v & 0xFFFFFFFF) for v in values)


# --- KSIM: one connection's stream ------------------------------------------

CTL_GET_PIPE_INFO = 0x222000
CTL_VENDOR_REQUEST = 0x222014
CTL_ABORT_PIPE = 0x22203D
CTL_BULK_READ = 0x22204E
CTL_BULK_WRITE = 0x222051
CTL_DOWNLOAD = 0x22206D
CTL_SIM_COMMAND = 0x22F000


def ksim_open(name, access=0xC0000000, share=3):
    return b"KSIM" + le32(1, access, share, len(name)) + name


def ksim_request(code, data_in=b"", out_length=0, out_bytes=b""):
    sends = (code & 3) == 1
    payload = data_in + (out_bytes.ljust(out_length, b"\0") if sends else b"")
    return le32(code, len(data_in), out_length) + payload


def filex_block(direction, opcode, length, a=0, b=0, c=0):
    block = bytes([0xA5, 20, direction, opcode]) + le32(length, a, b, c)
    return block.ljust(64, b"\0")


def bulk_write(pipe, data):
    return ksim_request(CTL_BULK_WRITE, le32(pipe), len(data), data)


def bulk_read(pipe, length):
    return ksim_request(CTL_BULK_READ, le32(pipe), length)


def ksim_seeds():
    device = ksim_open(b"QlxUsb-0")
    mkdir = (bulk_write(3, filex_block(1, 9, 3)) + bulk_write(0, b"/A\0".ljust(64, b"\0"))
             + bulk_read(5, 4))
    opendir = (bulk_write(3, filex_block(1, 13, 2)) + bulk_write(0, b"/\0".ljust(64, b"\0"))
               + bulk_read(5, 4) + bulk_write(3, filex_block(0, 14, 300, 1)) + bulk_read(1, 320)
               + bulk_read(5, 4))
    write("ksim_stream", "pipe-info-mkdir", device + ksim_request(CTL_GET_PIPE_INFO, b"", 1024) + mkdir)
    write("ksim_stream", "listing", device + opendir)
    vendor = struct.pack("<HHHHBB", 0xA0, 0xE600, 0, 1, 0, 1)
    write("ksim_stream", "vendor-download", device + ksim_request(CTL_VENDOR_REQUEST, vendor, 0)
          + ksim_request(CTL_DOWNLOAD, struct.pack("<H", 0), 16, bytes(range(16)))
          + ksim_request(CTL_ABORT_PIPE, le32(1)))
    write("ksim_stream", "control-stats", ksim_open(b"KestrelSim")
          + ksim_request(CTL_SIM_COMMAND, b"stats", 512) + ksim_request(CTL_SIM_COMMAND, b"unplug", 64)
          + ksim_request(CTL_SIM_COMMAND, b"replug", 64))
    write("ksim_stream", "unknown-name", ksim_open(b"Nobody"))


# --- file server: steps (see filex_server_fuzzer.cpp) -----------------------

def fx_command(direction, opcode, length, a=0, b=0, c=0):
    return bytes([0, direction, opcode]) + le32(length, a, b, c)


def fx_data(data):
    return bytes([2]) + struct.pack("<H", len(data)) + data


def fx_read(pipe_status, length):
    return bytes([3, 1 if pipe_status else 0]) + struct.pack("<H", length)


def filex_seeds():
    mkdir = fx_command(1, 9, 3) + fx_data(b"/A\0") + fx_read(True, 4)
    create = fx_command(1, 1, 9, 0x201) + fx_data(b"/A/F.TXT\0") + fx_read(True, 4)
    put = fx_command(1, 5, 10, 3, 10) + fx_data(b"0123456789") + fx_read(True, 4)
    seek = fx_command(2, 4, 0, 3, 2, 0) + fx_read(True, 4)
    get = fx_command(0, 3, 64, 3, 64) + fx_read(False, 64) + fx_read(True, 4)
    close = fx_command(2, 6, 0, 3) + fx_read(True, 4)
    write("filex_server", "mkdir-write-read", mkdir + create + put + seek + get + close)
    listing = (fx_command(1, 13, 2) + fx_data(b"/\0") + fx_read(True, 4)
               + fx_command(0, 14, 300, 1) + fx_read(False, 320) + fx_read(True, 4)
               + fx_command(2, 15, 0, 1) + fx_command(2, 16, 0, 1) + fx_read(True, 4))
    write("filex_server", "listing", mkdir + listing)
    raw = bytes([1, 20]) + bytes([0xA5, 20, 2, 12]) + bytes(16) + fx_read(True, 4)
    write("filex_server", "raw-sync", raw)
    fstat = create + fx_command(0, 2, 72, 3) + fx_read(False, 128) + fx_command(2, 11, 0, 3) + close
    write("filex_server", "fstat-fsync", fstat + fx_command(1, 7, 9) + fx_data(b"/A/F.TXT\0")
          + fx_command(1, 10, 3) + fx_data(b"/A\0") + fx_read(True, 4))


# --- namespace extension readers --------------------------------------------

def item(name, kind=2, size=100, attributes=0x20, type_text=b"File"):
    n = len(name) + 1
    t = len(type_text)
    body = struct.pack("<HIIIIIII", 33 + n + t, kind, size, attributes, 0x6000, 0x5821, n, t)
    return body + name + b"\0" + type_text + b"\0\0\0"


def shellext_seeds():
    folder = item(b"Music", kind=0, attributes=0x10) + item(b"Live", kind=1, attributes=0x10)
    write("shellext_parsers", "item-list", b"\0" + folder + item(b"Concert at the lake.mp3") + b"\0\0\0")
    lists = [folder + b"\0\0", item(b"a.txt") + b"\0\0", item(b"CON.txt") + b"\0\0"]
    offset = 12 + 4 * (len(lists) - 1)
    offsets = []
    for entry in lists:
        offsets.append(offset)
        offset += len(entry)
    block = le32(1, len(lists) - 1, offsets[0]) + le32(*offsets[1:]) + b"".join(lists)
    write("shellext_parsers", "device-items", b"\1" + block)
    write("shellext_parsers", "host-names", b"\2" + b"\0".join([b"CON", b"a..", b"x:y*z", b"Music", b"lpt1.txt "]))
    dropped = b"C:\\Users\\me\\a.txt\0C:\\b\\Folder\0\\\\server\\share\\c.bin\0\0"
    write("shellext_parsers", "dropped-ansi", b"\3" + le32(20, 0, 0, 0, 0) + dropped)
    wide = b"".join(bytes([c, 0]) for c in dropped)
    write("shellext_parsers", "dropped-wide", b"\3" + le32(20, 0, 0, 0, 1) + wide)


# --- update tool ------------------------------------------------------------

def file_spec(content, present=True):
    return bytes([1 if present else 0, len(content)]) + content


def fwupdate_seeds():
    write("fwupdate_core", "line-download", b"\0" + b"C download remote C:\\dir/sub:NAME.BIN")
    write("fwupdate_core", "line-format", b"\0" + b" x  smartmedia   rescueformat   rest of it ")
    image = bytes(range(70))
    files = file_spec(image) + file_spec(b"L1" * 40) + file_spec(b"L2" * 33) + file_spec(b"FP" * 50)
    write("fwupdate_core", "update-both", b"\1" + bytes([3 | 4, 0]) + files)
    write("fwupdate_core", "update-main-fails", b"\1" + bytes([2, 9]) + files)
    write("fwupdate_core", "eeprom", b"\2" + bytes([0]) + struct.pack("<H", 0) + file_spec(image))
    write("fwupdate_core", "eeprom-changed", b"\2" + bytes([1]) + struct.pack("<H", 37) + file_spec(image))


def card_seeds(bin_dir):
    folder = os.path.join(ROOT, "corpus", "card_image")
    os.makedirs(folder, exist_ok=True)
    env = dict(os.environ, KESTREL_FUZZ_WRITE_SEEDS=folder)
    subprocess.run([os.path.join(bin_dir, "fuzz_card_image"), "-runs=0"], env=env, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


if __name__ == "__main__":
    ksim_seeds()
    filex_seeds()
    shellext_seeds()
    fwupdate_seeds()
    if len(sys.argv) > 1:
        card_seeds(sys.argv[1])
