#!/usr/bin/env bash
# Authenticode signing of the release files (DLLs and the package) with
# osslsigncode.
#
#   sign.sh identity DIR CER   prepares the signing identity in DIR (a private
#                              folder that the caller removes) and prints the
#                              certificate's subject as a package Publisher
#   sign.sh sign DIR FILE...   signs each file in place with that identity
#   sign.sh strip-and-sign DIR IN OUT
#                              writes OUT: the program or DLL IN without its
#                              symbols, signed with that identity
#
# With ORVANE_SIGN_PFX and ORVANE_SIGN_PASS set, that certificate signs.
# With ORVANE_SIGN_TIMESTAMP_URL set, each signature carries an RFC 3161
# timestamp from that server, so that it stays valid after the certificate
# expires; without one, a signature ends with its certificate.
# Otherwise a throwaway test certificate is made whose subject is the default
# package Publisher; its public part is written to CER (DER) for test
# machines. No key ever leaves DIR.
#
# ORVANE_RELEASE=1 makes a release: signed with ORVANE_SIGN_PFX, and every
# signature checked for its timestamp; anything less stops the build.
# ORVANE_UNSIGNED=1 signs nothing (a rebuild to compare with a release): the
# Publisher is then the subject of ORVANE_SIGN_CERT (the release's public
# certificate, PEM or DER) or the test certificate's.
#
#   sign.sh label              one line that says how the files are signed
#   sign.sh check              exit 1 if a release could not be signed as one
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
appx() { python3 "$here/appx.py" "$@"; }

die() { echo "sign.sh: $*" >&2; exit 1; }
# The clang toolchain's (cmake/clang-mingw-common.cmake): Debian's MinGW
# binutils know no ARM64.
llvm_strip=/usr/lib/llvm-19/bin/llvm-strip

# The PKCS#12 file's certificate, as PEM; older files need OpenSSL's legacy
# ciphers.
certificate_from_pfx() {
    local pfx=$1 out=$2
    openssl pkcs12 -in "$pfx" -nokeys -clcerts -passin env:ORVANE_SIGN_PASS -out "$out" 2>/dev/null ||
        openssl pkcs12 -legacy -in "$pfx" -nokeys -clcerts -passin env:ORVANE_SIGN_PASS -out "$out" 2>/dev/null ||
        die "cannot read $pfx with ORVANE_SIGN_PASS"
}

# A self-signed code-signing certificate for test machines, valid a year.
make_test_certificate() {
    local dir=$1
    openssl req -x509 -newkey rsa:3072 -nodes -sha256 -days 365 -utf8 \
        -subj "$(appx subject)" \
        -addext "basicConstraints=critical,CA:FALSE" \
        -addext "keyUsage=critical,digitalSignature" \
        -addext "extendedKeyUsage=codeSigning" \
        -keyout "$dir/key.pem" -out "$dir/cert.pem" 2>/dev/null || die "openssl could not make a test certificate"
    chmod 600 "$dir/key.pem"
}

release=${ORVANE_RELEASE:-} unsigned=${ORVANE_UNSIGNED:-}
[ "$release" != 0 ] || release=
[ "$unsigned" != 0 ] || unsigned=

identity() {
    local dir=$1 cer=$2
    mkdir -p "$dir"
    if [ -n "$unsigned" ]; then
        unsigned_identity "$dir"
        return
    fi
    if [ -n "${ORVANE_SIGN_PFX:-}" ]; then
        [ -f "$ORVANE_SIGN_PFX" ] || die "ORVANE_SIGN_PFX: no file $ORVANE_SIGN_PFX"
        [ -n "${ORVANE_SIGN_PASS+set}" ] || die "ORVANE_SIGN_PFX is set but ORVANE_SIGN_PASS is not"
        certificate_from_pfx "$ORVANE_SIGN_PFX" "$dir/cert.pem"
    else
        make_test_certificate "$dir"
        openssl x509 -in "$dir/cert.pem" -outform DER -out "$cer"
    fi
    appx publisher "$dir/cert.pem"
}

# No key and no certificate are left in DIR: nothing can be signed, and
# nothing of a throwaway certificate reaches the output.
unsigned_identity() {
    local dir=$1
    if [ -n "${ORVANE_SIGN_CERT:-}" ]; then
        openssl x509 -in "$ORVANE_SIGN_CERT" -out "$dir/public.pem" 2>/dev/null ||
            openssl x509 -inform DER -in "$ORVANE_SIGN_CERT" -out "$dir/public.pem" 2>/dev/null ||
            die "ORVANE_SIGN_CERT: $ORVANE_SIGN_CERT is no certificate"
    else
        make_test_certificate "$dir"
        mv "$dir/cert.pem" "$dir/public.pem"
        rm -f "$dir/key.pem"
    fi
    appx publisher "$dir/public.pem"
    rm -f "$dir/public.pem"
}

# A release refuses what would not outlive its certificate or is not the
# publisher's, and says which variable is missing.
release_needs() {
    [ -n "$release" ] && [ -z "$unsigned" ] || return 0
    [ -n "${ORVANE_SIGN_PFX:-}" ] ||
        die "a release is signed with the publisher's certificate: set ORVANE_SIGN_PFX and ORVANE_SIGN_PASS"
    [ -n "${ORVANE_SIGN_TIMESTAMP_URL:-}" ] ||
        die "a release needs an RFC 3161 timestamp on every signature: set ORVANE_SIGN_TIMESTAMP_URL to a timestamp server"
}

# Whether the file's signature carries a timestamp (trusted or not: verify
# fails here for any chain this machine does not trust).
timestamped() {
    local report
    report=$(osslsigncode verify -in "$1" 2>/dev/null) || true
    grep -q '^[[:space:]]*Timestamp time:' <<<"$report"
}

label() {
    if [ -n "$release" ]; then
        echo "Release build: signed by the publisher; every signature carries a timestamp and stays valid after the certificate expires."
    elif [ -n "$unsigned" ]; then
        echo "UNSIGNED BUILD: nothing in it is signed; it is made to be compared with a release, not installed."
    elif [ -z "${ORVANE_SIGN_PFX:-}" ]; then
        echo "TEST BUILD, TEST-SIGNED: signed with a throwaway test certificate (Orvane-Test-Signing.cer) that Windows does not trust. Not a release."
    else
        echo "TEST BUILD: signed with ORVANE_SIGN_PFX's certificate, not checked as a release."
    fi
}

# osslsigncode will not overwrite its output: sign into a new file, then
# replace the original.
sign() {
    local dir=$1
    shift
    local file signed key_args
    [ -z "$unsigned" ] || return 0
    release_needs
    if [ -n "${ORVANE_SIGN_PFX:-}" ]; then
        # Through a file, so that the password never shows in a process list.
        (umask 077 && printf '%s' "$ORVANE_SIGN_PASS" >"$dir/pass")
        key_args=(-pkcs12 "$ORVANE_SIGN_PFX" -readpass "$dir/pass")
    else
        key_args=(-certs "$dir/cert.pem" -key "$dir/key.pem")
    fi
    if [ -n "${ORVANE_SIGN_TIMESTAMP_URL:-}" ]; then
        key_args+=(-ts "$ORVANE_SIGN_TIMESTAMP_URL")
    fi
    for file in "$@"; do
        signed=$dir/signing.tmp
        rm -f "$signed"
        osslsigncode sign "${key_args[@]}" -h sha256 -n "Orvane Shell Extension" \
            -in "$file" -out "$signed" >/dev/null || die "osslsigncode could not sign $file"
        mv -f "$signed" "$file"
        if [ -n "$release" ] && ! timestamped "$file"; then
            die "$file: the signature carries no timestamp from $ORVANE_SIGN_TIMESTAMP_URL"
        fi
    done
}

# The PE header's machine field, in hex: at the offset that 0x3C holds, plus 4.
pe_machine() {
    local at
    at=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
    [ -n "$at" ] && od -An -tx2 -j$((at + 4)) -N2 "$1" 2>/dev/null | tr -d ' '
}

# Symbols only make the download bigger; the code is the one tested. Each
# machine's file goes through the strip tool of its own toolchain.
strip_and_sign() {
    local dir=$1 in=$2 out=$3 strip
    case $(pe_machine "$in") in
    8664) strip=x86_64-w64-mingw32-strip ;;
    014c) strip=i686-w64-mingw32-strip ;;
    aa64) strip=$llvm_strip ;;
    *) die "$in: not a program or DLL for x64, x86 or ARM64" ;;
    esac
    "$strip" -o "$out" "$in" || die "$strip could not strip $in"
    sign "$dir" "$out"
}

case ${1:-} in
identity) [ $# -eq 3 ] || die "usage: sign.sh identity DIR CER"; release_needs; identity "$2" "$3" ;;
check) release_needs ;;
label) label ;;
sign) [ $# -ge 3 ] || die "usage: sign.sh sign DIR FILE..."; shift; sign "$@" ;;
strip-and-sign) [ $# -eq 4 ] || die "usage: sign.sh strip-and-sign DIR IN OUT"; shift; strip_and_sign "$@" ;;
*) die "usage: sign.sh identity DIR CER | sign DIR FILE... | strip-and-sign DIR IN OUT | label | check" ;;
esac
