#!/usr/bin/env bash
# Photographs the open context menu, once per line of a shot list. Run it
# inside one xvfb-run: Wine binds its desktop process to the first display a
# program of the prefix uses, so every shot must use the same X server.
#   screenshots.sh VIEWSETTINGS_INI SHOT_LIST
# Each line of SHOT_LIST: picture|language|host.exe|show options|file|file...
# For each, ViewSettings.ini gets Lang=language, the host shows the menu,
# the screen is captured once the host says the menu is open, and the
# picture is cut to what is not background (the host's window and menus).
# WINEPREFIX must be exported.
set -euo pipefail
settings=$1
shot_list=$2
status=0

take_shot() {
    local picture=$1 host=$2
    shift 2
    local output
    output=$(mktemp)
    # Output goes to a file: Wine's service processes inherit it and may
    # outlive the host.
    wine "$host" show "$@" >"$output" 2>&1 </dev/null &
    local pid=$!
    for _ in $(seq 1 150); do
        grep -q "menu open" "$output" && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.2
    done
    local shot_status=0
    if grep -q "menu open" "$output"; then
        import -window root "$picture.raw.png"
        convert "$picture.raw.png" -trim +repage "$picture"
        rm -f "$picture.raw.png"
    else
        shot_status=1
    fi
    wait "$pid" || shot_status=$?
    sed 's/\r$//; s/^/    /' "$output"
    rm -f "$output"
    return $shot_status
}

while IFS='|' read -r -a fields; do
    [ ${#fields[@]} -ge 5 ] || continue
    picture=${fields[0]}
    printf '[Options]\r\nLang=%s\r\n' "${fields[1]}" >"$settings"
    read -r -a options <<<"${fields[3]}"
    rm -f "$picture"
    if take_shot "$picture" "${fields[2]}" "${options[@]}" "${fields[@]:4}"; then
        echo "    saved $picture"
    else
        echo "    no picture for $picture"
        status=1
    fi
done <"$shot_list"
exit $status
