#!/usr/bin/env bash
# The release as others check it, built by scripts/package.sh from this
# build's files.
#
# reproduce: the release rebuilt elsewhere, later. A copy of the checkout in
# another folder builds the x64 DLL again, and package.sh --unsigned packages
# each build from its own checkout, the second in another time zone. Every file of the two releases must be byte-identical.
# Then the second release's checksum list must hold, and its bill of
# materials must be valid SPDX 2.3 (the schema in third_party) and name
# every shipped program with its hash and the runtimes inside it. Only the
# x64 classic DLL is built twice, to keep the test short: the other files are
# this tree's in both releases.
#
# timestamps: a release against a stand-in timestamp authority on the
# loopback address (tsa_stub.py). Without ORVANE_SIGN_TIMESTAMP_URL, without
# the publisher's certificate, or with a server that does not answer,
# package.sh --release must stop and say what to set; with them, every
# signature of the release (each program and DLL in the zip and in the MSIs,
# the script, the sparse packages, the MSIs) must carry that authority's
# timestamp, and INSTALL.txt and the MSIs' summaries must call it a release.
#
#   release_test.sh reproduce|timestamps BUILD_DIR ARM64_BIN PEER_BIN
# BUILD_DIR is the tree of the x64 files the release ships (its folder's
# name is its preset's).
# Exit code 77 (skipped) when the 32-bit or the ARM64 build is missing.
set -uo pipefail
mode=$1 build=$2 arm64_bin=$3 peer_bin=$4
root=$(cd "$(dirname "$0")/../.." && pwd)
for f in "$peer_bin/OrvaneShlExt32F.dll" "$peer_bin/OrvaneShellExt.exe" "$arm64_bin/OrvaneShlExtA64F.dll" "$build/../native/bin/OrvaneMsiRows"; do
    if [ ! -f "$f" ]; then echo "SKIP: $f is missing (build the win32, win-arm64 and native presets)"; exit 77; fi
done
prefix=$(mktemp -d)
mkdir -p "$prefix/drive_c"
export WINEPREFIX=$prefix
source "$(dirname "$0")/../tools/common.sh"
cleanup_actions+=("rm -rf '$prefix'")

# package DLL64 CHECKOUT OUT [OPTION...]: the release with that x64 DLL.
package() {
    bash "$2/scripts/package.sh" "${@:4}" --out "$3" --dll64 "$1" --dllcmd "$build/bin/OrvaneShlExtCmd64F.dll" \
        --exe64 "$build/bin/OrvaneShellExt.exe" --dll32 "$peer_bin/OrvaneShlExt32F.dll" --exe32 "$peer_bin/OrvaneShellExt.exe" \
        --dll-arm64 "$arm64_bin/OrvaneShlExtA64F.dll" --rows-tool "$build/../native/bin/OrvaneMsiRows" >"$last_output" 2>&1
}

reproduce() {
    export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct)}
    package "$build/bin/OrvaneShlExt64F.dll" "$root" "$scratch/first" --unsigned || { fail "package.sh --unsigned"; finish; }

    copy=$scratch/elsewhere/checkout
    mkdir -p "$copy"
    tar -C "$root" --exclude=./build --exclude=./.git -cf - . | tar -C "$copy" -xf -
    if cmake --preset "$(basename "$build")" -S "$copy" -B "$scratch/elsewhere/build" -DORVANE_BUILD_TESTS=OFF >/dev/null &&
        cmake --build "$scratch/elsewhere/build" -j2 --target OrvaneShlExt64F >/dev/null
    then pass "the copy builds"; else fail "the copy in another folder does not build"; finish; fi
    TZ=Pacific/Kiritimati package "$scratch/elsewhere/build/bin/OrvaneShlExt64F.dll" "$copy" "$scratch/second" --unsigned ||
        { fail "package.sh --unsigned from $copy"; finish; }

    differing=$(cd "$scratch/first" && find . -type f | sort | while read -r f; do cmp -s "$f" "$scratch/second/$f" || echo "$f"; done)
    if [ -z "$differing" ] && [ "$(ls "$scratch/first" | wc -l)" -ge 8 ]; then
        pass "two builds in two folders at two times: $(ls "$scratch/first" | tr '\n' ' ')byte for byte"
    else
        fail "the rebuilt release differs in: $differing"
    fi
    if (cd "$scratch/second" && sha256sum --quiet -c SHA256SUMS) && [ "$(wc -l <"$scratch/second/SHA256SUMS")" = \
        "$(($(find "$scratch/second" -type f | wc -l) - 1))" ]; then pass "SHA256SUMS lists and matches every other file"
    else fail "SHA256SUMS does not match the release"; fi

    sbom=$(ls "$scratch"/second/*.spdx.json)
    if faults=$(python3 "$root/tools/package/release.py" check-sbom "$sbom" "$root/third_party/spdx-2.3/spdx-schema.json" 2>&1)
    then pass "$(basename "$sbom") is valid SPDX 2.3"; else fail "$faults"; fi
    unzip -q "$scratch"/second/*.zip -d "$scratch/unpacked"
    # Each program or DLL in the zip: its hash and the runtimes it is linked to.
    python3 - "$sbom" "$scratch/unpacked" <<'PY' >"$last_output" && pass "the bill of materials names every program and its runtimes" || fail "the bill of materials"
import hashlib, json, pathlib, sys
document, unpacked = json.loads(pathlib.Path(sys.argv[1]).read_text()), pathlib.Path(sys.argv[2])
files = {f["fileName"][2:]: f for f in document["files"]}
packages = {p["SPDXID"]: p for p in document["packages"]}
links = {}
for r in document["relationships"]:
    if r["relationshipType"] == "STATIC_LINK":
        links.setdefault(r["spdxElementId"], []).append(packages[r["relatedSpdxElement"]])
# The runtimes that must be inside each kind of file: ARM64 is built with
# clang, x86 with GCC, x64 with either.
expected = [("A64", ["libc++", "libunwind", "MinGW-w64 CRT"]), ("32F", ["libstdc++", "winpthreads", "MinGW-w64 CRT"]),
            ("", [("libc++", "libstdc++"), "MinGW-w64 CRT"])]
faults = []
for path in sorted(p for p in unpacked.rglob("*") if p.suffix in (".dll", ".exe")):
    name = path.relative_to(unpacked).as_posix()
    entry = files.get(name)
    digest = hashlib.sha256(path.read_bytes()).hexdigest()
    if not entry or {"algorithm": "SHA256", "checksumValue": digest} not in entry["checksums"]:
        faults.append("%s: not listed with its hash" % name)
        continue
    linked = links.get(entry["SPDXID"], [])
    faults += ["%s: %s without version or licence" % (name, p["name"]) for p in linked
               if not p.get("versionInfo") or p["licenseDeclared"] == "NOASSERTION"]
    kind = next(words for key, words in expected if key in name.replace("ARM64", "A64"))
    for word in kind:
        if not {p["name"] for p in linked} & set(word if isinstance(word, tuple) else [word]):
            faults.append("%s: no %s among %s" % (name, word, [p["name"] for p in linked]))
print("\n".join(faults))
sys.exit(1 if faults else 0)
PY
}

timestamps() {
    local url signer=$scratch/signer f
    python3 "$(dirname "$0")/tsa_stub.py" "$scratch" >"$scratch/url" &
    cleanup_actions+=("kill $!")
    for _ in $(seq 100); do [ -s "$scratch/url" ] && break; sleep 0.2; done
    url=$(cat "$scratch/url")
    openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 30 -subj "/O=Kelvoss/CN=Orvane Release Test" \
        -addext "extendedKeyUsage=codeSigning" -keyout "$signer.key" -out "$signer.pem" 2>/dev/null
    openssl pkcs12 -export -inkey "$signer.key" -in "$signer.pem" -passout pass:test -out "$signer.pfx"
    export ORVANE_SIGN_PASS=test
    # Certificate; timestamp server; what is missing; what the refusal must say.
    for refusal in ";$url;the certificate;set ORVANE_SIGN_PFX" "$signer.pfx;;a timestamp server;set ORVANE_SIGN_TIMESTAMP_URL" \
        "$signer.pfx;http://127.0.0.1:9/;an answering server;no timestamp|could not sign"; do
        IFS=';' read -r pfx tsa missing wanted <<<"$refusal"
        ORVANE_SIGN_PFX=$pfx ORVANE_SIGN_TIMESTAMP_URL=$tsa package "$build/bin/OrvaneShlExt64F.dll" "$root" "$scratch/refused" --release
        last_status=$?
        if [ "$last_status" != 0 ] && grep -qE "$wanted" "$last_output"; then pass "a release without $missing stops"
        else fail "a release without $missing: exit $last_status, no line matches /$wanted/"; fi
    done
    ORVANE_SIGN_PFX=$signer.pfx ORVANE_SIGN_TIMESTAMP_URL=$url package "$build/bin/OrvaneShlExt64F.dll" "$root" "$scratch/release" --release ||
        { fail "package.sh --release"; finish; }
    pass "package.sh --release with $url"
    unzip -q "$scratch"/release/*.zip -d "$scratch/unpacked"
    for f in "$scratch"/release/*.msi; do msiextract -C "$scratch/msi-$(basename "$f")" "$f" >/dev/null; done
    local count=0 untimed=
    while read -r f; do
        count=$((count + 1))
        osslsigncode verify -CAfile "$signer.pem" -TSA-CAfile "$scratch/tsa.pem" -in "$f" >"$last_output" 2>&1 &&
            grep -q 'Timestamp time:' "$last_output" || untimed+=" ${f#"$scratch/"}"
    done < <(find "$scratch/release" "$scratch/unpacked" "$scratch"/msi-* -type f \
        \( -name '*.dll' -o -name '*.exe' -o -name '*.ps1' -o -name '*.msi' -o -name '*.msix' \))
    if [ -z "$untimed" ] && [ "$count" -ge 20 ]; then pass "all $count signatures verify and carry the authority's timestamp"
    else fail "of $count signatures, without a verified timestamp:$untimed"; fi
    if sed -n 3p "$scratch"/unpacked/*/INSTALL.txt | grep -q '^Release build'; then pass "INSTALL.txt says release"
    else fail "INSTALL.txt's label: $(sed -n 3p "$scratch"/unpacked/*/INSTALL.txt)"; fi
    for f in "$scratch"/release/*.msi; do
        if msiinfo suminfo "$f" | grep -q '^Comments: Release build'; then pass "$(basename "$f")'s summary says release"
        else fail "$(basename "$f")'s summary: $(msiinfo suminfo "$f" | grep Comments)"; fi
    done
}

case $mode in
reproduce) reproduce ;;
timestamps) timestamps ;;
*) echo "usage: release_test.sh reproduce|timestamps BUILD_DIR ARM64_BIN PEER_BIN" >&2; exit 2 ;;
esac
finish
