"""Hostile zip structure: files whose records make a reader search, decode
or hold more than they hold themselves. Large files without end records
(sparse: they cost no disk), Deflate data of blocks that hold nothing but
their headers, directories of empty entries (also as the zip part of a
CRX3, read in place), entries with long names that are not
UTF-8, and names chosen to share one chain of a fixed name hash. Each
family comes at growing sizes, so that what it costs shows whether reading
stays linear and bounded."""
import os
import struct
import zlib

MIB = 1 << 20
GIB = 1 << 30
MANIFEST = b'{"manifest_version":2,"name":"Zip case","version":"1.0"}'


def sparse(folder, name, head, size, tail=b""):
    """A file of `size` bytes: `head`, a hole, `tail` at the very end."""
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(head)
        f.truncate(size)
        if tail:
            f.seek(size - len(tail))
            f.write(tail)


def end_records(helpers, count, cd_size, cd_offset):
    """The zip64 end record and locator (for counts past the classic field),
    then the classic end record."""
    if count < 0xFFFF:
        return helpers.end_record(count, cd_size, cd_offset)
    z64_at = cd_offset + cd_size
    z64 = struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, count, count, cd_size, cd_offset)
    locator = struct.pack("<IIQI", 0x07064B50, 0, z64_at, 1)
    classic = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0)
    return z64 + locator + classic


def package_with_entries(helpers, central_entries):
    """A manifest, then the given central entries (bytes each, all pointing
    at the manifest's local header), the manifest's own entry last."""
    local = helpers.local_header(b"manifest.json", 0, zlib.crc32(MANIFEST), len(MANIFEST), len(MANIFEST)) + MANIFEST
    own = helpers.central_header(b"manifest.json", 0, zlib.crc32(MANIFEST), len(MANIFEST), len(MANIFEST), 0)
    central = b"".join(central_entries) + own
    count = len(central_entries) + 1
    return local + central + end_records(helpers, count, len(central), len(local))


# ---- Deflate blocks with only a header -----------------------------------

ORDER = [16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15]


class Bits:
    def __init__(self):
        self.acc, self.count, self.out = 0, 0, bytearray()

    def put(self, value, count):
        self.acc |= value << self.count
        self.count += count
        while self.count >= 8:
            self.out.append(self.acc & 0xFF)
            self.acc >>= 8
            self.count -= 8

    def code(self, code, length):
        """Huffman codes are sent from their most significant bit."""
        self.put(int(format(code, "0%db" % length)[::-1], 2), length)


def canonical(lengths):
    count = [0] * 17
    for l in lengths:
        count[l] += 1
    count[0] = 0
    code, first = 0, [0] * 17
    for l in range(1, 17):
        code = (code + count[l - 1]) << 1
        first[l] = code
    codes = []
    for l in lengths:
        codes.append(first[l])
        if l:
            first[l] += 1
    return codes


def long_complete_code(n, longest):
    """A complete code of n symbols with as many `longest`-bit codes as fit."""
    units, lengths = (1 << longest) - n, []
    for _ in range(n):
        l = 1
        while (1 << (longest - l)) - 1 > units:
            l += 1
        units -= (1 << (longest - l)) - 1
        lengths.append(l)
    return lengths


def header_only_block(bits, lit, dist):
    """A dynamic block declaring every literal/length and distance code and
    holding only its end-of-block code; zlib takes it too."""
    runs, lengths, i = [], lit + dist, 0
    while i < len(lengths):
        j = i
        while j < len(lengths) and lengths[j] == lengths[i]:
            j += 1
        runs.append((lengths[i], None))
        left = j - i - 1
        while left >= 3:
            r = min(left, 6)
            runs.append((16, r - 3))
            left -= r
        runs += [(lengths[i], None)] * left
        i = j
    cl = [5] * 16 + [1, 0, 0]  # 0-15 with five bits, the repeat with one
    cl_codes = canonical(cl)
    bits.put(0, 1)
    bits.put(2, 2)
    bits.put(len(lit) - 257, 5)
    bits.put(len(dist) - 1, 5)
    bits.put(19 - 4, 4)
    for symbol in ORDER:
        bits.put(cl[symbol], 3)
    for symbol, extra in runs:
        bits.code(cl_codes[symbol], cl[symbol])
        if extra is not None:
            bits.put(extra, 2)
    bits.code(canonical(lit)[256], lit[256])


def empty_blocks(kind, size):
    """Deflate data of about `size` bytes of blocks that produce nothing,
    then a final fixed block with one byte 'x'."""
    bits = Bits()
    if kind == "dynamic":
        # Eight blocks end on a byte boundary whatever their bit length, so
        # the group repeats as bytes.
        lit, dist = long_complete_code(286, 9), long_complete_code(30, 5)
        for _ in range(8):
            header_only_block(bits, lit, dist)
    elif kind == "fixed":
        for _ in range(4):  # 10 bits each
            bits.put(0b010, 3)
            bits.put(0, 7)
    else:
        bits.put(0, 3)
        bits.put(0, 5)
        bits.put(0, 16)
        bits.put(0xFFFF, 16)
    assert bits.count == 0
    group = bytes(bits.out)
    tail = Bits()
    tail.put(0b011, 3)  # final, fixed
    tail.code(0x30 + ord("x"), 8)
    tail.put(0, 7)
    tail.put(0, 8)
    data = group * (size // len(group)) + bytes(tail.out)
    assert zlib.decompress(data, -15) == b"x"
    return data


# ---- Names -----------------------------------------------------------------

def elf_bucket(name):
    """The bucket a fixed ELF hash over the upper-cased name gives, among
    1021: what a reader without a keyed hash might use."""
    h = 0
    for c in name.upper():
        h = (h << 4) + c
        g = h & 0xF0000000
        if g:
            h ^= g >> 24
        h &= ~g & 0xFFFFFFFF
    return h % 1021


def names_in_bucket(target, count):
    """`count` distinct six-byte names in one ELF bucket: below 2^28 the
    hash is linear, so the last three bytes follow from the first three."""
    chars = list(range(0x30, 0x5B))  # digits, some punctuation, capitals
    names = []
    for a in chars:
        for b in chars:
            for c in chars:
                base = (a << 20) + (b << 16) + (c << 12)
                for d in chars:
                    need = (target - base - (d << 8)) % 1021
                    # 16 * e + f must be `need` modulo 1021, e and f chars.
                    pair = next(((e, v - 16 * e) for v in (need, need + 1021) for e in chars
                                 if 0x30 <= v - 16 * e <= 0x5A), None)
                    if pair is None:
                        continue
                    e, f = pair
                    name = bytes([a, b, c, d, e, f])
                    assert elf_bucket(name) == target
                    names.append(name)
                    if len(names) == count:
                        return names
    return names


def write_cases(folder, helpers):
    # No end record anywhere: the search may read only the file's tail.
    for gib in (1, 8):
        sparse(folder, "search-pk-no-end-%dgb.xpi" % gib, b"PK\x03\x04", gib * GIB)
        # An end record announcing zip64 records without a locator.
        classic = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0)
        sparse(folder, "search-zip64-no-locator-%dgb.xpi" % gib, b"PK\x03\x04", gib * GIB, classic)

    # The manifest's Deflate data: blocks that build tables and produce
    # nothing, in an item whose stored sizes are the data's own.
    for kind, sizes in (("dynamic", (4, 16, 42)), ("fixed", (16,)), ("stored", (16,))):
        for mib in sizes:
            data = empty_blocks(kind, mib * MIB)
            helpers.write(folder, "deflate-empty-%s-blocks-%dmb.xpi" % (kind, mib),
                          helpers.raw_zip([(b"manifest.json", 8, data, zlib.crc32(b"x"), 1)]))

    # Directories of empty 46-byte entries, and one just within the limit
    # of entries the reader takes.
    empty = helpers.central_header(b"", 0, 0, 0, 0, 0)
    for mib in (4, 16, 64):
        helpers.write(folder, "directory-empty-entries-%dmb.xpi" % mib,
                      package_with_entries(helpers, [empty] * (mib * MIB // len(empty))))
    names = [b"d%07d" % i for i in range(100000 - 1)]
    helpers.write(folder, "directory-100000-entries.xpi",
                  package_with_entries(helpers, [helpers.central_header(n, 0, 0, 0, 0, 0) for n in names]))
    # The same as the zip part of a CRX3.
    zip_part = package_with_entries(helpers, [empty] * (63 * MIB // len(empty)))
    helpers.write(folder, "crx3-directory-empty-entries-63mb.crx3", b"Cr24" + struct.pack("<II", 3, 0) + zip_part)

    # Long names that are not UTF-8 (0xE9 alone), decoded through the ANSI
    # and OEM code page rules.
    for count in (64, 128, 700):
        long_name = lambda i: b"%05d" % i + b"\xE9" * (65535 - 5)
        helpers.write(folder, "names-long-ansi-%d.xpi" % count,
                      package_with_entries(helpers, [helpers.central_header(long_name(i), 0, 0, 0, 0, 0)
                                                     for i in range(count)]))

    # Names that a fixed hash puts in the chains of the looked-up names.
    for count in (6000, 60000):
        shared = names_in_bucket(elf_bucket(b"manifest.json"), count // 2) + \
            names_in_bucket(elf_bucket(b"install.rdf"), count // 2)
        helpers.write(folder, "names-one-bucket-%d.xpi" % count,
                      package_with_entries(helpers, [helpers.central_header(n, 0, 0, 0, 0, 0) for n in shared]))
