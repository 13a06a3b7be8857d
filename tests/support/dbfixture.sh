#!/usr/bin/env bash
# Starts (with a fresh schema) or stops the private server for one test run.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
case "${1:-}" in
  start)
    "$repo/scripts/dbserver" start
    "$repo/scripts/dbserver" reset
    # A test that failed half-way may have left the product's account changed.
    "$repo/scripts/dbserver" sql -e "
      ALTER USER root@'127.0.0.1' IDENTIFIED BY 'KTVB58027';
      GRANT ALL PRIVILEGES ON *.* TO root@'127.0.0.1' WITH GRANT OPTION;"
    ;;
  stop) "$repo/scripts/dbserver" stop ;;
  restart-only) "$repo/scripts/dbserver" start ;;
  *) echo "usage: $0 start|stop|restart-only" >&2; exit 2 ;;
esac
