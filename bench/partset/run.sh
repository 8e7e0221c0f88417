#!/usr/bin/env bash
# Times partset split and join of a large installer against cp of the same
# file on the same disk, and measures their peak memory.
#
#   bench/partset/run.sh [SIZE_MIB] [WORK_DIR]
#
# SIZE_MIB defaults to 700, WORK_DIR to /tmp/partset-bench (removed at the
# end). Each figure is the median of several runs (hyperfine). Every run
# starts with the input in the page cache and no dirty pages (sync), so the
# figures compare the work each command does, not the disk's write-back.
# "split 1.44M" also makes 490 directories and part files; "split cd" and
# "join cd" move one file's worth, like cp.
set -euo pipefail

size_mib=${1:-700}
work=${2:-/tmp/partset-bench}
runs=${RUNS:-5}
here=$(cd "$(dirname "$0")/../.." && pwd)
partset=${PARTSET:-$here/dist/bin/partset}

[ -x "$partset" ] || { echo "no $partset; build the host preset first" >&2; exit 1; }
command -v hyperfine >/dev/null || { echo "hyperfine is needed" >&2; exit 1; }

rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
cd "$work"
# A copy, so that a rebuild meanwhile does not disturb the runs.
cp "$partset" ./partset
partset=$work/partset

echo "making a ${size_mib} MiB installer in $work ..." >&2
head -c $((size_mib * 1024 * 1024)) /dev/urandom > installer.exe
head -c 8192 /dev/urandom > SETUP.EXE
"$partset" split installer.exe --name Bench --out joinset --launcher SETUP.EXE > /dev/null
"$partset" split installer.exe --name Bench --out joinset-cd --launcher SETUP.EXE --disk cd > /dev/null

split_cmd="$partset split installer.exe --name Bench --out set --launcher SETUP.EXE"
split_cd_cmd="$partset split installer.exe --name Bench --out set --launcher SETUP.EXE --disk cd"
join_cmd="$partset join joinset --out joined.exe"
join_cd_cmd="$partset join joinset-cd --out joined.exe"
cp_cmd="cp installer.exe copy.exe"

hyperfine --style basic --warmup 1 --runs "$runs" --export-json times.json \
    --prepare 'rm -rf set .set.* copy.exe joined.exe; sync' \
    -n cp "$cp_cmd" \
    -n "split 1.44M" "$split_cmd" \
    -n "split cd" "$split_cd_cmd" \
    -n "join 1.44M" "$join_cmd" \
    -n "join cd" "$join_cd_cmd" >&2

peak_kib() {
    rm -rf set copy.exe joined.exe
    sync
    /usr/bin/time -f '%M' -o rss.txt "$@" > /dev/null
    cat rss.txt
}
rss_cp=$(peak_kib $cp_cmd)
rss_split=$(peak_kib $split_cmd)
rss_split_cd=$(peak_kib $split_cd_cmd)
rss_join=$(peak_kib $join_cmd)
rss_join_cd=$(peak_kib $join_cd_cmd)

python3 - "$size_mib" "$rss_cp" "$rss_split" "$rss_split_cd" "$rss_join" "$rss_join_cd" <<'PY'
import json, sys
size_mib = int(sys.argv[1])
names = ["cp", "split 1.44M", "split cd", "join 1.44M", "join cd"]
rss = dict(zip(names, map(int, sys.argv[2:])))
results = {r["command"]: r for r in json.load(open("times.json"))["results"]}
cp = results["cp"]["median"]
print(f"{size_mib} MiB installer, median of {len(results['cp']['times'])} runs")
print(f"{'operation':<12} {'median s':>9} {'MiB/s':>8} {'speed vs cp':>12} {'peak RSS MiB':>13}")
for name in names:
    t = results[name]["median"]
    print(f"{name:<12} {t:9.3f} {size_mib / t:8.0f} {cp / t:11.2f}x {rss[name] / 1024:13.1f}")
PY
