#!/usr/bin/env bash
# Starts (with a fresh halvane database) or stops the three-node cluster of one test run. The
# nodes run detached from the test: whatever happens to the run, the stop (and scripts/test on
# exit) ends them, so that none is left holding its data in a network that is gone.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
case "${1:-}" in
  start)
    # Nodes left by an interrupted run may sit in another run's network; start afresh.
    "$repo/scripts/dbserver" cluster stop
    "$repo/scripts/dbserver" cluster start
    "$repo/scripts/dbserver" cluster reset
    ;;
  stop) "$repo/scripts/dbserver" cluster stop ;;
  *) echo "usage: $0 start|stop" >&2; exit 2 ;;
esac
