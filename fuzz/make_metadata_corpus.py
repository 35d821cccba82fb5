#!/usr/bin/env python3
"""Writes the seed corpora of the EXIF and XMP fuzzers from the sample photos:
the EXIF APP1 payload and the XMP APP1 payload of a few small JPEGs, chosen to
cover each maker-note layout, both byte orders and the lens-name texts, and one
packet written here with lens names in element form.

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
    "mdx_Issue_339.jpg",              # MM EXIF, "OLYMPUS\0II" note, OffsetSchema, Equipment LensModel
    "mdx_Canon_EOS_1000D.jpg",        # Canon lens-model text 0x0095 beside the camera settings
    "exiftool_Pentax.jpg",            # "AOC\0MM", three-byte lens record
    "exiv2_exiv2-bug855.jpg",         # FocalLength offset outside the block
    "exiftool_Apple.jpg",             # LensSpecification, LensMake and LensModel, MM
    "exiftool_FujiFilm.jpg",          # ShutterSpeedValue without ExposureTime
]
XMP_SOURCES = [
    "pillow_xmp_test.jpg",
    "exiv2_Reagan.jpg",
    "exifsamples_87_OSError.jpg",
    "exiftool_ExifTool.jpg",
]
XMP_SIGNATURE = b"http://ns.adobe.com/xap/1.0/\x00"
# Lens names in element form, as raw converters write them into TIFF files,
# with bytes beyond ASCII and an escaped character inside the names.
LENS_NAMES_XMP = (
    XMP_SIGNATURE
    + b'<x:xmpmeta><rdf:RDF><rdf:Description aux:LensID="165">'
    + b"<aux:LensInfo>70/1 200/1 0/0 0/0</aux:LensInfo>"
    + b"<aux:Lens>EF70-200mm f/2.8L USM</aux:Lens>"
    + b"<exifEX:LensMake>Canon &amp; Co</exifEX:LensMake>"
    + b"<exifEX:LensModel>XF18-55mmF2.8-4 R LM OIS \xc3\x97 1:2.8/18 | C 016</exifEX:LensModel>"
    + b'</rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end="w"?>'
)
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
    write(os.path.join(corpus, "xmp"), "lens_names.xmp", LENS_NAMES_XMP)


if __name__ == "__main__":
    main()
