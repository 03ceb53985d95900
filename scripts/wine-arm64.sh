#!/usr/bin/env bash
# Sets up, once, Debian's own arm64 Wine for running the ARM64 build here,
# under qemu-user through binfmt_misc:
#   wine-arm64.sh           installs qemu-user-static if missing, fetches the
#                           arm64 Wine tree and writes its commands (cached)
#   wine-arm64.sh --check   prints the folder of the commands and exits 0 when
#                           ARM64 programs can run here; otherwise prints why
#                           and exits 1
#
# The tree is Debian's wine64:arm64 of the same version as the machine's Wine,
# with its dependencies, unpacked from the archive (a private apt
# configuration: an arm64-only index of bookworm main and an empty dpkg
# status; the machine's own sources and packages stay untouched). Nothing in
# it is run emulated but ldconfig: no maintainer scripts, no emulated apt.
#
# Each command gives its call a user namespace and a mount namespace of its
# own: a binfmt_misc of that namespace with the qemu-aarch64 entry of
# /usr/lib/binfmt.d (flag F: qemu is opened at registration, so it serves
# inside the tree too), /proc and /dev, the folders the call works in bound at
# their own paths, and then the tree as the root. The machine's own
# binfmt_misc and every other program are left alone. A kernel older than
# 6.7 has no binfmt_misc per user namespace: as root the entry then goes into
# the machine's binfmt_misc (mounted if it is not), otherwise ARM64 programs
# cannot run here.
#
# Result, outside the checkout (ORVANE_WINE_ARM64_CACHE, default
# ~/.cache/orvane-wine-arm64):
#   tree/                             the arm64 file tree
#   bin/wine, wine-stable, wineboot,  the commands, used like the machine's
#       wineserver                    (tests reach them through
#                                     scripts/wine-env.sh with
#                                     ORVANE_WINE_MACHINE=arm64)
#   stamp                             the version and recipe the tree came from
# A second run compares the stamp and returns in well under a second.
set -euo pipefail

cache=${ORVANE_WINE_ARM64_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/orvane-wine-arm64}
tree=$cache/tree
bin=$cache/bin
binfmt_conf=/usr/lib/binfmt.d/qemu-aarch64.conf
# Raise it when the steps below or the commands change: the tree is made again.
recipe=1

# The machine's Wine decides the version (the same Wine for x64 and ARM64).
wine_version=$(dpkg-query -W -f='${Version}' wine64 2>/dev/null || true)
key() { echo "wine64:arm64=$wine_version recipe=$recipe"; }

# Whether this kernel gives a user namespace a binfmt_misc of its own.
userns_binfmt() {
    unshare --user --map-root-user --mount \
        mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc >/dev/null 2>&1
}

# The machine's binfmt_misc with an enabled qemu-aarch64 entry of flag F.
machine_binfmt() {
    grep -qx enabled /proc/sys/fs/binfmt_misc/qemu-aarch64 2>/dev/null &&
        grep -q '^flags:.*F' /proc/sys/fs/binfmt_misc/qemu-aarch64
}

check() {
    if [ "$(cat "$cache/stamp" 2>/dev/null)" != "$(key)" ] || [ ! -x "$bin/wine" ]; then
        echo "no arm64 Wine set up in $cache (scripts/setup.sh sets it up)"
        return 1
    fi
    if ! userns_binfmt && ! machine_binfmt; then
        echo "binfmt_misc cannot be used here for qemu-aarch64 (no binfmt_misc per user namespace" \
             "before Linux 6.7, and the machine's own needs root)"
        return 1
    fi
    local reason
    if ! reason=$("$bin/.run" /bin/dash -c true 2>&1); then
        echo "the arm64 tree does not start: $reason"
        return 1
    fi
    echo "$bin"
}

if [ "${1:-}" = --check ]; then
    check
    exit
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
if [ ! -f "$binfmt_conf" ]; then
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends \
        qemu-user-static >/dev/null
fi
if [ -z "$wine_version" ]; then
    echo "wine-arm64: the machine's wine64 is not installed" >&2
    exit 1
fi

# Where a user namespace cannot have a binfmt_misc of its own, root registers
# qemu-aarch64 in the machine's (once per boot).
if ! userns_binfmt && ! machine_binfmt && [ "$(id -u)" -eq 0 ]; then
    [ -f /proc/sys/fs/binfmt_misc/register ] ||
        mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
    [ -e /proc/sys/fs/binfmt_misc/qemu-aarch64 ] ||
        grep '^:' "$binfmt_conf" >/proc/sys/fs/binfmt_misc/register
    echo "wine-arm64: qemu-aarch64 registered in the machine's binfmt_misc"
fi

if ! userns_binfmt && ! machine_binfmt; then
    echo "wine-arm64: binfmt_misc cannot be used here for qemu-aarch64: ARM64 programs will not run"
    exit 0
fi
if [ "$(cat "$cache/stamp" 2>/dev/null)" = "$(key)" ]; then
    echo "wine-arm64: up to date in $cache"
    exit 0
fi
started=$SECONDS
step() { echo "wine-arm64: $1 ($((SECONDS - started)) s)"; }

fetch_packages() {
    local apt=$cache/apt
    rm -rf "$apt"
    mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/sources.list.d" "$apt/preferences.d"
    : >"$apt/status"
    cat >"$apt/sources.list" <<LIST
deb [arch=arm64 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm main
LIST
    local opts=(-q -o "Dir::Etc::SourceList=$apt/sources.list" -o "Dir::Etc::SourceParts=$apt/sources.list.d"
                -o "Dir::Etc::Preferences=$apt/preferences" -o "Dir::Etc::PreferencesParts=$apt/preferences.d"
                -o "Dir::State::Lists=$apt/lists" -o "Dir::State::status=$apt/status" -o "Dir::Cache=$apt/cache"
                -o Debug::NoLocking=1 -o APT::Architecture=arm64 -o APT::Architectures::=arm64
                -o APT::Install-Recommends=0 -o APT::Sandbox::User="$(id -un)")
    apt-get "${opts[@]}" update >/dev/null
    # dash for Wine's own shell scripts, libc-bin for ldconfig.
    apt-get "${opts[@]}" install -y --download-only "wine64=$wine_version" libc-bin dash >/dev/null
}

# Bookworm's packages still ship files under /bin and /lib; its systems have
# them merged into /usr, so the tree has the links first and tar keeps them.
unpack_tree() {
    rm -rf "$tree"
    mkdir -p "$tree/usr/bin" "$tree/usr/lib" "$tree/usr/sbin" "$tree/proc" "$tree/dev" "$tree/tmp"
    ln -s usr/bin "$tree/bin"
    ln -s usr/lib "$tree/lib"
    ln -s usr/sbin "$tree/sbin"
    local deb
    for deb in "$cache"/apt/cache/archives/*.deb; do
        dpkg-deb --fsys-tarfile "$deb" | tar -x --keep-directory-symlink -C "$tree"
    done
}

# The commands. .run starts a program of the tree (a path inside it) in the
# namespaces described at the top; .enter is its part inside them.
write_commands() {
    rm -rf "$bin"
    mkdir -p "$bin"
    cat >"$bin/.run" <<RUN
#!/bin/sh
# Starts a program of the arm64 Wine tree $tree:
# .run PROGRAM [ARGUMENT...], PROGRAM a path inside the tree.
exec unshare --user --map-root-user --mount --propagation private -- /bin/sh "$bin/.enter" "\$@"
RUN
    cat >"$bin/.enter" <<'ENTER'
#!/bin/sh
# Inside the call's namespaces: binfmt_misc, /proc, /dev, the folders the call
# works in (the top folder of each, or the folder itself under a folder the
# tree has), then the tree as the root.
set -e
tree=@TREE@
if mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null; then
    grep '^:' @CONF@ >/proc/sys/fs/binfmt_misc/register
fi
mount --rbind /proc "$tree/proc"
mount --rbind /dev "$tree/dev"
bound=" "
bind() {
    case $1 in /*) ;; *) return 0 ;; esac
    rest=${1#/}
    top=${rest%%/*}
    case $top in
    '') return 0 ;;
    proc | dev | sys | run | usr | etc | var | bin | sbin | lib) where=$1 ;;
    *) where=/$top ;;
    esac
    case $bound in *" $where "*) return 0 ;; esac
    [ -d "$where" ] || return 0
    mkdir -p "$tree$where"
    mount --rbind "$where" "$tree$where"
    bound="$bound$where "
}
old_ifs=$IFS
IFS=:
for path in /tmp "$HOME" "$PWD" "${WINEPREFIX:-}" ${ORVANE_WINE_ARM64_BINDS:-}; do
    IFS=$old_ifs
    bind "$path"
done
IFS=$old_ifs
wd=$PWD
[ -d "$tree$wd" ] || wd=/
PATH=/usr/lib/wine:/usr/bin:/bin exec unshare --root="$tree" --wd="$wd" "$@"
ENTER
    sed -i "s|@TREE@|$tree|; s|@CONF@|$binfmt_conf|" "$bin/.enter"
    local name
    for name in wine wine-stable; do
        printf '#!/bin/sh\nexec "%s/.run" /usr/lib/wine/wine64 "$@"\n' "$bin" >"$bin/$name"
    done
    printf '#!/bin/sh\nexec "%s/.run" /usr/lib/wine/wineserver64 "$@"\n' "$bin" >"$bin/wineserver"
    printf '#!/bin/sh\nexec "%s/.run" /usr/lib/wine/wine64 wineboot.exe "$@"\n' "$bin" >"$bin/wineboot"
    chmod +x "$bin"/.run "$bin"/.enter "$bin"/wine "$bin"/wine-stable "$bin"/wineserver "$bin"/wineboot
}

rm -f "$cache/stamp"
mkdir -p "$cache"
step "fetching Debian's wine64:arm64 $wine_version and its dependencies"
fetch_packages
step "unpacking $(ls "$cache"/apt/cache/archives/*.deb | wc -l) packages"
unpack_tree
write_commands
step "ldconfig (emulated)"
"$bin/.run" /sbin/ldconfig
rm -rf "$cache/apt"
key >"$cache/stamp"
step "done in $cache"
