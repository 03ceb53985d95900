# Sourced first by the scripts in this folder (not run): strict mode, the
# checkout's root as the working folder, and the reading of options.
#   caller      the folder the script was started from
#   root        the checkout
#   build_root  where the build trees and outputs go: ORVANE_BUILD_ROOT,
#               default build
set -euo pipefail
caller=$PWD
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$PWD
build_root=${ORVANE_BUILD_ROOT:-$root/build}

# A path from the command line, which is the caller's, made absolute.
absolute() { case $1 in /* | '') echo "$1" ;; *) echo "$caller/$1" ;; esac; }

# read_options OPTION... -- ARGUMENT...: sets the script's variables from its
# options. Each OPTION names one without its dashes: "name" is a switch
# (--name sets name=1), "name=" takes a value (--name V sets name, or adds V
# to it where the script made name an array), "name=var" puts that value into
# var. Dashes in a name become underscores in its variable. Anything else
# calls the script's usage function.
read_options() {
    local -A _target=()
    local _accepted _option _variable
    while [ "$1" != -- ]; do
        _accepted=$1
        case $_accepted in
        *=) _target[${_accepted%=}]=${_accepted%=} ;;
        *=*) _target[${_accepted%%=*}]=${_accepted#*=} ;;
        *) _target[$_accepted]= ;;
        esac
        shift
    done
    shift
    while [ $# -gt 0 ]; do
        _option=${1#--}
        [ "$_option" != "$1" ] && [ -n "${_target[$_option]+set}" ] || usage
        if [ -z "${_target[$_option]}" ]; then
            printf -v "${_option//-/_}" 1
            shift
            continue
        fi
        [ $# -ge 2 ] || usage
        _variable=${_target[$_option]//-/_}
        if [[ $(declare -p "$_variable" 2>/dev/null) == "declare -a"* ]]; then
            eval "$_variable+=(\"\$2\")"
        else
            printf -v "$_variable" '%s' "$2"
        fi
        shift 2
    done
}

# The release's time, for everything that would write the time of the build:
# SOURCE_DATE_EPOCH if set, else the time of the checkout's commit.
export_source_date_epoch() {
    if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
        SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null) || {
            echo "$(basename "$0"): not a git checkout: set SOURCE_DATE_EPOCH to the release's time" >&2
            exit 1
        }
    fi
    export SOURCE_DATE_EPOCH
}
