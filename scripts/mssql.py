#!/usr/bin/env python3
"""A SQL Server database for the demo, through ODBC (python3-pyodbc).

    mssql.py "ODBC string" schema FILE   drops the tables FILE creates, where they exist, and runs FILE
                                         batch by batch (batches end at lines holding only GO)
    mssql.py "ODBC string" exec FILE     runs FILE as one batch; rows naming tbPredpr's idPredpr are let
                                         through its identity column
    mssql.py "ODBC string" query SQL     prints the rows of a query as a table
"""
import re
import sys

import pyodbc


def batches(text):
    return [b for b in re.split(r"(?im)^\s*GO\s*$", text) if b.strip()]


def schema(cursor, text):
    # Children were created after their parents: dropped first.
    for table in reversed(re.findall(r"(?im)^\s*CREATE\s+TABLE\s+(\w+)", text)):
        cursor.execute(f"IF OBJECT_ID('{table}') IS NOT NULL DROP TABLE {table}")
    for batch in batches(text):
        cursor.execute(batch)


def run(cursor, text):
    if re.search(r"(?i)INSERT\s+INTO\s+tbPredpr\s*\(\s*idPredpr\b", text):
        text = f"SET IDENTITY_INSERT tbPredpr ON;\n{text};\nSET IDENTITY_INSERT tbPredpr OFF;"
    cursor.execute(text)
    while cursor.nextset():
        pass


def text(value):
    if value is None:
        return "NULL"
    if isinstance(value, bool):  # a bit, shown as SQLite shows it
        return str(int(value))
    return str(value)


def query(cursor, sql):
    cursor.execute(sql)
    names = [c[0] for c in cursor.description]
    rows = [[text(v) for v in row] for row in cursor.fetchall()]
    widths = [max(len(x) for x in column) for column in zip(names, *rows)]
    for line in [names, ["-" * w for w in widths]] + rows:
        print("  ".join(v.ljust(w) for v, w in zip(line, widths)).rstrip())


def main(argv):
    if len(argv) != 4 or argv[2] not in ("schema", "exec", "query"):
        sys.exit(__doc__)
    connection_string, command, argument = argv[1:]
    with pyodbc.connect(connection_string, autocommit=True) as connection:
        cursor = connection.cursor()
        if command == "query":
            query(cursor, argument)
            return
        with open(argument, encoding="utf-8") as f:
            text = f.read()
        (schema if command == "schema" else run)(cursor, text)


if __name__ == "__main__":
    main(sys.argv)
