# shellcheck shell=bash
# The Debian packages Quillfen needs, and the steps that install whatever is missing:
# apt-get only for packages that are not there yet, npm only when the oracle's lock file
# changed. Sourced by scripts/run, scripts/test, scripts/bench and scripts/package.

QUILLFEN_PACKAGES=(
    # build
    build-essential cmake ninja-build g++ pkg-config
    # libFuzzer targets (clang with its runtime)
    clang libclang-rt-14-dev
    # libraries of the engine, the CLI and the tests
    googletest libgtest-dev libcli11-dev nlohmann-json3-dev libssl-dev
    # oracles: mdbtools, and node for mdb-reader (npm reaches the registry over HTTPS)
    mdbtools nodejs npm ca-certificates
    # a reading of the Office encryption schemes written apart from the engine's (Python)
    python3 python3-cryptography
    # fonts of the windows (Arial is drawn as Liberation Sans)
    fonts-liberation
    # Qt 6 for the wizard windows, and a virtual display for their pictures
    qt6-base-dev qt6-base-dev-tools libgl-dev xvfb xauth
    # real clicks into the virtual display, for the tests of input while Apply runs
    xdotool
    # quillfen-db convert writes SQLite databases; its tests read them back with the sqlite3
    # shell, and load its PostgreSQL scripts into a server of their own
    libsqlite3-dev sqlite3 postgresql
    # the format check and the linter: Debian 12's clang-format and clang-tidy, version 14
    clang-format-14 clang-tidy-14
    # the Debian package (scripts/package and its test): CPack's dependency list from the
    # programs' libraries (dpkg-shlibdeps, file), and the checks of the desktop entry and the
    # manual pages
    dpkg-dev file desktop-file-utils groff-base
)

# Only scripts/bench needs these: the other side of its comparisons (sqlite3; mdbtools is above)
# and GNU time for each command's wall-clock time and peak memory.
QUILLFEN_BENCH_PACKAGES=(sqlite3 time)

# Runs a command as root: directly when we are root, else through sudo.
as_root() {
    if [[ $(id -u) -eq 0 ]]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo "$@"
    else
        echo "error: installing packages needs root or sudo: $*" >&2
        return 1
    fi
}

# Names installed packages provide (NodeSource's nodejs provides npm, for one).
provided_names() {
    dpkg-query -W -f='${db:Status-Abbrev}|${Provides}\n' 2>/dev/null |
        awk -F'|' '$1 ~ /^ii/ { print $2 }' | tr ',' '\n' |
        sed -e 's/([^)]*)//g' -e 's/:any//' -e 's/^[[:space:]]*//' -e 's/[[:space:]]*$//' |
        grep -v '^$' | sort -u
}

package_installed() {
    dpkg-query -W -f='${db:Status-Abbrev}' "$1" 2>/dev/null | grep -q '^ii'
}

# Installs the packages of QUILLFEN_PACKAGES, or the ones named, that are neither installed nor
# provided.
install_packages() {
    local provided missing=() package
    local wanted=("${QUILLFEN_PACKAGES[@]}")
    if (($#)); then wanted=("$@"); fi
    provided=$(provided_names)
    for package in "${wanted[@]}"; do
        if ! package_installed "$package" && ! grep -qxF "$package" <<<"$provided"; then
            missing+=("$package")
        fi
    done
    if ((${#missing[@]} == 0)); then
        return 0
    fi
    echo "== installing: ${missing[*]}"
    as_root env DEBIAN_FRONTEND=noninteractive apt-get update -q
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
        "${missing[@]}" </dev/null
}

install_bench_packages() {
    install_packages "${QUILLFEN_BENCH_PACKAGES[@]}"
}

# mdb-reader for the oracle tests, from the lock file, when node_modules is missing or older.
install_oracle() {
    local dir="$QUILLFEN_ROOT/tests/oracle"
    if [[ -d $dir/node_modules && ! $dir/package-lock.json -nt $dir/node_modules ]]; then
        return 0
    fi
    echo "== npm ci in tests/oracle"
    (cd "$dir" && npm ci --no-audit --no-fund </dev/null)
    touch "$dir/node_modules"
}
