"""What a Windows loader and installer see of a PE file, read with the
standard library only: machine type, DLL characteristics, imported DLLs,
exported names and the resource tree.

Used by the checks of the ARM64 build, which cannot be loaded on this
machine: everything is read from the file as Windows would read it; and by
the packaging scripts, for every file they ship:

  peimage.py machine FILE     x86, x64 or arm64
  peimage.py check < LIST    exit 1, with the reasons, unless each file is
                             an image for its machine that imports only
                             Windows' own DLLs and is a window-less GUI
                             program whose own imports are all KnownDLLs,
                             or exports DllGetClassObject,
                             DllCanUnloadNow and the other exports named,
                             and carries its machine's hardening (HARDENING,
                             read with llvm-readobj-19)
LIST has a line per file, tab-separated: FILE, MACHINE, then "gui" or the
other exports.
"""

import os
import re
import struct
import subprocess
import sys

MACHINES = {0x14C: "x86", 0x8664: "x64", 0xAA64: "arm64", 0xA641: "arm64ec"}

# IMAGE_DLLCHARACTERISTICS_*
HIGH_ENTROPY_VA = 0x0020
DYNAMIC_BASE = 0x0040
NX_COMPAT = 0x0100
GUARD_CF = 0x4000

IMAGE_SUBSYSTEM_WINDOWS_GUI = 2

# What Windows itself provides. A runtime DLL (libstdc++, libgcc,
# libwinpthread, libc++, libunwind, vcruntime...) would have to lie beside
# the file, and Explorer would not find it there.
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll", "shlwapi.dll",
               "ole32.dll", "oleaut32.dll", "uxtheme.dll", "msvcrt.dll", "comctl32.dll", "version.dll",
               "psapi.dll", "ntdll.dll"}
SYSTEM_PREFIXES = ("api-ms-win-",)
# What Windows looks for in every COM server DLL.
COM_SERVER_EXPORTS = ("DllGetClassObject", "DllCanUnloadNow")

_EXPORT, _IMPORT, _RESOURCE = 0, 1, 2
_DELAY_IMPORT = 13


class PeError(ValueError):
    pass


class PeImage:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise PeError("no MZ header")
        pe = self._u32(0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            raise PeError("no PE signature")
        self.machine, sections, _, _, _, optional_size, self.characteristics = struct.unpack_from(
            "<HHIIIHH", data, pe + 4)
        optional = pe + 24
        magic = self._u16(optional)
        if magic not in (0x10B, 0x20B):
            raise PeError("unknown optional header 0x%x" % magic)
        self.pe32_plus = magic == 0x20B
        self.subsystem = self._u16(optional + 68)
        self.dll_characteristics = self._u16(optional + 70)
        directories = optional + (112 if self.pe32_plus else 96)
        count = self._u32(directories - 4)
        self.directories = [struct.unpack_from("<II", data, directories + 8 * i) for i in range(count)]
        table = optional + optional_size
        self.sections = []
        for i in range(sections):
            name, virtual_size, rva, raw_size, raw_offset = struct.unpack_from("<8sIIII", data, table + 40 * i)
            self.sections.append((rva, max(virtual_size, raw_size), raw_offset, raw_size))

    @classmethod
    def load(cls, path):
        with open(path, "rb") as f:
            return cls(f.read())

    def _u16(self, offset):
        return struct.unpack_from("<H", self.data, offset)[0]

    def _u32(self, offset):
        return struct.unpack_from("<I", self.data, offset)[0]

    def offset(self, rva):
        for start, size, raw_offset, raw_size in self.sections:
            if start <= rva < start + size and rva - start < raw_size:
                return raw_offset + rva - start
        raise PeError("address 0x%x is in no section's file data" % rva)

    def _string(self, rva):
        at = self.offset(rva)
        return self.data[at:self.data.index(b"\0", at)].decode("ascii")

    @property
    def machine_name(self):
        return MACHINES.get(self.machine, "0x%04x" % self.machine)

    def imported_dlls(self, delayed=True):
        """The DLL names of the import and (unless delayed is false) delay-import tables, lower case."""
        names = []
        tables = ((_IMPORT, 20, 12), (_DELAY_IMPORT, 32, 4)) if delayed else ((_IMPORT, 20, 12),)
        for directory, entry_size, name_at in tables:
            rva, size = self.directories[directory] if directory < len(self.directories) else (0, 0)
            if not rva:
                continue
            at = self.offset(rva)
            while any(self.data[at:at + entry_size]):
                names.append(self._string(self._u32(at + name_at)).lower())
                at += entry_size
        return names

    def exported_names(self):
        rva, _ = self.directories[_EXPORT]
        if not rva:
            return []
        at = self.offset(rva)
        count, names = self._u32(at + 24), self._u32(at + 32)
        return sorted(self._string(self._u32(self.offset(names) + 4 * i)) for i in range(count))

    def resources(self):
        """{(type, name, language): bytes}; a name is a number or a string."""
        rva, _ = self.directories[_RESOURCE]
        found = {}
        if rva:
            self._walk(self.offset(rva), self.offset(rva), (), found)
        return found

    def _walk(self, root, at, path, found):
        named, numbered = struct.unpack_from("<HH", self.data, at + 12)
        for i in range(named + numbered):
            name, target = struct.unpack_from("<II", self.data, at + 16 + 8 * i)
            if name & 0x80000000:
                length_at = root + (name & 0x7FFFFFFF)
                length = self._u16(length_at)
                name = self.data[length_at + 2:length_at + 2 + 2 * length].decode("utf-16-le")
            if target & 0x80000000:
                self._walk(root, root + (target & 0x7FFFFFFF), path + (name,), found)
            else:
                data_rva, size = struct.unpack_from("<II", self.data, root + target)
                start = self.offset(data_rva)
                found[path + (name,)] = self.data[start:start + size]


def foreign_imports(image):
    """The imported DLLs that Windows does not provide."""
    return [d for d in image.imported_dlls() if d not in SYSTEM_DLLS and not d.startswith(SYSTEM_PREFIXES)]


# The DLLs that Windows always maps from the system folder, whatever lies
# beside a program (HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\
# KnownDLLs of Windows 10 and 11; ntdll.dll and the API sets are resolved
# before any search). A program's static imports are loaded before its first
# instruction, before it can restrict the DLL search, so a program that runs
# from a folder others may write (Downloads, an install folder) at logon or
# as SYSTEM imports nothing else; it loads other DLLs from the system folder
# itself.
KNOWN_DLLS = {"advapi32.dll", "clbcatq.dll", "combase.dll", "comdlg32.dll", "coml2.dll", "difxapi.dll",
              "gdi32.dll", "gdiplus.dll", "imagehlp.dll", "imm32.dll", "kernel32.dll", "msctf.dll", "msvcrt.dll",
              "normaliz.dll", "nsi.dll", "ole32.dll", "oleaut32.dll", "psapi.dll", "rpcrt4.dll", "sechost.dll",
              "setupapi.dll", "shcore.dll", "shell32.dll", "shlwapi.dll", "user32.dll", "wldap32.dll",
              "ws2_32.dll", "ntdll.dll"}


def searched_imports(image):
    """A program's static imports that Windows would look for beside it first."""
    return [d for d in image.imported_dlls(delayed=False)
            if d not in KNOWN_DLLS and not d.startswith(SYSTEM_PREFIXES)]


def shipping_faults(image, machine, exports=(), gui=False):
    """Why Windows could not load the file as the release means it to."""
    faults = []
    if image.machine_name != machine:
        faults.append("is %s, not %s" % (image.machine_name, machine))
    foreign = foreign_imports(image)
    if foreign:
        faults.append("needs DLLs that Windows does not have: %s" % ", ".join(foreign))
    if gui:
        if image.subsystem != IMAGE_SUBSYSTEM_WINDOWS_GUI:
            faults.append("is not a window-less GUI program (subsystem %d)" % image.subsystem)
        searched = searched_imports(image)
        if searched:
            faults.append("imports %s, which Windows would look for beside the program first (not a KnownDLL)"
                          % ", ".join(searched))
    else:
        missing = sorted(set(COM_SERVER_EXPORTS + tuple(exports)) - set(image.exported_names()))
        if missing:
            faults.append("does not export %s" % ", ".join(missing))
    return faults


# The hardening Windows and its binary analyzers look for, read with
# llvm-readobj-19, a reader independent of the one above (which must agree
# with it on the machine and the DLL characteristics).
READOBJ = os.environ.get("ORVANE_READOBJ", "llvm-readobj-19")

# What every shipped file of a machine carries. x86 files are built with GCC,
# which cannot emit Control Flow Guard; CET shadow stacks exist on x64 only.
HARDENING = {
    "x64": ("DYNAMIC_BASE", "HIGH_ENTROPY_VA", "NX_COMPAT", "GUARD_CF", "CET_COMPAT"),
    "arm64": ("DYNAMIC_BASE", "HIGH_ENTROPY_VA", "NX_COMPAT", "GUARD_CF"),
    "x86": ("DYNAMIC_BASE", "NX_COMPAT"),
}
DLL_CHARACTERISTIC_BITS = {"DYNAMIC_BASE": DYNAMIC_BASE, "HIGH_ENTROPY_VA": HIGH_ENTROPY_VA,
                           "NX_COMPAT": NX_COMPAT, "GUARD_CF": GUARD_CF}
# IMAGE_GUARD_*: the load configuration says the code is instrumented and
# hands over the table of valid call targets.
CF_INSTRUMENTED = 0x100
CF_FUNCTION_TABLE_PRESENT = 0x400
IMAGE_SCN_MEM_EXECUTE = 0x20000000
IMAGE_SCN_MEM_WRITE = 0x80000000
IMAGE_DLL_CHARACTERISTICS_EX_CET_COMPAT = 0x1
# The value a security cookie has in the file; the loader replaces it.
DEFAULT_SECURITY_COOKIE = {True: 0x00002B992DDFA232, False: 0xBB40E64E}
# The TLS callbacks each machine's files are meant to have: MinGW-w64's CRT
# registers __dyn_tls_init and __dyn_tls_dtor, and the GCC build's static
# winpthreads one more. Any further callback would run code in every thread
# of Explorer that nobody meant.
TLS_CALLBACKS = {"x64": 2, "arm64": 2, "x86": 3}


def read_with_readobj(path):
    """llvm-readobj's view of the file as nested blocks: {name: [block...]}
    with each block's "key: value" lines as strings and each flag set
    ("Name [ (0x...)") as a number."""
    text = subprocess.run([READOBJ, "--file-headers", "--sections", "--coff-load-config", "--coff-debug-directory",
                           "--coff-tls-directory", str(path)], capture_output=True, text=True, check=True).stdout
    root = {}
    stack = [root]
    for line in text.splitlines():
        line = line.strip()
        flags = re.fullmatch(r"(\w+) \[ \((0x[0-9A-Fa-f]+)\)", line)
        if flags:
            stack[-1][flags.group(1)] = int(flags.group(2), 16)
            stack.append(None)
        elif line.endswith(("{", "[")):
            block = {}
            if stack[-1] is not None:
                stack[-1].setdefault(line[:-1].strip(), []).append(block)
            stack.append(block)
        elif line in ("}", "]"):
            stack.pop()
        elif ":" in line and stack[-1] is not None:
            key, value = line.split(":", 1)
            stack[-1][key.strip()] = value.strip()
    return root


def _number(text):
    """A readobj value: "0x1F", "18" or "IMAGE_FILE_MACHINE_AMD64 (0x8664)"."""
    found = re.search(r"\((0x[0-9A-Fa-f]+)\)$", text)
    return int(found.group(1), 16) if found else int(text, 0)


def _first(blocks, name):
    return (blocks.get(name) or [{}])[0]


def _sections(dump):
    return [(s["Name"].split()[0], _number(s["VirtualAddress"]), _number(s["VirtualSize"]), s["Characteristics"])
            for s in _first(dump, "Sections").get("Section", [])]


def _section_of(sections, rva):
    for section in sections:
        if section[1] <= rva < section[1] + section[2]:
            return section
    return None


def _pointers(image, rva, pointer_size):
    """The pointers from rva up to the first null one."""
    found = []
    at = image.offset(rva)
    while True:
        value = int.from_bytes(image.data[at:at + pointer_size], "little")
        if not value:
            return found
        found.append(value)
        at += pointer_size


def _guard_faults(dump):
    config = _first(dump, "LoadConfig")
    if not config:
        return ["has no load configuration (GUARD_CF is not enforced without one)"]
    faults = []
    flags = config.get("GuardFlags", 0)
    if flags & (CF_INSTRUMENTED | CF_FUNCTION_TABLE_PRESENT) != CF_INSTRUMENTED | CF_FUNCTION_TABLE_PRESENT:
        faults.append("lacks GUARD_CF: GuardFlags 0x%x do not say instrumented with a function table" % flags)
    if not _number(config.get("GuardCFFunctionTable", "0")) or not _number(config.get("GuardCFFunctionCount", "0")):
        faults.append("lacks GUARD_CF: no guard function table in the load configuration")
    if not _number(config.get("GuardCFCheckFunction", "0")):
        faults.append("lacks GUARD_CF: no guard check function pointer in the load configuration")
    return faults


def _cookie_faults(image, dump, sections, base):
    cookie = _number(_first(dump, "LoadConfig").get("SecurityCookie", "0"))
    if not cookie:
        return []
    section = _section_of(sections, cookie - base)
    size = 8 if image.pe32_plus else 4
    if not section or not section[3] & IMAGE_SCN_MEM_WRITE:
        return ["has a security cookie outside writable data (0x%x)" % cookie]
    value = int.from_bytes(image.data[image.offset(cookie - base):][:size], "little")
    if value != DEFAULT_SECURITY_COOKIE[image.pe32_plus]:
        return ["has a security cookie the loader will not initialise (0x%x)" % value]
    return []


def _tls_faults(image, dump, sections, base, machine):
    table = _number(_first(dump, "TLSDirectory").get("AddressOfCallBacks", "0"))
    callbacks = _pointers(image, table - base, 8 if image.pe32_plus else 4) if table else []
    if len(callbacks) > TLS_CALLBACKS.get(machine, 0):
        return ["has %d TLS callbacks, not the runtime's %d" % (len(callbacks), TLS_CALLBACKS.get(machine, 0))]
    return ["has a TLS callback outside code (0x%x)" % callback for callback in callbacks
            if not (_section_of(sections, callback - base) or (0, 0, 0, 0))[3] & IMAGE_SCN_MEM_EXECUTE]


def hardening_faults(path, image, machine):
    """Which of the machine's HARDENING properties, and which of what every
    file needs (no writable code, no TLS callbacks beyond the runtime's, an
    initialisable security cookie), the file lacks, as llvm-readobj reads it."""
    try:
        dump = read_with_readobj(path)
    except (OSError, subprocess.CalledProcessError) as error:
        return ["cannot be read by %s (%s)" % (READOBJ, error)]
    header = _first(dump, "ImageOptionalHeader")
    characteristics = header.get("Characteristics", 0)
    if (_number(_first(dump, "ImageFileHeader").get("Machine", "0")) != image.machine or
            characteristics != image.dll_characteristics):
        return ["is read differently by %s and by peimage.py" % READOBJ]
    base = _number(header.get("ImageBase", "0"))
    sections = _sections(dump)
    faults = []
    for name in HARDENING.get(machine, ()):
        bit = DLL_CHARACTERISTIC_BITS.get(name)
        if bit and not characteristics & bit:
            faults.append("lacks %s (DllCharacteristics 0x%x)" % (name, characteristics))
    if "GUARD_CF" in HARDENING.get(machine, ()):
        faults += _guard_faults(dump)
    if "CET_COMPAT" in HARDENING.get(machine, ()):
        extended = [entry.get("ExtendedCharacteristics", 0) for entry in _first(dump, "DebugDirectory").get("DebugEntry", [])]
        if not any(flags & IMAGE_DLL_CHARACTERISTICS_EX_CET_COMPAT for flags in extended):
            faults.append("lacks CET_COMPAT (no extended DLL characteristics saying so)")
    faults += ["has a writable and executable section %s" % name
               for name, _, _, flags in sections if flags & IMAGE_SCN_MEM_WRITE and flags & IMAGE_SCN_MEM_EXECUTE]
    return faults + _tls_faults(image, dump, sections, base, machine) + _cookie_faults(image, dump, sections, base)


def version_info(data):
    """A VS_VERSIONINFO resource as {path: value}: the fixed file information
    under "VS_VERSION_INFO" (its 52 bytes), every string under
    "StringFileInfo/<table>/<name>" and the translations under
    "VarFileInfo/Translation" (bytes). Lengths and padding, which follow the
    values, are left out."""
    found = {}

    def block(at, path):
        length, value_length, text = struct.unpack_from("<HHH", data, at)
        end = at + length
        key_at = at + 6
        key_end = key_at
        while data[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        key = data[key_at:key_end].decode("utf-16-le")
        value_at = (key_end + 2 + 3) & ~3
        name = path + "/" + key if path else key
        if text and value_length:
            found[name] = data[value_at:value_at + 2 * value_length].decode("utf-16-le").rstrip("\0")
            value_end = value_at + 2 * value_length
        else:
            if value_length:
                found[name] = data[value_at:value_at + value_length]
            value_end = value_at + value_length
        child = (value_end + 3) & ~3
        while child < end:
            child_length = struct.unpack_from("<H", data, child)[0]
            if not child_length:
                break
            block(child, name)
            child = (child + child_length + 3) & ~3

    block(0, "")
    return found


def check_listed(lines):
    """The faults of the files that lines list (see above), as text."""
    faults = []
    for line in lines:
        if not line.strip():
            continue
        file, machine, *rest = line.rstrip("\n").split("\t")
        gui = rest == ["gui"]
        try:
            image = PeImage.load(file)
            found = shipping_faults(image, machine, () if gui else rest, gui)
            found += hardening_faults(file, image, machine)
        except (OSError, PeError, struct.error) as error:
            found = ["cannot be read (%s)" % error]
        faults += ["%s %s" % (file, fault) for fault in found]
    return faults


def main(argv):
    if argv[:1] == ["check"] and len(argv) == 1:
        faults = check_listed(sys.stdin)
    elif argv[:1] == ["machine"] and len(argv) == 2:
        try:
            print(PeImage.load(argv[1]).machine_name)
            return 0
        except (OSError, PeError, struct.error) as error:
            faults = ["%s cannot be read (%s)" % (argv[1], error)]
    else:
        faults = ["usage: peimage.py machine FILE | check < LIST"]
    for fault in faults:
        print(fault, file=sys.stderr)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
