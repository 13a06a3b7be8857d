# A three-node MariaDB Galera cluster on this one machine, for the demo and the failover tests:
# node N listens on 127.0.0.(N+1):3306 with its files in $state/cluster/nodeN. Sourced by
# scripts/dbserver, which provides state, password, die, find_binary and repo.

cluster_nodes=(1 2 3)
cluster_dir=$state/cluster

node_ip() { echo "127.0.0.$(($1 + 1))"; }
node_dir() { echo "$cluster_dir/node$1"; }
node_pid() { cat "$(node_dir "$1")/mariadb.pid" 2>/dev/null; }

node_running() {
  local pid
  pid=$(node_pid "$1") || return 1
  [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null
}

node_client() {
  local n=$1
  shift
  "$(find_binary mariadb mysql)" --no-defaults --protocol=socket --socket="$(node_dir "$n")/mariadb.sock" -uroot \
    -p"$password" "$@"
}

node_status() { node_client "$1" -N -e "SHOW STATUS LIKE '$2'" 2>/dev/null | awk '{print $2}'; }

node_config() {
  local n=$1 ip d
  ip=$(node_ip "$n")
  d=$(node_dir "$n")
  mkdir -p "$d"
  # The state-transfer scripts read this file again; it must carry everything the node needs.
  cat >"$d/node.cnf" <<CNF
[mysqld]
user=root
datadir=$d/data
tmpdir=$d/tmp
socket=$d/mariadb.sock
pid-file=$d/mariadb.pid
log-error=$d/mariadb.log
bind-address=$ip
port=3306
skip-name-resolve
character-set-server=utf8mb4
collation-server=utf8mb4_unicode_ci
max-connections=2000
innodb_buffer_pool_size=32M
innodb_flush_log_at_trx_commit=2
performance_schema=OFF
binlog_format=ROW
default_storage_engine=InnoDB
innodb_autoinc_lock_mode=2
wsrep_on=ON
wsrep_provider=/usr/lib/galera/libgalera_smm.so
wsrep_cluster_name=halvane
wsrep_cluster_address=gcomm://127.0.0.2,127.0.0.3,127.0.0.4
wsrep_node_address=$ip
wsrep_node_name=node$n
wsrep_provider_options="gmcast.listen_addr=tcp://$ip:4567;ist.recv_addr=$ip:4568;gcache.size=64M"
wsrep_sst_method=mariabackup
wsrep_sst_receive_address=$ip:4444
wsrep_sst_auth=root:$password
[sst]
sockopt="bind=$ip"
CNF
}

node_install() {
  local n=$1 d
  d=$(node_dir "$n")
  rm -rf "$d/data"
  cat >"$d/init.sql" <<SQL
FLUSH PRIVILEGES;
ALTER USER root@localhost IDENTIFIED BY '$password';
CREATE USER IF NOT EXISTS root@'127.0.0.1' IDENTIFIED BY '$password';
ALTER USER root@'127.0.0.1' IDENTIFIED BY '$password';
GRANT ALL PRIVILEGES ON *.* TO root@'127.0.0.1' WITH GRANT OPTION;
CREATE USER IF NOT EXISTS root@'127.0.0.%' IDENTIFIED BY '$password';
GRANT ALL PRIVILEGES ON *.* TO root@'127.0.0.%' WITH GRANT OPTION;
DROP USER IF EXISTS root@'::1';
DROP USER IF EXISTS root@'$(hostname)';
SQL
  mkdir -p "$d/tmp"
  "$(find_binary mariadb-install-db mysql_install_db)" --no-defaults --user=root --datadir="$d/data" \
    --tmpdir="$d/tmp" --skip-test-db --auth-root-authentication-method=normal --extra-file="$d/init.sql" >"$d/install.log" 2>&1 ||
    { cat "$d/install.log" >&2; die "could not create node $n's data directory"; }
}

# node_start N [mariadbd options...]: starts the node and waits until it has joined and synced.
node_start() {
  local n=$1
  shift
  node_running "$n" && return 0
  [ -f /usr/lib/galera/libgalera_smm.so ] || die "galera-4 is not installed; run scripts/setup"
  command -v wsrep_sst_mariabackup >/dev/null || die "mariadb-server (the state-transfer scripts) is not installed"
  node_config "$n"
  local d
  d=$(node_dir "$n")
  mkdir -p "$d/data" "$d/tmp"
  rm -f "$d/mariadb.sock"
  setsid "$(find_binary mariadbd mysqld)" --defaults-file="$d/node.cnf" "$@" </dev/null >/dev/null 2>&1 &
  node_wait_synced "$n" 120 || { tail -n 20 "$d/mariadb.log" >&2; die "node $n did not join the cluster"; }
}

node_wait_synced() {
  local n=$1 seconds=$2 i
  for i in $(seq 1 $((seconds * 5))); do
    [ "$(node_status "$n" wsrep_local_state_comment)" = "Synced" ] &&
      [ "$(node_status "$n" wsrep_ready)" = "ON" ] && return 0
    sleep 0.2
  done
  return 1
}

# The position a node stopped at, read without starting it, so that it rejoins by an incremental
# transfer instead of a full copy.
node_recovered_position() {
  local n=$1 d
  d=$(node_dir "$n")
  "$(find_binary mariadbd mysqld)" --defaults-file="$d/node.cnf" --wsrep-recover --log-error="$d/recover.log" \
    </dev/null >/dev/null 2>&1 || true
  sed -n 's/.*Recovered position: *\([^ ]*\).*/\1/p' "$d/recover.log" | tail -n 1
}

node_stop() {
  local n=$1 pid i
  node_running "$n" || return 0
  pid=$(node_pid "$n")
  kill -TERM "$pid" 2>/dev/null || true
  for i in $(seq 1 300); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
}

cluster_start() {
  local n running=0
  for n in "${cluster_nodes[@]}"; do node_running "$n" && running=$((running + 1)); done
  if [ "$running" -eq 0 ]; then
    if [ ! -d "$(node_dir 1)/data/mysql" ]; then
      node_config 1
      node_install 1
      for n in 2 3; do rm -rf "$(node_dir "$n")/data"; done
      node_start 1 --wsrep-new-cluster
      node_client 1 <"$repo/db/schema.sql"
    else
      local first pos
      first=$(cluster_bootstrap_node)
      node_config "$first"
      # A node that went down hard does not know its position until it is read from its data;
      # without it the cluster would start a new history and every other node would need a full
      # copy instead of the transactions it missed.
      pos=$(node_recovered_position "$first")
      if [ -n "$pos" ] && [ "${pos#*:}" != "-1" ]; then
        node_start "$first" --wsrep-new-cluster --wsrep-start-position="$pos"
      else
        node_start "$first" --wsrep-new-cluster
      fi
    fi
  fi
  # Joiners one at a time: each needs the donor for its transfer.
  for n in "${cluster_nodes[@]}"; do cluster_revive "$n"; done
  if [ "${1:-}" = "--sample" ]; then node_client 1 halvane <"$repo/db/sample.sql"; fi
}

# After a full stop the cluster is started again from the node that stopped last, the one Galera
# marks safe to bootstrap. When every node went down at once (power lost, all killed), none is
# marked: the node that had committed the most is, after --wsrep-recover has read its position.
cluster_bootstrap_node() {
  local n best=1 best_seqno=-2 pos seqno
  for n in "${cluster_nodes[@]}"; do
    if grep -q '^safe_to_bootstrap: *1' "$(node_dir "$n")/data/grastate.dat" 2>/dev/null; then
      echo "$n"
      return 0
    fi
  done
  for n in "${cluster_nodes[@]}"; do
    [ -f "$(node_dir "$n")/data/grastate.dat" ] || continue
    node_config "$n"
    pos=$(node_recovered_position "$n")
    seqno=${pos#*:}
    if [ -n "$pos" ] && [ "$seqno" -gt "$best_seqno" ] 2>/dev/null; then
      best=$n
      best_seqno=$seqno
    fi
  done
  sed -i 's/^safe_to_bootstrap: *0/safe_to_bootstrap: 1/' "$(node_dir "$best")/data/grastate.dat"
  echo "$best"
}

# The halvane database made afresh on every node (tests).
cluster_reset() {
  node_client 1 -e "DROP DATABASE IF EXISTS halvane"
  node_client 1 <"$repo/db/schema.sql"
  if [ "${1:-}" = "--sample" ]; then node_client 1 halvane <"$repo/db/sample.sql"; fi
}

cluster_revive() {
  local n=$1 pos=""
  node_running "$n" && return 0
  node_config "$n"
  if [ -f "$(node_dir "$n")/data/grastate.dat" ]; then pos=$(node_recovered_position "$n"); fi
  if [ -n "$pos" ] && [ "${pos#*:}" != "-1" ]; then
    node_start "$n" --wsrep-start-position="$pos"
  else
    node_start "$n"
  fi
}

cluster_stop() {
  local n
  # In turn, so that the last node down knows it holds every transaction.
  for n in 3 2 1; do node_stop "$n"; done
}

cluster_status() {
  local n all=0
  for n in "${cluster_nodes[@]}"; do
    if node_running "$n"; then
      echo "node $n $(node_ip "$n"): $(node_status "$n" wsrep_local_state_comment)," \
        "cluster size $(node_status "$n" wsrep_cluster_size), $(node_status "$n" wsrep_cluster_status)"
    else
      echo "node $n $(node_ip "$n"): down"
      all=1
    fi
  done
  return $all
}

cluster_command() {
  local verb=${1:-}
  shift || true
  case "$verb" in
    start) cluster_start "$@" ;;
    stop) cluster_stop ;;
    reset) cluster_reset "$@" ;;
    status) cluster_status ;;
    kill)
      [ -n "${1:-}" ] || die "usage: dbserver cluster kill N"
      node_running "$1" && kill -KILL "$(node_pid "$1")"
      local i
      for i in $(seq 1 100); do node_running "$1" || break; sleep 0.1; done
      ;;
    revive) [ -n "${1:-}" ] || die "usage: dbserver cluster revive N"; cluster_revive "$1" ;;
    bootstrap)
      # A survivor without quorum becomes the primary component again.
      [ -n "${1:-}" ] || die "usage: dbserver cluster bootstrap N"
      node_client "$1" -e "SET GLOBAL wsrep_provider_options='pc.bootstrap=YES'"
      ;;
    sql)
      [ -n "${1:-}" ] || die "usage: dbserver cluster sql N [mariadb arguments]"
      local n=$1
      shift
      node_client "$n" halvane "$@"
      ;;
    *) echo "usage: dbserver cluster start [--sample]|stop|status|reset [--sample]|kill N|revive N|bootstrap N|sql N" >&2; exit 2 ;;
  esac
}
