#!/usr/bin/env python3
"""The sparse package that puts "Mark File" into Windows 11's top-level menu.

No Debian package writes MSIX files, and a sparse package is small: a zip
with the manifest, three logos, a block map and the content types. This
script writes all of it with the standard library.

  appx.py manifest [--publisher P] --out FILE   fill AppxManifest.xml.in
  appx.py logos DIR                             the PNG logos the manifest names
  appx.py pack DIR OUT.msix                     block map, content types, zip
  appx.py build [--publisher P] OUT.msix        all three: the whole package
  appx.py publisher CERT.pem                    a certificate's subject, written
                                                as the manifest's Publisher
  appx.py subject [PUBLISHER]                   a Publisher as openssl's -subj
  appx.py name                                  the package's identity name
  appx.py dll                                   the command DLL's file name
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
# The schema needs an application entry with a program. It is never listed
# nor started, and no such file ships; that Windows registers the package
# all the same is one of the checks on a real machine (docs/windows11.md).
APP_EXECUTABLE = "OrvaneShellExt.exe"
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


def package_version(cmakelists):
    """The project version with four parts, as package identities need."""
    text = pathlib.Path(cmakelists).read_text(encoding="utf-8")
    match = re.search(r"^project\(Orvane VERSION ([0-9.]+)", text, re.M)
    if not match:
        raise PackageError("%s: no project version" % cmakelists)
    parts = match.group(1).split(".")
    if len(parts) > 4 or any(not p or int(p) > 65535 for p in parts):
        raise PackageError("version %s does not fit a package identity" % match.group(1))
    return ".".join(parts + ["0"] * (4 - len(parts)))


def command_dll_name(ids_file):
    """The command DLL's file name; it sits in the install folder's root."""
    return cmake_set_value(ids_file, "ORVANE_EXPLORER_COMMAND_DLL_NAME") + ".dll"


def manifest_text(publisher, ids_file, cmakelists, template=TEMPLATE):
    clsid = cmake_set_value(ids_file, "ORVANE_EXPLORER_COMMAND_CLSID")
    if not re.fullmatch(r"[0-9A-Fa-f]{8}(-[0-9A-Fa-f]{4}){3}-[0-9A-Fa-f]{12}", clsid):
        raise PackageError("%s is not a class identifier" % clsid)
    parse_publisher(publisher)
    fields = {
        "PACKAGE_NAME": cmake_set_value(ids_file, "ORVANE_PACKAGE_NAME"),
        "PUBLISHER": publisher,
        "VERSION": package_version(cmakelists),
        "APP_EXECUTABLE": APP_EXECUTABLE,
        "CLSID": clsid.upper(),
        "DLL_PATH": command_dll_name(ids_file),
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
# name formatter writes it: attributes in the certificate's order, ", "
# between them (" + " inside a multi-valued one), its short names (S for the
# state, E for the e-mail address, OID.n.n... for attributes it has no name
# for, such as an EV certificate's jurisdiction), and values that hold a
# separator in double quotes, inner quotes doubled.
WINDOWS_ATTRIBUTE = {"2.5.4.3": "CN", "2.5.4.10": "O", "2.5.4.11": "OU", "2.5.4.7": "L",
                     "2.5.4.8": "S", "2.5.4.6": "C", "1.2.840.113549.1.9.1": "E",
                     "2.5.4.9": "STREET", "0.9.2342.19200300.100.1.25": "DC",
                     "2.5.4.5": "SERIALNUMBER", "2.5.4.12": "T", "2.5.4.42": "G",
                     "2.5.4.4": "SN", "2.5.4.43": "I"}
# The names the test certificate's subject may use, as openssl spells them.
OPENSSL_ATTRIBUTE = {"CN": "CN", "O": "O", "OU": "OU", "L": "L", "S": "ST", "C": "C"}


def windows_value(value):
    if value == "" or value != value.strip() or re.search(r'[,+="\n<>#;]', value):
        return '"%s"' % value.replace('"', '""')
    return value


def publisher_of_certificate(cert_pem):
    lines = subprocess.run(
        ["openssl", "x509", "-in", str(cert_pem), "-noout", "-subject",
         "-nameopt", "sep_multiline,oid,utf8,space_eq"],
        check=True, capture_output=True, text=True).stdout.splitlines()
    names = []
    for line in lines[1:]:
        values = []
        for pair in re.split(r" \+ (?=[0-9.]+ = )", line.strip()):
            oid, _, value = pair.partition(" = ")
            values.append("%s=%s" % (WINDOWS_ATTRIBUTE.get(oid, "OID." + oid), windows_value(value)))
        names.append(" + ".join(values))
    if not names:
        raise PackageError("%s: the certificate has no subject" % cert_pem)
    return ", ".join(names)


def parse_publisher(publisher):
    """[(attribute, value)] of a Windows-style name; PackageError if malformed."""
    pattern = re.compile(r'\s*([A-Z]+|OID\.[0-9.]+)=("(?:[^"]|"")*"|[^,+"]*?)\s*([,+]|$)')
    parts, pos = [], 0
    while pos < len(publisher):
        match = pattern.match(publisher, pos)
        if not match or not (match.group(1) in WINDOWS_ATTRIBUTE.values() or match.group(1).startswith("OID.")):
            raise PackageError("not a certificate subject: %r" % publisher)
        value = match.group(2)
        if value.startswith('"'):
            value = value[1:-1].replace('""', '"')
        parts.append((match.group(1), value))
        pos = match.end()
        if match.group(3) == "" and pos < len(publisher):
            raise PackageError("not a certificate subject: %r" % publisher)
    if not parts:
        raise PackageError("empty publisher")
    return parts


def openssl_subject(publisher):
    parts = parse_publisher(publisher)
    if any(a not in OPENSSL_ATTRIBUTE for a, _ in parts):
        raise PackageError("a test certificate takes only %s" % ", ".join(OPENSSL_ATTRIBUTE))
    return "".join("/%s=%s" % (OPENSSL_ATTRIBUTE[a], re.sub(r"([/\\+])", r"\\\1", v)) for a, v in parts)


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


def build(publisher, out_file):
    with tempfile.TemporaryDirectory() as folder:
        text = manifest_text(publisher, IDS_FILE, CMAKELISTS)
        pathlib.Path(folder, MANIFEST).write_bytes(text.encode("utf-8"))
        write_logos(folder)
        pack(folder, out_file)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    commands = parser.add_subparsers(dest="command", required=True)
    manifest = commands.add_parser("manifest")
    manifest.add_argument("--publisher", default=DEFAULT_PUBLISHER)
    manifest.add_argument("--ids", default=IDS_FILE)
    manifest.add_argument("--cmakelists", default=CMAKELISTS)
    manifest.add_argument("--out", required=True)
    commands.add_parser("logos").add_argument("folder")
    packer = commands.add_parser("pack")
    packer.add_argument("folder")
    packer.add_argument("out")
    builder = commands.add_parser("build")
    builder.add_argument("--publisher", default=DEFAULT_PUBLISHER)
    builder.add_argument("out")
    commands.add_parser("publisher").add_argument("cert")
    commands.add_parser("subject").add_argument("publisher", nargs="?", default=DEFAULT_PUBLISHER)
    commands.add_parser("name")
    commands.add_parser("dll")
    args = parser.parse_args(argv)
    try:
        if args.command == "manifest":
            text = manifest_text(args.publisher, args.ids, args.cmakelists)
            pathlib.Path(args.out).write_bytes(text.encode("utf-8"))
        elif args.command == "logos":
            write_logos(args.folder)
        elif args.command == "pack":
            pack(args.folder, args.out)
        elif args.command == "build":
            build(args.publisher, args.out)
        elif args.command == "publisher":
            print(publisher_of_certificate(args.cert))
        elif args.command == "subject":
            print(openssl_subject(args.publisher))
        elif args.command == "name":
            print(cmake_set_value(IDS_FILE, "ORVANE_PACKAGE_NAME"))
        else:
            print(command_dll_name(IDS_FILE))
    except (PackageError, OSError, subprocess.CalledProcessError, ET.ParseError) as error:
        print("appx.py: %s" % error, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
