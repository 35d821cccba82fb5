#!/usr/bin/env python3
"""Regenerates the seed corpora of the imageio fuzz targets from the sample
photos: a few small real files, truncated copies of larger ones, and crafted
files for the ICC chunk rules and unusual TIFF layouts; for whole-image
decoding, tiny images in each coding the readers meet (cjpeg from
libjpeg-turbo's tools encodes the JPEG ones). Every file stays below 100 KB.
Run from the repository root."""

import os
import struct
import subprocess
import zlib

PHOTOS = "testdata/photos"
JPEG_DIR = "fuzz/corpus/jpeg_markers"
TIFF_DIR = "fuzz/corpus/tiff_reader"
DECODE_DIR = "fuzz/corpus/image_decode"


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


def tiff(entries, pixels, endian="<"):
    """TIFF with one strip; entries: {tag: (type, count, bytes)}, their bytes
    in the file's byte order ("<" little, ">" big endian)."""
    data_at = 8
    ifd_at = data_at + len(pixels) + (len(pixels) & 1)
    entries = dict(entries)
    entries[273] = (4, 1, struct.pack(endian + "I", data_at))
    entries[279] = (4, 1, struct.pack(endian + "I", len(pixels)))
    tags = sorted(entries)
    values_at = ifd_at + 2 + 12 * len(tags) + 4
    ifd, values = struct.pack(endian + "H", len(tags)), b""
    for tag in tags:
        typ, count, value = entries[tag]
        if len(value) <= 4:
            ifd += struct.pack(endian + "HHI", tag, typ, count) + value.ljust(4, b"\0")
        else:
            ifd += struct.pack(endian + "HHII", tag, typ, count, values_at + len(values))
            values += value + (b"\0" if len(value) & 1 else b"")
    ifd += b"\0\0\0\0"
    body = pixels + (b"\0" if len(pixels) & 1 else b"")
    mark = b"II*\0" if endian == "<" else b"MM\0*"
    return mark + struct.pack(endian + "I", ifd_at) + body + ifd + values


def short(*v, endian="<"):
    return (3, len(v), struct.pack(endian + "%dH" % len(v), *v))


def long(v, endian="<"):
    return (4, 1, struct.pack(endian + "I", v))


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


def packbits(data):
    """PackBits as literal runs only: each run of up to 128 bytes after its count."""
    out = b""
    for at in range(0, len(data), 128):
        run = data[at:at + 128]
        out += bytes([len(run) - 1]) + run
    return out


def gradient(w, h):
    return bytes(((x * 40 + y * 9 + c * 85) & 0xFF)
                 for y in range(h) for x in range(w) for c in range(3))


def cjpeg(w, h, *options):
    ppm = b"P6\n%d %d\n255\n" % (w, h) + gradient(w, h)
    return subprocess.run(["cjpeg", *options], input=ppm, capture_output=True,
                          check=True).stdout


def decode_corpus():
    w, h = 24, 16
    write(DECODE_DIR, "baseline_420.jpg", cjpeg(w, h, "-quality", "75"))
    write(DECODE_DIR, "baseline_444.jpg", cjpeg(w, h, "-sample", "1x1"))
    progressive = cjpeg(w, h, "-progressive")
    write(DECODE_DIR, "progressive.jpg", progressive)
    write(DECODE_DIR, "progressive_truncated.jpg", progressive[:len(progressive) * 2 // 3])
    write(DECODE_DIR, "restart_optimised.jpg", cjpeg(w, h, "-restart", "1", "-optimize"))
    write(DECODE_DIR, "arithmetic.jpg", cjpeg(w, h, "-arithmetic"))
    write(DECODE_DIR, "grayscale.jpg", cjpeg(w, h, "-grayscale"))

    w, h = 6, 4
    rgb8 = gradient(w, h)
    rgb = {256: long(w), 257: long(h), 258: short(8, 8, 8), 262: short(2), 277: short(3),
           278: long(h), 284: short(1)}
    write(DECODE_DIR, "rgb8.tif", tiff({**rgb, 259: short(1)}, rgb8))
    write(DECODE_DIR, "rgb8_packbits.tif", tiff({**rgb, 259: short(32773)}, packbits(rgb8)))
    write(DECODE_DIR, "rgb8_deflate.tif", tiff({**rgb, 259: short(8)}, zlib.compress(rgb8)))
    rgb16 = b"".join(struct.pack(">H", v * 257) for v in rgb8)
    write(DECODE_DIR, "rgb16_big_endian.tif", tiff({
        256: long(w, endian=">"), 257: long(h, endian=">"),
        258: short(16, 16, 16, endian=">"), 259: short(1, endian=">"),
        262: short(2, endian=">"), 277: short(3, endian=">"), 278: long(h, endian=">"),
        284: short(1, endian=">")}, rgb16, endian=">"))


if __name__ == "__main__":
    jpeg_corpus()
    tiff_corpus()
    decode_corpus()
