#!/usr/bin/env python3
"""Makes the WavPack (method 97) fixtures of this folder.

Each WAV is generated here, packed by the wavpack tool (which keeps the RIFF
header and any trailing chunks inside the .wv stream), and the .wv is stored
as the entry data of a zip whose size and CRC-32 are those of the WAV. No
common zip tool writes method 97, so the records are written by hand.

Run from this folder: python3 make_wv_fixtures.py
"""
import math
import os
import random
import struct
import subprocess
import tempfile
import zlib


def wav_bytes(channels, width, rate, frames, fmt_tag=1, trailer=b""):
    rnd = random.Random(channels * 1000 + width)
    out = bytearray()
    for i in range(frames):
        for c in range(channels):
            s = math.sin(2 * math.pi * (440 + 110 * c) * i / rate) * 0.6 + rnd.uniform(-0.05, 0.05)
            if fmt_tag == 3:
                out += struct.pack("<f", s)
            elif width == 1:
                out.append(max(0, min(255, int(128 + s * 127))))
            else:
                full = (1 << (8 * width - 1)) - 1
                out += int(s * full).to_bytes(width, "little", signed=True)
    block = channels * width
    fmt = struct.pack("<HHIIHH", fmt_tag, channels, rate, rate * block, block, 8 * width)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt
    body += b"data" + struct.pack("<I", len(out)) + bytes(out)
    if len(out) % 2:
        body += b"\0"
    body += trailer
    return b"RIFF" + struct.pack("<I", len(body)) + body


def zip_bytes(name, data, size, crc):
    n = name.encode()
    local = struct.pack("<IHHHHHIIIHH", 0x04034B50, 63, 0, 97, 0, 0x5021, crc, len(data), size, len(n), 0) + n
    central = struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 63, 63, 0, 97, 0, 0x5021, crc, len(data), size,
                          len(n), 0, 0, 0, 0, 0, 0) + n
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 1, 1, len(central), len(local) + len(data), 0)
    return local + data + central + end


def make(stem, wav):
    with tempfile.TemporaryDirectory() as tmp:
        wav_path = os.path.join(tmp, stem + ".wav")
        wv_path = os.path.join(tmp, stem + ".wv")
        with open(wav_path, "wb") as f:
            f.write(wav)
        subprocess.run(["wavpack", "-q", "-y", wav_path, "-o", wv_path], check=True)
        with open(wv_path, "rb") as f:
            wv = f.read()
    with open(os.path.join("payloads", stem + ".wav"), "wb") as f:
        f.write(wav)
    with open("wv_" + stem + ".zip", "wb") as f:
        f.write(zip_bytes(stem + ".wav", wv, len(wav), zlib.crc32(wav)))


LIST = b"LIST" + struct.pack("<I", 16) + b"INFOISFT" + struct.pack("<I", 4) + b"abc\0"
make("s24_stereo", wav_bytes(2, 3, 8000, 1500))
make("s16_mono_trailer", wav_bytes(1, 2, 8000, 3001, trailer=LIST))
make("f32_stereo", wav_bytes(2, 4, 8000, 1200, fmt_tag=3))
make("s32_mono", wav_bytes(1, 4, 8000, 1500))
make("u8_stereo", wav_bytes(2, 1, 8000, 2500))
