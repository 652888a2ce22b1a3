#!/usr/bin/env python3
"""Makes damaged .chm files for fuzz_chm's seed corpus from a sound one, one for each kind of file that crashed
chmlib or an older libmspack in their issue trackers:
    fuzz/make_chm_seeds.py fuzz/corpus/chm/toc-only.chm fuzz/corpus/chm
The base must be a version 3 file with one listing chunk, as chmcmd writes a small help file."""
import struct
import sys
from pathlib import Path


def encint(data, at):
    value = 0
    while True:
        byte = data[at]
        at += 1
        value = value << 7 | byte & 0x7F
        if not byte & 0x80:
            return value, at


def entries(data):
    """Every directory entry: name -> (where its name starts, section, offset, length)."""
    directory = struct.unpack_from('<Q', data, 0x48)[0]
    chunk_size = struct.unpack_from('<I', data, directory + 0x10)[0]
    chunk = directory + 0x54
    assert data[chunk:chunk + 4] == b'PMGL'
    end = chunk + chunk_size - struct.unpack_from('<I', data, chunk + 4)[0]
    found = {}
    at = chunk + 20
    while at < end:
        length, at = encint(data, at)
        name_at = at
        name = bytes(data[at:at + length])
        at += length
        section, at = encint(data, at)
        offset, at = encint(data, at)
        size, at = encint(data, at)
        found.setdefault(name, (name_at, section, offset, size))
    return found


def main():
    base, out = Path(sys.argv[1]), Path(sys.argv[2])
    sound = bytearray(base.read_bytes())
    directory = struct.unpack_from('<Q', sound, 0x48)[0]
    content = struct.unpack_from('<Q', sound, 0x58)[0]
    found = entries(sound)
    storage = b'::DataSpace/Storage/MSCompressed/'
    control = content + found[storage + b'ControlData'][2]
    reset = content + found[storage + b'Transform/{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}/InstanceData/ResetTable'][2]
    compressed = content + found[storage + b'Content'][2]
    compressed_length = found[storage + b'Content'][3]

    seeds = {}

    def seed(name, change):
        data = bytearray(sound)
        change(data)
        seeds[name] = data

    # chmlib issue 3 and libmspack's CVE-2015-4467: a reset interval of zero is divided by.
    seed('lzx-reset-interval-zero.chm', lambda d: struct.pack_into('<I', d, control + 12, 0))
    # SumatraPDF issue 5207: a window of 2 passes chmlib's check and its LZX state is never made.
    seed('lzx-window-two.chm', lambda d: (struct.pack_into('<I', d, control + 8, 1),
                                          struct.pack_into('<I', d, control + 16, 2)))
    # A reset table whose block length is zero, divided by in chmlib.
    seed('reset-table-block-zero.chm', lambda d: struct.pack_into('<Q', d, reset + 32, 0))
    # SumatraPDF issue 5205 and uChmViewer issue 80: block bounds from the reset table are trusted.
    seed('reset-table-past-end.chm', lambda d: (struct.pack_into('<I', d, reset + 4, 0xFFFFFFFF),
                                                struct.pack_into('<Q', d, reset + 0x28, 0x7FFFFFFFFFFF0000)))
    seed('reset-table-backwards.chm', lambda d: (struct.pack_into('<I', d, reset + 4, 2),
                                                 struct.pack_into('<Q', d, reset + 0x28, 0x1000),
                                                 struct.pack_into('<Q', d, reset + 0x30, 0x10)))
    # chmlib issue 20: a Huffman table built from damaged code lengths; the LZX stream is scrambled after its
    # block header.
    def garble(d):
        for i in range(compressed + 4, compressed + compressed_length):
            d[i] ^= (i * 151) & 0xFF
    seed('lzx-content-garbled.chm', garble)
    # libmspack issue 26: a chunk size of 4 GB; chmlib issues 6 and 7: a chunk smaller than its own header.
    seed('chunk-size-huge.chm', lambda d: struct.pack_into('<I', d, directory + 0x10, 0xFFFFFFFF))
    seed('chunk-size-tiny.chm', lambda d: struct.pack_into('<I', d, directory + 0x10, 8))
    # libmspack's CVE-2018-14679: an index chunk numbered one past the last.
    seed('index-root-past-end.chm', lambda d: struct.pack_into('<i', d, directory + 0x1C, 1))
    # libmspack's CVE-2018-14680 and CVE-2018-18585: a file name that is blank.
    def blank(d):
        at = found[b'/#ITBITS'][0]
        d[at:at + 8] = bytes(8)
    seed('blank-file-name.chm', blank)
    # libmspack's CVE-2019-1010305: a system file name shorter than the names it is compared with.
    def short_name(d):
        at = found[b'/_#_README_#_'][0]
        d[at:at + 13] = b'::DataSpace/S'
    seed('short-system-name.chm', short_name)
    # libmspack's CVE-2017-6419: no reset table, and a negative length in SpanInfo.
    def negative_span(d):
        name = storage + b'Transform/{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}/InstanceData/ResetTable'
        d[found[name][0] + len(name) - 1] ^= 0x01  # the name no longer ends in "ResetTable"
        struct.pack_into('<Q', d, content + found[storage + b'SpanInfo'][2], 0x8000000000000000)
    seed('spaninfo-negative.chm', negative_span)
    # The content section beginning past the end of the file.
    seed('content-past-end.chm', lambda d: struct.pack_into('<Q', d, 0x58, len(d) + 0x1000))
    # The whole file cut short in its compressed content.
    seeds['cut-in-content.chm'] = bytearray(sound[:compressed + compressed_length // 2])

    out.mkdir(parents=True, exist_ok=True)
    for name, data in seeds.items():
        (out / name).write_bytes(bytes(data))
        print(name)


if __name__ == '__main__':
    main()
