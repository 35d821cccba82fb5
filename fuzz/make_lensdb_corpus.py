#!/usr/bin/env python3
"""Writes the seed corpus of the lens database fuzzer: one small valid database
built by quillon-lensdb and copies of it, each with one named fault.

usage: make_lensdb_corpus.py <path of quillon-lensdb> <corpus folder>
"""
import json
import os
import struct
import subprocess
import sys
import tempfile

SOURCE = {
    "format": "quillon-lensdb-source 1",
    "attribution": "fuzz seed",
    "license": "none",
    "cameras": [
        {"menuMake": "Alpha", "menuModel": "One", "exifMake": "ALPHA", "exifModel": "A1",
         "cropFactor": 1.5, "groups": ["mount", "adapter"]},
        {"menuMake": "Alpha", "menuModel": "Two", "exifMake": "ALPHA", "exifModel": "A1",
         "cropFactor": 1.5, "groups": ["adapter"]},
        {"menuMake": "Beta", "menuModel": "Fix", "exifMake": "BETA", "exifModel": "B",
         "cropFactor": 5.0, "groups": ["betaFix"]},
    ],
    "lenses": [
        {"group": "mount", "name": "Zoom", "converterFactor": 1.0, "calibrationCrop": 1.5,
         "minFlen": 18, "maxFlen": 35, "minFlenMaxAper": 3.5, "maxFlenMaxAper": 5.6,
         "points": [[18, 0.01, -0.02, 0.03], [24, 0.0, 0.01, 0.0], [35, 0.0, 0.0, 0.001]]},
        {"group": "adapter", "name": "Prime", "converterFactor": 1.4, "calibrationCrop": 1.0,
         "minFlen": 70, "maxFlen": 70, "minFlenMaxAper": 0, "maxFlenMaxAper": 0,
         "points": [[70, 0.0, 0.002, 0.0]]},
        {"group": "betaFix", "name": "Standard", "converterFactor": 1.0,
         "calibrationCrop": 5.0, "minFlen": 5, "maxFlen": 15, "minFlenMaxAper": 2.8,
         "maxFlenMaxAper": 4.5, "points": [[5, 0.1, 0.2, 0.3], [15, 0.0, 0.0, 0.0]]},
    ],
}


def word(data, at):
    return struct.unpack_from("<i", data, at)[0]


def put(data, at, value):
    data = bytearray(data)
    struct.pack_into("<i", data, at, value)
    return bytes(data)


def main():
    tool, corpus = sys.argv[1], sys.argv[2]
    os.makedirs(corpus, exist_ok=True)
    with tempfile.TemporaryDirectory() as tmp:
        src = os.path.join(tmp, "seed.json")
        out = os.path.join(tmp, "seed.dat")
        with open(src, "w") as f:
            json.dump(SOURCE, f)
        subprocess.run([tool, "build", src, out], check=True)
        good = open(out, "rb").read()

    camera_links, group_links = word(good, 44), word(good, 48)
    lens_table, lens_links = word(good, 56), word(good, 60)
    seeds = {
        "valid": good,
        "header_only": good[:80],
        "truncated_pool": good[:-3],
        "version_3_89": put(good, 8, 89),
        "camera_loop": put(good, camera_links + 2 * 24, 0),
        "group_self_loop": put(good, group_links, 0),
        "lens_next_past_table": put(good, lens_links, 3),
        "string_past_pool": put(good, camera_links + 8, word(good, 16)),
        "points_past_table": put(good, lens_table + 32, word(good, 20)),
        "negative_camera_count": put(good, 24, -1),
        "huge_point_count": put(good, 20, 0x7FFFFFFF),
    }
    for name, data in seeds.items():
        with open(os.path.join(corpus, name + ".dat"), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
