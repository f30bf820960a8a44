#!/usr/bin/env python3
"""The Publisher of Quelvar's package, read from the signing certificate, and the package family name.

Usage: publisher.py CERTIFICATE [--xml] | CERTIFICATE --family-name NAME

Windows accepts a package only when the manifest's Publisher is the certificate's subject exactly as
CertNameToStr writes it in its X500 form: the relative names from the last encoded to the first,
separated by ", ", the parts of a multi-valued one by " + "; Windows' own short keys (S= for the state,
E= for the e-mail address) and OID.n.n... for attributes without one; a value in double quotes (inner
quotes doubled) when it holds a character that separates names or starts with or ends in blanks.
OpenSSL's RFC 2253 text differs in all of these, so the subject is read here from the certificate's DER
bytes. The family name (NAME_publisherid) is what Windows provisions a package for all users by; it is
derived from the Publisher string alone.
"""

import argparse
import base64
import hashlib
import re
import sys

# Keys of the attributes that Windows writes by name, all of which a Publisher may carry; any other
# attribute (the EV jurisdiction fields, businessCategory) is written as OID.<dotted number>.
KEYS = {
    "2.5.4.3": "CN",
    "2.5.4.4": "SN",
    "2.5.4.5": "SERIALNUMBER",
    "2.5.4.6": "C",
    "2.5.4.7": "L",
    "2.5.4.8": "S",
    "2.5.4.9": "STREET",
    "2.5.4.10": "O",
    "2.5.4.11": "OU",
    "2.5.4.12": "T",
    "2.5.4.42": "G",
    "2.5.4.43": "I",
    "1.2.840.113549.1.9.1": "E",
    "0.9.2342.19200300.100.1.25": "DC",
    "2.5.4.13": "Description",
    "2.5.4.17": "PostalCode",
    "2.5.4.18": "POBox",
    "2.5.4.20": "Phone",
    "2.5.4.24": "X21Address",
    "2.5.4.46": "dnQualifier",
}
# What the manifest schema lets a Publisher be: one attribute per relative name, so a subject whose Windows
# form joins two attributes with " + " cannot sign a package; better said at configure time than by
# Windows when the package is registered.
_PART = r'(%s|OID\.(0|[1-9][0-9]*)(\.(0|[1-9][0-9]*))+)=([^,+="<>#;]+|".*")' % "|".join(KEYS.values())
PUBLISHER_PATTERN = re.compile("%s(, %s)*" % (_PART, _PART))
QUOTED = set(',+="<>#;\r\n')
MAX_CERTIFICATE = 1 << 20
CROCKFORD = "0123456789abcdefghjkmnpqrstvwxyz"


class BadCertificate(Exception):
    pass


def element(data, position, end):
    """One DER element at position: (tag, start of its contents, end of its contents)."""
    if position + 2 > end:
        raise BadCertificate("truncated element")
    tag, length = data[position], data[position + 1]
    position += 2
    if tag & 0x1F == 0x1F:
        raise BadCertificate("unexpected high tag number")
    if length & 0x80:
        count = length & 0x7F
        if count == 0 or count > 4 or position + count > end:
            raise BadCertificate("bad length")
        length = int.from_bytes(data[position:position + count], "big")
        position += count
    if position + length > end:
        raise BadCertificate("element runs past its container")
    return tag, position, position + length


def children(data, start, end):
    while start < end:
        tag, inner, start = element(data, start, end)
        yield tag, inner, start


def object_id(encoded):
    arcs, value = [], 0
    for byte in encoded:
        value = (value << 7) | (byte & 0x7F)
        if not byte & 0x80:
            arcs.append(value)
            value = 0
    if not arcs or encoded[-1] & 0x80:
        raise BadCertificate("bad object identifier")
    first = min(arcs[0] // 40, 2)
    return ".".join(str(arc) for arc in [first, arcs[0] - 40 * first] + arcs[1:])


def text(tag, value):
    if tag == 0x0C:  # UTF8String
        return value.decode("utf-8")
    if tag in (0x12, 0x13, 0x16, 0x1A):  # Numeric, Printable, IA5, Visible
        return value.decode("latin-1")
    if tag == 0x14:  # TeletexString: Windows tries UTF-8 first, then 8-bit characters
        try:
            return value.decode("utf-8")
        except UnicodeDecodeError:
            return value.decode("latin-1")
    if tag == 0x1E:  # BMPString
        return value.decode("utf-16-be")
    if tag == 0x1C:  # UniversalString
        return value.decode("utf-32-be")
    raise BadCertificate("subject value of ASN.1 type 0x%02x is not a string" % tag)


def subject_names(der):
    """The subject's relative distinguished names in encoded order, each a list of (OID, text)."""
    _, start, end = element(der, 0, len(der))
    _, start, end = element(der, start, end)  # tbsCertificate
    fields = list(children(der, start, end))
    if fields and fields[0][0] == 0xA0:  # explicit version
        fields = fields[1:]
    if len(fields) < 5 or fields[4][0] != 0x30:
        raise BadCertificate("no subject")
    _, start, end = fields[4]  # serialNumber, signature, issuer, validity, subject
    names = []
    for tag, set_start, set_end in children(der, start, end):
        if tag != 0x31:
            raise BadCertificate("relative name is not a SET")
        parts = []
        for _, pair_start, pair_end in children(der, set_start, set_end):
            (oid_tag, oid_start, oid_end), (value_tag, value_start, value_end) = list(
                children(der, pair_start, pair_end))[:2]
            if oid_tag != 0x06:
                raise BadCertificate("attribute without an OID")
            parts.append((object_id(der[oid_start:oid_end]), text(value_tag, der[value_start:value_end])))
        names.append(parts)
    return names


def quote(value):
    if value and (value[0].isspace() or value[-1].isspace() or QUOTED & set(value)):
        return '"%s"' % value.replace('"', '""')
    return value


def publisher(der):
    return ", ".join(" + ".join("%s=%s" % (KEYS.get(oid, "OID." + oid), quote(value)) for oid, value in parts)
                     for parts in reversed(subject_names(der)))


def publisher_id(publisher_text):
    """13 characters: the first 64 bits of SHA-256 over the UTF-16LE text and one zero bit, 5 bits each."""
    bits = int.from_bytes(hashlib.sha256(publisher_text.encode("utf-16-le")).digest()[:8], "big") << 1
    return "".join(CROCKFORD[(bits >> shift) & 31] for shift in range(60, -1, -5))


def family_name(name, publisher_text):
    return "%s_%s" % (name, publisher_id(publisher_text))


def read_certificate(path):
    with open(path, "rb") as handle:
        data = handle.read(MAX_CERTIFICATE + 1)
    if len(data) > MAX_CERTIFICATE:
        raise BadCertificate("larger than %d bytes" % MAX_CERTIFICATE)
    # PEM (the first certificate of a chain is the signer's) or DER.
    found = re.search(rb"-----BEGIN CERTIFICATE-----(.*?)-----END CERTIFICATE-----", data, re.S)
    return base64.b64decode(b"".join(found.group(1).split())) if found else data


def xml_attribute(value):
    value = value.replace("&", "&amp;").replace('"', "&quot;").replace("<", "&lt;").replace(">", "&gt;")
    return value.replace("\t", "&#9;").replace("\n", "&#10;").replace("\r", "&#13;")


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("certificate", help="PEM or DER")
    parser.add_argument("--xml", action="store_true", help="escaped for an XML attribute")
    parser.add_argument("--family-name", metavar="NAME", help="print the family name of package NAME")
    args = parser.parse_args(argv)
    try:
        rendered = publisher(read_certificate(args.certificate))
    except (BadCertificate, ValueError, OSError) as error:
        sys.stderr.write("%s: cannot read the certificate's subject: %s\n" % (args.certificate, error))
        return 1
    if not PUBLISHER_PATTERN.fullmatch(rendered):
        sys.stderr.write("%s: Windows writes its subject as %s, which a package's Publisher cannot be\n"
                         % (args.certificate, rendered))
        return 1
    if args.family_name:
        rendered = family_name(args.family_name, rendered)
    elif args.xml:
        rendered = xml_attribute(rendered)
    sys.stdout.buffer.write(rendered.encode("utf-8"))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
