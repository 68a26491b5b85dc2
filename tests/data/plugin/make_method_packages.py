#!/usr/bin/env python3
"""Makes the packages of methods/: one add-on per zip method, whose
manifest.json (and nothing else) is compressed with that method.

Each manifest names its add-on after the method ("Packed with shrink", ...),
so a reader that took the wrong entry or method cannot show the right name.

Where the compressed bytes come from:
  0 stored, 8 deflate (zlib), 12 bzip2 (bz2)   Python's own modules
  1 shrink, 2-5 reduce, 6 implode               the small encoders below,
      written from the zip format description (APPNOTE); no current tool
      writes these methods
  9 deflate64, 14 LZMA, 98 PPMd                 7-Zip (7zz), whose item data
      is taken out of the archive it writes

Method 97 (WavPack) has no package: what it unpacks is always a WAV file,
as the library makes up a RIFF header for a stream that stores none (raw
samples), so no manifest can come out of it.

Needs Debian's 7zip. Run from this folder:
python3 make_method_packages.py
"""
import bz2
import os
import struct
import subprocess
import tempfile
import zlib

DOS_DATE = (2024 - 1980) << 9 | 6 << 5 | 1
DOS_TIME = 12 << 11


def manifest(label):
    text = (
        '{\n'
        '  "manifest_version": 2,\n'
        f'  "name": "Packed with {label}",\n'
        '  "version": "1.0.0",\n'
        '  "description": "One manifest per zip method: the method packs this text, the reader must '
        'unpack this text, and the name shows whether the reader unpacked this text.",\n'
        '  "author": "Method Sampler",\n'
        '  "homepage_url": "https://example.org/methods",\n'
        '  "permissions": ["tabs", "storage", "tabs", "storage", "activeTab", "contextMenus"],\n'
        '  "background": { "scripts": ["background.js"], "persistent": false },\n'
        '  "browser_action": { "default_title": "Methods", "default_popup": "popup.html" }\n'
        '}\n')
    return text.encode("utf-8")


class BitWriter:
    """Bits packed from the least significant end of each byte, as every
    zip method here expects."""

    def __init__(self):
        self.out = bytearray()
        self.acc = 0
        self.count = 0

    def put(self, value, bits):
        self.acc |= (value & ((1 << bits) - 1)) << self.count
        self.count += bits
        while self.count >= 8:
            self.out.append(self.acc & 0xFF)
            self.acc >>= 8
            self.count -= 8

    def finish(self):
        if self.count:
            self.out.append(self.acc & 0xFF)
        self.acc = self.count = 0
        return bytes(self.out)


def shrink(data):
    """LZW with 9- to 13-bit codes; code 256 then 1 widens the codes."""
    w = BitWriter()
    size = 9
    table = {bytes([i]): i for i in range(256)}
    free = 257

    def emit(code):
        nonlocal size
        while code >= 1 << size:
            w.put(256, size)
            w.put(1, size)
            size += 1
        w.put(code, size)

    current = b""
    for b in data:
        longer = current + bytes([b])
        if longer in table:
            current = longer
            continue
        emit(table[current])
        if free < 8192:
            table[longer] = free
            free += 1
        current = bytes([b])
    if current:
        emit(table[current])
    return w.finish()


def longest_match(data, at, max_distance, max_length, min_length):
    best_length, best_distance = 0, 0
    for distance in range(1, min(at, max_distance) + 1):
        length = 0
        while at + length < len(data) and length < max_length and data[at + length - distance] == data[at + length]:
            length += 1
        if length > best_length:
            best_length, best_distance = length, distance
    return (best_length, best_distance) if best_length >= min_length else (0, 0)


def reduce(data, factor):
    """Reduce with compression factor 1-4: copies escaped by 144 (DLE) with
    the length in the low bits of the next byte and the distance's high bits
    above it; then the follower-set layer, with every set left empty so that
    each byte goes out as 8 plain bits."""
    mask = 0xFF >> factor
    stream = bytearray()
    at = 0
    while at < len(data):
        length, distance = longest_match(data, at, 256 << factor, mask + 255 + 3, 3)
        if length:
            extra = length - 3
            v = ((distance - 1) >> 8) << (8 - factor) | min(extra, mask)
            if v != 0:  # 144, 0 is a literal 144
                stream += bytes([144, v])
                if extra >= mask:
                    stream.append(extra - mask)
                stream.append((distance - 1) & 0xFF)
                at += length
                continue
        stream.append(data[at])
        if data[at] == 144:
            stream.append(0)
        at += 1
    w = BitWriter()
    for _ in range(256):
        w.put(0, 6)
    for b in stream:
        w.put(b, 8)
    return w.finish()


def implode(data, large_window, literal_tree):
    """Implode with Shannon-Fano trees in which every code has the same
    length (8 bits for 256 literals, 6 bits for 64 lengths or distance high
    parts). Codes are handed out from the end of the sorted list, so value i
    of such a tree has the code N-1-i, sent from its top bit down. A copy is
    the distance's low bits, its high part, then the length."""
    w = BitWriter()

    def tree(codes, bits):
        groups = codes // 16
        w.put(groups - 1, 8)
        for _ in range(groups):
            w.put(15 << 4 | (bits - 1), 8)

    def code(value, bits):
        value = (1 << bits) - 1 - value
        for k in range(bits - 1, -1, -1):
            w.put(value >> k & 1, 1)

    head = bytearray()
    if literal_tree:
        head += bytes([15]) + bytes([0xF7]) * 16
    head += bytes([3]) + bytes([0xF5]) * 4
    head += bytes([3]) + bytes([0xF5]) * 4
    for b in head:
        w.put(b, 8)
    low_bits = 7 if large_window else 6
    min_length = 3 if literal_tree else 2
    at = 0
    while at < len(data):
        length, distance = longest_match(data, at, 64 << low_bits, 63 + 255 + min_length, min_length)
        if length:
            w.put(0, 1)
            d = distance - 1
            w.put(d & ((1 << low_bits) - 1), low_bits)
            code(d >> low_bits, 6)
            extra = length - min_length
            code(min(extra, 63), 6)
            if extra >= 63:
                w.put(extra - 63, 8)
            at += length
        else:
            w.put(1, 1)
            if literal_tree:
                code(data[at], 8)
            else:
                w.put(data[at], 8)
            at += 1
    return w.finish()


def item_from_7zip(data, switches):
    """The compressed bytes and flags of manifest.json packed by 7-Zip."""
    with tempfile.TemporaryDirectory() as tmp:
        with open(os.path.join(tmp, "manifest.json"), "wb") as f:
            f.write(data)
        subprocess.run(["7zz", "a", "-tzip", "-bd", "-bso0"] + switches + ["out.zip", "manifest.json"],
                       cwd=tmp, check=True)
        with open(os.path.join(tmp, "out.zip"), "rb") as f:
            z = f.read()
    flags, method = struct.unpack_from("<HH", z, 6)
    size, = struct.unpack_from("<I", z, 18)
    name_length, extra_length = struct.unpack_from("<HH", z, 26)
    start = 30 + name_length + extra_length
    return method, flags, z[start:start + size]


def deflate(data):
    c = zlib.compressobj(9, zlib.DEFLATED, -15)
    return c.compress(data) + c.flush()


def version_needed(method):
    return {8: 20, 9: 21, 12: 46}.get(method, 10 if method < 8 else 63)


def package(data, method, flags, payload):
    name = b"manifest.json"
    version = version_needed(method)
    crc = zlib.crc32(data) & 0xFFFFFFFF
    local = struct.pack("<IHHHHHIIIHH", 0x04034B50, version, flags, method, DOS_TIME, DOS_DATE, crc,
                        len(payload), len(data), len(name), 0) + name + payload
    central = struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 0x0300 | version, version, flags, method, DOS_TIME, DOS_DATE,
                          crc, len(payload), len(data), len(name), 0, 0, 0, 0, 0o100644 << 16, 0) + name
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 1, 1, len(central), len(local), 0)
    return local + central + end


# file name, label in the add-on's name, how to pack
PACKAGES = [
    ("m00_stored.xpi", "store", lambda d: (0, 0, d)),
    ("m01_shrink.xpi", "shrink", lambda d: (1, 0, shrink(d))),
    ("m02_reduce1.xpi", "reduce 1", lambda d: (2, 0, reduce(d, 1))),
    ("m03_reduce2.xpi", "reduce 2", lambda d: (3, 0, reduce(d, 2))),
    ("m04_reduce3.xpi", "reduce 3", lambda d: (4, 0, reduce(d, 3))),
    ("m05_reduce4.xpi", "reduce 4", lambda d: (5, 0, reduce(d, 4))),
    ("m06_implode_4k2t.xpi", "implode 4K 2 trees", lambda d: (6, 0, implode(d, False, False))),
    ("m06_implode_8k3t.xpi", "implode 8K 3 trees", lambda d: (6, 6, implode(d, True, True))),
    ("m08_deflate.xpi", "deflate", lambda d: (8, 2, deflate(d))),
    ("m09_deflate64.xpi", "deflate64", lambda d: item_from_7zip(d, ["-mm=Deflate64", "-mx=9"])),
    ("m12_bzip2.xpi", "bzip2", lambda d: (12, 0, bz2.compress(d, 9))),
    ("m14_lzma.xpi", "LZMA", lambda d: item_from_7zip(d, ["-mm=LZMA", "-mx=9"])),
    ("m98_ppmd.xpi", "PPMd", lambda d: item_from_7zip(d, ["-mm=PPMd", "-mx=9"])),
]


def main():
    os.makedirs("methods", exist_ok=True)
    for file_name, label, pack in PACKAGES:
        data = manifest(label)
        method, flags, payload = pack(data)
        with open(os.path.join("methods", file_name), "wb") as f:
            f.write(package(data, method, flags, payload))
        print(f"{file_name}: method {method}, flags {flags:#06x}, {len(data)} -> {len(payload)} bytes")


if __name__ == "__main__":
    main()
