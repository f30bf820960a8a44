#!/usr/bin/env python3
"""Checks Quelvar.msix independently of the packer that made it: every block hash and size of the
block map against the unpacked files, the local header sizes against the zip's own bytes, the content
types, the class and the DLL the manifest names, its publisher against the certificate, and the
signature with osslsigncode verify; Microsoft's reader validates it and packages signed as unusual subjects."""

import argparse
import base64
import hashlib
import os
import re
import struct
import subprocess
import sys
import tempfile
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
    "rescap": "http://schemas.microsoft.com/appx/manifest/foundation/windows10/restrictedcapabilities",
}
# Certificate subjects (openssl -subj, in encoded order) and the Publisher Windows writes for each; None
# where no Publisher can hold it, which the build refuses before packing.
SUBJECTS = [
    ("/C=US/ST=Washington/L=Redmond/O=Contoso, Inc./CN=Contoso",
     'CN=Contoso, O="Contoso, Inc.", L=Redmond, S=Washington, C=US'),
    ("/C=DE/ST=Baden-Württemberg/O=Quelvar/CN=Quelvar Signing/emailAddress=sign@quelvar.example",
     "E=sign@quelvar.example, CN=Quelvar Signing, O=Quelvar, S=Baden-Württemberg, C=DE"),
    ("/jurisdictionC=US/jurisdictionST=Delaware/jurisdictionL=Wilmington/businessCategory=Private Organization"
     "/serialNumber=5551234/C=US/ST=Washington/L=Redmond/O=Contoso Ltd/CN=Contoso Ltd", "CN=Contoso Ltd, O=Contoso "
     "Ltd, L=Redmond, S=Washington, C=US, SERIALNUMBER=5551234, OID.2.5.4.15=Private Organization, OID.1.3.6.1.4.1."
     "311.60.2.1.1=Wilmington, OID.1.3.6.1.4.1.311.60.2.1.2=Delaware, OID.1.3.6.1.4.1.311.60.2.1.3=US"),
    ('/C=US/postalCode=98052/O=Fabrikam "Q" & Sons; <Tools>/OU=#1 Team/CN=Fabrikam',
     'CN=Fabrikam, OU="#1 Team", O="Fabrikam ""Q"" & Sons; <Tools>", PostalCode=98052, C=US'),
    ("/C=US/O=Contoso/OU=Tools+CN=Contoso", None),
]
# makemsix's signature check on Linux reads the subject through OpenSSL, in a form its own schema refuses
# as a Publisher (emailAddress=, unquoted commas) or, for text beyond ASCII, not at all; there the package
# is validated without it and the signature by osslsigncode.
SUBJECT_UNREADABLE = ("0x8bad0043", "0x8000ffff")
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
    parser.add_argument("--source", required=True, help="package/: the packer, the Publisher script, Assets")
    parser.add_argument("--family-name", required=True, help="FamilyName.txt")
    parser.add_argument("--makemsix", required=True, help="Microsoft's reader; its rows are skipped when absent")
    args = parser.parse_args(argv)
    args.publisher = [sys.executable, args.source + "/publisher.py"]
    if not os.path.exists(args.makemsix):
        print("SKIPPED makemsix rows: %s is absent" % args.makemsix)
        args.makemsix = None

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
    for name in [node.get(key) for node in manifest.iter() for key in ("Square150x150Logo", "Square44x44Logo")
                 if node.get(key)] + [manifest.find("f:Properties/f:Logo", NS).text]:  # and what the installer copies
        check(name.replace("\\", "/") in names and os.path.isfile(args.source + "/" + name.replace("\\", "/")), name)
    identity = manifest.find("f:Identity", NS)
    device = manifest.find("f:Dependencies/f:TargetDeviceFamily", NS)
    check(identity.get("ProcessorArchitecture") == "neutral" and re.fullmatch(r"(\d+\.){3}\d+", identity.get("Version"))
          and device.get("MaxVersionTested") == "10.0.26100.0", "identity %s, %s" % (identity.attrib, device.attrib))
    check([c.get("Name") for c in manifest.findall("f:Capabilities/rescap:Capability", NS)] == ["runFullTrust",
          "unvirtualizedResources"] and not manifest.findall(".//f:Application[@EntryPoint]", NS), "EntryPoint, rescap")
    check(identity.get("Publisher") == run(*args.publisher, args.certificate).stdout, "publisher %s" % identity.attrib)
    verify = subprocess.run([args.osslsigncode, "verify", "-CAfile", args.certificate, "-in", args.msix],
                            capture_output=True, text=True)
    check(verify.returncode == 0 and "Signature verification: ok" in verify.stdout,
          "osslsigncode verify: %s%s" % (verify.stdout, verify.stderr))

    with tempfile.TemporaryDirectory() as work:
        if args.makemsix:
            check(validate(args, args.msix, work + "/built", open(args.family_name).read()), "makemsix refuses it")
            changed = bytearray(raw)  # one byte of a logo, which is stored as it is
            info = package.getinfo("Assets/StoreLogo.png")
            changed[info.header_offset + int(listed[info.filename].get("LfhSize")) + 100] ^= 1
            open(work + "/changed.msix", "wb").write(changed)
            check(not validate(args, work + "/changed.msix", work + "/changed"), "a byte changed, still accepted")
        with_subjects(args, work)
    for failure in failures:
        print("FAILED: " + failure)
    print("%d passed, %d failed" % (1 if not failures else 0, 1 if failures else 0))
    return 1 if failures else (0 if args.makemsix else 77)


def run(*command):
    return subprocess.run(command, capture_output=True, text=True)


def validate(args, msix, out, family=None):
    """makemsix's verdict; an accepted package's full name starts and ends with the family name's parts."""
    for option in ("-ac", "-ss"):
        result = run(args.makemsix, "unpack", "-p", msix, "-d", out + option, "-pfn", option)
        print("makemsix %s %s: %s" % (option, os.path.basename(msix), result.returncode and " ".join(
            re.findall(r"Error: \S+|Publisher mismatch.*", result.stdout)) or "accepted"))
        if result.returncode == 0 or not any(code in result.stdout for code in SUBJECT_UNREADABLE):
            break
    full = os.listdir(out + option) if result.returncode == 0 else ["refused"]
    check(not family or re.sub(r"_[^_]*_[^_]*_[^_]*_", "_", full[0]) == family, "family %s, %s" % (family, full))
    return result.returncode == 0


def with_subjects(args, work):
    """Packages signed by certificates with each subject, made as the build makes them."""
    manifest = zipfile.ZipFile(args.msix).read("AppxManifest.xml").decode("utf-8")
    key = os.path.join(work, "key.pem")
    run("openssl", "genrsa", "-out", key, "2048")
    for row, (subject, expected) in enumerate(SUBJECTS):
        base = os.path.join(work, str(row))
        run("openssl", "req", "-x509", "-key", key, "-utf8", "-multivalue-rdn", "-days", "2", "-subj", subject,
            "-addext", "extendedKeyUsage=codeSigning", "-out", base + ".pem")
        publisher = run(*args.publisher, base + ".pem")
        check((publisher.stdout if publisher.returncode == 0 else None) == expected,
              "%s: publisher %r" % (subject, publisher.stdout or publisher.stderr))
        if publisher.returncode:
            continue
        xml = 'Publisher="%s"' % run(*args.publisher, base + ".pem", "--xml").stdout
        open(base + ".xml", "wb").write(re.sub(r'Publisher="[^"]*"', lambda _: xml, manifest, count=1).encode())
        run(sys.executable, args.source + "/make_msix.py", "--manifest", base + ".xml", "--assets",
            args.source + "/Assets", "--out", base + "-u.msix")
        run(args.osslsigncode, "sign", "-certs", base + ".pem", "-key", key, "-in", base + "-u.msix", "-out",
            base + ".msix")
        if args.makemsix:
            family = run(*args.publisher, base + ".pem", "--family-name", "Quelvar.ContextMenu").stdout
            check(validate(args, base + ".msix", base, family), "makemsix refuses the package of %s" % subject)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
