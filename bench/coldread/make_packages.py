#!/usr/bin/env python3
"""Generates the packages of the cold-read benchmark, one of each kind.

usage: make_packages.py DIR

xpi-json: a WebExtension XPI (manifest.json, __MSG_ names, en messages);
xpi-rdf: a legacy XPI with install.rdf; crx3: a CRX3 of the same
WebExtension; real-xpi and real-crx: shaped like large packages in the
wild, with a 2,000-entry directory, a 200 KB messages.json and, for the CRX,
3.5 MB in all.
"""
import importlib.util
import json
import os
import random
import struct
import sys

# The zip writer and the filler text of the plugin benchmark's generator.
_spec = importlib.util.spec_from_file_location(
    "plugin_packages", os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "plugin", "make_packages.py"))
_plugin = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(_plugin)
zip_bytes, text = _plugin.zip_bytes, _plugin.text


def crx3(zip_part, rng):
    header = bytes(rng.getrandbits(8) for _ in range(1100))  # keys and signatures
    return b"Cr24" + struct.pack("<II", 3, len(header)) + header + zip_part


MANIFEST = {
    "manifest_version": 2, "name": "__MSG_extName__", "version": "2.4.1",
    "description": "__MSG_extDescription__", "author": "Example Author",
    "homepage_url": "https://example.org/addon", "default_locale": "en",
    "permissions": ["tabs", "storage", "<all_urls>"],
    "background": {"scripts": ["background.js"]},
    "browser_action": {"default_icon": "icons/icon-32.png", "default_title": "__MSG_extName__"},
    "icons": {"48": "icons/icon-48.png", "96": "icons/icon-96.png"},
}


def messages(rng, size):
    out = {"extName": {"message": "Cold Reader"},
           "extDescription": {"message": "Reads pages when they are cold."}}
    i = 0
    while len(json.dumps(out)) < size:
        out[f"msg{i}"] = {"message": text(rng, 60).decode(), "description": text(rng, 30).decode()}
        i += 1
    return json.dumps(out, indent=1).encode()


def webext(rng, entry_count, messages_size, padding):
    entries = [("manifest.json", json.dumps(MANIFEST, indent=2).encode(), True),
               ("_locales/en/messages.json", messages(rng, messages_size), True),
               ("_locales/de/messages.json", messages(rng, 400), True),
               ("background.js", text(rng, 3000), True)]
    i = 0
    while len(entries) < entry_count:
        entries.append((f"lib/module{i:04d}/part.js", text(rng, 200), True))
        i += 1
    if padding:
        entries.append(("images/background.png", bytes(rng.getrandbits(8) for _ in range(padding)), False))
    return zip_bytes(entries)


RDF = """<?xml version="1.0"?>
<RDF xmlns="http://www.w3.org/1999/02/22-rdf-syntax-ns#" xmlns:em="http://www.mozilla.org/2004/em-rdf#">
  <Description about="urn:mozilla:install-manifest">
    <em:id>cold@example.org</em:id><em:name>Cold Legacy</em:name><em:version>1.0.3</em:version>
    <em:type>2</em:type><em:creator>Example Author</em:creator>
    <em:description>A legacy add-on read cold.</em:description>
    <em:homepageURL>https://example.org/legacy</em:homepageURL>
    <em:updateURL>https://example.org/update.rdf</em:updateURL>
    <em:targetApplication><Description><em:id>{ec8030f7-c20a-464f-9b0e-13a3a9e97384}</em:id>
      <em:minVersion>3.0</em:minVersion><em:maxVersion>52.*</em:maxVersion></Description></em:targetApplication>
  </Description>
</RDF>
"""


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    rng = random.Random(17)
    small = webext(rng, 12, 1500, 0)
    legacy = zip_bytes([("install.rdf", RDF.encode(), True), ("chrome.manifest", b"content cold chrome/\n", True),
                        ("chrome/content/overlay.js", text(rng, 3000), True),
                        ("chrome/content/overlay.xul", text(rng, 1500), True)])
    real = webext(rng, 2000, 200000, 0)
    real_crx = webext(rng, 2000, 200000, 3500000 - len(real) - 1200)
    for name, data in (("xpi-json.xpi", small), ("xpi-rdf.xpi", legacy), ("crx3.crx", crx3(small, rng)),
                       ("real-xpi.xpi", real), ("real-crx.crx", crx3(real_crx, rng))):
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
