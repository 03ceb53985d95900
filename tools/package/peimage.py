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
                             DllCanUnloadNow and the other exports named
LIST has a line per file, tab-separated: FILE, MACHINE, then "gui" or the
other exports.
"""

import struct
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
