# Shared by bench.sh and soak.sh (sourced, not run): the architecture names,
# the build of what the measuring program needs, and the private Wine prefix
# that is made for one run and removed when the script exits.
# Expects build_root and presets to be set.

dll_of() { if [ "$1" = win64 ]; then echo OrvaneShlExt64F; else echo OrvaneShlExt32F; fi; }
arch_of() { if [ "$1" = win64 ]; then echo x64; else echo x86; fi; }
win_path() { local p=$1; printf 'Z:%s' "${p//\//\\}"; }

build_bench_tools() {
    local preset
    for preset in "${presets[@]}"; do
        cmake --preset "$preset" -B "$build_root/$preset" >/dev/null
        cmake --build "$build_root/$preset" -j2 --target OrvaneBench OrvaneAsUser "$(dll_of "$preset")" test_icon_library >/dev/null
    done
}

# start_private_prefix NAME: a fresh prefix under /tmp/orvane-NAME.*, torn
# down on exit.
start_private_prefix() {
    export WINEPREFIX
    WINEPREFIX=$(mktemp -d "/tmp/orvane-$1.XXXXXX")/wineprefix
    export WINEDEBUG=-all
    trap 'bash tests/wineprefix.sh cleanup "$WINEPREFIX" >/dev/null; rmdir "$(dirname "$WINEPREFIX")" 2>/dev/null || true' EXIT
    bash tests/wineprefix.sh setup "$WINEPREFIX" >/dev/null
}
