#!/usr/bin/env python3
"""Checks Quelvar.msix independently of the packer that made it: every block hash and size of the
block map against the unpacked files, the local header sizes against the zip's own bytes, the content
types, the class and the DLL the manifest names, its publisher against the certificate, and the
signature with osslsigncode verify."""

import argparse
import base64
import hashlib
import os
import re
import struct
import subprocess
import sys
import zipfile
import xml.etree.ElementTree as ET

BM = "{http://schemas.microsoft.com/appx/2010/blockmap}"
CT = "{http://schemas.openxmlformats.org/package/2006/content-types}"
NS = {
    "f": "http://schemas.microsoft.com/appx/manifest/foundation/windows10",
    "uap10": "http://schemas.microsoft.com/appx/manifest/uap/windows10/10",
    "desktop4": "http://schemas.microsoft.com/appx/manifest/desktop/windows10/4",
    "desktop5": "http://schemas.microsoft.com/appx/manifest/desktop/windows10/5",
    "com": "http://schemas.microsoft.com/appx/manifest/com/windows10",
}
FOOTER = {"AppxBlockMap.xml", "[Content_Types].xml", "AppxSignature.p7x"}

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def main(argv):
    parser = argparse.ArgumentParser()
    parser.add_argument("msix")
    parser.add_argument("--class-ids", required=True, help="the generated ClassId.h the module is built with")
    parser.add_argument("--module", required=True)
    parser.add_argument("--certificate", required=True)
    parser.add_argument("--osslsigncode", default="osslsigncode")
    args = parser.parse_args(argv)

    raw = open(args.msix, "rb").read()
    package = zipfile.ZipFile(args.msix)
    names = [info.filename for info in package.infolist()]
    check(sorted(set(names)) == sorted(names), "duplicate entries: %s" % names)
    check(FOOTER <= set(names), "block map, content types or signature missing: %s" % names)

    # Block map: every payload file once, with its size, local header size and 64 KiB block hashes.
    block_map = ET.fromstring(package.read("AppxBlockMap.xml"))
    check(block_map.get("HashMethod") == "http://www.w3.org/2001/04/xmlenc#sha256", "hash method")
    listed = {}
    for node in block_map.findall(BM + "File"):
        listed[node.get("Name").replace("\\", "/")] = node
    check(sorted(listed) == sorted(set(names) - FOOTER), "block map lists %s, zip holds %s" % (sorted(listed), names))
    for name, node in listed.items():
        if name not in names:
            continue
        info = package.getinfo(name)
        data = package.read(name)
        check(int(node.get("Size")) == len(data), "%s: size" % name)
        signature, = struct.unpack_from("<I", raw, info.header_offset)
        name_length, extra_length = struct.unpack_from("<HH", raw, info.header_offset + 26)
        check(signature == 0x04034B50 and int(node.get("LfhSize")) == 30 + name_length + extra_length,
              "%s: local header size" % name)
        blocks = node.findall(BM + "Block")
        chunks = [data[i:i + 65536] for i in range(0, len(data), 65536)] or [b""]
        check(len(blocks) == len(chunks), "%s: %d blocks for %d bytes" % (name, len(blocks), len(data)))
        for index, (block, chunk) in enumerate(zip(blocks, chunks)):
            check(block.get("Hash") == base64.b64encode(hashlib.sha256(chunk).digest()).decode(),
                  "%s: hash of block %d" % (name, index))
        sizes = [block.get("Size") for block in blocks]
        if info.compress_type == zipfile.ZIP_DEFLATED:
            check(None not in sizes and sum(map(int, sizes)) == info.compress_size, "%s: compressed block sizes" % name)
        else:
            check(sizes == [None] * len(blocks), "%s: a stored file's blocks carry no size" % name)

    # Content types: the manifest, the block map and the signature by name, the logos by extension.
    types = ET.fromstring(package.read("[Content_Types].xml"))
    overrides = {node.get("PartName"): node.get("ContentType") for node in types.findall(CT + "Override")}
    defaults = {node.get("Extension"): node.get("ContentType") for node in types.findall(CT + "Default")}
    check(overrides.get("/AppxManifest.xml") == "application/vnd.ms-appx.manifest+xml", "manifest type")
    check(overrides.get("/AppxBlockMap.xml") == "application/vnd.ms-appx.blockmap+xml", "block map type")
    check(overrides.get("/AppxSignature.p7x") == "application/vnd.ms-appx.signature", "signature type")
    check(defaults.get("png") == "image/png", "png type")

    # Manifest: the command class the module is built with, served by the DLL beside it, for files,
    # folders and folder backgrounds; the publisher is the certificate's subject.
    manifest = ET.fromstring(package.read("AppxManifest.xml"))
    class_ids = open(args.class_ids).read()
    clsid = re.search(r'QV_COMMAND_CLSID_TEXT L"\{([0-9A-Fa-f-]+)\}"', class_ids).group(1)
    classes = manifest.findall(".//com:Class", NS)
    check([(c.get("Id"), c.get("Path")) for c in classes] == [(clsid, os.path.basename(args.module))],
          "com:Class %s, module %s" % ([c.attrib for c in classes], clsid))
    verbs = {t.get("Type"): [v.get("Clsid") for v in t.findall("desktop5:Verb", NS)]
             for t in manifest.findall(".//desktop5:ItemType", NS)}
    check(verbs == {"*": [clsid], "Directory": [clsid], "Directory\\Background": [clsid]}, "verbs %s" % verbs)
    check(manifest.find("f:Properties/uap10:AllowExternalContent", NS).text == "true", "not a sparse package")
    for logo in ("Assets/StoreLogo.png", "Assets/Square44x44Logo.png", "Assets/Square150x150Logo.png"):
        check(logo in names, "%s missing" % logo)
    subject = subprocess.run(["openssl", "x509", "-in", args.certificate, "-noout", "-subject", "-nameopt", "RFC2253"],
                             capture_output=True, text=True, check=True).stdout.strip()
    subject = re.sub(r"([^\\]),([A-Za-z.0-9]+=)", r"\1, \2", subject[len("subject="):])
    publisher = manifest.find("f:Identity", NS).get("Publisher")
    check(publisher == subject, "publisher %r, certificate %r" % (publisher, subject))

    verify = subprocess.run([args.osslsigncode, "verify", "-CAfile", args.certificate, "-in", args.msix],
                            capture_output=True, text=True)
    check(verify.returncode == 0 and "Signature verification: ok" in verify.stdout,
          "osslsigncode verify: %s%s" % (verify.stdout, verify.stderr))

    for failure in failures:
        print("FAILED: " + failure)
    print("%d passed, %d failed" % (1 if not failures else 0, 1 if failures else 0))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
