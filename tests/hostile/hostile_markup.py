"""Hostile install.rdf and manifest.json texts for the markup readers: start
tags of "=" signs, documents of nothing but tiny nodes, member names made to
collide in the unseeded hash JSON interning once used, and target
application IDs that collide in libstdc++'s std::hash for strings whatever
its seed. Each family comes at growing sizes up to the extraction caps
(4 MiB of description, 2 MiB of messages), so that the time it costs shows
whether the reading stays linear."""
import random

KIB = 1 << 10
MIB = 1 << 20
DESCRIPTION_CAP = 4 * MIB
MESSAGES_CAP = 2 * MIB
MASK64 = (1 << 64) - 1

RDF_HEAD = (b'<?xml version="1.0"?><RDF xmlns:em="http://www.mozilla.org/2004/em-rdf#">'
            b'<Description about="urn:mozilla:install-manifest" em:id="hostile@example.org" em:name="Hostile">')
RDF_TAIL = b"</Description></RDF>"


def rdf(helpers, body_chunks):
    data, size, crc = helpers.deflate_chunks([RDF_HEAD] + list(body_chunks) + [RDF_TAIL])
    return helpers.raw_zip([(b"install.rdf", 8, data, crc, size)])


def fill(helpers, unit, total):
    """Chunks of `unit` repeated to make an install.rdf of about `total` bytes."""
    count = max(1, (total - len(RDF_HEAD) - len(RDF_TAIL) - 64) // len(unit))
    return helpers.repeated(b"", unit, count, b"")


def sizes(cap):
    """1 KiB, 4 KiB, 16 KiB, ... up to just below the cap."""
    size = KIB
    while size < cap:
        yield size
        size *= 4
    yield cap - 4 * KIB


def label(size):
    return "%dk" % (size // KIB)


def markup_floods(out, helpers):
    # A start tag of "=" signs: every one was an attribute node.
    for size in sizes(DESCRIPTION_CAP):
        chunks = [b"<em:creator "] + list(fill(helpers, b"=", size)) + [b' em:version="1"/>']
        helpers.write(out, "rdf-equals-%s.xpi" % label(size), rdf(helpers, chunks))
    # Documents of the smallest nodes markup has, at 1 MiB and at the cap.
    for name, unit in (("empty-elements", b"<a/>"), ("attributes", b'a="" '), ("nested", b"<a>"),
                       ("text-comments", b"x<!---->"), ("lone-quotes", b'"')):
        for size in (MIB, DESCRIPTION_CAP - 4 * KIB):
            if name in ("attributes", "lone-quotes"):
                chunks = [b"<em:a "] + list(fill(helpers, unit, size)) + [b"/>"]
            else:
                chunks = fill(helpers, unit, size)
            helpers.write(out, "rdf-%s-%s.xpi" % (name, label(size)), rdf(helpers, chunks))


# ---- Member names colliding in the old interning hash ---------------------

FNV_PRIME = 16777619
FNV_INVERSE = pow(FNV_PRIME, -1, 1 << 32)


def old_hash(units):
    h = len(units)
    for u in units:
        h = ((h ^ u) * FNV_PRIME) & 0xFFFFFFFF
    return h


_COLLIDING = []
_NEXT_PREFIX = [0]


def colliding_names(count, bits=19):
    """Distinct 8-unit names whose old hash falls, in its low `bits` bits,
    into a window of 256 values: at every size the open-addressing table
    grows to for these counts, their home slots lie side by side and their
    probe runs merge into one that every new name walks to its end. (One
    low value for all would cap the run at the 2^(32-bits) hashes that
    share it.) The low bits of a product depend only on the low bits of the
    factors, so the last unit steers the low 16 bits; the bits above are
    met by trying prefixes. Later calls reuse the list."""
    base = 0x5A500
    high = ((1 << bits) - 1) & ~0xFFFF
    i = _NEXT_PREFIX[0]
    while len(_COLLIDING) < count:
        prefix = [ord(c) for c in "n%06x" % i]
        target = base + (i & 0xFF)
        i += 1
        h = 8
        for u in prefix:
            h = ((h ^ u) * FNV_PRIME) & 0xFFFFFFFF
        last = (((target & 0xFFFF) * FNV_INVERSE) ^ h) & 0xFFFF
        if ((((h ^ last) * FNV_PRIME) ^ target) & high) == 0:
            _COLLIDING.append(prefix + [last])
    _NEXT_PREFIX[0] = i
    return _COLLIDING[:count]


def escaped(units):
    return b"".join(b"%c" % u if 0x30 <= u < 0x7B and u not in (0x5C,) else b"\\u%04x" % u for u in units)


def members(names, value):
    return b",".join(b'"' + escaped(n) + b'":' + value for n in names)


def json_names(out, helpers):
    manifest_head = b'{"manifest_version":2,"name":"__MSG_name__","version":"1","default_locale":"en","x":{'
    messages_head = b'{"name":{"message":"Hostile"},"x":{'
    tail = b"}}"
    per_name = len(members(colliding_names(1), b"0")) + 1
    for size in (MIB + 64 * KIB, 2 * MIB, DESCRIPTION_CAP - 4 * KIB):
        names = colliding_names((size - len(manifest_head)) // per_name)
        manifest = manifest_head + members(names, b"0") + tail
        helpers.write(out, "json-collide-manifest-%s.xpi" % label(size), helpers.webext(manifest))
    plain = b'{"manifest_version":2,"name":"__MSG_name__","version":"1","default_locale":"en"}'
    for size in (MIB + 64 * KIB, MESSAGES_CAP - 4 * KIB):
        names = colliding_names((size - len(messages_head)) // per_name)
        messages = messages_head + members(names, b"0") + tail
        helpers.write(out, "json-collide-messages-%s.xpi" % label(size), helpers.webext(plain, messages))
    # Distinct names by the tens of thousands, each stored and interned.
    for count in (60000, 120000):
        names = b",".join(b'"d%d":%d' % (i, i) for i in range(count))
        helpers.write(out, "json-distinct-manifest-%d.xpi" % count,
                      helpers.webext(manifest_head + names + tail))
    names = b",".join(b'"d%d":{"message":"m"}' % i for i in range(65000))
    helpers.write(out, "json-distinct-messages-65000.xpi", helpers.webext(plain, messages_head + names + tail))


# ---- Target-application IDs colliding in libstdc++'s std::hash ---------------
#
# libstdc++ hashes the bytes of a string (here the UTF-16 of the folded ID)
# with a MurmurHash2 variant: each 8-byte block k enters as
# h = (h ^ F(k)) * M, F(k) = S(k * M) * M, S(v) = v ^ (v >> 47). A top-bit
# difference in h ^ F(k) survives the multiplication by the odd M as a
# top-bit difference, so the block pairs (a, b) and (a', b') with
# F(a') = F(a) ^ 2^63 and F(b') = F(b) ^ 2^63 leave one state from any start,
# whatever the seed: n such segments give 2^n IDs of one hash.

MURMUR_M = 0xC6A4A7935BD1E995
MURMUR_INVERSE = pow(MURMUR_M, -1, 1 << 64)
TOP = 1 << 63
# F(k') = F(k) ^ 2^63 comes down to k' = k + C for one of two constants
# (which one depends on a bit of k * M); their low 16 bits are zero, so the
# first unit of a block is the same in both spellings.
DELTAS = [((s * (MURMUR_INVERSE << 16)) + TOP) & MASK64 for s in (1, -1)]
DIGITS = list(range(0x30, 0x3A))


def murmur_block(k):
    x = (k * MURMUR_M) & MASK64
    x ^= x >> 47
    return (x * MURMUR_M) & MASK64


def caseless(unit):
    # CJK ideographs and Hangul syllables: no letter case in any locale,
    # three bytes of UTF-8 each.
    return 0x4E00 <= unit <= 0x9FFF or 0xAC00 <= unit <= 0xD7A3


def units_of(block):
    return [(block >> (16 * i)) & 0xFFFF for i in range(4)]


def block_pair(rng):
    """Two 8-byte blocks a, a' with F(a') = F(a) ^ 2^63, each a digit and
    three caseless letters."""
    while True:
        units = [rng.choice(DIGITS)] + [rng.randrange(0x4E00, 0xA000) for _ in range(3)]
        a = sum(u << (16 * i) for i, u in enumerate(units))
        for delta in DELTAS:
            b = (a + delta) & MASK64
            if murmur_block(b) == murmur_block(a) ^ TOP and all(caseless(u) for u in units_of(b)[1:]):
                return a, b


def murmur_ids(count):
    rng = random.Random(0x5BD1E995)
    segments = max(1, (count - 1).bit_length())
    choices = []
    for _ in range(segments):
        (a, a2), (b, b2) = block_pair(rng), block_pair(rng)
        choices.append((units_of(a) + units_of(b), units_of(a2) + units_of(b2)))
    # The counter's low bit picks the last segment, so that IDs made one
    # after the other share a long prefix: every comparison in a crowded
    # bucket then reads most of both IDs.
    ids = []
    for bits in range(count):
        units = []
        for s in range(segments):
            units += choices[s][(bits >> (segments - 1 - s)) & 1]
        ids.append("".join(chr(u) for u in units).encode("utf-8"))
    return ids


def std_hash_bytes(data, seed=0xC70F6907):
    """libstdc++'s _Hash_bytes for a 64-bit size_t, to check the IDs."""
    h = seed ^ ((len(data) * MURMUR_M) & MASK64)
    aligned = len(data) & ~7
    for i in range(0, aligned, 8):
        h = ((h ^ murmur_block(int.from_bytes(data[i:i + 8], "little"))) * MURMUR_M) & MASK64
    if len(data) & 7:
        h = ((h ^ int.from_bytes(data[aligned:], "little")) * MURMUR_M) & MASK64
    h ^= h >> 47
    h = (h * MURMUR_M) & MASK64
    return h ^ (h >> 47)


def target_applications(out, helpers):
    ids = murmur_ids(12000)
    hashes = {std_hash_bytes(i.decode("utf-8").encode("utf-16-le")) for i in ids[:64]}
    assert len(hashes) == 1, "the IDs no longer collide in std::hash"
    for count in (2400, 4800, 9600, 12000):
        # An end tag without a name closes any element: the shortest markup.
        body = b"".join(b'<em:targetApplication><Description em:id="%s"/></>' % i for i in ids[:count])
        helpers.write(out, "rdf-targets-stdhash-%d.xpi" % count, rdf(helpers, [body]))


def declaration_literals(out, helpers):
    # An internal subset of markup declarations whose quoted literals are
    # full of markup, and one literal that never closes: the reader scans
    # each byte once and, for the open one, runs to the end of the input.
    declaration = b'<?xml version="1.0"?>'
    subset_head = declaration + b"<!DOCTYPE RDF ["
    body = RDF_HEAD[len(declaration):] + RDF_TAIL
    for size in (MIB, DESCRIPTION_CAP - 4 * KIB):
        units = max(1, size // 24)
        chunks = [subset_head] + list(helpers.repeated(b"", b"<!ENTITY e \"<a>'>\" '<\">'>", units, b"")) + [b"]>", body]
        data, usize, crc = helpers.deflate_chunks(chunks)
        helpers.write(out, "rdf-quoted-declarations-%s.xpi" % label(size),
                      helpers.raw_zip([(b"install.rdf", 8, data, crc, usize)]))
        chunks = [subset_head, b'<!ENTITY e "'] + list(helpers.repeated(b"", b"<a>'>", size // 5, b"")) + [b"]>", body]
        data, usize, crc = helpers.deflate_chunks(chunks)
        helpers.write(out, "rdf-open-literal-%s.xpi" % label(size),
                      helpers.raw_zip([(b"install.rdf", 8, data, crc, usize)]))


def write_cases(out, helpers):
    markup_floods(out, helpers)
    declaration_literals(out, helpers)
    json_names(out, helpers)
    target_applications(out, helpers)
