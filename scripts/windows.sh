#!/usr/bin/env bash
# Cross-builds the Windows programs on Debian, runs the tests and the demo
# under Wine, and packages eschf-loader-<version>-win64.zip.
#   scripts/windows.sh              everything
#   scripts/windows.sh --deps-only  only the cached Windows dependencies
# The dependencies (Qt, libxml2, SQLite) are built once into
# $ESCHF_WINDOWS_CACHE (default ~/.cache/eschf-windows), one folder per key
# made of their versions and flags; long logs go to build-windows/logs.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD

CACHE=${ESCHF_WINDOWS_CACHE:-$HOME/.cache/eschf-windows}
OUT=$ROOT/build-windows
LOGS=$OUT/logs
JOBS=$(nproc)
MINGW=x86_64-w64-mingw32
mkdir -p "$CACHE" "$LOGS"

T0=$(date +%s)
stage_start=$T0
stage_name=""
stage() {
    local now
    now=$(date +%s)
    [[ -n "$stage_name" ]] && printf '    %s: %ds\n' "$stage_name" $((now - stage_start))
    stage_name=$1
    stage_start=$now
    [[ -n "$stage_name" ]] && printf '==> %s\n' "$stage_name"
    return 0
}
# Runs a command with its output in a log, showing the log's tail on failure.
logged() {
    local log=$LOGS/$1.log
    shift
    if ! "$@" >"$log" 2>&1; then
        tail -n 40 "$log" >&2
        echo "failed, see $log" >&2
        exit 1
    fi
}

# --- tools -------------------------------------------------------------------
stage "packages"
packages=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    wine wine64 dpkg-dev tcl cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-translations-l10n
    libqt6sql6-sqlite libqt6sql6-odbc libxml2-dev libsqlite3-dev sqlite3
    unixodbc-dev odbcinst tdsodbc libsqliteodbc
    xvfb xauth x11-apps imagemagick zip unzip locales fonts-dejavu-core)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
SUDO=""
[[ $(id -u) -ne 0 ]] && SUDO=sudo
if ((${#missing[@]})); then
    echo "    installing: ${missing[*]}"
    logged apt $SUDO apt-get update -qq
    logged apt-install env DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq \
        --no-install-recommends "${missing[@]}"
fi
# Wine's ANSI code page follows the Unix locale: ru_RU gives 1251.
if ! locale -a 2>/dev/null | grep -qi '^ru_RU.utf8$'; then
    $SUDO sed -i 's/^# *\(ru_RU.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    logged locale-gen $SUDO locale-gen
fi

# --- sources -----------------------------------------------------------------
if ! apt-get indextargets --format '$(CREATED_BY)' 2>/dev/null | grep -q Sources; then
    stage "deb-src"
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
        $SUDO tee /etc/apt/sources.list.d/eschf-deb-src.sources >/dev/null
    logged apt-src $SUDO apt-get update -qq
fi
srcver() { apt-cache showsrc "$1" | sed -n 's/^Version: //p' | sort -V | tail -n 1; }
QT_VER=$(srcver qt6-base)
XML_VER=$(srcver libxml2)
SQLITE_VER=$(srcver sqlite3)
GCC_VER=$($MINGW-g++-posix -dumpversion)

SQLITE_CFLAGS=(-O2 -DSQLITE_ENABLE_FTS5 -DSQLITE_ENABLE_JSON1 -DSQLITE_THREADSAFE=1)
XML_FLAGS=(-DBUILD_SHARED_LIBS=ON -DLIBXML2_WITH_ICONV=OFF -DLIBXML2_WITH_ICU=OFF
    -DLIBXML2_WITH_LZMA=OFF -DLIBXML2_WITH_ZLIB=OFF -DLIBXML2_WITH_PYTHON=OFF
    -DLIBXML2_WITH_PROGRAMS=OFF -DLIBXML2_WITH_TESTS=OFF -DLIBXML2_WITH_HTTP=OFF
    -DLIBXML2_WITH_FTP=OFF -DLIBXML2_WITH_MODULES=OFF -DLIBXML2_WITH_LEGACY=OFF)
QT_FLAGS=(-DBUILD_SHARED_LIBS=ON -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
    -DQT_BUILD_BENCHMARKS=OFF -DQT_BUILD_TOOLS_WHEN_CROSSCOMPILING=OFF
    -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF
    -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_vulkan=OFF -DFEATURE_icu=OFF
    -DFEATURE_zstd=OFF -DFEATURE_jpeg=OFF -DFEATURE_opengl=OFF -DINPUT_opengl=no
    -DFEATURE_direct2d=OFF -DFEATURE_directwrite3=OFF -DFEATURE_tabletevent=OFF
    -DFEATURE_system_sqlite=ON -DFEATURE_sql_sqlite=ON -DFEATURE_sql_odbc=ON
    -DFEATURE_sql_psql=OFF -DFEATURE_sql_mysql=OFF -DFEATURE_sql_ibase=OFF
    -DFEATURE_sql_oci=OFF -DFEATURE_sql_db2=OFF
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_freetype=OFF
    -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_png=OFF
    -DFEATURE_system_doubleconversion=OFF)
KEY=$(printf '%s\n' "$QT_VER" "$XML_VER" "$SQLITE_VER" "$GCC_VER" "${SQLITE_CFLAGS[*]}" \
    "${XML_FLAGS[*]}" "${QT_FLAGS[*]}" "$(cat cmake/mingw-w64.cmake)" | sha256sum | cut -c1-16)
DEPS=$CACHE/deps-$KEY
PREFIX=$DEPS/prefix
QT=$DEPS/qt
echo "    qt6-base $QT_VER, libxml2 $XML_VER, sqlite3 $SQLITE_VER, gcc $GCC_VER: $DEPS"
export ESCHF_WINDOWS_PREFIX=$PREFIX

if [[ ! -f $DEPS/done ]]; then
    WORK=$CACHE/work-$KEY
    rm -rf "$DEPS" "$WORK"
    mkdir -p "$PREFIX"/{bin,lib,include} "$WORK"
    stage "fetching sources"
    (cd "$WORK" && logged source apt-get source -qq --download-only qt6-base libxml2 sqlite3 &&
        for d in *.dsc; do dpkg-source -x --skip-patches "$d" >/dev/null 2>&1 || dpkg-source -x "$d" >/dev/null; done)

    stage "SQLite"
    sq=$(find "$WORK" -maxdepth 1 -type d -name 'sqlite3-*' | head -n 1)
    mkdir -p "$WORK/sqlite-host"
    (cd "$WORK/sqlite-host" && logged sqlite-configure "$sq/configure" --disable-tcl &&
        logged sqlite-amalgamation make sqlite3.c)
    logged sqlite-build $MINGW-gcc-posix -shared "${SQLITE_CFLAGS[@]}" "$WORK/sqlite-host/sqlite3.c" \
        -o "$PREFIX/bin/libsqlite3-0.dll" -Wl,--out-implib,"$PREFIX/lib/libsqlite3.dll.a"
    cp "$WORK/sqlite-host/sqlite3.h" "$WORK/sqlite-host/sqlite3ext.h" "$PREFIX/include/" 2>/dev/null ||
        cp "$WORK/sqlite-host/sqlite3.h" "$PREFIX/include/"

    stage "libxml2"
    xs=$(find "$WORK" -maxdepth 1 -type d -name 'libxml2-*' | head -n 1)
    logged libxml2-configure cmake -G Ninja -S "$xs" -B "$WORK/libxml2-build" \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$PREFIX" "${XML_FLAGS[@]}"
    logged libxml2-build cmake --build "$WORK/libxml2-build" -j "$JOBS"
    logged libxml2-install cmake --install "$WORK/libxml2-build"

    stage "Qt configure"
    qs=$(find "$WORK" -maxdepth 1 -type d -name 'qt6-base-*' | head -n 1)
    logged qt-configure cmake -G Ninja -S "$qs" -B "$WORK/qt-build" \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$QT" -DCMAKE_PREFIX_PATH="$PREFIX" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        "${QT_FLAGS[@]}"
    stage "Qt build (about 20 minutes on two cores; log: $LOGS/qt-build.log)"
    logged qt-build cmake --build "$WORK/qt-build" -j "$JOBS"
    logged qt-install cmake --install "$WORK/qt-build"
    rm -rf "$WORK"
    touch "$DEPS/done"
fi
[[ "${1:-}" == "--deps-only" ]] && { stage ""; exit 0; }
