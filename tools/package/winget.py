#!/usr/bin/env python3
"""The release's winget manifests: one multi-file set (version, default
locale, installer) with an installer entry per MSI.

  winget.py write --version V --out DIR MSI...   writes DIR/<identifier>/<version>/*.yaml;
                                                 the architecture comes from the MSI's
                                                 name (-x64.msi, -arm64.msi, -x86.msi)
  winget.py check --schemas DIR --files DIR MANIFEST_DIR
                                                 validates the set against the winget
                                                 JSON schemas and each InstallerSha256
                                                 against the file of that name in --files

InstallerUrl is ORVANE_RELEASE_URL followed by the file name; without it, a
placeholder under the reserved domain .invalid that no download can reach."""
import argparse
import hashlib
import json
import os
import pathlib
import re
import subprocess
import sys

IDENTIFIER = "Kelvoss.Orvane.ShellExt"
MANIFEST_VERSION = "1.10.0"
PLACEHOLDER_URL = "https://set-orvane-release-url.invalid/ORVANE_RELEASE_URL-was-not-set"
# Windows 10: the classic handler; the Windows 11 menu's command needs build 22000
# and the installation skips it before.
MINIMUM_OS_VERSION = "10.0.0.0"
KINDS = ("version", "defaultLocale", "installer")


def msi_property(msi, name):
    table = subprocess.run(["msiinfo", "export", str(msi), "Property"], capture_output=True, text=True,
                           check=True).stdout
    for line in table.splitlines():
        key, _, value = line.partition("\t")
        if key == name:
            return value.strip()
    raise SystemExit(f"winget: {msi} has no {name}")


def yaml_text(kind, fields):
    """YAML whose scalars are JSON strings, which YAML reads as they are."""
    def emit(value, indent):
        if isinstance(value, dict):
            return "".join(f"\n{indent}{k}:" + emit(v, indent + "  ") for k, v in value.items())
        if isinstance(value, list):
            return "".join(f"\n{indent}-" + emit(v, indent + "  ").replace("\n" + indent + "  ", " ", 1)
                           for v in value)
        return " " + json.dumps(value)
    schema = f"https://aka.ms/winget-manifest.{kind}.{MANIFEST_VERSION}.schema.json"
    return f"# yaml-language-server: $schema={schema}\n" + emit(fields, "").lstrip("\n") + "\n"


def installer_entry(msi, url):
    arch = re.search(r"-(x64|arm64|x86)\.msi$", msi.name)
    if not arch:
        raise SystemExit(f"winget: {msi.name} names no architecture")
    product_code = msi_property(msi, "ProductCode")
    return {
        "Architecture": arch.group(1),
        "InstallerUrl": f"{url}/{msi.name}",
        "InstallerSha256": hashlib.sha256(msi.read_bytes()).hexdigest().upper(),
        "ProductCode": product_code,
        "AppsAndFeaturesEntries": [{
            "DisplayName": msi_property(msi, "ProductName"),
            "Publisher": msi_property(msi, "Manufacturer"),
            "ProductCode": product_code,
            "UpgradeCode": msi_property(msi, "UpgradeCode"),
        }],
    }


def write(args):
    url = os.environ.get("ORVANE_RELEASE_URL", "").rstrip("/") or PLACEHOLDER_URL
    head = {"PackageIdentifier": IDENTIFIER, "PackageVersion": args.version}
    tail = {"ManifestVersion": MANIFEST_VERSION}
    sets = {
        "version": {**head, "DefaultLocale": "en-US", "ManifestType": "version", **tail},
        "defaultLocale": {
            **head, "PackageLocale": "en-US", "Publisher": "Kelvoss", "PackageName": "Orvane Shell Extension",
            "License": "Proprietary",
            "ShortDescription": "Mark File in Explorer's context menu: hands files to the Orvane main application.",
            "ManifestType": "defaultLocale", **tail},
        "installer": {
            **head, "MinimumOSVersion": MINIMUM_OS_VERSION, "InstallerType": "wix", "Scope": "machine",
            "InstallModes": ["interactive", "silent", "silentWithProgress"], "UpgradeBehavior": "install",
            "Installers": [installer_entry(pathlib.Path(m), url) for m in args.msi],
            "ManifestType": "installer", **tail},
    }
    folder = pathlib.Path(args.out) / IDENTIFIER / args.version
    folder.mkdir(parents=True, exist_ok=True)
    for kind, fields in sets.items():
        suffix = "" if kind == "version" else "." + ("locale.en-US" if kind == "defaultLocale" else kind)
        (folder / f"{IDENTIFIER}{suffix}.yaml").write_text(yaml_text(kind, fields), encoding="utf-8")
    print(folder)


def check(args):
    try:
        import jsonschema
        import yaml
    except ImportError as error:
        raise SystemExit(f"winget: {error} (Debian: python3-jsonschema, python3-yaml)")
    faults = []
    manifests = [yaml.safe_load(p.read_text(encoding="utf-8")) for p in sorted(pathlib.Path(args.manifests).glob("*.yaml"))]
    kinds = sorted(m.get("ManifestType") for m in manifests)
    if kinds != sorted(KINDS):
        faults.append(f"manifest types {kinds}, not one each of {sorted(KINDS)}")
    for manifest in manifests:
        kind = manifest.get("ManifestType")
        schema_file = pathlib.Path(args.schemas) / f"v{MANIFEST_VERSION}" / f"manifest.{kind}.{MANIFEST_VERSION}.json"
        schema = json.loads(schema_file.read_text(encoding="utf-8"))
        validator = jsonschema.Draft7Validator(schema)
        faults += [f"{kind}: {e.json_path if hasattr(e, 'json_path') else list(e.path)}: {e.message}"
                   for e in validator.iter_errors(manifest)]
        for installer in manifest.get("Installers", []):
            name = installer["InstallerUrl"].rsplit("/", 1)[-1]
            path = pathlib.Path(args.files) / name
            digest = hashlib.sha256(path.read_bytes()).hexdigest().upper() if path.is_file() else "no such file"
            if digest != installer["InstallerSha256"].upper():
                faults.append(f"{name}: InstallerSha256 {installer['InstallerSha256']}, the file's {digest}")
            if installer["InstallerUrl"].startswith(PLACEHOLDER_URL):
                print(f"note: {name}: InstallerUrl is a placeholder (ORVANE_RELEASE_URL was not set)")
    for fault in faults:
        print("FAIL", fault)
    print(f"{len(manifests)} manifests: {len(faults)} faults")
    return 1 if faults else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="command", required=True)
    w = sub.add_parser("write")
    w.add_argument("--version", required=True)
    w.add_argument("--out", required=True)
    w.add_argument("msi", nargs="+")
    c = sub.add_parser("check")
    c.add_argument("--schemas", required=True)
    c.add_argument("--files", required=True)
    c.add_argument("manifests")
    args = parser.parse_args()
    return write(args) if args.command == "write" else check(args)


if __name__ == "__main__":
    sys.exit(main() or 0)
