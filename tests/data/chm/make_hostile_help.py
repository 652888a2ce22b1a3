#!/usr/bin/env python3
"""Help files made to take a help viewer's time and memory, written at build time (they decompress to tens of
megabytes) and compiled with chmcmd; the build copies each into the fuzz corpus's place too.

    make_hostile_help.py sources CASE FOLDER      writes the project of CASE (an .hhp and its pages) into FOLDER
    make_hostile_help.py alias IN OUT TARGET PATTERN
                                                  copies IN to OUT with the directory entries whose names match
                                                  PATTERN (as the shell matches them) pointing at the bytes of
                                                  TARGET, as a file made by hand can

The cases:
    huge-page     one page of 15 MB of repeated text, which LZX packs some 300 to one, and 150 pages of 16 KB,
                  listed in the contents without their names; shared-range is this file with those 150 pages
                  pointing at the bytes of the long one
    deep-sitemap  a table of contents nesting 100,000 levels, and in shared-range's way an index that is the
                  same bytes
    deep-nesting  pages of tables, lists, quotes, divisions and text styles nested 3,000 deep (spans 20,000)
"""
import fnmatch
import struct
import sys
from pathlib import Path

HEAD = '<html><head><meta http-equiv="Content-Type" content="text/html; charset=utf-8"><title>{}</title></head><body>\n'
TAIL = '</body></html>\n'


def page(title, body):
    return HEAD.format(title) + body + TAIL


def project(name, files, extra_options=''):
    return ('[OPTIONS]\nCompiled file={}.chm\nDefault topic=index.htm\nTitle={}\nLanguage=0x411 Japanese\n{}\n'
            '[FILES]\n{}\n').format(name, name, extra_options, '\n'.join(files))


def sitemap_entry(name, local):
    return ('<LI><OBJECT type="text/sitemap"><param name="Name" value="{}"><param name="Local" value="{}">'
            '</OBJECT>\n').format(name, local)


def huge_page(folder):
    files = {'index.htm': page('大きなヘルプ', '<p>表紙</p>\n')}
    line = '<p>ツモっと貯めよう！ 同じ行がずっと続く長いページです。</p>\n'
    repeats = 15_000_000 // len(line.encode())
    files['huge.htm'] = page('長いページ', '<p>始めの言葉</p>\n' + line * repeats + '<p>終わりの言葉</p>\n')
    for n in range(1, 151):
        text = '<p>第{:03d}頁の目印</p>\n'.format(n) + '<p>第{:03d}頁 同じ文がくり返されるページ。</p>\n'.format(n) * 300
        files['p{:03d}.htm'.format(n)] = page('第{:03d}頁'.format(n), text)
    contents = ('<HTML><BODY><UL>\n' + sitemap_entry('表紙', 'index.htm') + sitemap_entry('長いページ', 'huge.htm') +
                ''.join('<LI><OBJECT type="text/sitemap"><param name="Local" value="p{:03d}.htm"></OBJECT>\n'.format(n)
                        for n in range(1, 151)) + '</UL></BODY></HTML>\n')
    files['contents.hhc'] = contents
    names = list(files)
    files['huge-page.hhp'] = project('huge-page', names)
    return files


def deep_sitemap(folder):
    levels = 100_000
    entry = '<UL><LI><OBJECT type="text/sitemap"><param name="Name" value="段"><param name="Local" value="index.htm"></OBJECT>\n'
    files = {
        'index.htm': page('深い目次', '<p>深い目次と索引</p>\n'),
        # chmcmd reads a contents or index file named in [OPTIONS] itself, and crashes on this one: they are
        # plain files, found by their extension.
        'deep.hhc': '<HTML><BODY>\n' + entry * levels + '</UL>\n' * levels + '</BODY></HTML>\n',
        'deep.hhk': '<HTML><BODY><UL>' + sitemap_entry('置き換えられる', 'index.htm') + '</UL></BODY></HTML>\n',
    }
    files['deep-sitemap.hhp'] = project('deep-sitemap', list(files))
    return files


def nested(opening, closing, levels, inner=''):
    return ''.join(opening.format(n=n) for n in range(1, levels + 1)) + '<p>底</p>' + inner + closing * levels


def deep_nesting(folder):
    files = {'index.htm': page('深い入れ子', '<p>入れ子のページ</p>\n')}
    cases = {
        'tables.htm': ('<table border="1"><tr><td>段{n}', '</td></tr></table>', 3000),
        'lists.htm': ('<ul><li>段{n}', '</li></ul>', 3000),
        'ordered.htm': ('<ol><li>段{n}', '</li></ol>', 3000),
        'definitions.htm': ('<dl><dt>段{n}<dd>', '</dd></dl>', 3000),
        'quotes.htm': ('<blockquote>段{n}', '</blockquote>', 3000),
        'divisions.htm': ('<div style="margin-left: 10px; border: 1px solid">段{n}', '</div>', 3000),
        'spans.htm': ('<span style="color: #{n:06d}">段', '</span>', 20000),
        'mixed.htm': ('<table><tr><td><ul><li><blockquote><div>段{n}', '</div></blockquote></li></ul></td></tr></table>', 1000),
    }
    for name, (opening, closing, levels) in cases.items():
        files[name] = page(name, nested(opening, closing, levels))
    files['deep-nesting.hhp'] = project('deep-nesting', list(files))
    return files


CASES = {'huge-page': huge_page, 'deep-sitemap': deep_sitemap, 'deep-nesting': deep_nesting}


def encint(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(reversed(out))


def decint(data, at):
    value = 0
    while True:
        byte = data[at]
        at += 1
        value = value << 7 | byte & 0x7F
        if not byte & 0x80:
            return value, at


def alias(source, target_out, target, pattern):
    """Rewrites the file's one directory listing chunk with the entries matching `pattern` pointing at `target`'s
    bytes."""
    data = bytearray(Path(source).read_bytes())
    directory = struct.unpack_from('<Q', data, 0x48)[0]
    assert data[directory:directory + 4] == b'ITSP'
    chunk_size, density = struct.unpack_from('<II', data, directory + 0x10)
    first, last = struct.unpack_from('<ii', data, directory + 0x20)
    assert first == last == 0, 'the directory must be one listing chunk'
    chunk = directory + 0x54
    assert data[chunk:chunk + 4] == b'PMGL'
    count = struct.unpack_from('<H', data, chunk + chunk_size - 2)[0]
    entries = []
    at = chunk + 20
    for _ in range(count):
        length, at = decint(data, at)
        name = bytes(data[at:at + length])
        at += length
        section, at = decint(data, at)
        offset, at = decint(data, at)
        size, at = decint(data, at)
        entries.append([name, section, offset, size])
    targets = [e for e in entries if e[0] == target.encode()]
    aliases = [e for e in entries if fnmatch.fnmatchcase(e[0].decode(), pattern) and e[0] != target.encode()]
    assert len(targets) == 1 and aliases, 'no {} or nothing matches {}'.format(target, pattern)
    for entry in aliases:
        entry[1:] = targets[0][1:]
    listing = bytearray()
    starts = []
    for name, section, offset, size in entries:
        starts.append(len(listing))
        listing += encint(len(name)) + name + encint(section) + encint(offset) + encint(size)
    step = 1 + (1 << density)
    quickref = [starts[i] for i in range(step, len(entries), step)]
    tail = b''.join(struct.pack('<H', q) for q in reversed(quickref)) + struct.pack('<H', len(entries))
    free = chunk_size - 20 - len(listing)
    assert free >= len(tail), 'the entries no longer fit the chunk'
    body = bytes(data[chunk:chunk + 8]) + bytes(data[chunk + 8:chunk + 20])
    body = b'PMGL' + struct.pack('<I', free) + body[8:] + listing
    body += bytes(chunk_size - len(body) - len(tail)) + tail
    data[chunk:chunk + chunk_size] = body
    Path(target_out).write_bytes(bytes(data))


def main():
    if sys.argv[1] == 'sources':
        folder = Path(sys.argv[3])
        folder.mkdir(parents=True, exist_ok=True)
        for name, text in CASES[sys.argv[2]](folder).items():
            (folder / name).write_text(text, encoding='utf-8')
    elif sys.argv[1] == 'alias':
        alias(*sys.argv[2:6])
    else:
        sys.exit(__doc__)


if __name__ == '__main__':
    main()
