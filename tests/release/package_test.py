#!/usr/bin/env python3
"""The sparse package and the signing, checked on Linux: the manifest from
the product's identifiers, the block map against an independent re-hash of
the zip's raw bytes, and osslsigncode's verdict on signed and tampered files.

  package_test.py DLL    DLL: any small PE file to sign
"""
import base64
import hashlib
import os
import pathlib
import re
import struct
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ET
import zipfile

ROOT = pathlib.Path(__file__).resolve().parents[2]
APPX = ROOT / "tools" / "package" / "appx.py"
SIGN = ROOT / "tools" / "package" / "sign.sh"
DLL = None
NS = {"m": "http://schemas.microsoft.com/appx/manifest/foundation/windows10",
      "uap": "http://schemas.microsoft.com/appx/manifest/uap/windows10",
      "uap10": "http://schemas.microsoft.com/appx/manifest/uap/windows10/10",
      "rescap": "http://schemas.microsoft.com/appx/manifest/foundation/windows10/restrictedcapabilities",
      "desktop4": "http://schemas.microsoft.com/appx/manifest/desktop/windows10/4",
      "desktop5": "http://schemas.microsoft.com/appx/manifest/desktop/windows10/5",
      "com": "http://schemas.microsoft.com/appx/manifest/com/windows10",
      "b": "http://schemas.microsoft.com/appx/2010/blockmap",
      "ct": "http://schemas.openxmlformats.org/package/2006/content-types"}
DEFAULT_PUBLISHER = "CN=Orvane Test Signing, O=Kelvoss"


def run(*args, env=None, check=True):
    return subprocess.run([str(a) for a in args], capture_output=True, text=True, check=check,
                          env=dict(os.environ, **(env or {})))


def appx(*args, check=True):
    return run(sys.executable, APPX, *args, check=check)


def sign(*args, env=None):
    clean = {"ORVANE_SIGN_PFX": "", "ORVANE_SIGN_PASS": ""}
    return run("bash", SIGN, *args, env=dict(clean, **(env or {})))


def verifies(cert, file):
    return run("osslsigncode", "verify", "-CAfile", cert, "-in", file, check=False).returncode == 0


def flip_byte(source, target, offset):
    data = bytearray(pathlib.Path(source).read_bytes())
    data[offset] ^= 0xFF
    pathlib.Path(target).write_bytes(bytes(data))


def block_map_faults(msix):
    """What the package's block map gets wrong about the zip's own bytes."""
    raw = pathlib.Path(msix).read_bytes()
    faults = []
    with zipfile.ZipFile(msix) as package:
        infos = {i.filename: i for i in package.infolist()}
        root = ET.fromstring(package.read("AppxBlockMap.xml"))
        types = ET.fromstring(package.read("[Content_Types].xml"))
    listed = set()
    for entry in root.findall("b:File", NS):
        name = entry.get("Name").replace("\\", "/")
        listed.add(name)
        info = infos[name]
        start = info.header_offset
        if raw[start:start + 4] != b"PK\3\4":
            faults.append("%s: no local header" % name)
            continue
        name_length, extra_length = struct.unpack("<HH", raw[start + 26:start + 30])
        header = 30 + name_length + extra_length
        data = raw[start + header:start + header + info.compress_size]
        if int(entry.get("LfhSize")) != header:
            faults.append("%s: LfhSize %s, header %d" % (name, entry.get("LfhSize"), header))
        if int(entry.get("Size")) != len(data) or info.compress_type != zipfile.ZIP_STORED:
            faults.append("%s: Size %s, stored %d" % (name, entry.get("Size"), len(data)))
        hashes = [b.get("Hash") for b in entry.findall("b:Block", NS)]
        blocks = [data[i:i + 65536] for i in range(0, len(data), 65536)]
        if hashes != [base64.b64encode(hashlib.sha256(b).digest()).decode() for b in blocks]:
            faults.append("%s: block hashes differ" % name)
    unlisted = set(infos) - listed - {"AppxBlockMap.xml", "[Content_Types].xml", "AppxSignature.p7x"}
    if unlisted or "AppxManifest.xml" not in listed:
        faults.append("files outside the block map: %s" % sorted(unlisted))
    defaults = {d.get("Extension") for d in types.findall("ct:Default", NS)}
    overrides = {o.get("PartName") for o in types.findall("ct:Override", NS)}
    for name in listed:
        if "/" + name not in overrides and name.rsplit(".", 1)[-1].lower() not in defaults:
            faults.append("%s: no content type" % name)
    return faults


class Manifest(unittest.TestCase):
    def write_inputs(self, folder, clsid, version):
        ids = pathlib.Path(folder, "ids.cmake")
        ids.write_text('set(ORVANE_EXPLORER_COMMAND_CLSID "%s")\n'
                       'set(ORVANE_EXPLORER_COMMAND_DLL_NAME "CmdX")\n'
                       'set(ORVANE_EXPLORER_COMMAND_DLL_NAME_ARM64 "CmdA")\n'
                       'set(ORVANE_PACKAGE_NAME "Kelvoss.Test")\n' % clsid)
        lists = pathlib.Path(folder, "CMakeLists.txt")
        lists.write_text("project(Orvane VERSION %s LANGUAGES C CXX)\n" % version)
        return ids, lists

    def test_filled_from_the_identifiers_and_publisher(self):
        publisher = 'CN="Kelvoss & Söhne, ""Lab""", O=Kelvoss <QA>, C=DE'
        clsid = "0A1B2C3D-0000-4000-8000-00000000BEEF"
        # Each package declares the processor of the command DLL it names.
        for arch, dll in (("x64", "CmdX.dll"), ("arm64", "CmdA.dll")):
            with self.subTest(arch), tempfile.TemporaryDirectory() as folder:
                ids, lists = self.write_inputs(folder, clsid.lower(), "3.1")
                out = pathlib.Path(folder, "AppxManifest.xml")
                appx("manifest", "--publisher", publisher, "--arch", arch, "--ids", ids, "--cmakelists", lists,
                     "--out", out)
                root = ET.parse(out).getroot()
                identity = root.find("m:Identity", NS)
                self.assertEqual((identity.get("Name"), identity.get("Publisher"), identity.get("Version"),
                                  identity.get("ProcessorArchitecture")), ("Kelvoss.Test", publisher, "3.1.0.0", arch))
                server = root.find(".//com:ComServer/com:SurrogateServer/com:Class", NS)
                self.assertEqual((server.get("Id"), server.get("Path")), (clsid, dll))
        self.assertEqual(root.find("m:Properties/uap10:AllowExternalContent", NS).text, "true")
        self.assertEqual({c.get("Name") for c in root.findall("m:Capabilities/rescap:Capability", NS)},
                         {"runFullTrust", "unvirtualizedResources"})
        app = root.find("m:Applications/m:Application", NS)
        self.assertEqual(app.find("uap:VisualElements", NS).get("AppListEntry"), "none")
        self.assertEqual((identity.get("Name"), app.get("Executable")), ("Kelvoss.Test", "OrvaneShellExt.exe"))
        item = app.find(".//desktop4:FileExplorerContextMenus/desktop5:ItemType", NS)
        self.assertEqual((item.get("Type"), item.find("desktop5:Verb", NS).get("Clsid")), ("*", clsid))

    def test_bad_inputs_are_refused(self):
        cases = [  # publisher, class identifier, version
            ("Orvane Test Signing", "0A1B2C3D-0000-4000-8000-00000000BEEF", "2.2.0"),
            (DEFAULT_PUBLISHER, "0A1B2C3D-0000-4000-8000-BEEF", "2.2.0"),
            (DEFAULT_PUBLISHER, "0A1B2C3D-0000-4000-8000-00000000BEEF", "2.2.0.0.1"),
            (DEFAULT_PUBLISHER, "0A1B2C3D-0000-4000-8000-00000000BEEF", "2.70000"),
        ]
        for publisher, clsid, version in cases:
            with self.subTest(publisher=publisher, clsid=clsid, version=version), \
                    tempfile.TemporaryDirectory() as folder:
                ids, lists = self.write_inputs(folder, clsid, version)
                out = pathlib.Path(folder, "AppxManifest.xml")
                result = appx("manifest", "--publisher", publisher, "--ids", ids, "--cmakelists", lists,
                              "--out", out, check=False)
                self.assertEqual(result.returncode, 1, result.stderr)
                self.assertFalse(out.exists())


# Windows' names for what openssl calls otherwise: the state, the e-mail
# address, and those an EV certificate carries, which Windows writes as
# numbers (as in the Publisher of packages signed with such certificates).
WINDOWS_NAME_OF = {"ST": "S", "emailAddress": "E", "serialNumber": "SERIALNUMBER",
                   "businessCategory": "OID.2.5.4.15", "jurisdictionL": "OID.1.3.6.1.4.1.311.60.2.1.1",
                   "jurisdictionST": "OID.1.3.6.1.4.1.311.60.2.1.2", "jurisdictionC": "OID.1.3.6.1.4.1.311.60.2.1.3"}


def rfc2253_split(text, separator):
    """text split at separators that no backslash escapes."""
    parts, part, escaped = [], "", False
    for char in text:
        if char == separator and not escaped:
            parts.append(part)
            part = ""
            continue
        escaped = not escaped and char == "\\"
        part += char
    return parts + [part]


def rfc2253_unescape(value):
    """RFC 2253 escapes (\\c, \\XX bytes) back to the UTF-8 text."""
    out, pos = bytearray(), 0
    while pos < len(value):
        if value[pos] == "\\" and re.fullmatch(r"[0-9A-Fa-f]{2}", value[pos + 1:pos + 3]):
            out.append(int(value[pos + 1:pos + 3], 16))
            pos += 3
        elif value[pos] == "\\":
            out += value[pos + 1].encode()
            pos += 2
        else:
            out += value[pos].encode()
            pos += 1
    return out.decode("utf-8")


def windows_form_from_openssl(cert):
    """openssl's RFC 2253 subject (already most specific first) as Windows
    writes it: Windows' names, quotes instead of escapes, ", " and " + ", and
    inside a multi-valued name the encoded order, which openssl reverses."""
    line = run("openssl", "x509", "-in", cert, "-noout", "-subject", "-nameopt", "RFC2253").stdout.strip()
    rdns = []
    for rdn in rfc2253_split(line[len("subject="):], ","):
        attributes = []
        for pair in reversed(rfc2253_split(rdn, "+")):
            name, _, value = pair.partition("=")
            value = rfc2253_unescape(value)
            if not value or value != value.strip() or re.search(r'[,+="\n<>#;]', value):
                value = '"%s"' % value.replace('"', '""')
            attributes.append("%s=%s" % (WINDOWS_NAME_OF.get(name, name), value))
        rdns.append(" + ".join(attributes))
    return ", ".join(rdns)


class Publisher(unittest.TestCase):
    def test_windows_form_of_certificate_subjects(self):
        cases = [  # what, subject as encoded (openssl -subj), Publisher
            ("test certificate", appx("subject").stdout.strip(), DEFAULT_PUBLISHER),
            ("CA-issued", "/C=US/ST=Washington/L=Redmond/O=Kelvoss Ltd/CN=Orvane Signing",
             "CN=Orvane Signing, O=Kelvoss Ltd, L=Redmond, S=Washington, C=US"),
            ("EV", "/jurisdictionC=US/jurisdictionST=Delaware/jurisdictionL=Dover/businessCategory=Private Organization"
                   "/serialNumber=4860621/C=US/ST=California/L=San Francisco/O=Kelvoss, Inc./CN=Kelvoss, Inc.",
             'CN="Kelvoss, Inc.", O="Kelvoss, Inc.", L=San Francisco, S=California, C=US, SERIALNUMBER=4860621, '
             "OID.2.5.4.15=Private Organization, OID.1.3.6.1.4.1.311.60.2.1.1=Dover, "
             "OID.1.3.6.1.4.1.311.60.2.1.2=Delaware, OID.1.3.6.1.4.1.311.60.2.1.3=US"),
            # DER sorts a multi-valued name's members: the shorter OU first.
            ("multi-valued", "/C=DE/O=Kelvoss+OU=Shell/CN=Orvane", "CN=Orvane, OU=Shell + O=Kelvoss, C=DE"),
            ("quoting and letters", '/C=FR/ST=Île-de-France/O=Kelvoss "Labs"/OU=R\\+D; QA/OU= pad /CN=Orvane <x>'
                                    "/emailAddress=dev@kelvoss.example",
             'E=dev@kelvoss.example, CN="Orvane <x>", OU=" pad ", OU="R+D; QA", O="Kelvoss ""Labs""", '
             "S=Île-de-France, C=FR"),
        ]
        for what, subject, publisher in cases:
            with self.subTest(what), tempfile.TemporaryDirectory() as folder:
                cert = pathlib.Path(folder, "c.pem")
                run("openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes",
                    "-days", "2", "-utf8", "-subj", subject, "-keyout", pathlib.Path(folder, "k.pem"), "-out", cert)
                self.assertEqual(appx("publisher", cert).stdout.strip(), publisher)
                self.assertEqual(windows_form_from_openssl(cert), publisher)
                # What the package is stamped with must survive the manifest.
                appx("manifest", "--publisher", publisher, "--out", pathlib.Path(folder, "m.xml"))


class BlockMap(unittest.TestCase):
    def test_matches_the_zip_and_a_tampered_copy_does_not(self):
        with tempfile.TemporaryDirectory() as folder:
            stage = pathlib.Path(folder, "stage")
            (stage / "Assets" / "Deep").mkdir(parents=True)
            appx("manifest", "--out", stage / "AppxManifest.xml")
            appx("logos", stage)
            big = os.urandom(2 * 65536 + 5)  # two full blocks and a short one
            (stage / "Assets" / "Deep" / "big.bin").write_bytes(big)
            (stage / "empty.txt").write_bytes(b"")
            msix = pathlib.Path(folder, "p.msix")
            appx("pack", stage, msix)
            self.assertEqual(block_map_faults(msix), [])
            with zipfile.ZipFile(msix) as package:
                self.assertEqual(package.read("Assets/Deep/big.bin"), big)
            tampered = pathlib.Path(folder, "t.msix")
            flip_byte(msix, tampered, pathlib.Path(msix).read_bytes().index(big[70000:70032]))
            self.assertEqual(block_map_faults(tampered), ["Assets/Deep/big.bin: block hashes differ"])


class Signing(unittest.TestCase):
    def test_test_certificate_signs_dll_and_package(self):
        with tempfile.TemporaryDirectory() as folder:
            work = pathlib.Path(folder)
            cer = work / "Orvane-Test-Signing.cer"
            publisher = sign("identity", work / "id", cer).stdout.strip()
            self.assertEqual(publisher, DEFAULT_PUBLISHER)
            pem = work / "cer.pem"
            run("openssl", "x509", "-inform", "DER", "-in", cer, "-out", pem)  # the .cer is DER
            dll, msix = work / "x.dll", work / "x.msix"
            dll.write_bytes(pathlib.Path(DLL).read_bytes())
            appx("build", "--publisher", publisher, msix)
            sign("sign", work / "id", dll, msix)
            with zipfile.ZipFile(msix) as package:
                manifest = ET.fromstring(package.read("AppxManifest.xml"))
                self.assertIn("AppxSignature.p7x", package.namelist())
            self.assertEqual(manifest.find("m:Identity", NS).get("Publisher"),
                             appx("publisher", pem).stdout.strip())
            self.assertEqual(block_map_faults(msix), [])
            for signed in (dll, msix):
                with self.subTest(file=signed.name):
                    self.assertTrue(verifies(pem, signed))
                    tampered = work / ("tampered-" + signed.name)
                    flip_byte(signed, tampered, signed.stat().st_size // 2)
                    self.assertFalse(verifies(pem, tampered))

    def test_timestamp_server_reaches_osslsigncode(self):
        with tempfile.TemporaryDirectory() as folder:
            work = pathlib.Path(folder)
            sign("identity", work / "id", work / "t.cer")
            stub = work / "bin" / "osslsigncode"
            stub.parent.mkdir()
            stub.write_text('#!/bin/sh\necho "$@" >>"%s"\nwhile [ "$1" != -out ]; do shift; done\n: >"$2"\n'
                            % (work / "args"))
            stub.chmod(0o755)
            path = "%s:%s" % (stub.parent, os.environ["PATH"])
            for url, wanted in (("http://ts.example/rfc3161", " -ts http://ts.example/rfc3161 "), ("", None)):
                with self.subTest(url=url):
                    (work / "args").unlink(missing_ok=True)
                    (work / "x.dll").write_bytes(b"MZ")
                    sign("sign", work / "id", work / "x.dll", env={"PATH": path, "ORVANE_SIGN_TIMESTAMP_URL": url})
                    args = (work / "args").read_text()
                    if wanted:
                        self.assertIn(wanted, args)
                    else:
                        self.assertNotIn("-ts", args)

    def test_given_certificate_names_the_publisher(self):
        # As an EV certificate has it: with a jurisdiction Windows has no name for.
        subject = '/jurisdictionC=DE/C=DE/ST=Bayern/O=Kelvoss "Labs"/CN=Kelvoss, Inc.'
        publisher = 'CN="Kelvoss, Inc.", O="Kelvoss ""Labs""", S=Bayern, C=DE, OID.1.3.6.1.4.1.311.60.2.1.3=DE'
        with tempfile.TemporaryDirectory() as folder:
            work = pathlib.Path(folder)
            run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", subject,
                "-addext", "extendedKeyUsage=codeSigning", "-keyout", work / "k.pem", "-out", work / "c.pem")
            run("openssl", "pkcs12", "-export", "-inkey", work / "k.pem", "-in", work / "c.pem",
                "-out", work / "real.pfx", "-passout", "pass:pa ss")
            env = {"ORVANE_SIGN_PFX": str(work / "real.pfx"), "ORVANE_SIGN_PASS": "pa ss"}
            cer = work / "none.cer"
            self.assertEqual(sign("identity", work / "id", cer, env=env).stdout.strip(), publisher)
            self.assertFalse(cer.exists())
            dll = work / "x.dll"
            dll.write_bytes(pathlib.Path(DLL).read_bytes())
            sign("sign", work / "id", dll, env=env)
            self.assertTrue(verifies(work / "c.pem", dll))


class ProgramImports(unittest.TestCase):
    """peimage.py check: a shipped program imports only KnownDLLs."""

    def test_a_planted_import_is_refused_by_name(self):
        sys.path.insert(0, str(ROOT / "tools" / "package"))
        import peimage
        program = pathlib.Path(DLL).parent / "OrvaneShellExt.exe"
        data = program.read_bytes()
        # The import rule alone: this build's hardening has a test of its own.
        def import_faults(path):
            return [f for f in peimage.check_listed(["%s\tx64\tgui" % path]) if " imports " in f]
        self.assertEqual(import_faults(program), [])
        at = data.lower().index(b"kernel32.dll\0")
        with tempfile.TemporaryDirectory() as scratch:
            planted = pathlib.Path(scratch) / "OrvaneShellExt.exe"
            planted.write_bytes(data[:at] + b"VERSION.dll\0\0" + data[at + 13:])
            faults = import_faults(planted)
        self.assertEqual(len(faults), 1, faults)
        self.assertIn("imports version.dll", faults[0])


if __name__ == "__main__":
    DLL = sys.argv.pop(1)
    unittest.main(verbosity=2)
