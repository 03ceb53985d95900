#!/usr/bin/env python3
"""The ARM64 files, read as Windows reads them and held against the x64 build
of the same tree (the ARM64 build's own tests run them under emulation).

  arm64_test.py ARM64_BIN X64_BIN ROWS_TOOL
Exit code 77 (skipped) when a build is missing.
"""
import pathlib
import re
import subprocess
import sys
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "tools" / "package"))
import peimage  # noqa: E402

ARM64_BIN = X64_BIN = ROWS_TOOL = None
# ARM64 file, its x64 twin, the names written inside them.
PAIRS = [("OrvaneShlExtA64F.dll", "OrvaneShlExt64F.dll"),
         ("OrvaneShlExtCmdA64F.dll", "OrvaneShlExtCmd64F.dll"),
         ("OrvaneShellExt.exe", "OrvaneShellExt.exe")]
VERSION = 16  # RT_VERSION
# widl writes the time of the build into the type library: as text, and as
# the VT_UI4 value of its custom data ("WW" padding, type 0x13).
WIDL_TIME = re.compile(rb"( at )[A-Z][a-z]{2} [A-Z][a-z]{2} [ \d]\d \d\d:\d\d:\d\d \d{4}(\nWW\x13\x00)....", re.S)


def without_build_time(data):
    return WIDL_TIME.sub(rb"\1<time>\2<time>", data)


def load(folder, name):
    return peimage.PeImage.load(pathlib.Path(folder) / name)


class Arm64Files(unittest.TestCase):
    def test_each_file_is_a_hardened_arm64_image_importing_only_windows(self):
        for arm64_name, _ in PAIRS:
            with self.subTest(arm64_name):
                image = load(ARM64_BIN, arm64_name)
                self.assertEqual(image.machine_name, "arm64")
                self.assertTrue(image.pe32_plus)
                self.assertEqual(peimage.hardening_faults(pathlib.Path(ARM64_BIN) / arm64_name, image, "arm64"), [])
                self.assertEqual(peimage.foreign_imports(image), [])

    def test_exports_resources_and_version_equal_the_x64_build(self):
        for arm64_name, x64_name in PAIRS:
            with self.subTest(arm64_name):
                arm64, x64 = load(ARM64_BIN, arm64_name), load(X64_BIN, x64_name)
                self.assertEqual(x64.machine_name, "x64")
                self.assertEqual(arm64.exported_names(), x64.exported_names())
                # Byte for byte the same, but for the file's own name in its
                # version block (read value by value: the name's length moves
                # the block's lengths).
                arm64_resources, x64_resources = arm64.resources(), x64.resources()
                self.assertEqual(sorted(arm64_resources, key=repr), sorted(x64_resources, key=repr))
                for key, data in x64_resources.items():
                    if key[0] == VERSION:
                        version = peimage.version_info(arm64_resources[key])
                        version = {k: v.replace(arm64_name, x64_name) if isinstance(v, str) else v
                                   for k, v in version.items()}
                        self.assertEqual(version, peimage.version_info(data))
                    else:
                        self.assertEqual(without_build_time(arm64_resources[key]), without_build_time(data),
                                         "resource %r differs" % (key,))

    def test_installer_rows_equal_the_x64_dll_but_for_the_path(self):
        def rows(folder, name):
            return subprocess.run([ROWS_TOOL, str(pathlib.Path(folder) / name), "[#ShellExtDll]", "[INSTALLDIR]"],
                                  capture_output=True, text=True, check=True).stdout
        arm64_rows, x64_rows = rows(ARM64_BIN, PAIRS[0][0]), rows(X64_BIN, PAIRS[0][1])
        self.assertIn("[#ShellExtDll]", x64_rows)
        self.assertEqual(arm64_rows, x64_rows)


if __name__ == "__main__":
    ARM64_BIN, X64_BIN, ROWS_TOOL = sys.argv[1:4]
    for folder, name in [(ARM64_BIN, p[0]) for p in PAIRS] + [(X64_BIN, p[1]) for p in PAIRS] + [("", ROWS_TOOL)]:
        if not (pathlib.Path(folder) / name).is_file():
            print("SKIP: %s is missing (build the win-arm64, win64 and native presets)" % (pathlib.Path(folder) / name))
            sys.exit(77)
    sys.exit(0 if unittest.main(argv=sys.argv[:1], exit=False).result.wasSuccessful() else 1)
