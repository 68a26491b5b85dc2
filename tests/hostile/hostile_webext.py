"""Hostile CRX3 protobuf headers and WebExtension manifests: lengths far
past the header, varints that never end, nesting a million deep, proofs by
the hundred thousand; permission arrays up to the extraction cap, repeated
or resolving to long messages, and manifests made mostly of comments."""
import struct

MIB = 1 << 20


def varint(value):
    out = bytearray()
    while True:
        byte = value & 0x7F
        value >>= 7
        out.append(byte | 0x80 if value else byte)
        if not value:
            return bytes(out)


def field(number, payload):
    return varint(number << 3 | 2) + varint(len(payload)) + payload


def crx3(helpers, header):
    zip_part = helpers.webext(b'{"name":"Crx3","version":"1","permissions":["tabs"]}')
    return b"Cr24" + struct.pack("<II", 3, len(header)) + header + zip_part


def nested(depth, core):
    """`depth` length-delimited fields, each inside the one before."""
    tag = varint(1 << 3 | 2)
    heads, length = [], len(core)
    for _ in range(depth):
        head = tag + varint(length)
        heads.append(head)
        length += len(head)
    return b"".join(reversed(heads)) + core


def package(helpers, manifest_chunks, messages=None):
    data, size, crc = helpers.deflate_chunks(manifest_chunks)
    entries = [(b"manifest.json", 8, data, crc, size)]
    if messages is not None:
        mdata, msize, mcrc = helpers.deflate_chunks(messages)
        entries.append((b"_locales/en/messages.json", 8, mdata, mcrc, msize))
    return helpers.raw_zip(entries)


def write_cases(folder, helpers):
    key = bytes(range(256)) + bytes(38)
    signed = field(10000, field(1, bytes(16)))
    headers = {
        "length-huge": varint(2 << 3 | 2) + varint(1 << 62) + key,
        "length-max": varint(10000 << 3 | 2) + b"\xff" * 9 + b"\x01",
        "varint-endless": varint(2 << 3 | 2) + b"\xff" * 4096,
        "varint-truncated": signed + b"\x80",
        "key-endless": b"\x80" * (MIB - 16),
        "groups": varint(2 << 3 | 3) * 1000 + varint(2 << 3 | 4) * 1000,
        "deep-proof": nested(200000, key),
        "deep-signed": field(10000, nested(200000, bytes(16))),
        "many-proofs": field(2, field(1, key)) * 3000 + field(3, field(1, b"k")) * 100000 + signed,
        "many-signed": signed * 40000,
        "unknown-fields": (varint(99 << 3 | 0) + varint(1 << 63)) * 100000 + signed,
        "over-the-read-limit": field(2, field(1, key)) * 4000,
    }
    for tag, header in headers.items():
        helpers.write(folder, "crx3-%s.crx3" % tag, crx3(helpers, header))
    # A CRX2 whose key fills a megabyte.
    helpers.write(folder, "crx2-key-1mib.crx",
                  b"Cr24" + struct.pack("<III", 2, MIB, 0) + bytes(MIB) +
                  helpers.webext(b'{"name":"Crx2","version":"1"}'))

    # Permission arrays up to the 4 MiB cap: all distinct, all the same, and
    # every one a reference to a long message or to one of many messages.
    def array(unit_of, count, head=b'{"name":"Perm","permissions":[', tail=b'"last"]}'):
        yield head
        for start in range(0, count, 4096):
            yield b"".join(unit_of(i) for i in range(start, min(count, start + 4096)))
        yield tail

    helpers.write(folder, "permissions-distinct.xpi",
                  package(helpers, array(lambda i: b'"p%d",' % i, 4 * MIB // 10)))
    helpers.write(folder, "permissions-same.xpi", package(helpers, array(lambda i: b'"tabs",', 4 * MIB // 7)))
    helpers.write(folder, "permissions-objects.xpi",
                  package(helpers, array(lambda i: b'{"a":[%d]},' % i, 4 * MIB // 12)))
    long_message = [b'{"long":{"message":"', b"L" * (2 * MIB - 64), b'"}}']
    helpers.write(folder, "permissions-long-message.xpi",
                  package(helpers, array(lambda i: b'"__MSG_long__",', 4 * MIB // 16), long_message))
    # Names that all reach the one long message: blanks around a path name
    # are trimmed.
    helpers.write(folder, "permissions-long-message-spelled.xpi",
                  package(helpers, array(lambda i: b'"__MSG_' + b" " * (i % 64) + b'long__",', 100000),
                          long_message))
    many = [b"{"] + [b'"m%d":{"message":"%s"},' % (i, b"v" * 40) for i in range(40000)] + [b'"z":{"message":"z"}}']
    helpers.write(folder, "permissions-many-messages.xpi",
                  package(helpers, array(lambda i: b'"__MSG_m%d__",' % (i % 40000), 4 * MIB // 16), many))
    helpers.write(folder, "permissions-four-lists.xpi",
                  package(helpers, [b'{"name":"Four"'] +
                          [b',"%s":[' % n + b",".join(b'"x%d"' % i for i in range(100000)) + b"]"
                           for n in (b"permissions", b"host_permissions", b"optional_permissions",
                                     b"optional_host_permissions")] + [b"}"]))
    # Repeated members: each settings object searched for its members.
    helpers.write(folder, "settings-repeated.xpi",
                  package(helpers, [b'{"name":"S"'] + [b',"browser_specific_settings":{"gecko":{"id":"a%d"}}' % i
                                                        for i in range(100000)] + [b"}"]))
    helpers.write(folder, "gecko-members.xpi",
                  package(helpers, [b'{"name":"G","applications":{"gecko":{'] +
                          [b'"strict_min_version":"%d",' % i for i in range(300000)] + [b'"id":"g"}}}']))
    # Keys: one of 4 MiB of base64, one of 4 MiB that is no base64.
    helpers.write(folder, "key-4mib.xpi",
                  package(helpers, [b'{"name":"K","key":"', b"QUJD" * (MIB - 16), b'"}']))
    helpers.write(folder, "key-4mib-blanks.xpi",
                  package(helpers, [b'{"name":"K","key":"', b" " * (4 * MIB - 64), b'!"}']))

    # Comments: a manifest of nothing but comment lines, one of a single
    # 4 MiB comment, one where every member is followed by one, and slashes
    # that stop short of a comment.
    helpers.write(folder, "comments-lines.xpi",
                  package(helpers, [b'{"name":"C"\n'] + [b"//\n" * 65536] * 21 + [b"}"]))
    helpers.write(folder, "comments-one-line.xpi",
                  package(helpers, [b'{"name":"C"} //', b"/" * (4 * MIB - 64)]))
    helpers.write(folder, "comments-after-members.xpi",
                  package(helpers, [b"{"] + [b'"m%d":%d, // member\n' % (i, i) for i in range(150000)] +
                          [b'"name":"C"}']))
    helpers.write(folder, "comments-in-messages.xpi",
                  package(helpers, [b'{"name":"__MSG_n__"}'],
                          [b'{"n":{"message":"N"}\n'] + [b"// note\n" * 65536] * 4 + [b"}"]))
    helpers.write(folder, "comments-lone-slashes.xpi",
                  package(helpers, [b'{"name":"C",' + b'"a": 1 /,' * 400000 + b'"b":2}']))
