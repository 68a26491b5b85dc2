"""Hostile messages files: placeholders that expand, placeholders by the
thousand, references repeated by the hundred thousand, names that are no
path. Each family comes at growing sizes up to the caps on extraction
(2 MiB of messages, 4 MiB of manifest), so that the time it costs shows
whether the reading stays linear."""
import json
import zlib

MIB = 1 << 20
MESSAGES = b"_locales/en/messages.json"


def package(helpers, manifest_chunks, messages_chunks):
    """An XPI of a manifest and an en messages file, each given as chunks
    and deflated as they come, so that large contents cost little to make."""
    entries = []
    for name, chunks in ((b"manifest.json", manifest_chunks), (MESSAGES, messages_chunks)):
        data, size, crc = helpers.deflate_chunks(chunks)
        entries.append((name, 8, data, crc, size))
    return helpers.raw_zip(entries)


def manifest(name=b"__MSG_name__", description=b"__MSG_description__"):
    return [b'{"manifest_version":2,"version":"1.0","name":"' + name + b'","description":"' + description + b'"}']


def doubling_chain(links):
    """Each placeholder's content names the next one twice: 2^links units
    from a file of a few hundred bytes."""
    placeholders = {}
    for i in range(links):
        nxt = "$p%d$" % (i + 1)
        placeholders["p%d" % i] = {"content": nxt + nxt if i + 1 < links else "x"}
    messages = {"name": {"message": "Chain"}, "description": {"message": "$p0$", "placeholders": placeholders}}
    return [json.dumps(messages, separators=(",", ":")).encode()]


def big_content(content_size, uses):
    """One large content used many times in the message."""
    yield b'{"name":{"message":"Big"},"description":{"message":"'
    yield from chunked(b"$b$", uses)
    yield b'","placeholders":{"b":{"content":"'
    yield from chunked(b"c", content_size)
    yield b'"}}}}'


def many_placeholders(count, text_size):
    """A long message holding `count` distinct placeholders, each used once
    and each declared: every one a pass over the whole text if done
    plainly."""
    filler = max(0, text_size // count - 8)
    yield b'{"name":{"message":"Many"},"description":{"message":"'
    for i in range(count):
        yield b"w" * filler + b"$q%d$" % i
    yield b'","placeholders":{'
    yield b",".join(b'"q%d":{"content":"<%d>"}' % (i, i) for i in range(count))
    yield b"}}}"


NAME_UNITS = b"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-"


def repeated_references(members, messages):
    """The manifest repeats a name reference `members` times, rotating over
    64 messages that the messages file declares last, after `messages`
    others: a plain search walks them all for every member. Names are kept
    short so that the largest case fits the caps."""
    targets = [b"%c%c" % (NAME_UNITS[i % 64], NAME_UNITS[(i * 5) % 64]) for i in range(64)]

    def manifest_chunks():
        yield b'{"manifest_version":2,"version":"1.0"'
        step = 4096
        for start in range(0, members, step):
            yield b"".join(b',"name":"__MSG_%s__"' % targets[i % 64] for i in range(start, min(members, start + step)))
        yield b"}"

    def messages_chunks():
        yield b"{"
        step = 4096
        for start in range(0, messages, step):
            yield b"".join(b'"%c%c%c":1,' % (NAME_UNITS[i % 64], NAME_UNITS[i // 64 % 64], NAME_UNITS[i // 4096 % 64])
                           for i in range(start, min(messages, start + step)))
        yield b",".join(b'"%s":{"message":"t%d"}' % (t, i) for i, t in enumerate(targets))
        yield b"}"
    return manifest_chunks(), messages_chunks()


def rotating_passes(occurrences, passes):
    """Every placeholder rewrites every occurrence into the next one's
    name: passes times occurrences of work within a small text."""
    yield b'{"name":{"message":"Rotate"},"description":{"message":"'
    yield from chunked(b"$a$", occurrences)
    yield b'","placeholders":{'
    yield b",".join(b'"%s":{"content":"$%s$"}' % ((b"a", b"b") if i % 2 == 0 else (b"b", b"a")) for i in range(passes))
    yield b"}}}"


def dollars(count, names):
    """A message of nothing but "$", with placeholders whose names are empty
    or hold "$": every gap between two dollars is a candidate."""
    yield b'{"name":{"message":"Dollars"},"description":{"message":"'
    yield from chunked(b"$", count)
    yield b'","placeholders":{'
    yield b",".join(b'"%s":{"content":"$"}' % n for n in names)
    yield b"}}}"


def chunked(unit, count, step=65536):
    block = unit * step
    while count >= step:
        yield block
        count -= step
    yield unit * count


ODD_NAMES = [b"__MSG_.x__", b"__MSG_[__", b"__MSG_a[-1]__", b"__MSG_a[__", b"__MSG_a..b__", b"__MSG_['a__",
             b"__MSG_a[99999999999]__", b"__MSG_" + b"[" * 100000 + b"__", b"__MSG_" + b"a." * 200000 + b"a__",
             b"__MSG_" + b"[0]" * 200000 + b"__"]


def write_cases(folder, helpers):
    small = [b'{"name":{"message":"Small"}}']
    for links in (20, 30, 40):
        helpers.write(folder, "chain-%02d.xpi" % links, package(helpers, manifest(), doubling_chain(links)))
    for content, uses in ((MIB // 4, 75000), (MIB // 2, 150000), (MIB, 300000)):
        helpers.write(folder, "big-content-%07d.xpi" % content,
                      package(helpers, manifest(), big_content(content, uses)))
    for count, size in ((5000, 300000), (10000, 600000), (20000, 1200000)):
        helpers.write(folder, "placeholders-%05d.xpi" % count,
                      package(helpers, manifest(), many_placeholders(count, size)))
    for members, messages in ((50000, 57500), (100000, 115000), (200000, 230000)):
        m, g = repeated_references(members, messages)
        helpers.write(folder, "repeated-%06d.xpi" % members, package(helpers, m, g))
    for occurrences, passes in ((10000, 5000), (40000, 20000), (100000, 60000)):
        helpers.write(folder, "rotate-%06d.xpi" % occurrences,
                      package(helpers, manifest(), rotating_passes(occurrences, passes)))
    for count in (250000, 1000000, 1900000):
        names = [b"", b"$", b"$$"] + [b"$x%d" % i for i in range(2000)]
        helpers.write(folder, "dollars-%07d.xpi" % count, package(helpers, manifest(), dollars(count, names)))
    for i, name in enumerate(ODD_NAMES):
        messages = [b'{"a":[{"message":"in array"}],"x":{"message":"x"},"name":{"message":"N"}}']
        helpers.write(folder, "odd-name-%02d.xpi" % i, package(helpers, manifest(name, b"__MSG_name__"), messages))
    # A reference of nearly 4 MiB.
    helpers.write(folder, "long-reference.xpi",
                  package(helpers, [b'{"name":"__MSG_' + b"n" * (4 * MIB - 64) + b'__"}'], small))
