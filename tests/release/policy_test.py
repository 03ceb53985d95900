#!/usr/bin/env python3
"""The administrative templates (policy/): well-formed, valid against
Microsoft's ADMX schema, every reference resolved in each language, and every
key and value the same as the extension reads (ShellExt/settings/SwitchTable.inc).
Usage: policy_test.py SOURCE_DIR"""
import pathlib
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

NS = "http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions"
N = "{" + NS + "}"
LANGUAGES = ("en-US", "de-DE")
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def read_table(path):
    text = path.read_text()
    keys = {k: v.replace("\\\\", "\\") for k, v in re.findall(r'^ORVANE_SWITCH_KEY\((\w+), "([^"]+)"\)', text, re.M)}
    switches = {m[0]: int(m[2], 0) for m in re.findall(r"^ORVANE_SWITCH\((\w+), (\w+), (\w+), ([01])\)", text, re.M)}
    return keys, switches


def validate(schema_dir, files):
    # libxml2 follows XML Schema's regular expressions strictly, where "$" is
    # no special character and "\$" is no escape; the schema writes "\$".
    with tempfile.TemporaryDirectory() as tmp:
        for xsd in schema_dir.glob("*.xsd"):
            (pathlib.Path(tmp) / xsd.name).write_text(xsd.read_text(encoding="utf-8-sig").replace("\\$", "$"))
        run = subprocess.run(["xmllint", "--noout", "--schema", f"{tmp}/PolicyDefinitionFiles.xsd", *map(str, files)],
                             capture_output=True, text=True)
        check(run.returncode == 0, "schema: " + run.stderr.strip())


def references(root, kind):
    return {m for node in root.iter() for value in node.attrib.values()
            for m in re.findall(r"\$\(" + kind + r"\.(\w+)\)", value)}


def check_adml(admx, adml, language):
    strings = {s.get("id") for s in adml.iter(N + "string")}
    presentations = {p.get("id"): p for p in adml.iter(N + "presentation")}
    for kind, table in (("string", strings), ("presentation", set(presentations))):
        for name in sorted(references(admx, kind) - table):
            check(False, f"{language}: $({kind}.{name}) not in the {kind} table")
    element_ids = {e.get("id") for e in admx.iter() if e.tag.endswith("decimal") and e.get("id")}
    for presentation in presentations.values():
        for control in presentation:
            check(control.get("refId") in element_ids, f"{language}: presentation refId {control.get('refId')} names no element")
    return strings


def check_admx(admx, keys, switches):
    check(admx.tag == N + "policyDefinitions", "ADMX root")
    usings = {u.get("prefix"): u.get("namespace") for u in admx.iter(N + "using")}
    check(usings.get("windows") == "Microsoft.Policies.Windows", "windows namespace")
    seen = set()
    for policy in admx.iter(N + "policy"):
        name = policy.get("name")
        check(policy.get("key") == keys["Policy"], f"{name}: key {policy.get('key')}")
        values = [policy.get("valueName")] if policy.get("valueName") else []
        values += [e.get("valueName") for e in policy.iter(N + "decimal") if e.get("valueName")]
        check(values == [name] and name in switches, f"{name}: value names {values}")
        seen.add(name)
        for e in policy.iter(N + "decimal"):
            top = int(e.get("value", e.get("maxValue", "-1")))
            check(0 <= top <= switches.get(name, -1), f"{name}: value {top} beyond the table's {switches.get(name)}")
        ref = policy.find(N + "supportedOn").get("ref")
        check(re.fullmatch(r"windows:SUPPORTED_Windows_1[01]_0", ref) is not None, f"{name}: supportedOn {ref}")
        check(policy.find(N + "parentCategory").get("ref") == "OrvaneShellExt", f"{name}: category")
    check(seen == set(switches), f"policies {sorted(seen)} against the table's {sorted(switches)}")


def main():
    source = pathlib.Path(sys.argv[1])
    keys, switches = read_table(source / "ShellExt/settings/SwitchTable.inc")
    check(len(switches) >= 4 and "Policy" in keys, "the switch table could not be read")
    files = [source / "policy/Orvane.admx"] + [source / "policy" / lang / "Orvane.adml" for lang in LANGUAGES]
    roots = [ET.parse(f).getroot() for f in files]
    validate(source / "tools/policy/schema", files)
    check_admx(roots[0], keys, switches)
    tables = [check_adml(roots[0], adml, lang) for adml, lang in zip(roots[1:], LANGUAGES)]
    check(tables[0] == tables[1], "the languages' string tables differ")
    category = [s.text for s in roots[1].iter(N + "string") if s.get("id") == "OrvaneShellExt"]
    check(category == ["Orvane shell extension"], f"category {category}")
    print("".join(f"FAIL {f}\n" for f in failures) + f"{len(switches)} policies: {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
