# shellcheck shell=bash disable=SC2034 # (the paths are for the scripts that source it)
# What the scripts in scripts/ share; each sources it first (`. "$(dirname "$0")/lib.sh"`):
#   - where things are: the clone, and the cache outside it (${VANTOR_CACHE:-$HOME/.cache/vantor})
#     holding the interpreters, raylib and the virtual environments the scripts provision;
#   - log lines tagged with the running script's name, and the run's ending: `fail` and `step` note
#     a failure and carry on, `finish` says whether the run passed and exits with its status;
#   - provisioning, idempotent: packages of this machine's Debian, a private apt state for Debian's
#     source packages, CPython and raylib built from them, virtual environments, vantor built and
#     installed into one.
# Sourcing it only defines these and makes the cache folder; nothing is built until asked for.

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cache=${VANTOR_CACHE:-$HOME/.cache/vantor}
# The free-threaded CPython 3.13 and the environment the tests run in (scripts/bootstrap).
py_prefix=$cache/python3.13t
ft_python=$py_prefix/bin/python3.13t
venv=$cache/venv
# A default-build (GIL) CPython 3.13 from the same source tarball, for the tools and peer libraries
# that have no wheels for the free-threaded ABI (scripts/check-typing, scripts/run-bench).
default_py_prefix=$cache/python3.13
default_python=$default_py_prefix/bin/python3.13
raylib_prefix=$cache/raylib
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
mkdir -p "$cache"

# ---- log lines and the run's ending -------------------------------------------------------------

log() { printf '[%s] %s\n' "${0##*/}" "$*" >&2; }
die() { log "error: $*"; exit 1; }

# The run's exit status: `fail` sets it to 1 (so does `step` when its command fails), a script may
# set it to a command's own, and `finish` exits with it.
status=0
fail() { log "FAILED: $*"; status=1; }
# Runs one step of a longer run: logs the command, notes its failure, logs how long it took.
step() {
    local s=$SECONDS
    log "$*"
    "$@" || fail "$*"
    log "$1: $((SECONDS - s)) s"
}
# Ends the run, saying whether it passed and how long it took.
finish() {
    if [ "$status" = 0 ]; then log "passed ($SECONDS s)"; else log "failed (exit status $status, $SECONDS s)"; fi
    exit "$status"
}

# A fresh temporary folder, $scratch, removed when the script exits.
make_scratch() {
    scratch=$(mktemp -d)
    trap 'rm -rf "$scratch"' EXIT
}

# ---- provisioning -------------------------------------------------------------------------------

# Installs packages of this machine's Debian, refreshing apt's index only when the first try fails.
apt_install() {
    local install=(env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$@")
    "${install[@]}" >/dev/null 2>&1 || { apt-get update -qq >/dev/null && "${install[@]}" >/dev/null; } ||
        die "could not install $*"
}

# The machine's own Debian mirror, read from its apt configuration (never written into the project).
mirror() {
    local uri
    uri=$(grep -hE '^URIs:' /etc/apt/sources.list.d/*.sources 2>/dev/null | awk '{print $2}' | grep -v security | head -n1 || true)
    if [ -z "$uri" ] && [ -f /etc/apt/sources.list ]; then
        uri=$(grep -E '^deb(-src)? ' /etc/apt/sources.list | grep -v security | awk '{print $2}' | head -n1 || true)
    fi
    [ -n "$uri" ] || die "no Debian mirror found in the apt configuration"
    printf '%s\n' "$uri"
}

# A private apt state that knows trixie's and sid's source packages; the machine's apt setup is
# untouched. The mirror may serve a pinned snapshot whose Release files have expired: do not
# reject them.
apt_dir=$cache/apt
apt_opts=(-o Dir::Etc::sourcelist=/dev/null -o Dir::Etc::sourceparts="$apt_dir/sources"
    -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir/cache"
    -o Debug::NoLocking=1 -o APT::Sandbox::User=root -o Acquire::Check-Valid-Until=false)
apt_private() { apt-get "${apt_opts[@]}" "$@"; }
apt_ready() {
    [ -f "$apt_dir/.updated" ] && return 0
    local uri
    uri=$(mirror)
    mkdir -p "$apt_dir/sources" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
    cat > "$apt_dir/sources/src.sources" <<SRC
Types: deb-src
URIs: $uri
Suites: trixie sid
Components: main
Signed-By: $keyring
SRC
    apt_private update -qq
    touch "$apt_dir/.updated"
}

# Downloads source package $1 into directory $2, trying every version the index lists, newest first
# (some listed versions are missing on the mirror).
fetch_source() {
    local pkg=$1 dest=$2 v
    apt_ready
    mkdir -p "$dest"
    for v in $(apt-cache "${apt_opts[@]}" showsrc "$pkg" 2>/dev/null | awk '/^Version:/{print $2}' | sort -rV | uniq); do
        log "trying $pkg=$v"
        if (cd "$dest" && apt_private source --download-only -qq "$pkg=$v" >/dev/null 2>&1); then
            log "downloaded $pkg=$v"
            return 0
        fi
    done
    die "no version of $pkg could be downloaded"
}

# Builds CPython 3.13 from Debian's python3.13 source package into prefix $1, whose bin/$2 is the
# interpreter, configured with the further arguments. The source tarball is downloaded once and
# shared by every such build. The installation is staged and moved into place only when complete,
# so an interrupted build never leaves a prefix that looks finished.
build_python() {
    local prefix=$1 exe=$2
    shift 2
    [ -x "$prefix/bin/$exe" ] && return 0
    log "building CPython 3.13 into $prefix (a few minutes)"
    local dl=$cache/build/python/dl work
    work=$cache/build/$(basename "$prefix")
    if ! ls "$dl"/python3.13_*.orig.tar.* >/dev/null 2>&1; then
        rm -rf "$dl"
        fetch_source python3.13 "$dl"
    fi
    rm -rf "$work"
    mkdir -p "$work/src"
    tar -xf "$(ls "$dl"/python3.13_*.orig.tar.* | head -n1)" -C "$work/src" --strip-components=1
    (cd "$work/src" &&
        ./configure "$@" --prefix="$prefix" --with-ensurepip=install >"$work/configure.log" 2>&1 &&
        make -j"$(nproc)" >"$work/make.log" 2>&1 &&
        make install DESTDIR="$work/stage" >"$work/install.log" 2>&1) || die "CPython build failed; logs in $work"
    rm -rf "$prefix"
    mv "$work/stage$prefix" "$prefix"
    rm -rf "$work/src" "$work/stage"
}

build_default_python() {
    build_python "$default_py_prefix" python3.13
}

build_raylib() {
    [ -f "$raylib_prefix/lib/libraylib.a" ] || [ -f "$raylib_prefix/lib64/libraylib.a" ] && return 0
    log "building raylib (static, Memory platform)"
    local work=$cache/build/raylib
    rm -rf "$work"; fetch_source raylib "$work/dl"
    mkdir -p "$work/src"
    tar -xf "$(ls "$work"/dl/raylib_*.orig.tar.* | head -n1)" -C "$work/src" --strip-components=1
    (cmake -S "$work/src" -B "$work/build" -DPLATFORM=Memory -DBUILD_EXAMPLES=OFF -DBUILD_SHARED_LIBS=OFF \
            -DCMAKE_POSITION_INDEPENDENT_CODE=ON -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_INSTALL_PREFIX="$raylib_prefix" >"$work/configure.log" 2>&1 &&
        cmake --build "$work/build" -j"$(nproc)" >"$work/build.log" 2>&1 &&
        cmake --install "$work/build" >"$work/install.log" 2>&1) || die "raylib build failed; logs in $work"
    rm -rf "$work/src" "$work/build"
}

# A virtual environment at $2 on interpreter $1, with the packages of requirements file $3.
make_venv() {
    local python=$1 env=$2 requirements=$3
    if [ ! -x "$env/bin/python" ]; then
        log "creating the virtual environment $env"
        "$python" -m venv "$env"
    fi
    # Wheels only: the newest hypothesis has no wheel for the free-threaded ABI and would need a
    # Rust build.
    "$env/bin/python" -m pip install -q --disable-pip-version-check --only-binary=:all: -r "$requirements"
}

# Builds vantor from the work tree and installs it into virtual environment $1, keeping CMake's
# build tree at $2 so that later runs rebuild only what changed; further arguments go to pip.
install_vantor() {
    local env=$1 build_dir=$2
    shift 2
    log "building and installing vantor into $env"
    CMAKE_PREFIX_PATH="$raylib_prefix" "$env/bin/python" -m pip install -q --disable-pip-version-check \
        --no-build-isolation --force-reinstall --no-deps -C build-dir="$build_dir" "$@" "$root"
}
