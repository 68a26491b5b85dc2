#!/usr/bin/env python3
"""Writes the hostile package corpus into a folder, one subfolder per group.

Usage: make_hostile.py OUT_DIR EXAMPLES_DIR

Every file is made here at test time, so the repository keeps only this
script. Large contents are declared or compressed, never stored raw: the
whole corpus stays a few tens of megabytes on disk.
"""
import os
import random
import struct
import sys
import zipfile
import zlib

MIB = 1 << 20


def deflate_chunks(chunks):
    """Raw deflate of the concatenated chunks, and their total length and crc."""
    comp = zlib.compressobj(6, zlib.DEFLATED, -15)
    out, size, crc = [], 0, 0
    for chunk in chunks:
        out.append(comp.compress(chunk))
        size += len(chunk)
        crc = zlib.crc32(chunk, crc)
    out.append(comp.flush())
    return b"".join(out), size, crc


def repeated(head, unit, count, tail, step=4096):
    """head + unit*count + tail, as chunks."""
    yield head
    block = unit * step
    while count >= step:
        yield block
        count -= step
    yield unit * count
    yield tail


def local_header(name, method, crc, csize, usize, extra=b""):
    return struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, method, 0, 0, crc, csize, usize,
                       len(name), len(extra)) + name + extra


def central_header(name, method, crc, csize, usize, offset, extra=b""):
    return struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, method, 0, 0, crc, csize, usize,
                       len(name), len(extra), 0, 0, 0, 0, offset) + name + extra


def end_record(count, cd_size, cd_offset):
    return struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, count & 0xFFFF, count & 0xFFFF, cd_size, cd_offset, 0)


def raw_zip(entries):
    """entries: (name, method, data, crc, declared_usize[, declared_csize]).
    Sizes may lie; the data is written as given."""
    body, central = b"", b""
    for e in entries:
        name, method, data, crc, usize = e[:5]
        csize = e[5] if len(e) > 5 else len(data)
        offset = len(body)
        body += local_header(name, method, crc, csize, usize) + data
        central += central_header(name, method, crc, csize, usize, offset)
    return body + central + end_record(len(entries), len(central), len(body))


def webext(manifest, messages=None, method=zipfile.ZIP_DEFLATED):
    import io
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", method) as z:
        z.writestr("manifest.json", manifest)
        if messages is not None:
            z.writestr("_locales/en/messages.json", messages)
    return out.getvalue()


def write(folder, name, data):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def bombs(out):
    # Overlapping entries: a thousand directory entries share one local
    # entry whose data inflates to 100 MB of JSON-looking text.
    data, size, crc = deflate_chunks(repeated(b'{"name":"Bomb","description":"', b"a", 100 * MIB, b'"}'))
    local = local_header(b"manifest.json", 8, crc, len(data), size) + data
    central = b""
    names = [b"manifest.json", b"install.rdf", b"_locales/en/messages.json"] + \
            [b"f%04d" % i for i in range(997)]
    for name in names:
        central += central_header(name, 8, crc, len(data), size, 0)
    write(out, "overlap.xpi", local + central + end_record(len(names), len(central), len(local)))

    # Nested: the description is itself a zip of zips of zeros, and the
    # install.rdf and manifest.json entries share its data.
    zeros, zsize, zcrc = deflate_chunks(repeated(b"", b"\0", 16 * MIB, b""))
    inner = raw_zip([(b"z%02d" % i, 8, zeros, zcrc, zsize) for i in range(16)])
    middle = raw_zip([(b"i%02d.zip" % i, 0, inner, zlib.crc32(inner), len(inner)) for i in range(4)])
    local = local_header(b"install.rdf", 0, zlib.crc32(middle), len(middle), len(middle)) + middle
    central = b"".join(central_header(n, 0, zlib.crc32(middle), len(middle), len(middle), 0)
                       for n in (b"install.rdf", b"manifest.json"))
    write(out, "nested.xpi", local + central + end_record(2, len(central), len(local)))

    # A valid manifest whose description is 60 MB long, and one whose
    # messages file is 100 MB of valid messages.
    data, size, crc = deflate_chunks(repeated(b'{"name":"Long","description":"', b"d", 60 * MIB, b'"}'))
    write(out, "long-description.xpi", raw_zip([(b"manifest.json", 8, data, crc, size)]))
    manifest = b'{"name":"__MSG_n__","description":"__MSG_d__","default_locale":"en"}'
    msg, msize, mcrc = deflate_chunks(repeated(b'{"n":{"message":"Name"},', b'"m":{"message":"x"},',
                                               100 * MIB // 20, b'"d":{"message":"D"}}'))
    write(out, "messages-100mb.xpi", raw_zip([(b"manifest.json", 0, manifest, zlib.crc32(manifest), len(manifest)),
                                              (b"_locales/en/messages.json", 8, msg, mcrc, msize)]))
    # Stated sizes that lie upwards: the streams are sized from them, up to
    # their caps, so each claims the most it may; the data are a few bytes.
    small = b'{"name":"__MSG_n__","default_locale":"en"}'
    small_msg = b'{"n":{"message":"Stated"}}'
    write(out, "stated-sizes.xpi", raw_zip([
        (b"manifest.json", 0, small, zlib.crc32(small), 0xFFFFFFFE),
        (b"_locales/en/messages.json", 0, small_msg, zlib.crc32(small_msg), 0xFFFFFFFE)]))
    # Many small nodes: arrays of numbers and elements fill a reader's tree.
    data, size, crc = deflate_chunks(repeated(b'{"name":"N","a":[', b"0,", 50 * MIB, b'0]}'))
    write(out, "json-nodes.xpi", raw_zip([(b"manifest.json", 8, data, crc, size)]))
    # Both trees at once: a complete manifest and a messages file, each
    # just under the extraction bound and made of nothing but small nodes.
    data, size, crc = deflate_chunks(repeated(b'{"name":"__MSG_n__","a":[', b"0,", 2 * MIB - 64, b'0]}'))
    msg, msize, mcrc = deflate_chunks(repeated(b'{"n":{"message":"N"},"a":[', b"0,", 2 * MIB - 64, b'0]}'))
    write(out, "json-nodes-both.xpi", raw_zip([(b"manifest.json", 8, data, crc, size),
                                               (b"_locales/en/messages.json", 8, msg, mcrc, msize)]))
    data, size, crc = deflate_chunks(repeated(b'<RDF><Description about="urn:mozilla:install-manifest">',
                                              b"<a/>", 16 * MIB, b"</Description></RDF>"))
    write(out, "xml-nodes.xpi", raw_zip([(b"install.rdf", 8, data, crc, size)]))
    # Values the record joins or searches one by one.
    head = b'<RDF xmlns:em="http://www.mozilla.org/2004/em-rdf#"><Description about="urn:mozilla:install-manifest">'
    tail = b"</Description></RDF>"
    data, size, crc = deflate_chunks(repeated(head, b"<em:contributor>c</em:contributor>", 1 * MIB, tail))
    write(out, "rdf-contributors.xpi", raw_zip([(b"install.rdf", 8, data, crc, size)]))
    targets = b"".join(b'<em:targetApplication><Description em:id="x%d"/></em:targetApplication>' % i
                       for i in range(200000))
    data, size, crc = deflate_chunks([head, targets, tail])
    write(out, "rdf-targets.xpi", raw_zip([(b"install.rdf", 8, data, crc, size)]))


def directories(out):
    # 65,535 entries, the description last.
    entries = [(b"d%05d" % i, 0, b"", 0, 0) for i in range(65534)]
    m = b'{"name":"Many"}'
    entries.append((b"manifest.json", 0, m, zlib.crc32(m), len(m)))
    write(out, "entries-65535.xpi", raw_zip(entries))

    # Declared sizes of 4 GB over small data, stored and deflated.
    m = b'{"name":"Liar","version":"1"}'
    d = zlib.compress(m, 9)[2:-4]
    write(out, "declared-4gb-deflate.xpi", raw_zip([(b"manifest.json", 8, d, zlib.crc32(m), 0xFFFFFFFF)]))
    write(out, "declared-4gb-stored.xpi",
          raw_zip([(b"manifest.json", 0, m, zlib.crc32(m), 0xFFFFFFFE, 0xFFFFFFFE)]))
    write(out, "declared-zero.xpi", raw_zip([(b"manifest.json", 8, d, zlib.crc32(m), 0, 0)]))

    # Zip64 records with absurd counts, sizes and offsets.
    name = b"manifest.json"
    for tag, usize, csize, offset, count, cd_offset in [
            ("offsets", 1 << 62, 1 << 62, (1 << 63) - 1, 1, (1 << 63) - 1),
            ("count", len(m), len(m), 0, (1 << 64) - 1, 0),
            ("negative", (1 << 64) - 1, (1 << 64) - 16, (1 << 64) - 1, 1 << 40, (1 << 64) - 100)]:
        extra = struct.pack("<HHQQQ", 1, 24, usize, csize, offset)
        body = local_header(name, 0, zlib.crc32(m), 0xFFFFFFFF, 0xFFFFFFFF, extra) + m
        central = central_header(name, 0, zlib.crc32(m), 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, extra)
        cd_at = len(body)
        z64 = struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, count, count, len(central),
                          cd_offset if cd_offset else cd_at)
        loc = struct.pack("<IIQI", 0x07064B50, 0, cd_at + len(central) if tag != "offsets" else (1 << 63) - 1, 1)
        eocd = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0)
        write(out, "zip64-%s.xpi" % tag, body + central + z64 + loc + eocd)

    # Every byte value in entry names, the description among them.
    entries = []
    for b in range(256):
        for n in (bytes([b]), b"x" + bytes([b]) + b"y", b"manifest.json" + bytes([b])):
            entries.append((n, 0, b"{}", zlib.crc32(b"{}"), 2))
    entries.append((b"manifest.json", 0, m, zlib.crc32(m), len(m)))
    write(out, "names-every-byte.xpi", raw_zip(entries))


def crx(out, examples):
    zip_part = webext(b'{"name":"Crx","version":"1"}')
    for tag, key, sig in [("wrap-exact", 0xFFFFFFF0, 0x10), ("wrap-high", 0xFFFFFFFF, 0xFFFFFFFF),
                          ("huge-key", 0x7FFFFFFF, 0), ("zero", 0, 0)]:
        write(out, "crx2-%s.crx" % tag, b"Cr24" + struct.pack("<III", 2, key, sig) + zip_part)
    for tag, header in [("wrap", 0xFFFFFFF4), ("max", 0xFFFFFFFF), ("past-end", 0x7FFFFFFF)]:
        write(out, "crx3-%s.crx3" % tag, b"Cr24" + struct.pack("<II", 3, header) + zip_part)
    write(out, "crx-header-only.crx", b"Cr24")
    # A zip part far larger than what is read of it: read in place.
    # The gap between the entry and the directory is a hole in a sparse
    # file, so it costs no disk space.
    m = b'{"name":"Large Crx","version":"2"}'
    entry = local_header(b"manifest.json", 0, zlib.crc32(m), len(m), len(m)) + m
    gap = 65 * MIB
    central = central_header(b"manifest.json", 0, zlib.crc32(m), len(m), len(m), 0)
    with open(os.path.join(out, "crx3-large.crx3"), "wb") as f:
        f.write(b"Cr24" + struct.pack("<II", 3, 0) + entry)
        f.seek(gap, os.SEEK_CUR)
        f.write(central + end_record(1, len(central), len(entry) + gap))


def deep(out):
    n = 1000000
    write(out, "deep-rdf.xpi", webext_named(b"install.rdf", b"<a>" * n + b"</a>" * n))
    write(out, "deep-json-arrays.xpi", webext_named(b"manifest.json", b"[" * n + b"]" * n))
    write(out, "deep-json-objects.xpi", webext_named(b"manifest.json", b'{"a":' * n + b"1" + b"}" * n))
    write(out, "deep-json-open.xpi", webext_named(b"manifest.json", b'{"name":"x","a":' + b"[" * n))


def webext_named(name, content):
    data = zlib.compress(content, 9)[2:-4]
    return raw_zip([(name, 8, data, zlib.crc32(content), len(content))])


def damaged(out, examples):
    rng = random.Random(1951)
    for sample in sorted(os.listdir(examples)):
        if not sample.endswith((".xpi", ".crx", ".crx3")):
            continue
        with open(os.path.join(examples, sample), "rb") as f:
            data = f.read()
        stem, ext = os.path.splitext(sample)
        for k in range(1, 64):
            write(os.path.join(out, "truncated"), "%s-%02d%s" % (stem, k, ext), data[:len(data) * k // 64])
        for k in range(32):
            flipped = bytearray(data)
            for _ in range(1 + k % 4):
                i = rng.randrange(len(flipped))
                flipped[i] ^= 1 << rng.randrange(8)
            write(os.path.join(out, "flipped"), "%s-%02d%s" % (stem, k, ext), bytes(flipped))


def odd_files(out):
    os.makedirs(os.path.join(out, "dir.xpi"), exist_ok=True)
    fifo = os.path.join(out, "fifo.xpi")
    if not os.path.exists(fifo):
        os.mkfifo(fifo)
    write(out, "empty.xpi", b"")
    write(out, "pk-only.xpi", b"PK")
    # File names made of every byte a POSIX name may hold.
    names = bytes(b for b in range(1, 256) if b != ord("/"))
    for i in range(0, len(names), 120):
        write(out.encode(), names[i:i + 120] + b".xpi", webext(b'{"name":"Odd"}'))


# Cases written beside this script, one module per family of readers; each
# module's write_cases(folder, helpers) fills its own folder.
CASE_MODULES = [("messages", "hostile_messages"), ("zipformat", "hostile_zip"),
                ("markup", "hostile_markup"), ("identity", "hostile_identity"),
                ("webext", "hostile_webext")]


def main():
    out, examples = sys.argv[1], sys.argv[2]
    sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
    import importlib
    for folder, module in CASE_MODULES:
        try:
            cases = importlib.import_module(module)
        except ModuleNotFoundError:
            continue
        cases.write_cases(os.path.join(out, folder), sys.modules[__name__])
    bombs(os.path.join(out, "bombs"))
    directories(os.path.join(out, "directories"))
    crx(os.path.join(out, "crx"), examples)
    deep(os.path.join(out, "deep"))
    damaged(out, examples)
    odd_files(os.path.join(out, "odd"))


if __name__ == "__main__":
    main()
