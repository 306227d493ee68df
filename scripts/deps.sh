#!/usr/bin/env bash
# Installs what the build and the tests need on Debian, when it is missing.
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config
    qt6-base-dev libqt6sql6-sqlite libqt6sql6-odbc
    libxml2-dev libsqlite3-dev sqlite3
    unixodbc-dev odbcinst tdsodbc libsqliteodbc
    qt6-translations-l10n
    xvfb xauth fonts-dejavu-core)
[[ "${ESCHF_SANITIZE:-}" == 1 ]] && packages+=(libclang-rt-14-dev)
# The demo on a SQL Server database reaches it from Python (scripts/demo.sh --server only).
[[ "${ESCHF_SERVER:-}" == 1 ]] && packages+=(python3-pyodbc)
# The fuzz target needs clang with its fuzzer runtime (scripts/fuzz.sh only).
[[ "${ESCHF_FUZZ:-}" == 1 ]] && packages+=(clang-14 libclang-rt-14-dev)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    if ! command -v apt-get >/dev/null; then
        echo "missing packages: ${missing[*]} (install them, see README.md)" >&2
        exit 1
    fi
    SUDO=""
    [[ $(id -u) -ne 0 ]] && SUDO=sudo
    echo "installing: ${missing[*]}" >&2
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
