#!/usr/bin/env bash
# The installed program, in one of two ways:
#   install  `cmake --install` into a scratch prefix, as a user installs into ~/.local;
#   package  the Debian package that cpack makes, unpacked with dpkg-deb -x into a scratch root
#            (never installed on this machine): its name and Depends field too.
# Both check the layout, the desktop entry and the manual pages, run the installed quillfen-db
# on the installed sample, and start the installed wizard on a virtual display, with its home
# and XDG folders in the scratch folder, which must open the installed sample and go on to the
# table step.
# Usage: install_test.sh install|package BUILD_DIR
# Exits 77 (skipped) only in package mode, when cpack or dpkg-deb is missing.
set -euo pipefail
failures=0

fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}

need() {
    local tool
    for tool in "$@"; do
        if ! command -v "$tool" >/dev/null; then
            echo "FAILED: needs $tool (scripts/test installs it)"
            exit 1
        fi
    done
}

# check_layout PREFIX: what goes where, and that the bin folder holds the programs alone.
check_layout() {
    local prefix=$1 file size
    for file in bin/quillfen bin/quillfen-db; do
        [[ -x $prefix/$file ]] || fail "$file is not an installed program"
    done
    local programs
    programs=$(cd "$prefix/bin" && echo *)
    [[ $programs == 'quillfen quillfen-db' ]] || fail "bin/ holds more than the programs: $programs"
    for file in share/quillfen/Samples/sample.mdb share/quillfen/HAND-M.CUR \
        share/applications/quillfen.desktop share/man/man1/quillfen.1.gz \
        share/man/man1/quillfen-db.1.gz share/doc/quillfen/NOTICE; do
        [[ -f $prefix/$file ]] || fail "$file is not installed"
    done
    for size in 16 32 48 128 256; do
        file=share/icons/hicolor/${size}x$size/apps/quillfen.png
        [[ -f $prefix/$file ]] || fail "$file is not installed"
    done
}

# check_desktop_entry PREFIX: valid, and naming the installed program and icon.
check_desktop_entry() {
    local entry=$1/share/applications/quillfen.desktop out
    out=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate: $out"
    [[ -z $out ]] || fail "desktop-file-validate warns: $out"
    grep -qx 'Exec=quillfen' "$entry" || fail "the desktop entry does not start quillfen"
    grep -qx 'Icon=quillfen' "$entry" || fail "the desktop entry does not name the icon quillfen"
}

# check_manual_pages PREFIX: both render without a warning, and quillfen-db's documents every
# command the program offers.
check_manual_pages() {
    local prefix=$1 page out command
    for page in quillfen quillfen-db; do
        out=$(gzip -dc "$prefix/share/man/man1/$page.1.gz" |
            LC_ALL=C.UTF-8 groff -man -ww -z 2>&1) || fail "$page.1 does not render: $out"
        [[ -z $out ]] || fail "$page.1 renders with warnings: $out"
    done
    for command in $("$prefix/bin/quillfen-db" --help |
        awk '/^Subcommands:/ { on = 1; next } on && NF { print $1 }'); do
        gzip -dc "$prefix/share/man/man1/quillfen-db.1.gz" | grep -q "^\.BI \"$command " ||
            fail "quillfen-db.1 does not document the command $command"
    done
}

# check_command_line PREFIX: the installed quillfen-db reads the installed sample.
check_command_line() {
    local db=$1/bin/quillfen-db sample=$1/share/quillfen/Samples/sample.mdb out
    out=$("$db" tables "$sample" 2>&1) || fail "quillfen-db tables: $out"
    [[ $out == *Orders* ]] || fail "quillfen-db tables lists no Orders: $out"
    out=$("$db" check "$sample" 2>&1) || fail "quillfen-db check: $out"
}

# The size of the one visible Quillfen window, WIDTHxHEIGHT, once it is WANT; after 20 seconds
# whatever it is.
window_size_becomes() {
    local want=$1 size='' deadline=$((SECONDS + 20))
    until [[ $size == "$want" ]] || ((SECONDS > deadline)); do
        sleep 0.2
        size=$(xdotool search --onlyvisible --name '^Quillfen$' 2>/dev/null | head -n 1 |
            xargs -r xdotool getwindowgeometry 2>/dev/null | awk '/Geometry:/ { print $2 }')
    done
    echo "${size:-no window}"
}

start_wizard() {
    "$1/bin/quillfen" >>"$scratch/wizard.log" 2>&1 &
    wizard_pid=$!
}

stop_wizard() {
    if [[ -n $wizard_pid ]]; then
        kill "$wizard_pid" 2>/dev/null || true
        wait "$wizard_pid" 2>/dev/null || true
    fi
    wizard_pid=
}

# check_wizard PREFIX SAMPLE, on the X server of xvfb-run: with SAMPLE remembered, the installed
# wizard opens it at start and shows the table step (5880 x 2625 twips, 15 to the pixel).
# Load Sample's choice of SAMPLE is the unit tests' (SampleTest).
check_wizard() {
    local prefix=$1 sample=$2 size
    mkdir -p "$XDG_CONFIG_HOME/Veldmark"
    printf '[Quillfen]\nDatabase=%s\nPassword=\n' "$sample" >"$XDG_CONFIG_HOME/Veldmark/Veldmark.conf"
    start_wizard "$prefix"
    size=$(window_size_becomes 392x175)
    [[ $size == 392x175 ]] || fail "the wizard did not open $sample (found: $size)"
    stop_wizard
    if ((failures)); then
        echo "the wizard said:"
        sed 's/^/    /' "$scratch/wizard.log"
    fi
}

# check_program PREFIX SAMPLE: the installed programs at work.
check_program() {
    local prefix=$1 sample=$2
    check_command_line "$prefix"
    # The wizard on a virtual display: this script again, under xvfb-run.
    xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" \
        bash "${BASH_SOURCE[0]}" wizard "$prefix" "$sample" "$scratch" ||
        fail "the wizard (see above)"
}

mode=${1:-}
case $mode in
wizard)
    scratch=$4
    wizard_pid=
    trap stop_wizard EXIT
    check_wizard "$2" "$3"
    exit $((failures > 0))
    ;;
install)
    need desktop-file-validate groff xvfb-run xdotool
    ;;
package)
    if ! command -v cpack >/dev/null || ! command -v dpkg-deb >/dev/null; then
        echo "skipped: needs cpack and dpkg-deb"
        exit 77
    fi
    need desktop-file-validate groff xvfb-run xdotool dpkg-shlibdeps file
    ;;
*)
    echo "usage: install_test.sh install|package BUILD_DIR" >&2
    exit 2
    ;;
esac
build=$(realpath "$2")
scratch=$(mktemp -d)
# The package's tree is made read-only below; writable again to be removed.
trap 'chmod -R u+w "$scratch"; rm -rf "$scratch"' EXIT

# A home and XDG folders of the test's own; Qt wants its runtime folder private.
mkdir -p "$scratch/home" "$scratch/config" "$scratch/data" "$scratch/runtime"
chmod 700 "$scratch/runtime"
export HOME=$scratch/home XDG_CONFIG_HOME=$scratch/config XDG_DATA_HOME=$scratch/data
export XDG_RUNTIME_DIR=$scratch/runtime QT_QPA_PLATFORM=xcb

if [[ $mode == install ]]; then
    prefix=$scratch/prefix
    cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" ||
        { cat "$scratch/install.log"; exit 1; }
else
    cpack --config "$build/CPackConfig.cmake" -B "$scratch/cpack" >"$scratch/cpack.log" 2>&1 ||
        { cat "$scratch/cpack.log"; exit 1; }
    version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
    deb=$scratch/cpack/quillfen_$version-1_$(dpkg --print-architecture).deb
    if [[ ! -f $deb ]]; then
        echo "FAILED: cpack made no $(basename "$deb"), but: $(ls "$scratch/cpack")"
        exit 1
    fi
    [[ $(dpkg-deb --field "$deb" Package) == quillfen ]] || fail "the package is not quillfen"
    depends=$(dpkg-deb --field "$deb" Depends)
    for library in libc6 libqt6core6 libqt6gui6 libqt6widgets6; do
        [[ " $depends," == *" $library ("* ]] || fail "Depends names no $library: $depends"
    done
    outside=$(dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v -e '^\./usr/' -e '^\./$' || true)
    [[ -z $outside ]] || fail "the package puts files outside /usr: $outside"
    dpkg-deb -x "$deb" "$scratch/root"
    prefix=$scratch/root/usr
    # Installed by dpkg, the files are read-only to their users; so for whoever runs the test.
    chmod -R a-w "$scratch/root"
fi

check_layout "$prefix"
check_desktop_entry "$prefix"
check_manual_pages "$prefix"
check_program "$prefix" "$prefix/share/quillfen/Samples/sample.mdb"

if ((failures)); then
    echo "$failures check(s) failed"
    exit 1
fi
echo "install_test.sh $mode: every check passed"
