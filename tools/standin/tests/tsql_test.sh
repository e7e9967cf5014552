#!/usr/bin/env bash
# FreeTDS's tsql against the stand-in: login, the detach workflow, attach, catalog
# queries and SQL Server's error numbers and texts, for each TDS version tsql speaks.
#   tsql_test.sh PATH_TO_dorvane-standin
set -euo pipefail
STANDIN="$1"
command -v tsql >/dev/null || { echo "tsql_test: FreeTDS's tsql is not installed (freetds-bin)" >&2; exit 1; }

WORK="$(mktemp -d /tmp/standin-tsql.XXXXXX)"
PID=""
# The stand-in ends with this script, and within ctest's time for it should the trap not run.
trap 'if [ -n "$PID" ]; then kill "$PID"; wait "$PID"; fi 2>/dev/null || true; rm -rf "$WORK"' EXIT

mkdir "$WORK/data"
"$STANDIN" make-sample "$WORK/data" db_ZVQ
timeout 110 "$STANDIN" --listen 127.0.0.1:0 --port-file "$WORK/port" --data "$WORK/data" \
  --account sa: --account ops:Pa55 2>"$WORK/server.err" &
PID=$!
for _ in $(seq 1 100); do [ -s "$WORK/port" ] && break; sleep 0.05; done
PORT="$(cat "$WORK/port")"

failures=0
expect() {  # expect NAME FILE TEXT: FILE contains TEXT literally
  if grep -qF -- "$3" "$2"; then echo "ok   $1"; else echo "FAIL $1: missing: $3"; failures=$((failures + 1)); fi
}
absent() {
  if grep -qF -- "$3" "$2"; then echo "FAIL $1: unexpected: $3"; failures=$((failures + 1)); else echo "ok   $1"; fi
}
run_tsql() {  # run_tsql OUT TDSVER USER PASSWORD < script
  TDSVER="$2" timeout 30 tsql -H 127.0.0.1 -p "$PORT" -U "$3" -P "$4" >"$1" 2>&1 || true
}

for ver in 7.1 7.2 7.3 7.4 auto; do
  out="$WORK/out-$ver.txt"
  run_tsql "$out" "$ver" sa '' <<SQL
SELECT name FROM sys.databases ORDER BY name
go
sp_detach_db 'db_ZVQ','true'
go
sp_detach_db 'db_ZVQ','true'
go
EXEC sp_attach_db @dbname = N'db_ZVQ', @filename1 = N'$WORK/data/db_ZVQ_Data.MDF', @filename2 = N'$WORK/data/db_ZVQ_Log.LDF'
go
EXEC sp_attach_db @dbname = N'db_ZVQ', @filename1 = N'$WORK/data/db_ZVQ_Data.MDF'
go
exec sp_detach_db @dbname = N'tempdb'
go
select name, physical_name from sys.master_files where database_id = DB_ID(N'db_ZVQ')
go
use nowhere
go
exec sp_nothing
go
select DB_NAME()
go
SQL
  expect "$ver: lists the databases" "$out" "db_ZVQ"
  expect "$ver: detach returns 0" "$out" "(return status = 0)"
  expect "$ver: second detach 15010" "$out" "Msg 15010 (severity 16, state 1)"
  expect "$ver: 15010 text" "$out" "The database 'db_ZVQ' does not exist. Supply a valid database name. To see available databases, use sys.databases."
  expect "$ver: attach again 1801" "$out" "Database 'db_ZVQ' already exists. Choose a different database name."
  expect "$ver: system database 3708" "$out" "Msg 3708 (severity 16, state 1)"
  expect "$ver: file listed" "$out" "$WORK/data/db_ZVQ_Log.LDF"
  expect "$ver: USE unknown 911" "$out" "Msg 911 (severity 16, state 1)"
  expect "$ver: unknown procedure 2812" "$out" "Could not find stored procedure 'sp_nothing'."
  expect "$ver: current database" "$out" "master"
done

out="$WORK/out-login.txt"
run_tsql "$out" auto ops wrong <<<"select 1
go"
expect "wrong password 18456" "$out" "Login failed for user 'ops'."
absent "wrong password runs nothing" "$out" "(1 row affected)"

out="$WORK/out-ops.txt"
run_tsql "$out" 7.4 ops Pa55 <<<"SET QUOTED_IDENTIFIER ON SET TEXTSIZE 2147483647
go
select 1
go"
expect "second account logs in" "$out" "(1 row affected)"
absent "SET batch accepted" "$out" "Msg "

kill -0 "$PID" || { echo "FAIL the server died"; cat "$WORK/server.err"; exit 1; }
echo "tsql_test: $failures failure(s)"
[ "$failures" -eq 0 ]
