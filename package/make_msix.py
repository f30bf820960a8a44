#!/usr/bin/env python3
"""Packs Quelvar's sparse package: an OPC zip holding AppxManifest.xml and the logos, with
[Content_Types].xml and AppxBlockMap.xml (SHA-256 of every 64 KiB block). Signing is a separate
step (osslsigncode), which adds AppxSignature.p7x.

Usage: make_msix.py --manifest AppxManifest.xml --assets DIR --out Quelvar.msix

The zip is written here byte for byte rather than with zipfile, because the block map must state
the size of each file's local header and the compressed size of each block: every 64 KiB block is
deflated on its own (a full flush ends it), as the platform's own packer does. The central
directory and its end record carry ZIP64 fields, as that packer writes them; the local headers do
not: osslsigncode's signed output fails its own verification ("Local header does not match
central directory entry") when they do. The output is deterministic: the same inputs give the same
bytes.
"""

import argparse
import base64
import hashlib
import os
import struct
import sys
import zlib
from xml.sax.saxutils import escape, quoteattr

BLOCK = 64 * 1024
BLOCKMAP_NS = "http://schemas.microsoft.com/appx/2010/blockmap"
SHA256 = "http://www.w3.org/2001/04/xmlenc#sha256"
CONTENT_TYPES_NS = "http://schemas.openxmlformats.org/package/2006/content-types"
# 1980-01-01 00:00: no build time in the package.
DOS_TIME, DOS_DATE = 0, (0 << 9) | (1 << 5) | 1
# Formats that are compressed already are stored; the rest is deflated.
STORED = {".png"}
CONTENT_TYPES = {".png": "image/png", ".xml": "application/vnd.ms-appx.manifest+xml"}


class Entry:
    def __init__(self, name, data, deflate):
        self.name = name
        self.data = data
        self.deflate = deflate
        self.blocks = []  # (sha256 digest, compressed size or None)
        chunks = [data[i:i + BLOCK] for i in range(0, len(data), BLOCK)] or [b""]
        if deflate:
            compressor = zlib.compressobj(9, zlib.DEFLATED, -15, 9)
            out = bytearray()
            for index, chunk in enumerate(chunks):
                piece = compressor.compress(chunk)
                piece += compressor.flush(zlib.Z_FINISH if index == len(chunks) - 1 else zlib.Z_FULL_FLUSH)
                out += piece
                self.blocks.append((hashlib.sha256(chunk).digest(), len(piece)))
            self.payload = bytes(out)
        else:
            self.payload = data
            self.blocks = [(hashlib.sha256(chunk).digest(), None) for chunk in chunks]
        self.crc = zlib.crc32(data) & 0xFFFFFFFF
        self.offset = 0
        self.local_header = b""

    def write_local(self, out):
        self.offset = len(out)
        name = self.name.encode("utf-8")
        self.local_header = struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, 8 if self.deflate else 0, DOS_TIME,
                                        DOS_DATE, self.crc, len(self.payload), len(self.data), len(name), 0) + name
        out += self.local_header + self.payload

    def central(self):
        name = self.name.encode("utf-8")
        zip64 = struct.pack("<HHQQQ", 0x0001, 24, len(self.data), len(self.payload), self.offset)
        return struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 45, 45, 0, 8 if self.deflate else 0, DOS_TIME,
                           DOS_DATE, self.crc, 0xFFFFFFFF, 0xFFFFFFFF, len(name), len(zip64), 0, 0, 0, 0,
                           0xFFFFFFFF) + name + zip64


def block_map(files):
    lines = ['<?xml version="1.0" encoding="UTF-8"?>',
             '<BlockMap xmlns="%s" HashMethod="%s">' % (BLOCKMAP_NS, SHA256)]
    for entry in files:
        lines.append('<File Name=%s Size="%d" LfhSize="%d">'
                     % (quoteattr(entry.name.replace("/", "\\")), len(entry.data), len(entry.local_header)))
        for digest, size in entry.blocks:
            hashed = base64.b64encode(digest).decode("ascii")
            lines.append('<Block Hash="%s"%s/>' % (hashed, "" if size is None else ' Size="%d"' % size))
        lines.append("</File>")
    lines.append("</BlockMap>")
    return ("\r\n".join(lines) + "\r\n").encode("utf-8")


def content_types(files):
    extensions = sorted({os.path.splitext(entry.name)[1].lower() for entry in files} - {".xml"})
    parts = ['<?xml version="1.0" encoding="UTF-8"?>', '<Types xmlns="%s">' % CONTENT_TYPES_NS]
    for extension in extensions:
        kind = CONTENT_TYPES.get(extension, "application/octet-stream")
        parts.append('<Default Extension=%s ContentType=%s/>' % (quoteattr(extension[1:]), quoteattr(kind)))
    parts.append('<Override PartName="/AppxManifest.xml" ContentType="%s"/>' % escape(CONTENT_TYPES[".xml"]))
    parts.append('<Override PartName="/AppxBlockMap.xml" ContentType="application/vnd.ms-appx.blockmap+xml"/>')
    parts.append("</Types>")
    return ("\r\n".join(parts) + "\r\n").encode("utf-8")


def pack(manifest, assets, out_path):
    files = []
    with open(manifest, "rb") as handle:
        files.append(Entry("AppxManifest.xml", handle.read(), True))
    for name in sorted(os.listdir(assets)):
        with open(os.path.join(assets, name), "rb") as handle:
            files.append(Entry("Assets/" + name, handle.read(), os.path.splitext(name)[1].lower() not in STORED))
    out = bytearray()
    for entry in files:
        entry.write_local(out)
    footer = [Entry("AppxBlockMap.xml", block_map(files), True), Entry("[Content_Types].xml", content_types(files),
                                                                         True)]
    for entry in footer:
        entry.write_local(out)
    directory_start = len(out)
    for entry in files + footer:
        out += entry.central()
    directory_size = len(out) - directory_start
    count = len(files) + len(footer)
    zip64_end = len(out)
    out += struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, count, count, directory_size, directory_start)
    out += struct.pack("<IIQI", 0x07064B50, 0, zip64_end, 1)
    out += struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0)
    temporary = out_path + ".part"
    with open(temporary, "wb") as handle:
        handle.write(out)
    os.replace(temporary, out_path)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--manifest", required=True)
    parser.add_argument("--assets", required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args(argv)
    pack(args.manifest, args.assets, args.out)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
