# Shared by bench.sh and soak.sh (sourced, not run): the architecture names,
# the build of what the measuring program needs, and the private Wine prefix
# that is made for one run and removed when the script exits.
# Expects build_root and presets to be set.

# win64-clang, "x64-cfg": the release's x64 DLLs (clang, Control Flow Guard),
# measured by the win64 build's program against the same floors.
dll_of() { case $1 in win32) echo OrvaneShlExt32F ;; *) echo OrvaneShlExt64F ;; esac; }
arch_of() { case $1 in win64) echo x64 ;; win64-clang) echo x64-cfg ;; *) echo x86 ;; esac; }
program_preset_of() { if [ "$1" = win64-clang ]; then echo win64; else echo "$1"; fi; }
win_path() { local p=$1; printf 'Z:%s' "${p//\//\\}"; }

build_bench_tools() {
    local preset program
    for preset in "${presets[@]}"; do
        program=$(program_preset_of "$preset")
        cmake --preset "$program" -B "$build_root/$program" >/dev/null
        cmake --build "$build_root/$program" -j2 --target OrvaneBench OrvaneAsUser test_icon_library >/dev/null
        cmake --preset "$preset" -B "$build_root/$preset" >/dev/null
        cmake --build "$build_root/$preset" -j2 --target "$(dll_of "$preset")" >/dev/null
        if [ "$preset" = win64-clang ]; then
            cmake --build "$build_root/$preset" -j2 --target OrvaneShlExtCmd64F >/dev/null
        fi
    done
}

# bench_folder PRESET: the folder whose OrvaneBench.exe measures the preset's
# DLLs (the program takes the command DLL from beside itself): the build's
# own, or for win64-clang a copy of the win64 program beside the clang DLLs.
bench_folder() {
    local folder=$build_root/$1/bin
    if [ "$1" = win64-clang ]; then
        folder=$out/x64-cfg-bin
        mkdir -p "$folder/testdata"
        cp "$build_root/win64/bin/OrvaneBench.exe" "$build_root/$1/bin/OrvaneShlExt64F.dll" \
            "$build_root/$1/bin/OrvaneShlExtCmd64F.dll" "$folder/"
        cp "$build_root/win64/bin/testdata/Main.icl" "$folder/testdata/"
    fi
    echo "$folder"
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
