#!/usr/bin/env bash
# The Windows program's third-party libraries: OpenSSL and libmosquitto, cross-built
# with mingw-w64 from Debian's own source packages, static, into a cache outside the
# clone. Built once per version; a later run finds the stamps and does nothing.
#
#   tools/windows_deps.sh [--refresh]
#
# Prints the path of a CMake file that names the built libraries (pass it to the
# Windows configure as -DKC_WIN_DEPS=<file>). --refresh asks Debian again for the
# versions it ships and builds whatever is new.
#
# The source packages come through a private apt configuration under the cache
# (its own sources.list, lists and archives): the system's apt setup is never touched.
set -euo pipefail

CACHE=${KAVOR_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/kavor}
APT=$CACHE/apt
SRC=$CACHE/src
OUT=$CACHE/win64
HOST=x86_64-w64-mingw32
JOBS=$(nproc)
# Bump when the way of building one changes, so that its old builds are not reused.
declare -A RECIPE=([openssl]=1 [mosquitto]=2)

refresh=0
[ "${1:-}" = --refresh ] && refresh=1

log() { echo "windows_deps: $*" >&2; }

# The newest finished build of NAME in the cache, or nothing.
cached() {
    local d best=""
    for d in "$OUT/$1"-*/; do
        [ -f "$d/.kavor-built" ] && grep -qx "recipe=${RECIPE[$1]}" "$d/.kavor-built" || continue
        best=${d%/}
    done
    [ -n "$best" ] && echo "$best"
    return 0
}

# The Debian mirror the system uses, read from its own sources (deb822 or one-line).
mirror() {
    local kind=$1 fallback=$2 uri
    uri=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.sources /etc/apt/sources.list.d/*.list 2>/dev/null |
        grep -oE "(https?|file)://[^ ]*/$kind/?( |$)" | head -n1 | tr -d ' ' || true)
    echo "${uri:-$fallback}"
}

apt_setup() {
    mkdir -p "$APT/etc/sources.list.d" "$APT/etc/preferences.d" "$APT/etc/apt.conf.d" \
        "$APT/lists/partial" "$APT/archives/partial"
    local main sec key=/usr/share/keyrings/debian-archive-keyring.gpg opt=""
    main=$(mirror debian http://deb.debian.org/debian)
    sec=$(mirror debian-security http://deb.debian.org/debian-security)
    [ -f "$key" ] && opt="[signed-by=$key] "
    cat >"$APT/etc/sources.list" <<EOF
deb-src ${opt}${main%/} bookworm main
deb-src ${opt}${main%/} bookworm-updates main
deb-src ${opt}${sec%/} bookworm-security main
EOF
    APT_OPTS=(-o "Dir::Etc::SourceList=$APT/etc/sources.list"
        -o "Dir::Etc::SourceParts=$APT/etc/sources.list.d"
        -o "Dir::Etc::Preferences=$APT/etc/preferences"
        -o "Dir::Etc::PreferencesParts=$APT/etc/preferences.d"
        -o "Dir::State::Lists=$APT/lists"
        -o "Dir::Cache=$APT/cache" -o "Dir::Cache::Archives=$APT/archives"
        -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache="
        -o "APT::Sandbox::User=$(id -un)" -o "Debug::NoLocking=1" -q)
    log "apt-get update (private lists in $APT)"
    apt-get "${APT_OPTS[@]}" update >&2
}

# fetch NAME: unpack Debian's source of NAME under $SRC; prints its folder. The newest
# version whose files all download (a mirror may lack the newest one's files a while).
fetch() {
    local name=$1 ver dir
    for ver in $(apt-cache "${APT_OPTS[@]}" showsrc "$name" | sed -n 's/^Version: //p' | sort -Vru); do
        dir=$SRC/$name-$ver
        if [ -f "$dir/.kavor-unpacked" ]; then echo "$dir"; return 0; fi
        rm -rf "$dir" && mkdir -p "$dir"
        log "apt-get source $name=$ver"
        if (cd "$dir" && apt-get "${APT_OPTS[@]}" source "$name=$ver" >&2); then
            touch "$dir/.kavor-unpacked"
            echo "$dir"
            return 0
        fi
        rm -rf "$dir"
        log "$name $ver did not download; trying an older one"
    done
    log "no source package of $name could be had"
    return 1
}

# The unpacked tree inside a fetch folder (the one with the Debian patches applied).
tree_of() { find "$1" -mindepth 1 -maxdepth 1 -type d | head -n1; }

# Upstream version, without Debian's epoch and revision.
upstream() { local v=${1##*/}; v=${v#*-}; v=${v#*:}; echo "${v%-*}"; }

build_openssl() {
    local dir tree ver prefix
    dir=$(fetch openssl) || exit 1
    tree=$(tree_of "$dir")
    ver=$(upstream "$dir")
    prefix=$OUT/openssl-$ver
    [ -f "$prefix/.kavor-built" ] && grep -qx "recipe=${RECIPE[openssl]}" "$prefix/.kavor-built" && return 0
    log "building OpenSSL $ver for $HOST (a few minutes)"
    rm -rf "$prefix" "$tree/.kavor-build"
    (
        cd "$tree"
        make distclean >/dev/null 2>&1 || true
        CC=gcc-posix CXX=g++-posix ./Configure mingw64 no-shared no-tests no-module \
            --cross-compile-prefix=$HOST- --prefix="$prefix" --libdir=lib >&2
        make -j"$JOBS" build_libs >/dev/null
        make install_dev >/dev/null
    )
    printf 'recipe=%s\nversion=%s\n' "${RECIPE[openssl]}" "$ver" >"$prefix/.kavor-built"
}

build_mosquitto() {
    local ssl=$1 dir tree ver prefix b
    dir=$(fetch mosquitto) || exit 1
    tree=$(tree_of "$dir")
    ver=$(upstream "$dir")
    prefix=$OUT/mosquitto-$ver
    [ -f "$prefix/.kavor-built" ] && grep -qx "recipe=${RECIPE[mosquitto]}" "$prefix/.kavor-built" &&
        grep -qx "openssl=$ssl" "$prefix/.kavor-built" && return 0
    log "building libmosquitto $ver for $HOST"
    rm -rf "$prefix"
    b=$tree/build-win64
    rm -rf "$b"
    # Only the static library: the DLL target names a pthreads folder of its own.
    cmake -S "$tree" -B "$b" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" -DKC_THIRD_PARTY=ON \
        -DWITH_STATIC_LIBRARIES=ON -DWITH_PIC=OFF -DWITH_THREADING=ON -DWITH_TLS=ON \
        -DWITH_TLS_PSK=ON -DWITH_BROKER=OFF -DWITH_CLIENTS=OFF -DWITH_APPS=OFF \
        -DWITH_PLUGINS=OFF -DDOCUMENTATION=OFF -DWITH_CJSON=OFF -DWITH_LIB_CPP=OFF \
        -DWITH_SRV=OFF -DWITH_WEBSOCKETS=OFF -DWITH_SOCKS=ON \
        -DOPENSSL_ROOT_DIR="$ssl" -DOPENSSL_INCLUDE_DIR="$ssl/include" \
        -DOPENSSL_SSL_LIBRARY="$ssl/lib/libssl.a" -DOPENSSL_CRYPTO_LIBRARY="$ssl/lib/libcrypto.a" \
        -DLIB_EAY="$ssl/lib/libcrypto.a" -DSSL_EAY="$ssl/lib/libssl.a" -DOPENSSL_USE_STATIC_LIBS=ON >&2
    cmake --build "$b" -j"$JOBS" --target libmosquitto_static >&2
    mkdir -p "$prefix/lib" "$prefix/include"
    cp "$b/lib/libmosquitto_static.a" "$prefix/lib/libmosquitto.a"
    cp "$tree/include/mosquitto.h" "$prefix/include/"
    for h in mqtt_protocol.h mosquitto_broker.h mosquitto_plugin.h; do
        [ -f "$tree/include/$h" ] && cp "$tree/include/$h" "$prefix/include/"
    done
    printf 'recipe=%s\nversion=%s\nopenssl=%s\n' "${RECIPE[mosquitto]}" "$ver" "$ssl" >"$prefix/.kavor-built"
}

ROOT=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$OUT" "$SRC"
start=$(date +%s)

ssl=$(cached openssl)
mosq=$(cached mosquitto)
if [ "$refresh" = 1 ] || [ -z "$ssl" ] || [ -z "$mosq" ]; then
    apt_setup
    build_openssl
    ssl=$(cached openssl)
    build_mosquitto "$ssl"
    mosq=$(cached mosquitto)
fi
[ -n "$ssl" ] && [ -n "$mosq" ] || { log "the libraries were not built"; exit 1; }

deps=$OUT/deps.cmake
cat >"$deps.tmp" <<EOF
# Written by tools/windows_deps.sh: the Windows program's static libraries.
set(KC_WIN_OPENSSL_ROOT "$ssl")
set(KC_WIN_MOSQUITTO_ROOT "$mosq")
EOF
mv "$deps.tmp" "$deps"
log "OpenSSL ${ssl##*-}, libmosquitto ${mosq##*-} ready in $(($(date +%s) - start)) s"
echo "$deps"
