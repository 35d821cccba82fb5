#!/usr/bin/env python3
"""Regenerates the seed corpora of the imageio fuzz targets from the sample
photos: a few small real files, truncated copies of larger ones, and crafted
files for the ICC chunk rules and unusual TIFF layouts. Every file stays below
100 KB. Run from the repository root."""

import os
import struct

PHOTOS = "testdata/photos"
JPEG_DIR = "fuzz/corpus/jpeg_markers"
TIFF_DIR = "fuzz/corpus/tiff_reader"


def read(name):
    with open(os.path.join(PHOTOS, name), "rb") as f:
        return f.read()


def write(folder, name, data):
    assert len(data) < 100_000, name
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def segment(marker, payload):
    return bytes([0xFF, marker]) + struct.pack(">H", len(payload) + 2) + payload


def icc_chunk(seq, total, share):
    return b"ICC_PROFILE\0" + bytes([seq, total]) + share


def framed(marker, payload):
    # The fuzzer's non-JPEG input form: marker nibble, 16-bit length, payload.
    return bytes([marker & 0x0F]) + struct.pack(">H", len(payload)) + payload


def jpeg_corpus():
    canon = read("exiftool_Canon.jpg")
    write(JPEG_DIR, "canon_exif.jpg", canon)
    write(JPEG_DIR, "all_blocks.jpg", read("exiftool_ExifTool.jpg"))
    write(JPEG_DIR, "icc_big_truncated.jpg", read("pillow_icc_profile_big.jpg")[:90_000])
    profile = bytes((i * 7) & 0xFF for i in range(300))
    chunks = [icc_chunk(3, 3, profile[200:]), icc_chunk(1, 3, profile[:100]),
              icc_chunk(2, 3, profile[100:200])]
    write(JPEG_DIR, "icc_out_of_order.jpg",
          canon[:2] + b"".join(segment(0xE2, c) for c in chunks) + canon[2:])
    exif = b"Exif\0\0MM\0*\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0\x06\0\0\0\0\0\0"
    xmp = b"http://ns.adobe.com/xap/1.0/\0<x:xmpmeta/>"
    iptc = b"Photoshop 3.0\08BIM\x04\x04\0\0\0\0\0\x04\x1c\x02\x05\0"
    write(JPEG_DIR, "framed_mixed.bin",
          framed(0xE1, exif) + framed(0xE1, xmp) + framed(0xED, iptc) +
          b"".join(framed(0xE2, c) for c in chunks))
    write(JPEG_DIR, "framed_icc_duplicate.bin",
          framed(0xE2, icc_chunk(1, 2, b"abc")) + framed(0xE2, icc_chunk(1, 2, b"def")))


def tiff(entries, pixels):
    """Little-endian TIFF, one strip; entries: {tag: (type, count, bytes)}."""
    data_at = 8
    ifd_at = data_at + len(pixels) + (len(pixels) & 1)
    entries = dict(entries)
    entries[273] = (4, 1, struct.pack("<I", data_at))
    entries[279] = (4, 1, struct.pack("<I", len(pixels)))
    tags = sorted(entries)
    values_at = ifd_at + 2 + 12 * len(tags) + 4
    ifd, values = struct.pack("<H", len(tags)), b""
    for tag in tags:
        typ, count, value = entries[tag]
        if len(value) <= 4:
            ifd += struct.pack("<HHI", tag, typ, count) + value.ljust(4, b"\0")
        else:
            ifd += struct.pack("<HHII", tag, typ, count, values_at + len(values))
            values += value + (b"\0" if len(value) & 1 else b"")
    ifd += b"\0\0\0\0"
    body = pixels + (b"\0" if len(pixels) & 1 else b"")
    return b"II*\0" + struct.pack("<I", ifd_at) + body + ifd + values


def short(*v):
    return (3, len(v), struct.pack("<%dH" % len(v), *v))


def long(v):
    return (4, 1, struct.pack("<I", v))


def tiff_corpus():
    write(TIFF_DIR, "exiftool.tif", read("exiftool_ExifTool.tif"))
    write(TIFF_DIR, "iptc_icc_xmp.tif", read("exifr_tif-with-iptc-icc-xmp.tif"))
    write(TIFF_DIR, "rgb8.tif", read("libtiff_rgb-3c-8b.tiff"))
    write(TIFF_DIR, "rgba_exif_truncated.tif", read("exiv2_Reagan.tiff")[:90_000])
    w, h = 5, 3
    rgba16 = bytes((i * 37) & 0xFF for i in range(w * h * 8))
    write(TIFF_DIR, "rgba16.tif", tiff({
        256: long(w), 257: long(h), 258: short(16, 16, 16, 16), 259: short(1),
        262: short(2), 277: short(4), 278: long(h), 284: short(1), 338: short(2),
        50736: (5, 4, struct.pack("<8I", 17, 1, 40, 1, 4, 1, 0, 0)),
        700: (1, 11, b"<x:xmpmeta>")}, rgba16))
    write(TIFF_DIR, "planar.tif", tiff({
        256: long(w), 257: long(h), 258: short(8, 8, 8), 259: short(1), 262: short(2),
        277: short(3), 278: long(1), 284: short(2)}, bytes(w * h * 3)))


if __name__ == "__main__":
    jpeg_corpus()
    tiff_corpus()
