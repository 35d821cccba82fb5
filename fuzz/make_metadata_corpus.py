#!/usr/bin/env python3
"""Writes the seed corpora of the EXIF and XMP fuzzers from the sample photos:
the EXIF APP1 payload and the XMP APP1 payload of a few small JPEGs, chosen to
cover each maker-note layout and both byte orders.

usage: make_metadata_corpus.py <testdata/photos folder> <fuzz/corpus folder>
"""
import os
import struct
import sys

EXIF_SOURCES = [
    "exiftool_Canon.jpg",             # Canon camera settings, II
    "exiftool_NikonD70.jpg",          # Nikon type 2, MM
    "exifsamples_87_OSError.jpg",     # II EXIF around an MM Nikon note, LensSpecification
    "exiftool_OlympusE1.jpg",         # "OLYMP\0" note, Equipment as undefined bytes
    "mdx_Issue_339.jpg",              # MM EXIF, "OLYMPUS\0II" note, OffsetSchema
    "exiftool_Pentax.jpg",            # "AOC\0MM", three-byte lens record
    "exiv2_exiv2-bug855.jpg",         # FocalLength offset outside the block
    "exiftool_Apple.jpg",             # LensSpecification, MM
    "exiftool_FujiFilm.jpg",          # ShutterSpeedValue without ExposureTime
]
XMP_SOURCES = [
    "pillow_xmp_test.jpg",
    "exiv2_Reagan.jpg",
    "exifsamples_87_OSError.jpg",
    "exiftool_ExifTool.jpg",
]
XMP_SIGNATURE = b"http://ns.adobe.com/xap/1.0/\x00"
MAX_SEED = 40000


def app1_payloads(path):
    data = open(path, "rb").read()
    at = 2
    while at + 4 <= len(data) and data[at] == 0xFF:
        marker = data[at + 1]
        length = struct.unpack(">H", data[at + 2:at + 4])[0]
        if marker == 0xDA or length < 2:
            break
        if marker == 0xE1:
            yield data[at + 4:at + 2 + length]
        at += 2 + length


def write(folder, name, payload):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as out:
        out.write(payload)


def main():
    photos, corpus = sys.argv[1], sys.argv[2]
    for name in EXIF_SOURCES:
        for payload in app1_payloads(os.path.join(photos, name)):
            if payload.startswith(b"Exif") and len(payload) <= MAX_SEED:
                write(os.path.join(corpus, "exif"), os.path.splitext(name)[0] + ".exif", payload)
    for name in XMP_SOURCES:
        for payload in app1_payloads(os.path.join(photos, name)):
            if payload.startswith(XMP_SIGNATURE) and len(payload) <= MAX_SEED:
                write(os.path.join(corpus, "xmp"), os.path.splitext(name)[0] + ".xmp", payload)


if __name__ == "__main__":
    main()
