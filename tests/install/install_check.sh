#!/usr/bin/env bash
# Installs the programs the way a user gets them and checks what arrived:
#   install_check.sh prefix  BUILD MKCARD   `cmake --install` into a temporary prefix
#   install_check.sh package BUILD MKCARD   `cpack -G DEB`, the package's fields, its contents
# In both, the installed viewer is started on a demo card and told to quit with SIGTERM.
# Screenshots of the started viewer are left in BUILD/Testing/install/.
set -euo pipefail

mode=$1 build=$(cd "$2" && pwd) mkcard=$3
work=$(mktemp -d)
viewer_pid=""
cleanup()
{
    if [[ -n "$viewer_pid" ]] && kill -0 "$viewer_pid" 2>/dev/null; then
        kill -KILL "$viewer_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail()
{
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# Width and height of a PNG file from its IHDR chunk.
png_size()
{
    local w h
    w=$(od -An -j16 -N4 -tu1 "$1" | awk '{print $1*16777216 + $2*65536 + $3*256 + $4}')
    h=$(od -An -j20 -N4 -tu1 "$1" | awk '{print $1*16777216 + $2*65536 + $3*256 + $4}')
    echo "${w}x${h}"
}

desktop_key()
{
    sed -n "s/^$2=//p" "$1" | head -n1
}

# The layout under ROOT (a prefix), with the viewer's path as the desktop entry must name it.
check_layout()
{
    local root=$1 exec_path=$2
    local program
    for program in RoadlogViewer Snaplet; do
        if [[ ! -x "$root/bin/$program" ]]; then
            fail "$program is not installed in $root/bin"
            continue
        fi
        # Nothing of the build tree may be needed at run time.
        if readelf -d "$root/bin/$program" | grep -E 'RPATH|RUNPATH' | grep -qF "$build"; then
            fail "$program keeps a run path into the build tree"
        fi
        if ldd "$root/bin/$program" | grep -q 'not found'; then
            fail "$program has unresolved libraries: $(ldd "$root/bin/$program" | grep 'not found')"
        fi
    done

    local entry=$root/share/applications/roadlog-viewer.desktop
    if [[ ! -f "$entry" ]]; then
        fail "no desktop entry at $entry"
    else
        local key expected
        while IFS='|' read -r key expected; do
            [[ "$(desktop_key "$entry" "$key")" == "$expected" ]] ||
                fail "desktop entry $key is '$(desktop_key "$entry" "$key")', not '$expected'"
        done <<TABLE
Type|Application
Name|Roadlog Viewer
Exec|$exec_path
Icon|roadlog-viewer
Terminal|false
Categories|AudioVideo;Video;Player;
TABLE
        if command -v desktop-file-validate >/dev/null; then
            desktop-file-validate "$entry" || fail "desktop-file-validate rejects the entry"
        fi
    fi

    local size icon
    for size in 48 256; do
        icon=$root/share/icons/hicolor/${size}x${size}/apps/roadlog-viewer.png
        if [[ ! -f "$icon" ]]; then
            fail "no ${size}px icon"
        elif [[ "$(png_size "$icon")" != "${size}x${size}" ]]; then
            fail "the ${size}px icon is $(png_size "$icon")"
        fi
    done
    icon=$root/share/icons/hicolor/scalable/apps/roadlog-viewer.svg
    grep -q '<svg' "$icon" 2>/dev/null || fail "no scalable icon"
}

# Starts the viewer on a demo card, sees it stay up with its window shown, then sends SIGTERM
# and expects a clean exit 0 in time.
check_start()
{
    local viewer=$1 name=$2
    local card=$work/card
    [[ -d "$card" ]] || "$mkcard" --short "$card" >/dev/null
    local artefacts=$build/Testing/install
    mkdir -p "$artefacts"
    # Only system folders on PATH: Snaplet must be found beside the viewer, not in the build.
    env -i PATH=/usr/bin:/bin HOME="$work" DISPLAY="$DISPLAY" XAUTHORITY="${XAUTHORITY:-}" \
        QTWEBENGINE_DISABLE_SANDBOX=1 QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu \
        SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null XDG_RUNTIME_DIR="$work" \
        "$viewer" --card "$card" >"$work/$name.log" 2>&1 &
    viewer_pid=$!
    local waited=0
    while ((waited < 15)); do
        sleep 1
        waited=$((waited + 1))
        kill -0 "$viewer_pid" 2>/dev/null || break
        if viewer_window_shown; then
            break
        fi
    done
    if ! kill -0 "$viewer_pid" 2>/dev/null; then
        wait "$viewer_pid" || true
        viewer_pid=""
        fail "$name: the viewer ended by itself: $(cat "$work/$name.log")"
        return
    fi
    sleep 2 # let the list fill and paint before the picture is taken
    import -display "$DISPLAY" -window root "$artefacts/$name.png" 2>/dev/null ||
        echo "note: no screenshot taken" >&2
    viewer_window_shown || fail "$name: no window called 'Roadlog Viewer' was shown"
    kill -TERM "$viewer_pid"
    local status=0 left=10
    while kill -0 "$viewer_pid" 2>/dev/null && ((left > 0)); do
        sleep 1
        left=$((left - 1))
    done
    if kill -0 "$viewer_pid" 2>/dev/null; then
        fail "$name: the viewer did not quit within 10 s of SIGTERM"
        return
    fi
    wait "$viewer_pid" || status=$?
    viewer_pid=""
    ((status == 0)) || fail "$name: the viewer exited with $status after SIGTERM: $(cat "$work/$name.log")"
}

viewer_window_shown()
{
    top_windows | grep -q '"Roadlog Viewer"'
}

# The names of the display's top-level windows (xwininfo is in x11-utils).
top_windows()
{
    xwininfo -display "$DISPLAY" -root -tree 2>/dev/null || true
}

if [[ -z "${DISPLAY:-}" ]]; then
    exec xvfb-run -a -s "-screen 0 1280x720x24" "$0" "$@"
fi

case "$mode" in
prefix)
    prefix=$work/prefix
    cmake --install "$build" --prefix "$prefix" >"$work/install.log"
    check_layout "$prefix" "$prefix/bin/RoadlogViewer"
    check_start "$prefix/bin/RoadlogViewer" prefix
    ;;
package)
    cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/pkg" >"$work/cpack.log" 2>&1 ||
        { cat "$work/cpack.log" >&2; exit 1; }
    deb=$(ls "$work"/pkg/roadlog-viewer_*.deb)
    field()
    {
        dpkg-deb -f "$deb" "$1"
    }
    [[ "$(field Package)" == roadlog-viewer ]] || fail "package name is '$(field Package)'"
    [[ "$(field Section)" == video ]] || fail "section is '$(field Section)'"
    [[ -n "$(field Maintainer)" ]] || fail "no maintainer"
    [[ "$(field Description)" == *"event recorder"* ]] || fail "description: '$(field Description)'"
    depends=$(field Depends)
    echo "Depends: $depends"
    names=$(echo "$depends" | tr ',|' '\n\n' | awk 'NF {print $1}')
    dpkg-deb -x "$deb" "$work/root"
    # Each library a program links directly comes from a package that Depends names; so do the
    # window-system plugins and the font, which are loaded by name.
    for program in RoadlogViewer Snaplet; do
        binary=$work/root/usr/bin/$program
        [[ -x "$binary" ]] || continue
        for library in $(readelf -d "$binary" | sed -n 's/.*Shared library: \[\(.*\)\]/\1/p'); do
            path=$(ldd "$binary" | awk -v name="$library" '$1 == name {print $3}')
            owner=""
            for candidate in "$path" "$(realpath "$path" 2>/dev/null)" "/usr$path"; do
                [[ -n "$candidate" ]] || continue
                owner=$(dpkg-query -S "$candidate" 2>/dev/null | head -n1 | cut -d: -f1 || true)
                if [[ -n "$owner" ]]; then break; fi
            done
            grep -qx "$owner" <<<"$names" ||
                fail "$program links $library of package '${owner:-none}', which Depends does not name"
        done
    done
    for needed in libqt6webenginecore6 qt6-qpa-plugins fonts-dejavu-extra; do
        grep -qx "$needed" <<<"$names" || fail "Depends lacks $needed"
    done
    # Every dependency is met by this machine's packages (one alternative of each is enough).
    IFS=',' read -ra clauses <<<"$depends"
    for clause in "${clauses[@]}"; do
        met=0
        IFS='|' read -ra alternatives <<<"$clause"
        for alternative in "${alternatives[@]}"; do
            read -r pkg op version <<<"$(echo "$alternative" | tr -d '()')"
            installed=$(dpkg-query -W -f='${Status} ${Version}' "$pkg" 2>/dev/null || true)
            [[ "$installed" == "install ok installed "* ]] || continue
            if [[ -z "${op:-}" ]] || dpkg --compare-versions "${installed##* }" "$op" "$version"; then
                met=1
                break
            fi
        done
        ((met)) || fail "dependency not met here:$clause"
    done
    check_layout "$work/root/usr" /usr/bin/RoadlogViewer
    check_start "$work/root/usr/bin/RoadlogViewer" package
    ;;
*)
    echo "usage: $0 prefix|package BUILD MKCARD" >&2
    exit 2
    ;;
esac

if ((failures)); then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "all install checks passed ($mode)"
