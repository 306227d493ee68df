#!/usr/bin/env bash
# The demo on a fresh embedded database, or on an empty SQL Server database:
#   scripts/demo.sh         installs what is missing, builds, imports the demo invoices with the console
#                           program and shows the outcome of each file
#   scripts/demo.sh --gui   the same, then opens the main window on the same settings
#   scripts/demo.sh --server "ODBC string" [--gui]
#                           the same on the SQL Server database the string names: the demo's tables are
#                           made there afresh (whatever of them it holds is dropped) and seeded
# Everything it makes is under demo/run/, rebuilt on every call.
set -euo pipefail
cd "$(dirname "$0")/.."

gui=0
server=""
usage() {
    echo "usage: scripts/demo.sh [--server \"ODBC string\"] [--gui]" >&2
    exit 1
}
while (($#)); do
    case "$1" in
    --gui) gui=1 ;;
    --server)
        (($# >= 2)) && [[ -n "$2" ]] || usage
        server=$2
        shift
        ;;
    *) usage ;;
    esac
    shift
done

[[ -n "$server" ]] && export ESCHF_SERVER=1
bash scripts/deps.sh
build_dir=$(bash scripts/build.sh | tail -n 1)
bin="$PWD/$build_dir/bin"

run="$PWD/demo/run"
# The folder of the undeletable file is opened again however the script ends.
unlock() {
    [[ -d "$run/undeletable" ]] || return 0
    if ((EUID == 0)); then chattr -i "$run/undeletable" 2>/dev/null || true; fi
    chmod u+w "$run/undeletable" 2>/dev/null || true
}
trap unlock EXIT
unlock
rm -rf "$run"
mkdir -p "$run/invoices"
# Debian's python3, which has the ODBC module.
mssql() { /usr/bin/python3 scripts/mssql.py "$server" "$@"; }
if [[ -n "$server" ]]; then
    mssql schema db/mssql/schema.sql
    mssql exec demo/seed.sql
    line1=$server
else
    sqlite3 -bail "$run/demo.db" <db/sqlite/schema.sql >/dev/null
    sqlite3 -bail "$run/demo.db" <demo/seed.sql
    # As in demo/MdbConnect.ini: the database beside the settings file.
    line1=$(head -n 1 demo/MdbConnect.ini | tr -d '\r')
fi
# Line 2 the invoice folder, written whole so that the programs find it from any working directory.
settings() { printf '%s\r\n%s\r\n' "$line1" "$1" >"$2"; }
settings "$run/invoices/" "$run/MdbConnect.ini"

cp demo/invoices/*.xml "$run/invoices/"

echo
echo "== eschf-import --config demo/run/MdbConnect.ini"
echo "   (stdout: each file and its outcome, then the summary; stderr: start-up and why files stay)"
status=0
"$bin/eschf-import" --config "$run/MdbConnect.ini" || status=$?
echo "== exit status $status (1: some files stay in the folder, as the demo means them to)"
((status <= 1)) || exit "$status"

# A file that loads but cannot be deleted: it sits in a folder nobody may change, which stops root
# too only through the immutable flag.
mkdir -p "$run/undeletable"
cp demo/undeletable/*.xml "$run/undeletable/"
settings "$run/undeletable/" "$run/MdbConnect-undeletable.ini"
locked=0
if ((EUID == 0)); then
    chattr +i "$run/undeletable" 2>/dev/null && locked=1
else
    chmod a-w "$run/undeletable" && locked=1
fi
if ((locked)) && touch "$run/undeletable/.probe" 2>/dev/null; then
    rm -f "$run/undeletable/.probe"
    locked=0
fi
echo
if ((locked)); then
    echo "== eschf-import --config demo/run/MdbConnect-undeletable.ini   (a folder nobody may change)"
    status=0
    "$bin/eschf-import" --config "$run/MdbConnect-undeletable.ini" || status=$?
    echo "== exit status $status"
else
    echo "== skipped: a file that cannot be deleted (this file system lets every file here be deleted)"
fi
unlock

echo
echo "== what the database holds now"
show() {
    if [[ -n "$server" ]]; then
        mssql query "$1"
    else
        sqlite3 -header -column "$run/demo.db" "$1"
    fi
}
show "SELECT idSender, compilingYear AS year, number, documentType AS type, completed,
             (SELECT count(*) FROM roster r WHERE r.idSender = i.idSender AND r.compilingYear = i.compilingYear
                                               AND r.number = i.number) AS items,
             (SELECT count(*) FROM documents d WHERE d.idSender = i.idSender AND d.compilingYear = i.compilingYear
                                                 AND d.number = i.number) AS documents
      FROM invoices i ORDER BY idSender, compilingYear, number"
show "SELECT idSender, number, code, docNumber, vidDoc, kodSkl, idPredpr FROM documents ORDER BY idSender, number"
echo "== files left in demo/run/invoices/: $(cd "$run/invoices" && ls | tr '\n' ' ')"

if ((gui)); then
    if [[ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]]; then
        echo "No display to open the main window on (DISPLAY is not set)." >&2
        exit 1
    fi
    echo "== eschf-loader --config demo/run/MdbConnect.ini"
    exec "$bin/eschf-loader" --config "$run/MdbConnect.ini"
fi
