#!/usr/bin/env python3
"""Makes the raw PPMd streams (mixed_*.ppmd) of this folder.

The input is text.txt and binary.bin of this folder, three times over
(226,848 bytes): enough to use up a 1 MiB model several times. Each file is
the zip method 98 item data: the 16-bit parameter word (order - 1, memory in
MiB - 1 << 4, restoration method << 12) and then python-ppmd's Ppmd8 output,
which already ends with the end marker.

7-Zip cannot be told to write restoration method 2 (and refuses to read
it), so python-ppmd writes all of them.

Needs Debian's python3-ppmd. Run from this folder: python3 make_ppmd_fixtures.py
"""
import io
import struct

import ppmd

STREAMS = [  # order, memory in MiB, restoration method
    (16, 1, 0),
    (16, 1, 1),
    (2, 1, 1),
    (8, 1, 2),
]


def main():
    text = open("text.txt", "rb").read()
    binary = open("binary.bin", "rb").read()
    data = (text + binary) * 3
    for order, mib, restore in STREAMS:
        out = io.BytesIO()
        enc = ppmd.Ppmd8Encoder(out, order, mib << 20, restore)
        enc.encode(data)
        enc.flush()
        word = (order - 1) | ((mib - 1) << 4) | (restore << 12)
        name = "mixed_o%d_m%d_r%d.ppmd" % (order, mib, restore)
        with open(name, "wb") as f:
            f.write(struct.pack("<H", word) + out.getvalue())
        print(name, len(out.getvalue()) + 2)


if __name__ == "__main__":
    main()
