#!/usr/bin/env bash
# A one-node Slurm cluster on this machine, for the tests of valdrin-sweep --slurm and for trying
# it by hand: slurmctld and slurmd with a minimal configuration of their own in FOLDER, on free
# ports, the node reached at 127.0.0.1, no authentication daemon (auth/none, cred/none: a test
# cluster only), no cgroups.
#
# Usage: scripts/local-slurm.sh start FOLDER [CPUS]
#            writes FOLDER/slurm.conf, starts both daemons in the background (their process ids
#            in FOLDER/slurmctld.pid and FOLDER/slurmd.pid), waits until the node is idle and
#            prints the line to use it: export SLURM_CONF=FOLDER/slurm.conf
#        scripts/local-slurm.sh stop FOLDER
#            stops the two daemons it started there, by their process ids, and nothing else.
# Every client command (sbatch, squeue, scontrol) needs SLURM_CONF pointing to FOLDER/slurm.conf.
set -euo pipefail

usage() {
    echo "usage: $0 start FOLDER [CPUS] | stop FOLDER" >&2
    exit 2
}

[ $# -ge 2 ] || usage
action=$1
folder=$2

free_port() {
    /usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# Ends the process whose id the file holds (SIGTERM, then SIGKILL after 10 s) and removes the file.
stop_daemon() {
    local file=$1 pid
    [ -f "$file" ] || return 0
    pid=$(cat "$file")
    rm -f "$file"
    [[ "$pid" =~ ^[0-9]+$ ]] || return 0
    kill -TERM "$pid" 2>/dev/null || return 0
    for _ in $(seq 100); do
        kill -0 "$pid" 2>/dev/null || return 0
        sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
}

case "$action" in
start)
    for program in slurmctld slurmd sinfo; do
        if ! command -v "$program" >/dev/null 2>&1; then
            echo "$program is not installed: the local Slurm needs the package slurm-wlm (make deps installs it)" >&2
            exit 1
        fi
    done
    cpus=${3:-$(nproc)}
    mkdir -p "$folder"
    folder=$(cd "$folder" && pwd)
    mkdir -p "$folder/state" "$folder/spool"
    node=$(hostname -s)
    user=$(id -un)
    cat >"$folder/slurm.conf" <<EOF
# A one-node test cluster written by valdrin's scripts/local-slurm.sh
ClusterName=valdrin-local
SlurmctldHost=$node(127.0.0.1)
SlurmctldPort=$(free_port)
SlurmdPort=$(free_port)
SlurmUser=$user
SlurmdUser=root
AuthType=auth/none
CredType=cred/none
StateSaveLocation=$folder/state
SlurmdSpoolDir=$folder/spool
SlurmctldPidFile=$folder/slurmctld.pidfile
SlurmdPidFile=$folder/slurmd.pidfile
SlurmctldLogFile=$folder/slurmctld.log
SlurmdLogFile=$folder/slurmd.log
SlurmdParameters=config_overrides
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
MpiDefault=none
SwitchType=switch/none
SchedulerType=sched/builtin
SchedulerParameters=batch_sched_delay=0
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
ReturnToService=2
JobRequeue=1
MinJobAge=2
KillWait=5
OverTimeLimit=0
InactiveLimit=0
MessageTimeout=5
SlurmctldTimeout=10
SlurmdTimeout=30
MaxArraySize=1001
NodeName=$node NodeAddr=127.0.0.1 CPUs=$cpus State=UNKNOWN
PartitionName=debug Nodes=$node Default=YES MaxTime=INFINITE State=UP
EOF
    export SLURM_CONF="$folder/slurm.conf"
    # The daemons' own process ids: each runs in the foreground (-D) of a background job.
    slurmctld -D -i -f "$SLURM_CONF" >"$folder/slurmctld.out" 2>&1 </dev/null &
    echo $! >"$folder/slurmctld.pid"
    slurmd -D -f "$SLURM_CONF" >"$folder/slurmd.out" 2>&1 </dev/null &
    echo $! >"$folder/slurmd.pid"
    # Up to 60 s until the node is idle.
    for _ in $(seq 300); do
        state=$(sinfo -h -n "$node" -o %t 2>/dev/null || true)
        if [ "$state" = "idle" ]; then
            echo "export SLURM_CONF=$SLURM_CONF"
            exit 0
        fi
        for daemon in slurmctld slurmd; do
            if ! kill -0 "$(cat "$folder/$daemon.pid")" 2>/dev/null; then
                echo "$daemon ended at start; its log:" >&2
                tail -n 20 "$folder/$daemon.log" "$folder/$daemon.out" >&2 2>/dev/null || true
                stop_daemon "$folder/slurmd.pid"
                stop_daemon "$folder/slurmctld.pid"
                exit 1
            fi
        done
        sleep 0.2
    done
    echo "the node $node did not become idle within 60 s (state: ${state:-none}); see $folder/slurmctld.log" >&2
    stop_daemon "$folder/slurmd.pid"
    stop_daemon "$folder/slurmctld.pid"
    exit 1
    ;;
stop)
    stop_daemon "$folder/slurmd.pid"
    stop_daemon "$folder/slurmctld.pid"
    # What the daemons wrote themselves names the same processes: gone by now, unless the files
    # above were lost.
    for daemon in slurmd slurmctld; do
        if [ -f "$folder/$daemon.pidfile" ] && grep -q "^$daemon" "/proc/$(cat "$folder/$daemon.pidfile")/comm" 2>/dev/null; then
            cp "$folder/$daemon.pidfile" "$folder/$daemon.pid"
            stop_daemon "$folder/$daemon.pid"
        fi
    done
    ;;
*)
    usage
    ;;
esac
