#!/usr/bin/env python3
"""Gathers the Windows and enhanced metafiles inside unpacked packages for
bench_metafiles: whole .wmf/.emf files, metafiles inside ODF and OOXML
documents (pictures and object replacements), and metafiles stored in
Office binary files as they are or deflated (thumbnails, slide pictures).

Usage: gather_metafiles.py OUT_FOLDER UNPACKED_FOLDER...
Each UNPACKED_FOLDER holds one folder per package (dpkg-deb -x); each
metafile found is written once (by content) as OUT/<wmf|emf>/<package>/...
"""

import hashlib
import os
import struct
import sys
import zipfile
import zlib

PLACEABLE = b"\xd7\xcd\xc6\x9a"
WMF_HEADERS = (b"\x01\x00\x09\x00\x00\x03", b"\x02\x00\x09\x00\x00\x03")
WMF_END = b"\x03\x00\x00\x00\x00\x00"


def kind_of(data):
    if data[:4] == PLACEABLE or data[:6] in WMF_HEADERS:
        return "wmf"
    if len(data) > 44 and data[:4] == b"\x01\x00\x00\x00" and data[40:44] == b" EMF":
        return "emf"
    return None


def embedded(data):
    """Metafiles stored somewhere inside data, whole or deflated."""
    at = data.find(b" EMF")
    while at != -1:
        start = at - 40
        if start >= 0 and data[start : start + 4] == b"\x01\x00\x00\x00":
            size = struct.unpack("<I", data[start + 48 : start + 52])[0]
            if 88 <= size <= len(data) - start:
                yield data[start : start + size]
        at = data.find(b" EMF", at + 1)
    at = data.find(PLACEABLE)
    while at != -1:
        header = at + 22
        if data[header : header + 6] in WMF_HEADERS:
            size = struct.unpack("<I", data[header + 6 : header + 10])[0] * 2
            if 18 <= size <= len(data) - header:
                yield data[at : header + size]
        at = data.find(PLACEABLE, at + 1)
    # Bare ones (no placeable header) only where no placeable one holds them.
    if data.find(PLACEABLE) == -1:
        for header in WMF_HEADERS:
            at = data.find(header)
            while at != -1:
                size = struct.unpack("<I", data[at + 6 : at + 10])[0] * 2
                if 18 < size <= len(data) - at and data[at + size - 6 : at + size] == WMF_END:
                    yield data[at : at + size]
                at = data.find(header, at + 1)
    if data[:4] != b"\xd0\xcf\x11\xe0":
        return
    for mark in (b"\x78\x9c", b"\x78\xda", b"\x78\x01", b"\x78\x5e"):
        at = data.find(mark)
        while at != -1:
            try:
                inflated = zlib.decompressobj().decompress(data[at:], 64 << 20)
            except zlib.error:
                inflated = b""
            if kind_of(inflated):
                yield inflated
            at = data.find(mark, at + 1)


def pieces(path):
    """(name, bytes) of the file and, for a zip, of each member."""
    with open(path, "rb") as source:
        data = source.read()
    yield "", data
    if data[:2] == b"PK":
        try:
            with zipfile.ZipFile(path) as archive:
                for member in archive.namelist():
                    yield member, archive.read(member)
        except (zipfile.BadZipFile, OSError, RuntimeError):
            pass


def main():
    out, roots = sys.argv[1], sys.argv[2:]
    seen = set()
    for root in roots:
        for package in sorted(os.listdir(root)):
            for folder, _, names in os.walk(os.path.join(root, package)):
                for name in sorted(names):
                    path = os.path.join(folder, name)
                    if os.path.islink(path) or os.path.getsize(path) > 64 << 20:
                        continue
                    for member, data in pieces(path):
                        found = [data] if kind_of(data) else list(embedded(data))
                        for metafile in found:
                            digest = hashlib.md5(metafile).hexdigest()
                            kind = kind_of(metafile)
                            if not kind or digest in seen:
                                continue
                            seen.add(digest)
                            label = os.path.basename(name) + ("-" + os.path.basename(member) if member else "")
                            target = os.path.join(out, kind, package)
                            os.makedirs(target, exist_ok=True)
                            with open(os.path.join(target, f"{label}-{digest[:6]}.{kind}"), "wb") as sink:
                                sink.write(metafile)
                            print(kind, package, path[len(root) :], member)


if __name__ == "__main__":
    main()
