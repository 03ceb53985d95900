#!/usr/bin/env python3
"""peimage.py check against the release's x64 DLL (must pass) and copies of it
that each lack one property Windows checks for (must fail, naming the file
and the property). hardening_test.py DLL64; exit code 77 when it is missing."""
import pathlib
import struct
import sys
import tempfile
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "tools" / "package"))
import peimage  # noqa: E402

DLL64 = None
EXPORTS = "\tDllRegisterServer\tDllUnregisterServer\tDllInstall"
_LOAD_CONFIG, _TLS, _DEBUG = 10, 9, 6


def optional_header(data):
    return struct.unpack_from("<I", data, 0x3C)[0] + 24


def directory_offset(image, index):
    return image.offset(image.directories[index][0])


def set_u32(data, at, value):
    struct.pack_into("<I", data, at, value)


def image_base(data):
    return struct.unpack_from("<Q", data, optional_header(data) + 24)[0]


def clear_characteristic(bit):
    def plant(data, image):
        at = optional_header(data) + 70
        struct.pack_into("<H", data, at, image.dll_characteristics & ~bit)
    return plant


def writable_code(data, image):  # the first section, .text
    at = optional_header(data) + struct.unpack_from("<H", data, optional_header(data) - 4)[0] + 36
    set_u32(data, at, struct.unpack_from("<I", data, at)[0] | peimage.IMAGE_SCN_MEM_WRITE)


def extra_tls_callback(data, image):
    callbacks = image.offset(struct.unpack_from("<Q", data, directory_offset(image, _TLS) + 24)[0] - image_base(data))
    data[callbacks + 16:callbacks + 24] = data[callbacks:callbacks + 8]


def no_cet_compat(data, image):
    rva, size = image.directories[_DEBUG]
    for at in range(image.offset(rva), image.offset(rva) + size, 28):
        if struct.unpack_from("<I", data, at + 12)[0] == 20:  # IMAGE_DEBUG_TYPE_EX_DLLCHARACTERISTICS
            set_u32(data, struct.unpack_from("<I", data, at + 24)[0], 0)


def changed_cookie(data, image):
    cookie = struct.unpack_from("<Q", data, directory_offset(image, _LOAD_CONFIG) + 0x58)[0]
    struct.pack_into("<Q", data, image.offset(cookie - image_base(data)), 0x1234)


# What is taken away, how, and what the check must say.
PLANTS = [
    ("machine", lambda d, i: struct.pack_into("<H", d, optional_header(d) - 20, 0xAA64), "is arm64, not x64"),
    ("DYNAMIC_BASE", clear_characteristic(peimage.DYNAMIC_BASE), "lacks DYNAMIC_BASE"),
    ("HIGH_ENTROPY_VA", clear_characteristic(peimage.HIGH_ENTROPY_VA), "lacks HIGH_ENTROPY_VA"),
    ("NX_COMPAT", clear_characteristic(peimage.NX_COMPAT), "lacks NX_COMPAT"),
    ("GUARD_CF bit", clear_characteristic(peimage.GUARD_CF), "lacks GUARD_CF (DllCharacteristics"),
    ("GuardFlags", lambda d, i: set_u32(d, directory_offset(i, _LOAD_CONFIG) + 0x90, 0), "GuardFlags 0x0"),
    ("function table", lambda d, i: set_u32(d, directory_offset(i, _LOAD_CONFIG) + 0x88, 0), "no guard function table"),
    ("load configuration", lambda d, i: set_u32(d, optional_header(d) + 112 + 8 * _LOAD_CONFIG, 0),
     "has no load configuration"),
    ("CET_COMPAT", no_cet_compat, "lacks CET_COMPAT"),
    ("writable code", writable_code, "writable and executable section .text"),
    ("TLS callbacks", extra_tls_callback, "TLS callbacks, not the runtime's 2"),
    ("security cookie", changed_cookie, "security cookie the loader will not initialise"),
]


class PlantedFiles(unittest.TestCase):
    def test_the_dll_passes_and_each_copy_lacking_a_property_fails_naming_it(self):
        self.assertEqual(peimage.check_listed([str(DLL64) + "\tx64" + EXPORTS]), [])
        original = DLL64.read_bytes()
        with tempfile.TemporaryDirectory() as folder:
            for name, plant, expected in PLANTS:
                with self.subTest(name):
                    data = bytearray(original)
                    plant(data, peimage.PeImage(bytes(original)))
                    planted = pathlib.Path(folder) / ("%s.dll" % name.replace(" ", "-"))
                    planted.write_bytes(data)
                    faults = peimage.check_listed([str(planted) + "\tx64" + EXPORTS])
                    self.assertEqual(len(faults), 1, faults)
                    self.assertTrue(faults[0].startswith(str(planted) + " "), faults)
                    self.assertIn(expected, faults[0])


if __name__ == "__main__":
    DLL64 = pathlib.Path(sys.argv[1])
    if not DLL64.is_file():
        print("SKIP: %s is missing (build the win64-clang preset)" % DLL64)
        sys.exit(77)
    sys.exit(0 if unittest.main(argv=sys.argv[:1], exit=False).result.wasSuccessful() else 1)
