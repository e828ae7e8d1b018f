#!/usr/bin/env bash
# Converts a list of generated clips on a real one-node Slurm cluster with
# contrib/slurm/calvera-array.sbatch: munged, slurmctld and slurmd are started
# from a configuration in a temporary folder, the array runs with sbatch
# --wait, every item must be converted exactly once, a second submission must
# find nothing left to do, and the daemons are stopped by their process ids.
# Needs root (it installs slurm-wlm and munge when missing); skips elsewhere.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
source_dir=$(cd "$(dirname "$0")/.." && pwd)
batch="$build/program/calvera-batch"

if [ "$(id -u)" -ne 0 ]; then
    echo "test-slurm: skipped: starting slurmctld and slurmd needs root (CI runs this as root)"
    exit 0
fi
if ! command -v slurmctld >/dev/null || ! command -v munged >/dev/null; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends slurm-wlm munge >/dev/null
fi

work=$(mktemp -d /tmp/calvera-slurm.XXXXXX)
chmod 755 "$work"
pids=()
stop() {
    local pid
    for file in "$work"/slurmd.pid "$work"/slurmctld.pid "$work"/munged.pid; do
        [ -s "$file" ] || continue
        pid=$(cat "$file")
        kill "$pid" 2>/dev/null || true
        for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill -9 "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap stop EXIT
fail() {
    echo "test-slurm: FAILED: $*" >&2
    for log in "$work"/*.log "$work"/shard-*.out; do
        [ -f "$log" ] && { echo "== $log" >&2; tail -20 "$log" >&2; }
    done
    exit 1
}

# munge with a key and socket of its own, so the machine's munge is left alone.
mkdir -p "$work/munge"
chmod 700 "$work/munge"
head -c 1024 /dev/urandom > "$work/munge/munge.key"
chmod 400 "$work/munge/munge.key"
munged --force --key-file="$work/munge/munge.key" --socket="$work/munge/munge.sock" \
    --pid-file="$work/munged.pid" --log-file="$work/munged.log" --seed-file="$work/munge/seed" \
    || fail "munged did not start"

host=$(hostname -s)
mkdir -p "$work/state" "$work/spool"
cat > "$work/slurm.conf" <<CONF
ClusterName=calvera-test
SlurmctldHost=$host(127.0.0.1)
SlurmUser=root
SlurmdUser=root
SlurmctldPort=16817
SlurmdPort=16818
AuthType=auth/munge
AuthInfo=socket=$work/munge/munge.sock
CredType=cred/munge
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/slurmctld.log
SlurmdLogFile=$work/slurmd.log
ProctrackType=proctrack/pgid
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SchedulerType=sched/builtin
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
MpiDefault=none
ReturnToService=2
NodeName=$host NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=calvera Nodes=ALL Default=YES MaxTime=INFINITE State=UP
CONF
export SLURM_CONF="$work/slurm.conf"
slurmctld -f "$SLURM_CONF" || fail "slurmctld did not start"
slurmd -f "$SLURM_CONF" || fail "slurmd did not start"
for _ in $(seq 100); do
    state=$(sinfo -h -N -o %t 2>/dev/null || true)
    [ "$state" = idle ] && break
    sleep 0.2
done
[ "$state" = idle ] || fail "the node did not come up (state: '$state')"

# Seven clips, three shards: 3 + 2 + 2 items.
mkdir -p "$work/clips" "$work/out"
clips=()
for i in $(seq 0 6); do
    ffmpeg -v error -f lavfi -i "sine=frequency=$((300 + 40 * i)):duration=1" "$work/clips/clip$i.wav"
    clips+=("$work/clips/clip$i.wav")
done
mp3=$("$batch" --formats | awk -F'\t' '$3 == "mp3" { print $1; exit }')
"$batch" -f "$mp3" -o "$work/out" --save-list "$work/jobs.qfl" "${clips[@]}"

submit() {
    sbatch --wait --quiet --array=0-2 --chdir="$work" --output="$work/shard-%a.out" \
        --export=ALL,CALVERA_BATCH="$batch",CALVERA_JOURNALS="$work/journals",XDG_STATE_HOME="$work/xdg" \
        "$source_dir/contrib/slurm/calvera-array.sbatch" "$work/jobs.qfl"
}
submit || fail "the array did not end well"

outputs=$(cd "$work/out" && ls -A)
expected=$(for i in $(seq 0 6); do echo "clip$i.mp3"; done)
[ "$outputs" = "$expected" ] || fail "the outputs are not one per item: $(echo $outputs)"
for i in $(seq 0 6); do
    ffprobe -v error -show_entries format=format_name -of csv=p=0 "$work/out/clip$i.mp3" | grep -qx mp3 \
        || fail "clip$i.mp3 is not an MP3"
done
converted=$(cat "$work"/journals/shard-*.journal | grep -c '^converted')
[ "$converted" -eq 7 ] || fail "the journals record $converted conversions, not 7"
[ "$(ls "$work/journals")" = "$(printf 'shard-0.journal\nshard-1.journal\nshard-2.journal')" ] \
    || fail "not one journal per shard"

# Submitted again with the same journals, every shard finds nothing left.
submit || fail "the second array did not end well"
[ "$(cd "$work/out" && ls -A)" = "$expected" ] || fail "the second submission converted again"
grep -q "nothing to convert" "$work/shard-1.out" || fail "shard 1 did not say it had nothing to do"

echo "test-slurm: passed: 7 items in 3 shards on Slurm $(sinfo -V | awk '{print $2}'), each converted once"
