#!/usr/bin/env python3
"""Generates a reproducible set of add-on packages for the plugin benchmark.

usage: make_packages.py DIR [COUNT]

Mixed kinds (WebExtension XPI with locales, legacy XPI with install.rdf,
CRX2 and CRX3), sizes spread from 50 KB to 5 MB (log-uniform), and entry
counts from a handful to a few hundred, as real add-ons have: scripts and
style sheets that compress, images that do not.
"""
import json
import os
import random
import struct
import sys
import zlib

WORDS = ("tab window page search bookmark history theme color dark light reader mail "
         "calendar download privacy block script style icon toolbar menu option panel").split()


def zip_bytes(entries):
    out, central = bytearray(), bytearray()
    for name, data, compress in entries:
        raw = name.encode()
        crc = zlib.crc32(data) & 0xFFFFFFFF
        if compress:
            c = zlib.compressobj(6, zlib.DEFLATED, -15)
            method, payload = 8, c.compress(data) + c.flush()
        else:
            method, payload = 0, data
        offset = len(out)
        out += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, method, 0, 0x5821, crc, len(payload),
                           len(data), len(raw), 0) + raw + payload
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 0x031E, 20, 0, method, 0, 0x5821, crc,
                               len(payload), len(data), len(raw), 0, 0, 0, 0, 0, offset) + raw
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(entries), len(entries), len(central), len(out), 0)
    return bytes(out + central + end)


def text(rng, size):
    words = []
    total = 0
    while total < size:
        w = rng.choice(WORDS)
        words.append(w)
        total += len(w) + 1
    return " ".join(words).encode()[:size]


def package(rng, index, target_size):
    kind = ("webext", "legacy", "crx2", "crx3")[index % 4]
    name = f"{rng.choice(WORDS).title()} {rng.choice(WORDS).title()} {index}"
    entries = []
    if kind == "legacy":
        rdf = f"""<?xml version="1.0"?>
<RDF xmlns="http://www.w3.org/1999/02/22-rdf-syntax-ns#" xmlns:em="http://www.mozilla.org/2004/em-rdf#">
  <Description about="urn:mozilla:install-manifest">
    <em:id>addon{index}@example.org</em:id><em:name>{name}</em:name><em:version>1.{index}</em:version>
    <em:type>2</em:type><em:creator>Author {index}</em:creator>
    <em:description>{text(rng, 120).decode()}</em:description>
    <em:homepageURL>https://example.org/{index}</em:homepageURL>
    <em:targetApplication><Description><em:id>{{ec8030f7-c20a-464f-9b0e-13a3a9e97384}}</em:id>
      <em:minVersion>3.0</em:minVersion><em:maxVersion>9.*</em:maxVersion></Description></em:targetApplication>
  </Description>
</RDF>
"""
        entries.append(("install.rdf", rdf.encode(), True))
    else:
        manifest = {"manifest_version": 2, "name": "__MSG_name__", "description": "__MSG_desc__",
                    "version": f"2.{index}", "author": f"Author {index}",
                    "homepage_url": f"https://example.org/{index}", "default_locale": "en",
                    "permissions": ["tabs", "storage"]}
        entries.append(("manifest.json", json.dumps(manifest, indent=2).encode(), True))
        for locale in ("de", "en", "fr", "ja", "pt_BR"):
            messages = {"name": {"message": f"{name} ({locale})"}, "desc": {"message": text(rng, 100).decode()}}
            entries.append((f"_locales/{locale}/messages.json", json.dumps(messages).encode(), True))
    count = rng.randint(5, 300)
    remaining = max(target_size - 4000, 1000)
    for i in range(count):
        share = remaining // (count - i)
        if i % 3 == 0:
            entries.append((f"icons/icon{i}.png", rng.randbytes(share), False))
        else:
            # Script-like text compresses about 4:1, so write four times the share.
            entries.append((f"content/script{i}.js", text(rng, share * 4), True))
        remaining -= share
    data = zip_bytes(entries)
    if kind == "crx2":
        key, sig = rng.randbytes(294), rng.randbytes(256)
        data = b"Cr24" + struct.pack("<III", 2, len(key), len(sig)) + key + sig + data
        return f"p{index:04d}.crx", data
    if kind == "crx3":
        header = rng.randbytes(1000)
        data = b"Cr24" + struct.pack("<II", 3, len(header)) + header + data
        return f"p{index:04d}.crx3", data
    return f"p{index:04d}.xpi", data


def main():
    target = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 1000
    os.makedirs(target, exist_ok=True)
    rng = random.Random(20261208)
    for index in range(count):
        size = int(50_000 * (100 ** rng.random()))  # 50 KB to 5 MB
        name, data = package(rng, index, size)
        with open(os.path.join(target, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
