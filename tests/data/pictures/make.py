#!/usr/bin/env python3
"""Writes the picture fixtures of this folder, record by record (see SOURCES.tsv).
Run from this folder: python3 make.py"""
import gzip
import struct


def emr(kind, body):
    return struct.pack('<II', kind, 8 + len(body)) + body


def emf(text, plus=False):
    records = []
    if plus:  # an EMF+ header in a comment: the drawing follows in both forms ("dual")
        header = struct.pack('<HHII', 0x4001, 1, 28, 16) + struct.pack('<IIII', 0xDBC01002, 1, 96, 96)
        records.append(emr(70, struct.pack('<I', 4 + len(header)) + b'EMF+' + header))
    records.append(emr(39, struct.pack('<IIII', 1, 0, 0x0000FF, 0)))   # CREATEBRUSHINDIRECT: solid red
    records.append(emr(37, struct.pack('<I', 1)))                       # SELECTOBJECT
    records.append(emr(43, struct.pack('<4i', 10, 10, 90, 60)))         # RECTANGLE
    chars = text.encode('utf-16le')
    count = len(text)
    chars += b'\0\0' * ((4 - len(chars) % 4) % 4 // 2)
    spacing = struct.pack('<%di' % count, *([8] * count))
    body = struct.pack('<4iIff', 0, 0, 100, 100, 1, 1.0, 1.0)
    body += struct.pack('<iiIII4iI', 20, 80, count, 76, 0, 0, 0, 0, 0, 76 + len(chars)) + chars + spacing
    records.append(emr(84, body))                                       # EXTTEXTOUTW
    records.append(emr(14, struct.pack('<III', 0, 16, 20)))             # EOF
    data = b''.join(records)
    header = struct.pack('<4i', 0, 0, 99, 99)                           # bounds, device pixels
    header += struct.pack('<4i', 0, 0, 2645, 2645)                      # frame: 26.45 mm = 100 px
    header += struct.pack('<IIIIHHIII', 0x464D4520, 0x10000, 108 + len(data), len(records) + 1, 2, 0, 0, 0, 0)
    header += struct.pack('<ii', 1024, 768) + struct.pack('<ii', 270, 203)
    header += struct.pack('<III', 0, 0, 0) + struct.pack('<ii', 270000, 203000)
    return emr(1, header) + data


def wmr(function, *params):
    return struct.pack('<IH', 3 + len(params), function) + struct.pack('<%dh' % len(params), *params)


def wmf(text, placeable):
    records = [wmr(0x020B, 0, 0), wmr(0x020C, 100, 100)]                # SETWINDOWORG, SETWINDOWEXT
    records.append(struct.pack('<IHHIH', 7, 0x02FC, 0, 0x00FF00, 0))     # CREATEBRUSHINDIRECT: solid lime
    records.append(wmr(0x012D, 0))                                       # SELECTOBJECT
    records.append(wmr(0x041B, 60, 90, 10, 10))                          # RECTANGLE
    records.append(wmr(0x0325, 3, 10, 90, 50, 70, 90, 90))               # POLYLINE: an open zigzag
    chars = text.encode('cp1252')
    count = len(chars)
    chars += b'\0' * (count % 2)
    records.append(struct.pack('<IHH', 4 + len(chars) // 2 + 2, 0x0521, count) + chars + struct.pack('<hh', 80, 20))
    records.append(struct.pack('<IH', 3, 0))                             # EOF
    data = b''.join(records)
    largest = max(len(r) // 2 for r in records)
    out = struct.pack('<HHHIHIH', 1, 9, 0x300, (18 + len(data)) // 2, 1, largest, 0) + data
    if placeable:  # bounding box 100 x 100 at 96 units an inch
        head = struct.pack('<IHhhhhHI', 0x9AC6CDD7, 0, 0, 0, 100, 100, 96, 0)
        checksum = 0
        for i in range(0, 20, 2):
            checksum ^= struct.unpack('<H', head[i:i + 2])[0]
        out = head + struct.pack('<H', checksum) + out
    return out


def bmp():
    # 2 x 2, 24 bits, bottom row first: blue, white; top row: red, green.
    rows = bytes([255, 0, 0, 255, 255, 255, 0, 0]) + bytes([0, 0, 255, 0, 255, 0, 0, 0])
    info = struct.pack('<IiiHHIIiiII', 40, 2, 2, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    return b'BM' + struct.pack('<IHHI', 14 + len(info) + len(rows), 0, 0, 14 + len(info)) + info + rows


def dib():
    # 2 x 1, 8 bits, no colour count (all 256 follow), no file header: red, green.
    info = struct.pack('<IiiHHIIiiII', 40, 2, 1, 1, 8, 0, 0, 0, 0, 0, 0)
    palette = bytearray(256 * 4)
    palette[4:8] = bytes([0, 0, 255, 0])
    palette[8:12] = bytes([0, 255, 0, 0])
    return info + bytes(palette) + bytes([1, 2, 0, 0])


def tiff():
    # 2 x 2 RGB, one uncompressed strip: red, green / blue, white.
    pixels = bytes([255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255])
    tags = [(256, 3, 1, 2), (257, 3, 1, 2), (258, 3, 3, 0), (259, 3, 1, 1), (262, 3, 1, 2),
            (273, 4, 1, 0), (277, 3, 1, 3), (278, 3, 1, 2), (279, 4, 1, len(pixels))]
    ifd_at = 8
    bits_at = ifd_at + 2 + 12 * len(tags) + 4
    strip_at = bits_at + 6
    out = b'II*\0' + struct.pack('<I', ifd_at) + struct.pack('<H', len(tags))
    for tag, kind, count, value in tags:
        if tag == 258:
            value = bits_at
        if tag == 273:
            value = strip_at
        packed = struct.pack('<HI', value, 0)[:4] if kind == 3 and count == 1 else struct.pack('<I', value)
        out += struct.pack('<HHI', tag, kind, count) + packed
    return out + struct.pack('<I', 0) + struct.pack('<HHH', 8, 8, 8) + pixels


def write(name, data):
    with open(name, 'wb') as f:
        f.write(data)


write('shapes.emf', emf(']]><script>alert(1)</script> & \u00e9'))
write('shapes-plus.emf', emf('EMF+', plus=True))
write('shapes.wmf', wmf('a<b & c \u00e9', True))
write('no-header.wmf', wmf('x', False))
write('shapes.emz', gzip.compress(emf('z'), mtime=0))
write('shapes.wmz', gzip.compress(wmf('z', True), mtime=0))
write('rows.bmp', bmp())
write('palette.dib', dib())
write('rows.tif', tiff())
