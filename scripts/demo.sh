#!/usr/bin/env bash
# The demo on a fresh embedded database:
#   scripts/demo.sh         installs what is missing, builds, runs the console program's start-up
#   scripts/demo.sh --gui   the same, then opens the main window on the same settings
# Everything it makes is under demo/run/, rebuilt on every call.
set -euo pipefail
cd "$(dirname "$0")/.."

gui=0
case "${1:-}" in
"") ;;
--gui) gui=1 ;;
*)
    echo "usage: scripts/demo.sh [--gui]" >&2
    exit 1
    ;;
esac

bash scripts/deps.sh
build_dir=$(bash scripts/build.sh | tail -n 1)
bin="$PWD/$build_dir/bin"

run="$PWD/demo/run"
rm -rf "$run"
mkdir -p "$run/invoices"
sqlite3 -bail "$run/demo.db" <db/sqlite/schema.sql >/dev/null
sqlite3 -bail "$run/demo.db" <demo/seed.sql
# Line 1 as in demo/MdbConnect.ini (the database beside the settings file); line 2 the invoice
# folder, written whole so that the programs find it from any working directory.
{
    head -n 1 demo/MdbConnect.ini
    printf '%s\r\n' "$run/invoices/"
} >"$run/MdbConnect.ini"

# The demo invoice files come with the import: they will be copied into $run/invoices/ here, and
# eschf-import below will load them and print each file's outcome.

echo
echo "== eschf-import --config demo/run/MdbConnect.ini"
status=0
"$bin/eschf-import" --config "$run/MdbConnect.ini" || status=$?
echo "== exit status $status"
((status == 0)) || exit "$status"

if ((gui)); then
    if [[ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]]; then
        echo "No display to open the main window on (DISPLAY is not set)." >&2
        exit 1
    fi
    echo "== eschf-loader --config demo/run/MdbConnect.ini"
    exec "$bin/eschf-loader" --config "$run/MdbConnect.ini"
fi
