#!/usr/bin/env python3
"""Writes the seed corpus of the ICC profile fuzzer from the sample photos: the
embedded profiles of a few JPEGs (joined from their APP2 chunks), and one cut
short, as a display or a photo might hand them over.

usage: make_icc_corpus.py <testdata/photos folder> <fuzz/corpus/icc_profile folder>
"""
import os
import struct
import sys

SOURCES = [
    "mdx_Issue_339.jpg",       # sRGB, v2 with lookup-table curves
    "pillow_xmp_test.jpg",     # Adobe RGB, gamma curves
    "exiv2_exiv2-bug855.jpg",  # another maker's RGB profile
]
ICC_SIGNATURE = b"ICC_PROFILE\x00"


def embedded_profile(data):
    """The profile of a JPEG, its APP2 chunks joined in sequence order."""
    chunks = {}
    pos = 2
    while pos + 4 <= len(data) and data[pos] == 0xFF:
        marker = data[pos + 1]
        if marker in (0xDA, 0xD9):
            break
        length = struct.unpack(">H", data[pos + 2:pos + 4])[0]
        payload = data[pos + 4:pos + 2 + length]
        if marker == 0xE2 and payload.startswith(ICC_SIGNATURE):
            chunks[payload[12]] = payload[14:]
        pos += 2 + length
    return b"".join(chunks[k] for k in sorted(chunks))


def main():
    photos, corpus = sys.argv[1], sys.argv[2]
    os.makedirs(corpus, exist_ok=True)
    for name in SOURCES:
        with open(os.path.join(photos, name), "rb") as f:
            profile = embedded_profile(f.read())
        if not profile:
            sys.exit(name + " has no embedded profile")
        stem = os.path.splitext(name)[0]
        with open(os.path.join(corpus, stem + ".icc"), "wb") as f:
            f.write(profile)
        if name == SOURCES[0]:
            # The tag table promises more than the bytes hold.
            with open(os.path.join(corpus, stem + "-truncated.icc"), "wb") as f:
                f.write(profile[:len(profile) // 2])


if __name__ == "__main__":
    main()
