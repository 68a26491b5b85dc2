#!/usr/bin/env python3
"""Packs the sample add-ons under examples/ into .xpi, .crx and .crx3 files.

Each sample is a folder holding the add-on's files and a PACKAGE file that
says how to pack it:

    output = name.xpi          file to write
    container = zip            zip | crx2 | crx3 | zipext
    method = deflate           deflate | store
    prefix = text              zipext only: leading bytes before the archive
    public_key = keys/x.der    crx2 and crx3: the DER public key to carry,
                               relative to the examples folder (else filler)

The zip records are written here rather than with zipfile so that the output
is byte-for-byte reproducible and so that a "zipext" package keeps its
directory offsets counting from the start of the file, as `zip -A` leaves a
self-extractor.
"""
import hashlib
import os
import struct
import sys
import zlib

DOS_DATE = (2024 - 1980) << 9 | 6 << 5 | 1   # 2024-06-01
DOS_TIME = 12 << 11 | 0 << 5 | 0             # 12:00:00


def read_package_file(path):
    settings = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.strip()
            if line and not line.startswith("#"):
                key, _, value = line.partition("=")
                settings[key.strip()] = value.strip()
    return settings


def collect(folder):
    entries = []
    for root, dirs, files in os.walk(folder):
        dirs.sort()
        for name in sorted(files):
            if root == folder and name == "PACKAGE":
                continue
            full = os.path.join(root, name)
            rel = os.path.relpath(full, folder).replace(os.sep, "/")
            with open(full, "rb") as f:
                entries.append((rel, f.read()))
    return entries


def zip_bytes(entries, method, base_offset=0):
    """A zip archive whose stored offsets are counted from base_offset."""
    out = bytearray()
    central = bytearray()
    for name, data in entries:
        raw_name = name.encode("utf-8")
        flags = 0x0800 if any(b >= 0x80 for b in raw_name) else 0
        crc = zlib.crc32(data) & 0xFFFFFFFF
        if method == "store" or not data:
            method_code, payload = 0, data
        else:
            c = zlib.compressobj(9, zlib.DEFLATED, -15)
            method_code, payload = 8, c.compress(data) + c.flush()
        offset = base_offset + len(out)
        out += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, flags, method_code, DOS_TIME, DOS_DATE,
                           crc, len(payload), len(data), len(raw_name), 0)
        out += raw_name + payload
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 0x031E, 20, flags, method_code,
                               DOS_TIME, DOS_DATE, crc, len(payload), len(data), len(raw_name),
                               0, 0, 0, 0, 0o100644 << 16, offset)
        central += raw_name
    directory_offset = base_offset + len(out)
    out += central
    out += struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(entries), len(entries), len(central),
                       directory_offset, 0)
    return bytes(out)


def filler(seed, size):
    """Deterministic stand-in bytes for keys and signatures."""
    data = b""
    counter = 0
    while len(data) < size:
        data += hashlib.sha256(f"{seed}:{counter}".encode()).digest()
        counter += 1
    return data[:size]


def varint(value):
    out = bytearray()
    while True:
        byte = value & 0x7F
        value >>= 7
        if value:
            out.append(byte | 0x80)
        else:
            out.append(byte)
            return bytes(out)


def proto_bytes(number, payload):
    """One length-delimited protobuf field."""
    return varint(number << 3 | 2) + varint(len(payload)) + payload


def crx3_header(public_key, signature):
    """A CrxFileHeader: one sha256_with_rsa proof (field 2: public_key 1,
    signature 2) and signed_header_data (field 10000), a SignedData whose
    crx_id (field 1) is the first 16 bytes of the key's SHA-256."""
    proof = proto_bytes(1, public_key) + proto_bytes(2, signature)
    signed_data = proto_bytes(1, hashlib.sha256(public_key).digest()[:16])
    return proto_bytes(2, proof) + proto_bytes(10000, signed_data)


def pack(folder, target_dir):
    settings = read_package_file(os.path.join(folder, "PACKAGE"))
    container = settings.get("container", "zip")
    method = settings.get("method", "deflate")
    entries = collect(folder)
    name = settings["output"]
    public_key = None
    if "public_key" in settings:
        with open(os.path.join(os.path.dirname(folder), settings["public_key"]), "rb") as f:
            public_key = f.read()
    if container == "zip":
        data = zip_bytes(entries, method)
    elif container == "zipext":
        prefix = settings.get("prefix", "").replace("\\n", "\n").encode("utf-8") + b"\0" * 64
        data = prefix + zip_bytes(entries, method, base_offset=len(prefix))
    elif container == "crx2":
        key, signature = public_key or filler(name + "key", 162), filler(name + "sig", 128)
        data = b"Cr24" + struct.pack("<III", 2, len(key), len(signature)) + key + signature
        data += zip_bytes(entries, method)
    elif container == "crx3":
        if public_key:
            header = crx3_header(public_key, filler(name + "sig", 256))
        else:
            header = filler(name + "header", 580)
        data = b"Cr24" + struct.pack("<II", 3, len(header)) + header + zip_bytes(entries, method)
    else:
        raise SystemExit(f"{folder}: unknown container {container}")
    with open(os.path.join(target_dir, name), "wb") as f:
        f.write(data)
    return name


def main():
    if len(sys.argv) != 3:
        raise SystemExit("usage: pack-examples.py EXAMPLES_DIR OUTPUT_DIR")
    source, target = sys.argv[1], sys.argv[2]
    os.makedirs(target, exist_ok=True)
    for old in os.listdir(target):
        if old.endswith((".xpi", ".crx", ".crx3")):
            os.remove(os.path.join(target, old))
    for entry in sorted(os.listdir(source)):
        folder = os.path.join(source, entry)
        if os.path.isfile(os.path.join(folder, "PACKAGE")):
            pack(folder, target)


if __name__ == "__main__":
    main()
