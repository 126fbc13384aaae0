#!/usr/bin/env bash
# Fails when scripts/setup.sh misses a Debian package that the build, the tests or the scripts
# use. A fresh Debian 12 machine has only what setup.sh installs, so every library CMake found,
# every program the tests and scripts run and every data file they read must belong to a package
# that setup.sh names, or to one of those packages' dependencies (or to the base system).
#
#   bash scripts/check-packages.sh [BUILD_DIR]     (default: build, configured already)
#
# Runs in seconds; it reads the CMake cache and asks dpkg, nothing more.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cache="$build/CMakeCache.txt"
[ -f "$cache" ] || { echo "check-packages: $cache not found (configure first)"; exit 2; }

# Programs the tests, benchmarks and scripts run, beside the build tools CMake records.
programs=(ffmpeg ffprobe gst-launch-1.0 gst-discoverer-1.0 gst-inspect-1.0 Xvfb xvfb-run xauth
          xdotool timeout /usr/bin/time clang-format-14 clang clang++ git cmake ninja pkg-config
          /usr/bin/python3 script groff)
# GStreamer elements the tests link: decodebin picks decoders from the plugins of setup.sh.
gst_elements=(filesrc decodebin asfdemux fakesink queue avdec_wmv2 avdec_wmav2 audioconvert)
# Data files the program and the tests read.
data_files=(/usr/src/googletest/CMakeLists.txt /usr/share/qt6/translations/qtbase_ja.qm)

# What setup.sh installs, and everything those packages pull in.
mapfile -t named < <(bash scripts/setup.sh --list-packages)
declare -A wanted=()
for p in "${named[@]}"; do wanted[$p]=1; done

closure=$(dpkg-query -W -f='${Package}\t${Status}\t${Priority}\t${Depends}, ${Pre-Depends}\t${Provides}\n' |
    awk -F'\t' -v roots="${named[*]}" '
    $2 ~ /install ok installed/ {
        installed[$1] = 1
        if ($3 == "required") base[$1] = 1
        deps[$1] = $4
        n = split($5, pv, /, */)
        for (i = 1; i <= n; i++) { v = pv[i]; sub(/ .*/, "", v); if (v != "") providers[v] = providers[v] " " $1 }
    }
    END {
        n = split(roots, queue, " ")
        for (i = 1; i <= n; i++) seen[queue[i]] = 1
        head = 1
        while (head <= n) {
            p = queue[head++]
            m = split(deps[p], alts, /[,|] */)
            for (j = 1; j <= m; j++) {
                d = alts[j]; sub(/[ :(].*/, "", d)
                if (d == "") continue
                cand = installed[d] ? d : providers[d]
                k = split(cand, cs, " ")
                for (c = 1; c <= k; c++) if (!(cs[c] in seen)) { seen[cs[c]] = 1; queue[++n] = cs[c] }
            }
        }
        for (p in seen) print p
        for (p in base) print p
    }')
declare -A covered=()
while read -r p; do covered[$p]=1; done <<<"$closure"

failures=0
fail() {
    echo "check-packages: $*"
    failures=$((failures + 1))
}
# What is used, as "WHAT<TAB>PATH<TAB>REAL PATH" lines; owners are asked of dpkg in one call at
# the end. A development symbolic link (libx.so) belongs to the -dev package, its target to the
# runtime one; a link made by the alternatives system (/usr/bin/c++) to nobody.
needs=()
need() { needs+=("$1"$'\t'"$2"$'\t'"$(readlink -f "$2")"); }

# Libraries and tools CMake found: the build tools and pkg-config libraries in the cache, the
# config file of each package found through find_package, and every library a target links.
here=$(readlink -f .)
while IFS='=' read -r key value; do
    name=${key%%:*}
    case "$value" in "$here"/*) continue ;; /*) ;; *) continue ;; esac
    if [[ $key == *:FILEPATH && ($name == CMAKE_* || $name == pkgcfg_lib_* || $name == *_EXECUTABLE) ]]; then
        [ -f "$value" ] && need "CMake's $name" "$value"
    elif [[ $key == *_DIR:PATH ]] && [ -d "$value" ]; then
        config=$(ls "$value"/*[Cc]onfig.cmake 2>/dev/null | head -1) || true
        [ -n "$config" ] && need "CMake package ${name%_DIR}" "$config"
    fi
done < <(grep -E '^[A-Za-z0-9_.+-]+:(FILEPATH|PATH)=' "$cache")
while read -r lib; do
    need "linked library" "$lib"
done < <(grep -h 'LINK_LIBRARIES = ' "$build/build.ninja" | tr ' ' '\n' | grep '^/' | grep -v "^$here/" | sort -u)

for p in "${programs[@]}"; do
    path=$(type -P "$p" || true)
    if [ -n "$path" ]; then need "program $p" "$path"; else fail "program $p is not installed"; fi
done
for e in "${gst_elements[@]}"; do
    lib=$(gst-inspect-1.0 "$e" 2>/dev/null | awk '/^  Filename/ {print $2}')
    if [ -n "$lib" ]; then need "GStreamer element $e" "$lib"; else fail "GStreamer element $e is not installed"; fi
done
for f in "${data_files[@]}"; do need "file" "$f"; done
# The status texts and menus are Japanese: a font that covers them.
need "a Japanese font" "$(fc-match -f '%{file}' ':lang=ja')"

declare -A owner=()
while IFS= read -r line; do
    [[ $line == diversion* ]] && continue
    pkg=${line%%: /*}
    path=${line#"$pkg": }
    pkg=${pkg%%,*}
    owner[$path]=${pkg%%:*}
done < <(printf '%s\n' "${needs[@]}" | cut -f2,3 | tr '\t' '\n' | sort -u |
    xargs -d '\n' dpkg -S 2>/dev/null || true)
for n in "${needs[@]}"; do
    IFS=$'\t' read -r what path real <<<"$n"
    pkg=${owner[$path]:-${owner[$real]:-}}
    if [ -z "$pkg" ]; then
        fail "$what ($path) belongs to no Debian package"
    elif [ -z "${covered[$pkg]:-}" ]; then
        fail "scripts/setup.sh misses package $pkg (needed for $what: $path)"
    fi
done

if [ "$failures" -gt 0 ]; then
    echo "check-packages: $failures problem(s); add the packages to scripts/setup.sh"
    exit 1
fi
echo "check-packages: every library, program and file used comes from scripts/setup.sh's packages"
