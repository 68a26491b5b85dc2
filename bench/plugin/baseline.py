#!/usr/bin/env python3
"""The baseline any user could write: the six manifest values of every
package in a folder, with zipfile and json (ElementTree for install.rdf).
Prints how many packages gave a name."""
import json
import os
import sys
import zipfile
import xml.etree.ElementTree as ET

EM = "{http://www.mozilla.org/2004/em-rdf#}"
KEYS = ("name", "description", "author", "version", "homepage_url", "update_url")


def read(path):
    with zipfile.ZipFile(path) as z:
        names = {n.lower(): n for n in z.namelist()}
        if "install.rdf" in names:
            root = ET.fromstring(z.read(names["install.rdf"]))
            d = root.find("{http://www.w3.org/1999/02/22-rdf-syntax-ns#}Description")
            return {k: d.findtext(EM + k) for k in ("name", "description", "creator", "version",
                                                       "homepageURL", "updateURL")}
        manifest = json.loads(z.read(names["manifest.json"]))
        values = {k: manifest.get(k) for k in KEYS}
        messages = None
        for locale in ("en", "en_US", "en_GB"):
            item = names.get(f"_locales/{locale}/messages.json".lower())
            if item:
                messages = json.loads(z.read(item))
                break
        for k, v in values.items():
            if messages and isinstance(v, str) and v.startswith("__MSG_"):
                values[k] = messages.get(v[6:-2], {}).get("message", v)
        return values


def main():
    folder = sys.argv[1]
    named = 0
    for entry in sorted(os.listdir(folder)):
        try:
            if read(os.path.join(folder, entry)).get("name"):
                named += 1
        except Exception:
            pass
    print(named)


if __name__ == "__main__":
    main()
