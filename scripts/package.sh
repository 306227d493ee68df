#!/usr/bin/env bash
# Builds the Debian package build-package/eschf-loader_<version>_amd64.deb with CPack.
#   scripts/package.sh           the package; its path is the last line
#   scripts/package.sh --check   then lintian, and as root: install it with apt-get, start both
#                                programs, purge it and look for anything left behind
# The packaged programs read /etc/eschf-loader/MdbConnect.ini: /usr/bin is no place for settings.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
OUT=$ROOT/build-package
SETTINGS_DIR=/etc/eschf-loader
LOG=$OUT/package.log

bash scripts/deps.sh
SUDO=""
[[ $(id -u) -ne 0 ]] && SUDO=sudo
tools=(dpkg-dev file)
[[ "${1:-}" == "--check" ]] && tools+=(lintian xdotool imagemagick)
missing=()
for p in "${tools[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get -o DPkg::Lock::Timeout=900 install -y -qq \
        --no-install-recommends "${missing[@]}" >/dev/null
fi

mkdir -p "$OUT"
# Debian's hardening flags; the build type adds nothing of its own to them.
CFLAGS="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
    CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
    LDFLAGS=$(dpkg-buildflags --get LDFLAGS) \
    cmake -S . -B "$OUT" -G Ninja -DCMAKE_BUILD_TYPE=None -DBUILD_TESTING=OFF \
    -DCMAKE_INSTALL_PREFIX=/usr -DESCHF_SETTINGS_DIR=$SETTINGS_DIR >"$LOG" 2>&1 ||
    { tail -n 40 "$LOG"; exit 1; }
nice -n 10 cmake --build "$OUT" -j "$(nproc)" >>"$LOG" 2>&1 || { tail -n 40 "$LOG"; exit 1; }
(cd "$OUT" && cpack -G DEB >>"$LOG" 2>&1) || { tail -n 40 "$LOG"; exit 1; }
VERSION=$(sed -n 's/^project(eschf-loader VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
DEB=$OUT/eschf-loader_${VERSION}_$(dpkg --print-architecture).deb
[[ -f "$DEB" ]] || { echo "no package at $DEB (log: $LOG)" >&2; exit 1; }

if [[ "${1:-}" != "--check" ]]; then
    echo "$DEB"
    exit 0
fi

passed=0
failed=0
check() {
    if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
}
lint() {
    local errors
    lintian --tag-display-limit 0 "$DEB" >"$OUT/lintian.txt" 2>&1 || true
    errors=$(grep -c '^E:' "$OUT/lintian.txt" || true)
    echo "lintian: $errors errors, $(grep -c '^W:' "$OUT/lintian.txt" || true) warnings ($OUT/lintian.txt)"
    sed 's/^/    /' "$OUT/lintian.txt"
    ((errors == 0))
}
check lint

if [[ $(id -u) -ne 0 ]]; then
    echo "installing needs root: the rest is skipped"
    echo "$passed passed, $failed failed"
    ((failed == 0))
    exit
fi
if dpkg-query -W -f='${Status}' eschf-loader 2>/dev/null | grep -q "install ok installed"; then
    echo "eschf-loader is installed on this machine already: the rest is skipped"
    exit 1
fi
files=$(dpkg-deb -c "$DEB" | awk '{ print substr($6, 2) }' | grep -v '/$')
install_deb() {
    DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 install -y -qq "$DEB" \
        >"$OUT/apt-install.log" 2>&1 || { tail -n 20 "$OUT/apt-install.log"; return 1; }
    local absent=0 f
    for f in $files; do [[ -e "$f" ]] || absent=$((absent + 1)); done
    echo "installed with apt-get: $(wc -w <<<"$files") files, $absent missing"
    ((absent == 0))
}
check install_deb
console_help() {
    local st=0
    (cd / && eschf-import --help >"$OUT/help.txt" 2>&1) || st=$?
    echo "eschf-import --help from the shell: exit status $st, $(wc -l <"$OUT/help.txt") lines"
    ((st == 0)) && grep -q -- '--config' "$OUT/help.txt"
}
check console_help
# The demo copied out of the package, its settings where the packaged programs look.
DEMO=$(mktemp -d)
cp -r /usr/share/eschf-loader/demo/. "$DEMO/"
sqlite3 -bail "$DEMO/demo.db" </usr/share/eschf-loader/db/sqlite/schema.sql >/dev/null
sqlite3 -bail "$DEMO/demo.db" <"$DEMO/seed.sql"
mkdir -p $SETTINGS_DIR
printf '%s\r\n' "Provider=SQLite;Data Source=$DEMO/demo.db" "$DEMO/invoices/" >$SETTINGS_DIR/MdbConnect.ini
console_demo() {
    local st=0
    (cd / && eschf-import >"$OUT/demo.txt" 2>&1) || st=$?
    echo "eschf-import with $SETTINGS_DIR/MdbConnect.ini: exit status $st," \
        "$(sqlite3 "$DEMO/demo.db" 'SELECT count(*) FROM invoices') invoices stored"
    ((st == 1)) && grep -q 'Загрузка закончена' "$OUT/demo.txt"
}
check console_demo
menu_window() {
    local exec shot=$OUT/eschf-loader-menu.png
    exec=$(sed -n 's/^Exec=//p' /usr/share/applications/eschf-loader.desktop)
    rm -f "$shot"
    (cd / && xvfb-run -a -s '-screen 0 1280x800x24' bash -c "
        $exec >'$OUT/gui.log' 2>&1 &
        timeout 60 xdotool search --sync --name 'ЭСЧФ' >/dev/null && sleep 3 && import -window root '$shot'
        kill %1
        wait") >/dev/null 2>&1 || true
    echo "the menu's command '$exec' under Xvfb: $([[ -s $shot ]] && echo "the window, $shot" || echo "no window")"
    [[ -s "$shot" ]]
}
check menu_window
rm -rf "$DEMO" $SETTINGS_DIR
purge_deb() {
    DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 purge -y -qq eschf-loader \
        >"$OUT/apt-purge.log" 2>&1 || { tail -n 20 "$OUT/apt-purge.log"; return 1; }
    local left=() f
    for f in $files /usr/share/eschf-loader /usr/share/doc/eschf-loader $SETTINGS_DIR; do
        [[ -e "$f" ]] && left+=("$f")
    done
    echo "purged: ${#left[@]} of its files and folders left${left[*]:+: ${left[*]}}"
    ((${#left[@]} == 0)) && ! dpkg-query -W eschf-loader >/dev/null 2>&1
}
check purge_deb
echo "$DEB"
echo "$passed passed, $failed failed"
((failed == 0))
