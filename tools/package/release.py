#!/usr/bin/env python3
"""What makes the release rebuildable and checkable: fixed times, identifiers
derived from the content, the checksum list and the bill of materials. Times
come from SOURCE_DATE_EPOCH (scripts/package.sh sets it to the commit's time).

  release.py guid TEXT...          a GUID derived from the texts (and from
                                   standard input with "-")
  release.py msi-times MSI         the summary's creation and save times set
                                   to SOURCE_DATE_EPOCH, in place
  release.py zip OUT FOLDER        FOLDER (by its own name) zipped: entries
                                   sorted, fixed times and permissions
  release.py sums FOLDER           SHA256SUMS of every other file in FOLDER
  release.py sbom OUT NAME VERSION < LIST
                                   the SPDX 2.3 bill of materials; LIST has a
                                   line per shipped program or DLL, tab-
                                   separated: its name in the release, the
                                   shipped file, the file as linked (symbols)
  release.py widl-time TLB          the time widl notes in a type library
                                   made fixed, in place
  release.py check-sbom SBOM SCHEMA
                                   exit 1 unless SBOM is valid against the
                                   SPDX 2.3 JSON schema
"""

import datetime
import functools
import hashlib
import json
import os
import pathlib
import re
import struct
import subprocess
import sys
import uuid
import zipfile

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import peimage  # noqa: E402

# Names the GUIDs of this product derive from (an arbitrary fixed value).
GUID_NAMESPACE = uuid.UUID("5b0e3d52-9a61-4c1e-8f7a-0c2d6b4e9a17")
LLVM_BIN = "/usr/lib/llvm-19/bin"
TOOLCHAIN_CACHE = pathlib.Path(os.environ.get("ORVANE_TOOLCHAIN_CACHE",
                                              pathlib.Path.home() / ".cache" / "orvane-toolchain"))
GCC_TRIPLES = {"x64": "x86_64-w64-mingw32", "x86": "i686-w64-mingw32"}
CLANG_TRIPLES = {"x64": "x86_64-w64-mingw32", "arm64": "aarch64-w64-mingw32"}
LLVM_LICENCE = "Apache-2.0 WITH LLVM-exception"
GCC_LICENCE = "GPL-3.0-or-later WITH GCC-exception-3.1"


class ReleaseError(Exception):
    pass


def source_date_epoch():
    value = os.environ.get("SOURCE_DATE_EPOCH", "")
    if not value.isdigit():
        raise ReleaseError("SOURCE_DATE_EPOCH is not set to a time in seconds")
    return int(value)


def utc(epoch):
    return datetime.datetime.fromtimestamp(epoch, datetime.timezone.utc)


def derived_guid(texts):
    return str(uuid.uuid5(GUID_NAMESPACE, "\n".join(texts))).upper()


# --- The MSI's summary times -------------------------------------------------
# An MSI is a compound file; wixl writes the time of the build into the
# summary stream's creation and last-save properties and honours no
# SOURCE_DATE_EPOCH. The stream is found through the file's allocation
# tables and the two values are overwritten where they lie.
SUMMARY_STREAM = "\x05SummaryInformation"
PID_CREATE_DTM, PID_LASTSAVE_DTM, VT_FILETIME = 12, 13, 0x40


def compound_stream_offsets(data, name):
    """The file offset of every byte of the named stream, in order."""
    if data[:8] != bytes.fromhex("d0cf11e0a1b11ae1"):
        raise ReleaseError("not a compound file")
    sector = 1 << struct.unpack_from("<H", data, 0x1E)[0]
    mini = 1 << struct.unpack_from("<H", data, 0x20)[0]
    fat_count, directory_start = struct.unpack_from("<II", data, 0x2C)
    cutoff, minifat_start = struct.unpack_from("<II", data, 0x38)
    at = lambda s: (s + 1) * sector  # noqa: E731
    # The first 109 sectors of the allocation table are listed in the
    # header, the others in a chain of sectors whose last entry links on.
    difat = list(struct.unpack_from("<109I", data, 0x4C))
    next_difat = struct.unpack_from("<I", data, 0x44)[0]
    while next_difat < 0xFFFFFFFA:
        entries = struct.unpack_from("<%dI" % (sector // 4), data, at(next_difat))
        difat += entries[:-1]
        next_difat = entries[-1]
    difat = difat[:fat_count]
    fat = [v for s in difat for v in struct.unpack_from("<%dI" % (sector // 4), data, at(s))]

    def chain(start):
        out = []
        while start < 0xFFFFFFFA:
            out.append(start)
            start = fat[start]
        return out

    def entries():
        for s in chain(directory_start):
            for i in range(sector // 128):
                yield data[at(s) + 128 * i:at(s) + 128 * (i + 1)]

    directory = list(entries())
    root_start = struct.unpack_from("<I", directory[0], 116)[0]
    for entry in directory:
        length = struct.unpack_from("<H", entry, 64)[0]
        if length and entry[:length - 2].decode("utf-16-le") == name:
            start, size = struct.unpack_from("<IQ", entry, 116)
            break
    else:
        raise ReleaseError("no stream %r" % name)
    if size >= cutoff:
        return [at(s) + i for s in chain(start) for i in range(sector)][:size]
    minifat = [v for s in chain(minifat_start) for v in struct.unpack_from("<%dI" % (sector // 4), data, at(s))]
    ministream = [at(s) + i for s in chain(root_start) for i in range(sector)]
    offsets = []
    while start < 0xFFFFFFFA:
        offsets += ministream[start * mini:(start + 1) * mini]
        start = minifat[start]
    return offsets[:size]


def set_msi_times(path, epoch):
    data = bytearray(pathlib.Path(path).read_bytes())
    offsets = compound_stream_offsets(data, SUMMARY_STREAM)
    stream = bytearray(data[o] for o in offsets)
    section = struct.unpack_from("<I", stream, 44)[0]
    count = struct.unpack_from("<I", stream, section + 4)[0]
    filetime = struct.pack("<Q", (epoch + 11644473600) * 10_000_000)
    found = set()
    for i in range(count):
        pid, value_at = struct.unpack_from("<II", stream, section + 8 + 8 * i)
        if pid in (PID_CREATE_DTM, PID_LASTSAVE_DTM):
            if struct.unpack_from("<I", stream, section + value_at)[0] != VT_FILETIME:
                raise ReleaseError("%s: property %d is not a time" % (path, pid))
            stream[section + value_at + 4:section + value_at + 12] = filetime
            found.add(pid)
    if found != {PID_CREATE_DTM, PID_LASTSAVE_DTM}:
        raise ReleaseError("%s: the summary has no creation or save time" % path)
    for o, b in zip(offsets, stream):
        data[o] = b
    pathlib.Path(path).write_bytes(bytes(data))


# --- The type library ---------------------------------------------------------
# widl writes "Created by WIDL version V at <ctime>" into the library's
# custom data, followed by the same time as a VT_UI4 value.
WIDL_NOTE = re.compile(rb"Created by WIDL version [0-9.]+ at (.{24})\n")


def fix_widl_time(path):
    data = bytearray(pathlib.Path(path).read_bytes())
    note = WIDL_NOTE.search(data)
    if not note:
        raise ReleaseError("%s: no note of widl's time" % path)
    data[note.start(1):note.end(1)] = b"Thu Jan  1 00:00:00 1970"
    at = note.end()
    while data[at:at + 1] == b"W":  # padding to four bytes
        at += 1
    if data[at:at + 2] != b"\x13\x00":
        raise ReleaseError("%s: no time value after widl's note" % path)
    data[at + 2:at + 6] = bytes(4)
    pathlib.Path(path).write_bytes(bytes(data))


# --- The zip -----------------------------------------------------------------
def zip_time(epoch):
    # A zip entry's time is local, from 1980 on; UTC is written.
    return max(datetime.datetime(1980, 1, 1), utc(epoch).replace(tzinfo=None)).timetuple()[:6]


def write_zip(out, folder, epoch):
    folder = pathlib.Path(folder)
    paths = sorted([folder] + list(folder.rglob("*")), key=lambda p: p.relative_to(folder.parent).as_posix())
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as archive:
        for path in paths:
            name = path.relative_to(folder.parent).as_posix()
            info = zipfile.ZipInfo(name + "/" if path.is_dir() else name, zip_time(epoch))
            info.create_system = 3
            info.external_attr = ((0o40755 if path.is_dir() else 0o100644) << 16) | (0x10 if path.is_dir() else 0)
            info.compress_type = zipfile.ZIP_STORED if path.is_dir() else zipfile.ZIP_DEFLATED
            archive.writestr(info, b"" if path.is_dir() else path.read_bytes(), compresslevel=9)


def sums(folder):
    folder = pathlib.Path(folder)
    # Every file of the release, those in its folders (the winget manifests,
    # the administrative templates) too.
    files = sorted(p.relative_to(folder).as_posix() for p in folder.rglob("*") if p.is_file())
    lines = ["%s  %s" % (hashlib.sha256((folder / name).read_bytes()).hexdigest(), name)
             for name in files if name != "SHA256SUMS"]
    (folder / "SHA256SUMS").write_text("".join(line + "\n" for line in lines))


# --- The bill of materials ---------------------------------------------------
def run(*args):
    return subprocess.run(args, capture_output=True, text=True, check=True).stdout.strip()


def debian_packages_of(paths):
    """{path: (package, version)} of the installed Debian packages owning them."""
    real = {os.path.realpath(p): p for p in paths}
    owners = {}
    for line in run("dpkg-query", "-S", *real).splitlines():
        package, _, path = line.partition(": ")
        if path in real:
            owners[real[path]] = package.split(":")[0]
    missing = set(paths) - set(owners)
    if missing:
        raise ReleaseError("no Debian package owns %s" % ", ".join(sorted(missing)))
    versions = dict(line.split("\t") for line in run(
        "dpkg-query", "-W", "-f=${Package}\t${Version}\n", *sorted(set(owners.values()))).splitlines())
    return {p: (owners[p], versions[owners[p]]) for p in paths}


@functools.lru_cache(maxsize=None)
def gcc_runtimes(machine):
    """The runtimes GCC's static link puts into a file, from the compiler used."""
    compiler = GCC_TRIPLES[machine] + "-g++-posix"
    triple = GCC_TRIPLES[machine]
    wanted = [("libstdc++", "-print-file-name=libstdc++.a", GCC_LICENCE),
              ("libgcc", "-print-libgcc-file-name", GCC_LICENCE),
              ("winpthreads", "-print-file-name=libwinpthread.a", "MIT AND BSD-3-Clause"),
              ("MinGW-w64 CRT", "-print-file-name=libmsvcrt.a", "ZPL-2.1")]
    libraries = [run(compiler, option) for _, option, _ in wanted]
    owners = debian_packages_of(libraries)
    return [(component, owners[library][1], licence,
             "Debian package %s %s" % owners[library], triple)
            for (component, _, licence), library in zip(wanted, libraries)]


@functools.lru_cache(maxsize=None)
def clang_runtimes(machine):
    """The runtimes of the clang sysroot that scripts/toolchain-arm64.sh made."""
    stamp_file = TOOLCHAIN_CACHE / ("stamp-" + CLANG_TRIPLES[machine])
    try:
        stamp = dict(item.split("=", 1) for item in stamp_file.read_text().split())
    except OSError as error:
        raise ReleaseError("no clang sysroot stamp: %s" % error)
    llvm, mingw = stamp["llvm-toolchain-19"], stamp["mingw-w64"]
    triple = "clang-" + CLANG_TRIPLES[machine]
    origin = "built with clang-19 from Debian source package llvm-toolchain-19 %s" % llvm
    crt_origin = "Debian source package mingw-w64 %s" % mingw
    return [(component, llvm, LLVM_LICENCE, origin, triple)
            for component in ("libc++", "libc++abi", "libunwind", "compiler-rt builtins")] + \
        [("MinGW-w64 CRT", mingw, "ZPL-2.1", crt_origin, triple)]


def linked_by_lld(image):
    """lld writes linker version 14; GNU ld its own binutils version, 2.x."""
    pe = struct.unpack_from("<I", image.data, 0x3C)[0]
    return image.data[pe + 24 + 2] == 14


def runtimes_of(linked_file):
    image = peimage.PeImage.load(linked_file)
    if linked_by_lld(image):
        return clang_runtimes(image.machine_name)
    found = list(gcc_runtimes(image.machine_name))
    symbols = run(LLVM_BIN + "/llvm-nm", "--defined-only", linked_file)
    if not re.search(r" _?pthread_", symbols):
        found = [r for r in found if r[0] != "winpthreads"]
    return found


def spdx_id(text):
    return "SPDXRef-" + re.sub(r"[^A-Za-z0-9.-]", "-", text)


def bill_of_materials(name, version, shipped, epoch):
    product_id = spdx_id("Package-" + name)
    packages = [{"SPDXID": product_id, "name": name, "versionInfo": version,
                 "supplier": "Organization: Kelvoss", "downloadLocation": "NOASSERTION",
                 "filesAnalyzed": False, "licenseConcluded": "NOASSERTION", "licenseDeclared": "NOASSERTION",
                 "copyrightText": "NOASSERTION", "primaryPackagePurpose": "INSTALL"}]
    files, relationships, components = [], [], {}
    relationships.append({"spdxElementId": "SPDXRef-DOCUMENT", "relationshipType": "DESCRIBES",
                          "relatedSpdxElement": product_id})
    for release_name, shipped_file, linked_file in shipped:
        data = pathlib.Path(shipped_file).read_bytes()
        file_id = spdx_id("File-" + release_name)
        files.append({"SPDXID": file_id, "fileName": "./" + release_name, "fileTypes": ["BINARY"],
                      "checksums": [{"algorithm": "SHA1", "checksumValue": hashlib.sha1(data).hexdigest()},
                                    {"algorithm": "SHA256", "checksumValue": hashlib.sha256(data).hexdigest()}],
                      "licenseConcluded": "NOASSERTION", "copyrightText": "NOASSERTION"})
        relationships.append({"spdxElementId": product_id, "relationshipType": "CONTAINS",
                              "relatedSpdxElement": file_id})
        for component, component_version, licence, origin, triple in runtimes_of(linked_file):
            component_id = spdx_id("Package-%s-%s" % (component, triple))
            components.setdefault(component_id, {
                "SPDXID": component_id, "name": component, "versionInfo": component_version,
                "downloadLocation": "NOASSERTION", "filesAnalyzed": False, "sourceInfo": origin,
                "licenseConcluded": licence, "licenseDeclared": licence, "copyrightText": "NOASSERTION",
                "primaryPackagePurpose": "LIBRARY"})
            relationships.append({"spdxElementId": file_id, "relationshipType": "STATIC_LINK",
                                  "relatedSpdxElement": component_id})
    content = hashlib.sha256(json.dumps([files, sorted(components)], sort_keys=True).encode()).hexdigest()
    return {
        "spdxVersion": "SPDX-2.3", "dataLicense": "CC0-1.0", "SPDXID": "SPDXRef-DOCUMENT",
        "name": "%s-%s" % (name, version),
        "documentNamespace": "https://spdx.kelvoss.example/%s-%s-%s" % (name, version, content),
        "creationInfo": {"created": utc(epoch).strftime("%Y-%m-%dT%H:%M:%SZ"),
                         "creators": ["Organization: Kelvoss", "Tool: scripts/package.sh"]},
        "packages": packages + [components[k] for k in sorted(components)],
        "files": files, "relationships": relationships}


def check_sbom(sbom, schema):
    import jsonschema
    document = json.loads(pathlib.Path(sbom).read_text())
    validator = jsonschema.Draft7Validator(json.loads(pathlib.Path(schema).read_text()))
    errors = ["%s: %s" % ("/".join(map(str, e.absolute_path)), e.message) for e in validator.iter_errors(document)]
    # What the schema cannot say: every reference names an element here.
    known = {"SPDXRef-DOCUMENT"} | {e["SPDXID"] for e in document.get("packages", []) + document.get("files", [])}
    errors += ["relationship names unknown %s" % r[k] for r in document.get("relationships", [])
               for k in ("spdxElementId", "relatedSpdxElement") if r[k] not in known]
    if errors:
        raise ReleaseError("%s is not a valid SPDX 2.3 document:\n  %s" % (sbom, "\n  ".join(errors)))


def main(argv):
    try:
        command, args = argv[0], argv[1:]
        if command == "guid":
            print(derived_guid([sys.stdin.read() if a == "-" else a for a in args]))
        elif command == "msi-times":
            set_msi_times(args[0], source_date_epoch())
        elif command == "zip":
            write_zip(args[0], args[1], source_date_epoch())
        elif command == "sums":
            sums(args[0])
        elif command == "sbom":
            shipped = [line.rstrip("\n").split("\t") for line in sys.stdin if line.strip()]
            document = bill_of_materials(args[1], args[2], shipped, source_date_epoch())
            pathlib.Path(args[0]).write_text(json.dumps(document, indent=2) + "\n")
        elif command == "widl-time":
            fix_widl_time(args[0])
        elif command == "check-sbom":
            check_sbom(args[0], args[1])
        else:
            raise IndexError
    except IndexError:
        print(__doc__, file=sys.stderr)
        return 2
    except (ReleaseError, OSError, ValueError, KeyError, subprocess.CalledProcessError) as error:
        print("release.py: %s" % error, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
