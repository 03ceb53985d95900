#!/usr/bin/env python3
"""The sparse package that puts "Mark File" into Windows 11's top-level menu.

No Debian package writes MSIX files, and a sparse package is small: a zip
with the manifest, three logos, a block map and the content types. This
script writes all of it with the standard library.

  appx.py manifest [--publisher P] [--arch A] --out FILE
                                                fill AppxManifest.xml.in
  appx.py logos DIR                             the PNG logos the manifest names
  appx.py pack DIR OUT.msix                     block map, content types, zip
  appx.py build [--publisher P] [--arch A] OUT.msix
                                                all three: the whole package
  appx.py publisher CERT.pem                    a certificate's subject, written
                                                as the manifest's Publisher
  appx.py subject [PUBLISHER]                   a Publisher as openssl's -subj
  appx.py name                                  the package's identity name
  appx.py dll [--arch A]                        the command DLL's file name
  appx.py version                               the product version (MAJOR.MINOR.PATCH)
  appx.py id VARIABLE                           a value of cmake/ProductIds.cmake

A is the processor architecture of the command DLL that the package names:
x64 (the default) or arm64. The packaging scripts ask this script for the
version and the identifiers, so that each is read from one place.
"""
import argparse
import base64
import hashlib
import pathlib
import re
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
import zipfile
import zlib
from xml.sax.saxutils import escape, quoteattr

ROOT = pathlib.Path(__file__).resolve().parents[2]
TEMPLATE = pathlib.Path(__file__).with_name("AppxManifest.xml.in")
IDS_FILE = ROOT / "cmake" / "ProductIds.cmake"
CMAKELISTS = ROOT / "CMakeLists.txt"

# The subject of the throwaway test certificate, and so the Publisher of a
# package that no real certificate signs.
DEFAULT_PUBLISHER = "CN=Orvane Test Signing, O=Kelvoss"
# The schema needs an application entry with a program: the companion
# program, which ships beside the command DLL. It is never listed in Start.
APP_EXECUTABLE = "OrvaneShellExt.exe"
# Each architecture's command DLL, by the variable of ProductIds.cmake that
# holds its name. The package declares the architecture of the DLL it names:
# Windows registers a package only for a processor that can run it.
COMMAND_DLL_VARIABLE = {"x64": "ORVANE_EXPLORER_COMMAND_DLL_NAME",
                        "arm64": "ORVANE_EXPLORER_COMMAND_DLL_NAME_ARM64"}
LOGOS = {  # manifest field -> (path in the package, edge in pixels)
    "STORE_LOGO": ("Assets\\StoreLogo.png", 50),
    "LOGO_150": ("Assets\\Square150x150Logo.png", 150),
    "LOGO_44": ("Assets\\Square44x44Logo.png", 44),
}

BLOCK_SIZE = 64 * 1024
BLOCKMAP = "AppxBlockMap.xml"
CONTENT_TYPES = "[Content_Types].xml"
MANIFEST = "AppxManifest.xml"
# Written by the signing tool, never listed in the block map.
SIGNATURE = "AppxSignature.p7x"
CONTENT_TYPE_OF = {
    "png": "image/png",
    "dll": "application/x-msdownload",
    "exe": "application/x-msdownload",
    "xml": "application/xml",
    "txt": "text/plain",
}
# Same input, same package: entries carry a fixed time.
ZIP_TIME = (2026, 1, 1, 0, 0, 0)


class PackageError(Exception):
    pass


def cmake_set_value(path, variable):
    """The quoted value of set(VARIABLE "...") in a CMake file."""
    text = pathlib.Path(path).read_text(encoding="utf-8")
    match = re.search(r'^\s*set\(\s*%s\s+"([^"]*)"\s*\)' % re.escape(variable), text, re.M)
    if not match:
        raise PackageError("%s: no set(%s ...)" % (path, variable))
    return match.group(1)


def project_version(cmakelists=CMAKELISTS):
    """The product version as the project declares it."""
    text = pathlib.Path(cmakelists).read_text(encoding="utf-8")
    match = re.search(r"^project\(Orvane VERSION ([0-9.]+)", text, re.M)
    if not match:
        raise PackageError("%s: no project version" % cmakelists)
    return match.group(1)


def package_version(cmakelists):
    """The project version with four parts, as package identities need."""
    version = project_version(cmakelists)
    parts = version.split(".")
    if len(parts) > 4 or any(not p or int(p) > 65535 for p in parts):
        raise PackageError("version %s does not fit a package identity" % version)
    return ".".join(parts + ["0"] * (4 - len(parts)))


def command_dll_name(ids_file, arch="x64"):
    """The command DLL's file name; it sits in the package's folder."""
    return cmake_set_value(ids_file, COMMAND_DLL_VARIABLE[arch]) + ".dll"


def package_name(ids_file=IDS_FILE):
    return cmake_set_value(ids_file, "ORVANE_PACKAGE_NAME")


def manifest_text(publisher, ids_file, cmakelists, arch="x64", template=TEMPLATE):
    clsid = cmake_set_value(ids_file, "ORVANE_EXPLORER_COMMAND_CLSID")
    if not re.fullmatch(r"[0-9A-Fa-f]{8}(-[0-9A-Fa-f]{4}){3}-[0-9A-Fa-f]{12}", clsid):
        raise PackageError("%s is not a class identifier" % clsid)
    parse_publisher(publisher)
    fields = {
        "PACKAGE_NAME": package_name(ids_file),
        "PUBLISHER": publisher,
        "VERSION": package_version(cmakelists),
        "APP_EXECUTABLE": APP_EXECUTABLE,
        "CLSID": clsid.upper(),
        "DLL_PATH": command_dll_name(ids_file, arch),
        "ARCH": arch,
    }
    fields.update({name: path for name, (path, _) in LOGOS.items()})
    text = pathlib.Path(template).read_text(encoding="utf-8")
    text = re.sub(r"@([A-Z0-9_]+)@",
                  lambda m: escape(fields[m.group(1)], {'"': "&quot;"}) if m.group(1) in fields else m.group(0),
                  text)
    left = re.findall(r"@[A-Z0-9_]+@", text)
    if left:
        raise PackageError("template fields without a value: %s" % ", ".join(sorted(set(left))))
    ET.fromstring(text.encode("utf-8"))  # a template fault shows here, not on Windows
    return text


# --- Publisher names ---------------------------------------------------------
# Windows compares the Publisher with the certificate's subject as its own
# name formatter writes it with the "reverse" flag: the relative names
# (RDNs) most specific first, i.e. the reverse of the order the certificate
# encodes them, ", " between them; inside a multi-valued RDN its attributes
# in their encoded order, " + " between them. Attributes go by Windows' short
# names (S for the state, E for the e-mail address) or, where Windows has
# none, as OID.n.n...: an EV certificate's businessCategory and jurisdiction
# show as OID.2.5.4.15 and OID.1.3.6.1.4.1.311.60.2.1.1/2/3 in the Publisher
# of packages that such certificates sign. Values that hold a separator go
# in double quotes, inner quotes doubled.
WINDOWS_ATTRIBUTE = {"2.5.4.3": "CN", "2.5.4.10": "O", "2.5.4.11": "OU", "2.5.4.7": "L",
                     "2.5.4.8": "S", "2.5.4.6": "C", "1.2.840.113549.1.9.1": "E",
                     "2.5.4.9": "STREET", "0.9.2342.19200300.100.1.25": "DC",
                     "2.5.4.5": "SERIALNUMBER", "2.5.4.12": "T", "2.5.4.42": "G",
                     "2.5.4.4": "SN", "2.5.4.43": "I"}
# The names the test certificate's subject may use, as openssl spells them.
OPENSSL_ATTRIBUTE = {"CN": "CN", "O": "O", "OU": "OU", "L": "L", "S": "ST", "C": "C"}
# DER string types of directory names, and how their bytes read.
DER_STRING = {0x0C: "utf-8", 0x13: "ascii", 0x16: "ascii", 0x14: "latin-1", 0x1E: "utf-16-be",
              0x1C: "utf-32-be", 0x12: "ascii", 0x1A: "ascii"}


def windows_value(value):
    if value == "" or value != value.strip() or re.search(r'[,+="\n<>#;]', value):
        return '"%s"' % value.replace('"', '""')
    return value


def der_elements(data):
    """(tag, contents) of each DER element that data holds, in order."""
    pos = 0
    while pos < len(data):
        if pos + 2 > len(data):
            raise PackageError("truncated DER")
        tag, length = data[pos], data[pos + 1]
        pos += 2
        if length & 0x80:
            count = length & 0x7F
            if not 1 <= count <= 4 or pos + count > len(data):
                raise PackageError("bad DER length")
            length = int.from_bytes(data[pos:pos + count], "big")
            pos += count
        if pos + length > len(data):
            raise PackageError("truncated DER")
        yield tag, data[pos:pos + length]
        pos += length


def der_oid(data):
    arcs, value = [], 0
    for byte in data:
        value = (value << 7) | (byte & 0x7F)
        if not byte & 0x80:
            arcs.append(value)
            value = 0
    if not arcs:
        raise PackageError("empty object identifier")
    first = min(arcs[0] // 40, 2)
    return ".".join(str(a) for a in [first, arcs[0] - 40 * first] + arcs[1:])


def subject_rdns(certificate_der):
    """The subject of a DER certificate: [[(oid, value)] per RDN], encoded order."""
    (_, certificate), = der_elements(certificate_der)
    tbs = list(der_elements(next(der_elements(certificate))[1]))
    if tbs and tbs[0][0] == 0xA0:  # the explicit version
        tbs = tbs[1:]
    if len(tbs) < 5 or tbs[4][0] != 0x30:
        raise PackageError("not a certificate")
    rdns = []
    for _, rdn in der_elements(tbs[4][1]):
        attributes = []
        for _, pair in der_elements(rdn):
            (_, oid), (value_tag, value) = list(der_elements(pair))[:2]
            if value_tag not in DER_STRING:
                raise PackageError("a name value of DER type %#x" % value_tag)
            attributes.append((der_oid(oid), value.decode(DER_STRING[value_tag])))
        rdns.append(attributes)
    return rdns


def windows_name(rdns):
    """rdns as the Windows name formatter writes them, most specific first."""
    return ", ".join(" + ".join("%s=%s" % (WINDOWS_ATTRIBUTE.get(oid, "OID." + oid), windows_value(value))
                                for oid, value in rdn) for rdn in reversed(rdns))


def publisher_of_certificate(cert_pem):
    der = subprocess.run(["openssl", "x509", "-in", str(cert_pem), "-outform", "DER"],
                         check=True, capture_output=True).stdout
    try:
        rdns = subject_rdns(der)
    except (ValueError, UnicodeDecodeError, StopIteration) as error:
        raise PackageError("%s: unreadable subject (%s)" % (cert_pem, error))
    if not rdns:
        raise PackageError("%s: the certificate has no subject" % cert_pem)
    return windows_name(rdns)


def parse_publisher(publisher):
    """[[(attribute, value)] per RDN], as written; PackageError if malformed."""
    pattern = re.compile(r'\s*([A-Z]+|OID\.[0-9.]+)=("(?:[^"]|"")*"|[^,+"]*?)\s*([,+]|$)')
    rdns, rdn, pos = [], [], 0
    while pos < len(publisher):
        match = pattern.match(publisher, pos)
        if not match or not (match.group(1) in WINDOWS_ATTRIBUTE.values() or match.group(1).startswith("OID.")):
            raise PackageError("not a certificate subject: %r" % publisher)
        value = match.group(2)
        if value.startswith('"'):
            value = value[1:-1].replace('""', '"')
        rdn.append((match.group(1), value))
        pos = match.end()
        if match.group(3) != "+":
            rdns.append(rdn)
            rdn = []
        if match.group(3) == "" and pos < len(publisher):
            raise PackageError("not a certificate subject: %r" % publisher)
    if rdn or not rdns:
        raise PackageError("not a certificate subject: %r" % publisher)
    return rdns


def openssl_subject(publisher):
    """A Publisher as openssl's -subj, in the encoded order (the reverse)."""
    rdns = parse_publisher(publisher)
    if any(a not in OPENSSL_ATTRIBUTE for rdn in rdns for a, _ in rdn):
        raise PackageError("a test certificate takes only %s" % ", ".join(OPENSSL_ATTRIBUTE))
    return "".join("/" + "+".join("%s=%s" % (OPENSSL_ATTRIBUTE[a], re.sub(r"([/\\+])", r"\\\1", v))
                                  for a, v in rdn) for rdn in reversed(rdns))


# --- Logos -------------------------------------------------------------------
def png(width, height, pixel):
    """An RGBA PNG; pixel(x, y) gives (r, g, b, a)."""
    rows = b"".join(b"\0" + b"".join(bytes(pixel(x, y)) for x in range(width)) for y in range(height))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


def logo(edge):
    """A white bookmark on a blue rounded square: the product's marker."""
    def pixel(x, y):
        u, v = (x + 0.5) / edge, (y + 0.5) / edge
        corner = 0.18
        dx, dy = max(corner - u, u - (1 - corner), 0), max(corner - v, v - (1 - corner), 0)
        if dx * dx + dy * dy > corner * corner:
            return (0, 0, 0, 0)
        # The bookmark's lower edge: a notch that rises to its middle.
        bottom = 0.8 - 0.14 * (1 - abs(u - 0.5) / 0.17)
        if 0.33 <= u <= 0.67 and 0.2 <= v <= bottom:
            return (255, 255, 255, 255)
        return (0x1F, 0x5F, 0xA8, 255)
    return png(edge, edge, pixel)


def write_logos(folder):
    for path, edge in LOGOS.values():
        target = pathlib.Path(folder, *path.split("\\"))
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_bytes(logo(edge))


# --- The package -------------------------------------------------------------
def payload_files(folder):
    """(name in the zip, path) of every file to package, manifest first."""
    folder = pathlib.Path(folder)
    names = sorted(p.relative_to(folder).as_posix() for p in folder.rglob("*") if p.is_file())
    names = [n for n in names if n not in (BLOCKMAP, CONTENT_TYPES, SIGNATURE)]
    if MANIFEST not in names:
        raise PackageError("%s: no %s" % (folder, MANIFEST))
    names.remove(MANIFEST)
    return [(n, folder / n) for n in [MANIFEST] + names]


def zip_entry(name, compress_type=zipfile.ZIP_STORED):
    info = zipfile.ZipInfo(name, ZIP_TIME)
    info.compress_type = compress_type
    return info


def blockmap_xml(entries):
    """entries: (name in the zip, data, local header size)."""
    out = ['<?xml version="1.0" encoding="UTF-8"?>',
           '<BlockMap xmlns="http://schemas.microsoft.com/appx/2010/blockmap"'
           ' HashMethod="http://www.w3.org/2001/04/xmlenc#sha256">']
    for name, data, header_size in entries:
        out.append("<File Name=%s Size=\"%d\" LfhSize=\"%d\">"
                   % (quoteattr(name.replace("/", "\\")), len(data), header_size))
        # Stored entries: a block's size is implied, only its hash is written.
        for start in range(0, len(data), BLOCK_SIZE):
            digest = hashlib.sha256(data[start:start + BLOCK_SIZE]).digest()
            out.append('<Block Hash="%s"/>' % base64.b64encode(digest).decode("ascii"))
        out.append("</File>")
    out.append("</BlockMap>")
    return "\r\n".join(out).encode("utf-8")


def content_types_xml(names):
    extensions = sorted({n.rsplit(".", 1)[-1].lower() for n in names if "." in n.rsplit("/", 1)[-1]})
    out = ['<?xml version="1.0" encoding="UTF-8"?>',
           '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">']
    out += ['<Default Extension=%s ContentType="%s"/>'
            % (quoteattr(e), CONTENT_TYPE_OF.get(e, "application/octet-stream")) for e in extensions]
    out += ['<Override PartName="/%s" ContentType="application/vnd.ms-appx.manifest+xml"/>' % MANIFEST,
            '<Override PartName="/%s" ContentType="application/vnd.ms-appx.blockmap+xml"/>' % BLOCKMAP,
            "</Types>"]
    return "\r\n".join(out).encode("utf-8")


def pack(folder, out_file):
    files = payload_files(folder)
    entries = []
    with zipfile.ZipFile(out_file, "w") as package:
        for name, path in files:
            data = path.read_bytes()
            info = zip_entry(name)
            package.writestr(info, data)
            # The local header as written: fixed part, name, extra field.
            entries.append((name, data, 30 + len(info.filename.encode("utf-8")) + len(info.extra)))
        # The signing tool rewrites the content types and expects them
        # compressed (a stored copy comes out with a wrong size and checksum).
        package.writestr(zip_entry(BLOCKMAP, zipfile.ZIP_DEFLATED), blockmap_xml(entries))
        package.writestr(zip_entry(CONTENT_TYPES, zipfile.ZIP_DEFLATED), content_types_xml([n for n, _ in files]))


def build(publisher, arch, out_file):
    with tempfile.TemporaryDirectory() as folder:
        text = manifest_text(publisher, IDS_FILE, CMAKELISTS, arch)
        pathlib.Path(folder, MANIFEST).write_bytes(text.encode("utf-8"))
        write_logos(folder)
        pack(folder, out_file)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    commands = parser.add_subparsers(dest="command", required=True)
    manifest = commands.add_parser("manifest")
    manifest.add_argument("--publisher", default=DEFAULT_PUBLISHER)
    manifest.add_argument("--arch", choices=COMMAND_DLL_VARIABLE, default="x64")
    manifest.add_argument("--ids", default=IDS_FILE)
    manifest.add_argument("--cmakelists", default=CMAKELISTS)
    manifest.add_argument("--out", required=True)
    commands.add_parser("logos").add_argument("folder")
    packer = commands.add_parser("pack")
    packer.add_argument("folder")
    packer.add_argument("out")
    builder = commands.add_parser("build")
    builder.add_argument("--publisher", default=DEFAULT_PUBLISHER)
    builder.add_argument("--arch", choices=COMMAND_DLL_VARIABLE, default="x64")
    builder.add_argument("out")
    commands.add_parser("publisher").add_argument("cert")
    commands.add_parser("subject").add_argument("publisher", nargs="?", default=DEFAULT_PUBLISHER)
    commands.add_parser("name")
    commands.add_parser("dll").add_argument("--arch", choices=COMMAND_DLL_VARIABLE, default="x64")
    commands.add_parser("version")
    commands.add_parser("id").add_argument("variable")
    args = parser.parse_args(argv)
    try:
        if args.command == "manifest":
            text = manifest_text(args.publisher, args.ids, args.cmakelists, args.arch)
            pathlib.Path(args.out).write_bytes(text.encode("utf-8"))
        elif args.command == "logos":
            write_logos(args.folder)
        elif args.command == "pack":
            pack(args.folder, args.out)
        elif args.command == "build":
            build(args.publisher, args.arch, args.out)
        elif args.command == "publisher":
            print(publisher_of_certificate(args.cert))
        elif args.command == "subject":
            print(openssl_subject(args.publisher))
        elif args.command == "name":
            print(package_name())
        elif args.command == "version":
            print(project_version())
        elif args.command == "id":
            print(cmake_set_value(IDS_FILE, args.variable))
        else:
            print(command_dll_name(IDS_FILE, args.arch))
    except (PackageError, OSError, subprocess.CalledProcessError, ET.ParseError) as error:
        print("appx.py: %s" % error, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
