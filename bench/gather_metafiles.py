#!/usr/bin/env python3
"""Gathers the Windows and enhanced metafiles of Debian packages for
bench_metafiles: whole .wmf/.emf files (the test suites of the libraries
that read and write them), metafiles inside ODF and OOXML documents
(pictures and object replacements), metafiles stored in Office binary files
as they are or deflated (thumbnails, slide pictures), and pictures written
as hex into RTF documents.

Usage:
  gather_metafiles.py fetch FOLDER
      downloads the packages below into FOLDER: the binary ones with
      apt-get download, the source ones with apt-get source --download-only
      through a source list of its own (the system's is left alone).
  gather_metafiles.py OUT_FOLDER FOLDER...
      each FOLDER holds .deb files, source tarballs (*.orig.tar.*) or one
      unpacked folder per package; each metafile found is written once (by
      content) as OUT/<wmf|emf>/<package>/...
"""

import hashlib
import os
import re
import struct
import subprocess
import sys
import tarfile
import tempfile
import zipfile
import zlib

# Packages whose documents and test files hold metafiles.
BINARY_PACKAGES = [
    "clamav-testfiles",  # Office, RTF and TNEF samples
    "lazarus-src-2.2",  # an ODF manual with pictures as metafiles
    "libapache-poi-java",  # a PowerPoint template inside the jar
    "libreoffice-common",  # document templates with clip art
    "r-cran-readxl",  # spreadsheets with drawings
]
SOURCE_PACKAGES = [
    "inkscape",  # export tests
    "libemf2svg",  # converter tests
    "libgdiplus",  # metafile tests
    "libuemf",  # reference files
    "pillow",  # image plugin tests
]
SOURCE_LIST = "deb-src http://deb.debian.org/debian bookworm main\n"

PLACEABLE = b"\xd7\xcd\xc6\x9a"
WMF_HEADERS = (b"\x01\x00\x09\x00\x00\x03", b"\x02\x00\x09\x00\x00\x03")
WMF_END = b"\x03\x00\x00\x00\x00\x00"
RTF_PICTURE = re.compile(
    rb"\\(wmetafile\d*|emfblip)((?:\\[a-zA-Z]+-?\d* ?|\{\\\*\\blipuid [0-9a-fA-F]+\}|\s)*)([0-9a-fA-F\s]+)"
)


def kind_of(data):
    if data[:4] == PLACEABLE or data[:6] in WMF_HEADERS:
        return "wmf"
    if len(data) > 44 and data[:4] == b"\x01\x00\x00\x00" and data[40:44] == b" EMF":
        return "emf"
    return None


def embedded_emf(data):
    at = data.find(b" EMF")
    while at != -1:
        start = at - 40
        if start >= 0 and data[start : start + 4] == b"\x01\x00\x00\x00":
            size = struct.unpack("<I", data[start + 48 : start + 52])[0]
            if 88 <= size <= len(data) - start:
                yield data[start : start + size]
        at = data.find(b" EMF", at + 1)


def embedded_wmf(data):
    at = data.find(PLACEABLE)
    while at != -1:
        header = at + 22
        if data[header : header + 6] in WMF_HEADERS:
            size = struct.unpack("<I", data[header + 6 : header + 10])[0] * 2
            if 18 <= size <= len(data) - header:
                yield data[at : header + size]
        at = data.find(PLACEABLE, at + 1)
    # Bare ones (no placeable header) only where no placeable one holds them.
    if data.find(PLACEABLE) != -1:
        return
    for header in WMF_HEADERS:
        at = data.find(header)
        while at != -1:
            size = struct.unpack("<I", data[at + 6 : at + 10])[0] * 2
            if 18 < size <= len(data) - at and data[at + size - 6 : at + size] == WMF_END:
                yield data[at : at + size]
            at = data.find(header, at + 1)


def rtf_pictures(data):
    if not data.startswith(b"{\\rtf"):
        return
    for match in RTF_PICTURE.finditer(data):
        digits = re.sub(rb"\s", b"", match.group(3))
        yield bytes.fromhex(digits[: len(digits) // 2 * 2].decode())


def deflated(data):
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


def embedded(data):
    """Metafiles stored somewhere inside data, whole, deflated or as hex."""
    yield from embedded_emf(data)
    yield from embedded_wmf(data)
    yield from rtf_pictures(data)
    yield from deflated(data)


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


def package_folders(folder, scratch):
    """(package, unpacked folder) for each package in folder."""
    for name in sorted(os.listdir(folder)):
        path = os.path.join(folder, name)
        package = name.split("_")[0]
        if os.path.isdir(path):
            yield package, path
        elif name.endswith(".deb"):
            target = os.path.join(scratch, package)
            subprocess.run(["dpkg-deb", "-x", path, target], check=True)
            yield package, target
        elif ".orig.tar." in name and not name.endswith(".asc"):
            target = os.path.join(scratch, package + "-source")
            with tarfile.open(path) as archive:
                archive.extractall(target)
            yield package, target


def gather(out, package, root, seen):
    for folder, _, names in os.walk(root):
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


def fetch(folder):
    os.makedirs(folder, exist_ok=True)
    subprocess.run(["apt-get", "download", *BINARY_PACKAGES], cwd=folder, check=True)
    apt = os.path.join(folder, ".apt")
    os.makedirs(os.path.join(apt, "lists", "partial"), exist_ok=True)
    os.makedirs(os.path.join(apt, "cache", "archives", "partial"), exist_ok=True)
    with open(os.path.join(apt, "sources.list"), "w") as sources:
        sources.write(SOURCE_LIST)
    options = [
        "-o", f"Dir::Etc::SourceList={apt}/sources.list",
        "-o", "Dir::Etc::SourceParts=/dev/null",
        "-o", f"Dir::State::Lists={apt}/lists",
        "-o", f"Dir::Cache={apt}/cache",
    ]
    subprocess.run(["apt-get", *options, "update"], check=True)
    subprocess.run(["apt-get", *options, "source", "--download-only", *SOURCE_PACKAGES], cwd=folder, check=True)


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "fetch":
        fetch(sys.argv[2])
        return
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    out, folders = sys.argv[1], sys.argv[2:]
    seen = set()
    with tempfile.TemporaryDirectory() as scratch:
        for folder in folders:
            for package, root in package_folders(folder, scratch):
                gather(out, package, root, seen)


if __name__ == "__main__":
    main()
