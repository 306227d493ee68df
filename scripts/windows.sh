#!/usr/bin/env bash
# Cross-builds the Windows programs on Debian, runs the tests and the demo
# under Wine, and packages eschf-loader-<version>-win64.zip and, from the same
# staged folder, the installer eschf-loader-<version>-win64-setup.exe.
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
    xvfb xauth x11-apps xdotool imagemagick zip unzip locales fonts-dejavu-core nsis)
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
    # The entries of the machine, in whichever of apt's two formats it keeps them.
    if [[ -f /etc/apt/sources.list.d/debian.sources ]]; then
        sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
            $SUDO tee /etc/apt/sources.list.d/eschf-deb-src.sources >/dev/null
    else
        sed -n 's/^deb \(.*\)$/deb-src \1/p' /etc/apt/sources.list |
            $SUDO tee /etc/apt/sources.list.d/eschf-deb-src.list >/dev/null
    fi
    logged apt-src $SUDO apt-get update -qq
fi
srcver() { apt-cache showsrc "$1" | sed -n 's/^Version: //p' | sort -V | tail -n 1; }
QT_VER=$(srcver qt6-base)
XML_VER=$(srcver libxml2)
SQLITE_VER=$(srcver sqlite3)
GCC_VER=$($MINGW-g++-posix -dumpversion)

SQLITE_CFLAGS=(-O2 -DSQLITE_ENABLE_FTS5 -DSQLITE_ENABLE_JSON1 -DSQLITE_THREADSAFE=1
    -DSQLITE_ENABLE_COLUMN_METADATA) # Qt's driver needs the column metadata
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
    -DFEATURE_system_doubleconversion=OFF
    # MinGW frees emulated thread_local storage before the destructors of thread_local objects
    # run (GCC bug 80816). QRegularExpression keeps its JIT stack in one: a thread that matched a
    # pattern crashed while ending, the crash was swallowed with winpthreads' key lock held, and
    # the program hung at exit. Without the JIT that object is never made.
    -DCMAKE_C_FLAGS=-DPCRE2_DISABLE_JIT)
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
    stage "Qt build (about half an hour on two cores; log: $LOGS/qt-build.log)"
    logged qt-build cmake --build "$WORK/qt-build" -j "$JOBS"
    logged qt-install cmake --install "$WORK/qt-build"
    rm -rf "$WORK"
    touch "$DEPS/done"
fi
[[ "${1:-}" == "--deps-only" ]] && { stage ""; exit 0; }

# --- Wine --------------------------------------------------------------------
WINE=/usr/lib/wine/wine64
GCCDLLS=/usr/lib/gcc/$MINGW/$GCC_VER
RUNTIME_DIRS=("$QT/bin" "$PREFIX/bin" "$GCCDLLS" "/usr/$MINGW/lib")
to_windows() { printf 'Z:%s' "${1//\//\\}"; }
winepath_list() {
    local d out=""
    for d in "$@"; do out+="${out:+;}$(to_windows "$d")"; done
    printf '%s' "$out"
}
# Wine hands a program no QT_* variable of the Unix side, but WINEQT_X arrives as QT_X. The ANSI
# code page follows the Unix locale: ru_RU gives 1251, as on the users' machines.
make_wrapper() {
    local wrapper=$1 prefix=$2 path=$3
    cat >"$wrapper" <<WRAP
#!/usr/bin/env bash
export WINEPREFIX='$prefix' WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
export LC_ALL=ru_RU.UTF-8
export WINEPATH='$path'
export WINEQT_QPA_FONTDIR='Z:\\usr\\share\\fonts\\truetype\\dejavu' WINEQT_FORCE_STDERR_LOGGING=1
[[ -n "\${QT_QPA_PLATFORM:-}" ]] && export WINEQT_QPA_PLATFORM=\$QT_QPA_PLATFORM
# Output through files: a Wine service started on the way (explorer, rpcss) inherits the program's
# standard handles and would keep a pipe open long after the program ended.
out=\$(mktemp) err=\$(mktemp)
st=0
# A program that has not ended in five minutes is stopped, its output kept (see README: Wine).
timeout 300 $WINE "\$@" >"\$out" 2>"\$err" </dev/null || st=\$?
cat "\$out"
cat "\$err" >&2
rm -f "\$out" "\$err"
exit \$st
WRAP
    chmod +x "$wrapper"
}
# A prefix of its own, booted before anything runs in it; its server stays up until wine_down
# (services started by a test would otherwise hold that test's output pipe open).
wine_up() {
    local prefix=$1
    rm -rf "$prefix"
    mkdir -p "$prefix"
    WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all LC_ALL=ru_RU.UTF-8 wineserver -p
    WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' LC_ALL=ru_RU.UTF-8 \
        $WINE wineboot -i >>"$LOGS/wineboot.log" 2>&1
}
wine_down() { WINEPREFIX=$1 wineserver -k 2>/dev/null || true; }

passed=0
failed=0
skipped=0
check() {
    if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
}

# --- the project -------------------------------------------------------------
stage "project build"
BUILD=$OUT/build
WRAPPER=$OUT/wine-run
make_wrapper "$WRAPPER" "$OUT/wineprefix" "$(winepath_list "${RUNTIME_DIRS[@]}")"
# A build tree made against other dependencies starts afresh: CMake keeps the toolchain file it
# was first configured with and would go on linking the old Qt.
if [[ "$(cat "$BUILD/deps-key" 2>/dev/null)" != "$KEY" ]]; then
    rm -rf "$BUILD"
    mkdir -p "$BUILD"
    echo "$KEY" >"$BUILD/deps-key"
fi
logged configure cmake -G Ninja -S "$ROOT" -B "$BUILD" \
    -DCMAKE_TOOLCHAIN_FILE="$QT/lib/cmake/Qt6/qt.toolchain.cmake" \
    -DQT_CHAINLOAD_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" \
    -DCMAKE_PREFIX_PATH="$PREFIX" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$WRAPPER"
logged build cmake --build "$BUILD" -j "$JOBS"
# Qt's Russian texts beside the programs, where the zip puts them and the tests look for them.
mkdir -p "$BUILD/bin/translations"
cp /usr/share/qt6/translations/qtbase_ru.qm "$BUILD/bin/translations/"
warnings=$(grep -c 'warning:' "$LOGS/build.log" || true)
echo "    $warnings compiler warnings (log: $LOGS/build.log)"
((warnings == 0)) || grep 'warning:' "$LOGS/build.log" | sort -u | head -n 20

# --- tests under Wine --------------------------------------------------------
stage "tests under Wine"
wine_up "$OUT/wineprefix"
status=0
(cd "$BUILD" && ctest -V --timeout 300 -j "$JOBS") >"$LOGS/ctest.log" 2>&1 || status=$?
wine_down "$OUT/wineprefix"
progs_passed=$(grep -acE '^ *[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed' "$LOGS/ctest.log" || true)
progs_failed=$(grep -aE '^ *[0-9]+/[0-9]+ Test +#[0-9]+: ' "$LOGS/ctest.log" | grep -vc ' Passed' || true)
# Skips that name Wine are this platform's; the rest skip on Linux too (no SQL Server named, a row
# for another back end).
skipped=$(grep -aE '^[0-9]+: SKIP +:' "$LOGS/ctest.log" | grep -c 'Wine' || true)
others=$(grep -aE '^[0-9]+: SKIP +:' "$LOGS/ctest.log" | grep -vc 'Wine' || true)
passed=$((passed + progs_passed))
failed=$((failed + progs_failed))
grep -aE '^ *[0-9]+/[0-9]+ Test +#' "$LOGS/ctest.log" | sed 's/^/    /'
grep -aE '^[0-9]+: SKIP +:' "$LOGS/ctest.log" | grep 'Wine' | sed 's/^[0-9]*: /    /' || true
echo "    $others cases skipped as on Linux (log: $LOGS/ctest.log)"
((status == 0)) || echo "    ctest exit status $status (log: $LOGS/ctest.log)"

# --- the demo, on Linux and under Wine ---------------------------------------
stage "demo: Linux and Wine compared"
make_demo() {
    local dir=$1 folder_line=$2
    rm -rf "$dir"
    mkdir -p "$dir/invoices"
    sqlite3 -bail "$dir/demo.db" <db/sqlite/schema.sql >/dev/null
    sqlite3 -bail "$dir/demo.db" <demo/seed.sql
    { head -n 1 demo/MdbConnect.ini; printf '%s\r\n' "$folder_line"; } >"$dir/MdbConnect.ini"
    cp demo/invoices/*.xml "$dir/invoices/"
}
# What a run leaves, with the invoice folder named alike on both systems.
demo_outcome() {
    local dir=$1 folder=$2
    {
        echo "exit status $(cat "$dir/status")"
        echo "-- stdout"
        cat "$dir/stdout"
        echo "-- stderr"
        cat "$dir/stderr"
        echo "-- files left"
        (cd "$dir/invoices" && ls)
        echo "-- database"
        sqlite3 "$dir/demo.db" .dump
    } | F=$folder awk '{ f = ENVIRON["F"]; while ((i = index($0, f)) > 0) $0 = substr($0, 1, i - 1) "<invoices>/" substr($0, i + length(f)); print }'
}
linux_build=$(bash scripts/build.sh 2>"$LOGS/linux-build.log" | tail -n 1)
DL=$OUT/demo-linux
DW=$OUT/demo-windows
make_demo "$DL" "$DL/invoices/"
make_demo "$DW" "$(to_windows "$DW")\\invoices\\"
st=0
(cd / && "$ROOT/$linux_build/bin/eschf-import" --config "$DL/MdbConnect.ini" >"$DL/stdout" 2>"$DL/stderr") || st=$?
echo "$st" >"$DL/status"
wine_up "$OUT/wineprefix"
st=0
(cd / && "$WRAPPER" "$BUILD/bin/eschf-import.exe" --config "$(to_windows "$DW/MdbConnect.ini")" \
    >"$DW/stdout" 2>"$DW/stderr") || st=$?
echo "$st" >"$DW/status"
wine_down "$OUT/wineprefix"
demo_outcome "$DL" "$DL/invoices/" >"$OUT/demo-linux.txt"
demo_outcome "$DW" "$(to_windows "$DW")\\invoices\\" >"$OUT/demo-windows.txt"
demo_same() {
    if diff -u "$OUT/demo-linux.txt" "$OUT/demo-windows.txt" >"$LOGS/demo.diff"; then
        echo "    identical: exit status $(cat "$DL/status"), $(wc -l <"$DL/stdout") log lines," \
            "$(sqlite3 "$DL/demo.db" 'SELECT count(*) FROM invoices') invoices," \
            "$(cd "$DL/invoices" && ls | wc -l) files left"
    else
        echo "    DIFFERENT (see $LOGS/demo.diff):"
        head -n 40 "$LOGS/demo.diff" | sed 's/^/    /'
        return 1
    fi
}
check demo_same

# --- the zip -----------------------------------------------------------------
stage "package"
VERSION=$(sed -n 's/^project(eschf-loader VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
NAME=eschf-loader-$VERSION-win64
PKG=$OUT/package/$NAME
rm -rf "$OUT/package"
mkdir -p "$PKG"/{platforms,styles,sqldrivers,translations,demo/invoices}
cp "$BUILD/bin/eschf-loader.exe" "$BUILD/bin/eschf-import.exe" "$PKG/"
cp "$QT/plugins/platforms/qwindows.dll" "$PKG/platforms/"
cp "$QT"/plugins/styles/*.dll "$PKG/styles/"
cp "$QT/plugins/sqldrivers/qsqlite.dll" "$QT/plugins/sqldrivers/qsqlodbc.dll" "$PKG/sqldrivers/"
cp /usr/share/qt6/translations/qtbase_ru.qm "$PKG/translations/"
# Plugins sit beside the programs, translations in their folder.
printf '[Paths]\r\nPrefix = .\r\nPlugins = .\r\nTranslations = translations\r\n' >"$PKG/qt.conf"
# Every DLL the programs and plugins import, found among Qt's, ours and MinGW's; the rest are
# Windows' own.
copy_imports() {
    local file dll dir
    for file in "$@"; do
        for dll in $($MINGW-objdump -p "$file" | sed -n 's/^\s*DLL Name: //p'); do
            [[ -f "$PKG/$dll" ]] && continue
            for dir in "${RUNTIME_DIRS[@]}"; do
                if [[ -f "$dir/$dll" ]]; then
                    cp "$dir/$dll" "$PKG/"
                    copy_imports "$PKG/$dll"
                    break
                fi
            done
        done
    done
}
copy_imports "$PKG"/*.exe "$PKG"/*/*.dll
find "$PKG" -name '*.exe' -o -name '*.dll' | xargs $MINGW-strip --strip-unneeded
make_demo "$PKG/demo" 'demo\invoices\'
rm "$PKG/demo/MdbConnect.ini"
printf '%s\r\n' 'Provider=SQLite;Data Source=demo\demo.db' 'demo\invoices\' >"$PKG/MdbConnect.ini.demo"
cp "$ROOT/scripts/windows/MdbConnect.ini.example" "$ROOT/scripts/windows/README.txt" "$PKG/"
(cd "$PKG" && for f in README.txt MdbConnect.ini.example; do sed -i 's/\r*$/\r/' "$f"; done)
# The zip and the installer are both made from this one folder.
rm -f "$OUT/$NAME.zip"
(cd "$OUT/package" && zip -qr9 "$OUT/$NAME.zip" "$NAME")
echo "    $OUT/$NAME.zip: $(du -h "$OUT/$NAME.zip" | cut -f1), $(find "$PKG" -type f | wc -l) files"
SETUP=$OUT/$NAME-setup.exe
SETUP_WORK=$OUT/installer
rm -rf "$SETUP_WORK"
mkdir -p "$SETUP_WORK"
# What the uninstaller removes: every staged file, then the staged folders, deepest first.
removal_list() {
    local path
    (cd "$PKG" && find . -type f | sort) | while read -r path; do
        path=${path#./}
        printf 'Delete "$INSTDIR\\%s"\n' "${path//\//\\}"
    done
    (cd "$PKG" && find . -mindepth 1 -type d | sort -r) | while read -r path; do
        path=${path#./}
        printf 'RMDir "$INSTDIR\\%s"\n' "${path//\//\\}"
    done
}
removal_list >"$SETUP_WORK/remove.nsh"
# product.nsh: the name, publisher, version and icon the programs' version resource holds.
make_setup() {
    local product=$1 out=$2
    logged makensis makensis -V2 -INPUTCHARSET UTF8 -DPRODUCT_NSH="$product" -DSTAGE="$PKG" \
        -DREMOVE_NSH="$SETUP_WORK/remove.nsh" -DOUTFILE="$out" "$ROOT/scripts/windows/installer.nsi"
}
make_setup "$BUILD/product.nsh" "$SETUP"
echo "    $SETUP: $(du -h "$SETUP" | cut -f1)"

# --- the zip on a machine that has nothing else ------------------------------
stage "zip: unpacked into an empty Wine prefix"
TRY=$OUT/try
rm -rf "$TRY"
mkdir -p "$TRY"
(cd "$TRY" && unzip -q "$OUT/$NAME.zip")
BARE=$OUT/wine-bare
make_wrapper "$BARE" "$TRY/wineprefix" ""
wine_up "$TRY/wineprefix"
cp "$TRY/$NAME/MdbConnect.ini.demo" "$TRY/$NAME/MdbConnect.ini"
zip_console() {
    local st=0
    # No --config: the settings beside the program; the demo's invoice folder is relative to it.
    (cd "$TRY/$NAME" && "$BARE" eschf-import.exe >"$TRY/stdout" 2>"$TRY/stderr") || st=$?
    local loaded left
    loaded=$(sqlite3 "$TRY/$NAME/demo/demo.db" 'SELECT count(*) FROM invoices')
    left=$(cd "$TRY/$NAME/demo/invoices" && ls | wc -l)
    echo "    eschf-import.exe from the unpacked zip: exit status $st, $loaded invoices stored, $left files left"
    [[ "$st" == "$(cat "$DL/status")" ]] &&
        [[ "$loaded" == "$(sqlite3 "$DL/demo.db" 'SELECT count(*) FROM invoices')" ]] &&
        [[ "$left" == "$(cd "$DL/invoices" && ls | wc -l)" ]]
}
check zip_console
zip_window() {
    local shot=$OUT/eschf-loader-window.png
    rm -f "$shot"
    # The prefix's desktop started without a display for the console run: a server afresh here.
    wine_down "$TRY/wineprefix"
    # The demo afresh, loaded from the window: the button pressed as an operator would.
    rm -rf "$TRY/$NAME/demo"
    (cd "$TRY" && unzip -qo "$OUT/$NAME.zip" "$NAME/demo/*")
    # The download button's script, and a browser that only notes the address the shell hands it
    # (Wine opens web addresses with the Unix xdg-open).
    printf '@echo %%CD%%> "%s"\r\n' "$(to_windows "$TRY/download-started")" >"$TRY/$NAME/receive2Dir.bat"
    mkdir -p "$TRY/browser"
    printf '#!/bin/sh\necho "$1" >"%s"\n' "$TRY/browser-opened" >"$TRY/browser/xdg-open"
    chmod +x "$TRY/browser/xdg-open"
    rm -f "$TRY/download-started" "$TRY/browser-opened"
    (cd "$TRY/$NAME" && PATH=$TRY/browser:$PATH WINEPREFIX=$TRY/wineprefix WINEDEBUG=-all \
        WINEDLLOVERRIDES='mscoree,mshtml=' LC_ALL=ru_RU.UTF-8 xvfb-run -a -s '-screen 0 1280x800x24' bash -c "
        $WINE eschf-loader.exe >'$TRY/gui.log' 2>&1 &
        w=\$(timeout 120 xdotool search --sync --name 'ЭСЧФ' | head -n 1)
        sleep 3
        # The buttons 'Выгрузить ЭСЧФ', 'Поиск организации по УНП' and 'Загрузка в базу' in the
        # window as laid out here: their row is measured from the window's bottom, which holds
        # whichever fonts Wine finds.
        if [[ -n \$w ]]; then
            eval \$(xdotool getwindowgeometry --shell \$w)
            y=\$((HEIGHT - 128))
            xdotool mousemove --window \$w 87 \$y click 1
            sleep 5
            xdotool mousemove --window \$w 511 \$y click 1
            sleep 5
            xdotool mousemove --window \$w 245 \$y click 1
        fi
        sleep 15
        import -window root '$shot'
        kill %1
        wait") >"$LOGS/gui.log" 2>&1 || true
    local loaded
    loaded=$(sqlite3 "$TRY/$NAME/demo/demo.db" 'SELECT count(*) FROM invoices')
    echo "    main window: $shot (the window's run stored $loaded invoices)"
    [[ -s "$shot" && "$loaded" == "$(sqlite3 "$DL/demo.db" 'SELECT count(*) FROM invoices')" ]]
}
check zip_window
zip_download() {
    local cwd
    cwd=$(tr -d '\r' <"$TRY/download-started" 2>/dev/null)
    echo "    'Выгрузить ЭСЧФ' started receive2Dir.bat through cmd in: ${cwd:-(not started)}"
    [[ "$cwd" == "$(to_windows "$TRY/$NAME")" ]]
}
check zip_download
zip_register_page() {
    local url
    url=$(cat "$TRY/browser-opened" 2>/dev/null)
    echo "    'Поиск организации по УНП' opened through the shell: ${url:-(nothing)}"
    [[ "$url" == "https://www.portal.nalog.gov.by/grp/" ]]
}
check zip_register_page
wine_down "$TRY/wineprefix"

# --- the installer on a machine that has nothing else ------------------------
stage "installer: install, upgrade and removal in an empty Wine prefix"
IT=$OUT/try-installer
rm -rf "$IT"
mkdir -p "$IT/home"
# Wine links the prefix's desktop to $HOME and would put menu entries for the shortcuts there: a
# home of its own keeps both inside the test, and the menu builder stays off.
iwine() {
    (cd "$IT" && HOME=$IT/home WINEPREFIX=$IT/wineprefix WINEARCH=win64 WINEDEBUG=-all \
        WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d' LC_ALL=${WINE_LOCALE:-ru_RU.UTF-8} \
        timeout 300 $WINE "$@" </dev/null)
}
HOME=$IT/home wine_up "$IT/wineprefix"
DRIVE_C=$IT/wineprefix/drive_c
WIN_USER=$(id -un)
IDIR_WIN="C:\\users\\$WIN_USER\\AppData\\Local\\Programs\\eschf-loader"
IDIR=$DRIVE_C/users/$WIN_USER/AppData/Local/Programs/eschf-loader
MENU="$DRIVE_C/users/$WIN_USER/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Загрузка ЭСЧФ"
MENU_ALL="$DRIVE_C/ProgramData/Microsoft/Windows/Start Menu/Programs/Загрузка ЭСЧФ"
INBOX_WIN='C:\ЭСЧФ\входящие\'
INBOX=$DRIVE_C/ЭСЧФ/входящие
DEMO_CONNECTION='Provider=SQLite;Data Source=demo\demo.db'
KEY_CU='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\eschf-loader'
KEY_LM='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\eschf-loader'
# One uninstall entry as "name=value" lines in UTF-8 (the values without quotes in them), nothing
# when it is absent.
uninstall_entry() {
    rm -f "$DRIVE_C/entry.reg"
    iwine reg export "$1" 'C:\entry.reg' >/dev/null 2>&1 || return 0
    iconv -f UTF-16 -t UTF-8 "$DRIVE_C/entry.reg" | tr -d '\r' | sed -n 's/^"\([^"]*\)"=\(dword:\)\{0,1\}"\{0,1\}\([^"]*\)"\{0,1\}$/\1=\3/p' |
        sed 's/\\\\/\\/g'
    rm -f "$DRIVE_C/entry.reg"
}
# The staged files, each present and the same in the installed folder.
same_as_staged() {
    local dir=$1 f differ=0
    while read -r f; do
        cmp -s "$PKG/$f" "$dir/$f" || differ=$((differ + 1))
    done < <(cd "$PKG" && find . -type f)
    echo "$differ"
}
# The version resource Explorer shows as the file's properties.
product_version() { strings -el "$1" | sed -n '/^ProductVersion$/{n;p;q}'; }
setup_silent() {
    local st=0 expected differ
    iwine "$SETUP" /S /CURRENTUSER "/CONNECTION=$DEMO_CONNECTION" "/FOLDER=${INBOX_WIN%\\}" \
        >"$LOGS/setup.log" 2>&1 || st=$?
    differ=$(same_as_staged "$IDIR")
    # Written in the ANSI code page, windows-1251 here as on the users' machines, with the folder's
    # trailing backslash added.
    expected=$(printf '%s\r\n' "$DEMO_CONNECTION" "$INBOX_WIN" | iconv -f UTF-8 -t CP1251 | od -An -tx1)
    echo "    silent install for the current user (/S /CURRENTUSER /CONNECTION= /FOLDER=): exit status $st," \
        "$(find "$IDIR" -type f | wc -l) files in $IDIR_WIN, $differ not as staged;" \
        "MdbConnect.ini $([[ "$(od -An -tx1 <"$IDIR/MdbConnect.ini" 2>/dev/null)" == "$expected" ]] &&
            echo "in windows-1251 as given" || echo "NOT as given")"
    ((st == 0 && differ == 0)) && [[ "$(od -An -tx1 <"$IDIR/MdbConnect.ini")" == "$expected" ]]
}
check setup_silent
setup_registered() {
    local entry shortcuts desktop versions=""
    entry=$(uninstall_entry "$KEY_CU")
    shortcuts=$(cd "$MENU" 2>/dev/null && ls)
    desktop=$(find "$IT/home" -name '*.lnk' | wc -l)
    local f
    for f in eschf-loader.exe eschf-import.exe uninstall.exe; do
        versions+=" $f $(product_version "$IDIR/$f")"
    done
    echo "    Start menu: $(tr '\n' ',' <<<"$shortcuts" | sed 's/,$//; s/,/, /g'); desktop shortcuts: $desktop;" \
        "uninstall entry: $(grep -E '^(DisplayName|DisplayVersion|Publisher)=' <<<"$entry" | paste -sd ' ')" \
        "EstimatedSize=$((16#$(sed -n 's/^EstimatedSize=//p' <<<"$entry"))) KB"
    echo "    file versions:$versions"
    [[ "$shortcuts" == $'Загрузка ЭСЧФ.lnk\nПапка программы.lnk' ]] && ((desktop == 0)) &&
        grep -qxF 'DisplayName=Загрузка ЭСЧФ' <<<"$entry" && grep -qxF "DisplayVersion=$VERSION" <<<"$entry" &&
        grep -qxF "DisplayIcon=$IDIR_WIN\\eschf-loader.exe,0" <<<"$entry" &&
        grep -q '^Publisher=.' <<<"$entry" && grep -q '^EstimatedSize=' <<<"$entry" &&
        [[ "$versions" == " eschf-loader.exe $VERSION eschf-import.exe $VERSION uninstall.exe $VERSION" ]]
}
check setup_registered
setup_demo() {
    local run=$IT/demo-run
    rm -rf "$run" "$INBOX"
    mkdir -p "$run" "$INBOX"
    cp demo/invoices/*.xml "$INBOX/"
    ln -s "$INBOX" "$run/invoices"
    ln -s "$IDIR/demo/demo.db" "$run/demo.db"
    local st=0
    # No --config: MdbConnect.ini beside the installed program, as the installer wrote it.
    iwine "$IDIR_WIN\\eschf-import.exe" >"$run/stdout" 2>"$run/stderr" || st=$?
    echo "$st" >"$run/status"
    demo_outcome "$run" "$INBOX_WIN" >"$OUT/demo-installed.txt"
    if diff -u "$OUT/demo-linux.txt" "$OUT/demo-installed.txt" >"$LOGS/demo-installed.diff"; then
        echo "    eschf-import.exe from the installed folder: the demo's outcomes as on Linux (exit status $st)"
    else
        echo "    eschf-import.exe from the installed folder: DIFFERENT from Linux (see $LOGS/demo-installed.diff)"
        return 1
    fi
}
check setup_demo
# The accountant's own settings and the organisation's download script, which no upgrade touches.
printf '%s\r\n' "$DEMO_CONNECTION" 'C:\ЭСЧФ\другая папка\' '; изменено бухгалтером' |
    iconv -f UTF-8 -t CP1251 >"$IDIR/MdbConnect.ini"
printf '@echo off\r\nrem the organisation'"'"'s own\r\n' >"$IDIR/receive2Dir.bat"
cp "$IDIR/MdbConnect.ini" "$IDIR/receive2Dir.bat" "$IT/"
kept() { cmp -s "$IT/MdbConnect.ini" "$IDIR/MdbConnect.ini" && cmp -s "$IT/receive2Dir.bat" "$IDIR/receive2Dir.bat"; }
setup_again() {
    local st=0 differ
    iwine "$SETUP" /S "/CONNECTION=Provider=SQLite;Data Source=other.db" >>"$LOGS/setup.log" 2>&1 || st=$?
    differ=$(same_as_staged "$IDIR")
    echo "    the same version again (/S /CONNECTION=...): exit status $st, $differ files not as staged," \
        "MdbConnect.ini and receive2Dir.bat $(kept && echo kept || echo CHANGED)"
    ((st == 0 && differ == 0)) && kept
}
check setup_again
setup_newer() {
    local st=0 next entry
    next=$(awk -F. '{ printf "%d.%d.%d", $1, $2, $3 + 1 }' <<<"$VERSION")
    sed "s/^\(!define PRODUCT_VERSION\(_QUAD\)\{0,1\} \"\)$VERSION/\1$next/" "$BUILD/product.nsh" \
        >"$SETUP_WORK/product-next.nsh"
    make_setup "$SETUP_WORK/product-next.nsh" "$SETUP_WORK/next-setup.exe"
    # No /CURRENTUSER: Wine's user counts as elevated, and the upgrade must still find the user's
    # own installation.
    iwine "$SETUP_WORK/next-setup.exe" /S >>"$LOGS/setup.log" 2>&1 || st=$?
    entry=$(uninstall_entry "$KEY_CU")
    echo "    a newer version ($next, /S): exit status $st, $(sed -n 's/^DisplayVersion=//p' <<<"$entry")" \
        "registered, $(same_as_staged "$IDIR") files not as staged, MdbConnect.ini and receive2Dir.bat" \
        "$(kept && echo kept || echo CHANGED), $([[ -e "$DRIVE_C/Program Files/eschf-loader" ]] &&
            echo "A SECOND COPY in Program Files" || echo "no second copy")"
    ((st == 0)) && grep -qxF "DisplayVersion=$next" <<<"$entry" && kept &&
        [[ ! -e "$DRIVE_C/Program Files/eschf-loader" ]]
}
check setup_newer
# The uninstaller copies itself away and returns at once: its work is done when it is gone.
uninstall_silently() {
    local dir=$1 dir_win=$2 i
    iwine "$dir_win\\uninstall.exe" /S >>"$LOGS/setup.log" 2>&1 || return 1
    for ((i = 0; i < 120; i++)); do
        [[ -e "$dir/uninstall.exe" ]] || break
        sleep 1
    done
    sleep 2
}
setup_removed() {
    local left entry
    uninstall_silently "$IDIR" "$IDIR_WIN"
    left=$(cd "$IDIR" && find . -mindepth 1 | sed 's#^\./##' | sort | paste -sd ' ')
    entry=$(uninstall_entry "$KEY_CU")
    echo "    silent uninstall: left in the folder: ${left:-nothing}; Start menu folder" \
        "$([[ -e "$MENU" ]] && echo "LEFT" || echo "gone"), uninstall entry $([[ -n "$entry" ]] && echo "LEFT" || echo "gone")"
    [[ "$left" == "MdbConnect.ini receive2Dir.bat" ]] && kept && [[ ! -e "$MENU" && -z "$entry" ]]
}
check setup_removed
# For all users into a chosen folder, no settings given: the example only, and nothing left after.
all_users_shortcuts() { find "$MENU_ALL" "$DRIVE_C/users/Public/Desktop" -name '*.lnk' 2>/dev/null | wc -l; }
setup_all_users() {
    local st=0 dir_win='C:\Учёт\ЭСЧФ' dir=$DRIVE_C/Учёт/ЭСЧФ entry differ shortcuts
    iwine "$SETUP" /S /ALLUSERS /DESKTOP "/D=$dir_win" >>"$LOGS/setup.log" 2>&1 || st=$?
    entry=$(uninstall_entry "$KEY_LM")
    differ=$(same_as_staged "$dir")
    shortcuts=$(all_users_shortcuts)
    echo "    for all users (/S /ALLUSERS /DESKTOP /D=$dir_win): exit status $st, $differ files not as" \
        "staged, MdbConnect.ini $([[ -e "$dir/MdbConnect.ini" ]] && echo "WRITTEN" || echo "not written")," \
        "machine-wide entry for $(sed -n 's/^InstallLocation=//p' <<<"$entry"), $shortcuts shortcuts for all users"
    ((st == 0 && differ == 0 && shortcuts == 3)) && [[ ! -e "$dir/MdbConnect.ini" ]] &&
        grep -qxF "InstallLocation=$dir_win" <<<"$entry" || return 1
    uninstall_silently "$dir" "$dir_win"
    shortcuts=$(all_users_shortcuts)
    echo "    its silent uninstall: the folder $([[ -e "$dir" ]] && echo "LEFT" || echo "gone"), $shortcuts" \
        "shortcuts left, machine-wide entry $([[ -n "$(uninstall_entry "$KEY_LM")" ]] && echo "LEFT" || echo "gone")"
    [[ ! -e "$dir" ]] && ((shortcuts == 0)) && [[ -z "$(uninstall_entry "$KEY_LM")" ]]
}
check setup_all_users
# Windows set up for English (code page 1252, as Wine gives it under C.UTF-8) and a Cyrillic folder:
# the code page cannot hold it, so the settings are written in UTF-8, which the program reads too.
setup_utf8_settings() {
    local st=0 dir_win='C:\cp1252' dir=$DRIVE_C/cp1252 expected
    WINE_LOCALE=C.UTF-8 iwine "$SETUP" /S /CURRENTUSER "/CONNECTION=$DEMO_CONNECTION" \
        "/FOLDER=${INBOX_WIN%\\}" "/D=$dir_win" >>"$LOGS/setup.log" 2>&1 || st=$?
    expected=$({ printf '\357\273\277'; printf '%s\r\n' "$DEMO_CONNECTION" "$INBOX_WIN"; } | od -An -tx1)
    echo "    a Cyrillic folder on code page 1252 (/D=$dir_win): exit status $st, MdbConnect.ini" \
        "$([[ "$(od -An -tx1 <"$dir/MdbConnect.ini" 2>/dev/null)" == "$expected" ]] &&
            echo "in UTF-8 with a BOM" || echo "NOT in UTF-8")"
    [[ "$(od -An -tx1 <"$dir/MdbConnect.ini" 2>/dev/null)" == "$expected" ]] || return 1
    uninstall_silently "$dir" "$dir_win"
    [[ "$(cd "$dir" && ls -A)" == "MdbConnect.ini" ]]
}
check setup_utf8_settings
wine_down "$IT/wineprefix"

stage ""
echo "total $(($(date +%s) - T0))s; zip: $OUT/$NAME.zip; installer: $SETUP"
echo "$passed passed, $failed failed, $skipped skipped under Wine"
((failed == 0))
