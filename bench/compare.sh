#!/usr/bin/env bash
# Times quillmere-cli against `cp -ru` and `rsync -rt --update` on generated trees,
# side by side in one run, and prints medians and ratios to `cp -ru`. Absolute times
# on a small machine are noisy; the ratios measured in the same run are what count.
#
#   bench/compare.sh [--quick] [--only a|b] [--runs N] [--cli PATH] [--keep]
#
# See bench/README.md for the workloads. Nothing here is a test: never register it
# in CTest.
set -euo pipefail

invocation=$(printf '%q ' "$0" "$@")

usage() {
  cat <<'EOF'
usage: bench/compare.sh [--quick] [--only a|b] [--runs N] [--cli PATH] [--keep]

  --quick      small workloads for a smoke run (10,000 files, a 256 MiB file, 3 runs)
  --only a|b   run only workload (a) many small files or (b) one large file
  --runs N     timed runs per tool and measurement (default 10, 3 with --quick);
               the large file always gets at least 10
  --cli PATH   time this quillmere-cli instead of building build/release/cli/quillmere-cli
               (also QUILLMERE_CLI=PATH)
  --keep       keep the generated trees and hyperfine JSON in the work folder

The work folder is ${BENCH_DIR:-${TMPDIR:-/tmp}/quillmere-bench}; everything the
script makes there is removed at the end unless --keep is given.
EOF
}

log() { printf 'compare: %s\n' "$*"; }
die() {
  printf 'compare: FAILED: %s\n' "$*" >&2
  exit 1
}

quick=0
only=
runs=
cli=${QUILLMERE_CLI:-}
keep=0
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) quick=1 ;;
    --only)
      [ $# -ge 2 ] || die "--only needs a or b"
      only=$2
      shift
      ;;
    --runs)
      [ $# -ge 2 ] || die "--runs needs a number"
      runs=$2
      shift
      ;;
    --cli)
      [ $# -ge 2 ] || die "--cli needs a path"
      cli=$2
      shift
      ;;
    --keep) keep=1 ;;
    -h | --help)
      usage
      exit 0
      ;;
    *)
      usage >&2
      die "unknown argument: $1"
      ;;
  esac
  shift
done
case "$only" in "" | a | b) ;; *) die "--only takes a or b, not '$only'" ;; esac
if [ -n "$runs" ]; then
  [[ "$runs" =~ ^[1-9][0-9]*$ ]] || die "--runs takes a positive number, not '$runs'"
fi

if [ "$quick" -eq 1 ]; then
  tops=10 subs=10 per_folder=100
  big_mib=256
  : "${runs:=3}"
else
  tops=10 subs=100 per_folder=100
  big_mib=2048
  : "${runs:=10}"
fi
n_files=$((tops * subs * per_folder))
# Large-file medians swing on small machines, so (b) always gets enough runs for a
# meaningful minimum.
runs_b=$((runs < 10 ? 10 : runs))
do_a=1 do_b=1
[ "$only" = b ] && do_a=0
[ "$only" = a ] && do_b=0

repo=$(cd -- "$(dirname -- "${BASH_SOURCE[0]}")/.." && pwd -P)

# --- tools -----------------------------------------------------------------------

# Only what is missing is installed, and apt-get update runs only then.
missing=()
for pkg in hyperfine rsync time diffutils; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$pkg" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$pkg")
done
command -v python3 >/dev/null 2>&1 || missing+=(python3)
if [ ${#missing[@]} -gt 0 ]; then
  log "installing ${missing[*]}"
  sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null 2>&1 ||
      die "these packages are missing and installing them needs root: ${missing[*]}"
    sudo=(sudo)
  fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

if [ -z "$cli" ]; then
  cli=$repo/build/release/cli/quillmere-cli
  stale=
  if [ -x "$cli" ]; then
    stale=$(find "$repo" \( -path "$repo/build" -o -path "$repo/.git" -o -path "$repo/bench" \) -prune \
      -o -type f \( -name '*.cpp' -o -name '*.h' -o -name 'CMakeLists.txt' -o -name '*.cmake' \
      -o -name 'CMakePresets.json' \) -newer "$cli" -print -quit)
  fi
  if [ ! -x "$cli" ] || [ -n "$stale" ]; then
    log "building the release preset (quillmere-cli is ${stale:+out of date}${stale:-missing})"
    bash "$repo/scripts/setup.sh"
    (cd -- "$repo" && cmake --preset release >/dev/null && cmake --build --preset release)
    [ -x "$cli" ] || die "the release build finished but $cli does not exist"
  fi
else
  [ -x "$cli" ] || die "--cli $cli is not an executable file"
  cli=$(cd -- "$(dirname -- "$cli")" && pwd -P)/$(basename -- "$cli")
fi

# --- work folder -----------------------------------------------------------------

bench_dir=${BENCH_DIR:-${TMPDIR:-/tmp}/quillmere-bench}
made_bench_dir=0
run_dir=
cleanup() {
  local rc=$?
  if [ -n "$run_dir" ] && [ -d "$run_dir" ]; then
    if [ "$keep" -eq 1 ]; then
      log "kept $run_dir"
    else
      rm -rf -- "$run_dir"
      # Only a folder this run created, and only when nothing else is in it.
      [ "$made_bench_dir" -eq 0 ] || rmdir -- "$bench_dir" 2>/dev/null || true
    fi
  fi
  exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

if [ ! -d "$bench_dir" ]; then
  mkdir -p -- "$bench_dir"
  made_bench_dir=1
fi
bench_dir=$(cd -- "$bench_dir" && pwd -P)
run_dir=$(mktemp -d -- "$bench_dir/run.XXXXXX")
# The configuration file takes a path verbatim up to the line end, and '=' splits key
# from value.
case "$run_dir" in
  *=* | *$'\n'* | *$'\r'*) die "the work folder path must not contain '=' or line breaks: $run_dir" ;;
esac

need_kib=$((512 * 1024))
[ "$do_a" -eq 0 ] || need_kib=$((need_kib + 2 * n_files * 8 + 2 * tops * subs * 4))
[ "$do_b" -eq 0 ] || need_kib=$((need_kib + 2 * big_mib * 1024))
avail_kib=$(df -Pk -- "$run_dir" | awk 'NR == 2 { print $4 }')
[ "$avail_kib" -ge "$need_kib" ] ||
  die "$run_dir has $((avail_kib / 1024)) MiB free, the workloads need about $((need_kib / 1024)) MiB (set BENCH_DIR elsewhere or use --quick)"

# Whole-second times keep every tool's idea of "older" exact.
base_time=1704067200 # 2024-01-01 00:00:00 UTC: every generated file
new_time=1717200000  # 2024-06-01: the touched 1%

helper=$run_dir/helper.py
cat >"$helper" <<'PY'
import json, os, random, statistics, sys

def gen_tree(root, tops, subs, per, base, every, touch_list):
    # Sizes and contents come from a seeded generator, so every run copies the same bytes.
    rng = random.Random(20240101)
    pool = rng.randbytes(1 << 20)
    ns = base * 1_000_000_000
    touched = []
    index = 0
    for t in range(tops):
        for s in range(subs):
            folder = os.path.join(root, "d%02d" % t, "s%03d" % s)
            os.makedirs(folder)
            for f in range(per):
                size = rng.randint(1024, 8192)
                start = rng.randrange(0, len(pool) - size)
                name = "f%03d.dat" % f
                path = os.path.join(folder, name)
                fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644)
                try:
                    os.write(fd, pool[start:start + size])
                    os.utime(fd, ns=(ns, ns))
                finally:
                    os.close(fd)
                if index % every == every // 2:
                    touched.append(os.path.join("d%02d" % t, "s%03d" % s, name))
                index += 1
    with open(touch_list, "w") as out:
        out.write("\n".join(touched) + "\n")
    print(index)

def gen_big(path, mib, base):
    rng = random.Random(20240102)
    block = bytearray(rng.randbytes(1 << 20))
    with open(path, "wb") as out:
        for i in range(mib):
            block[0:8] = i.to_bytes(8, "little")  # no two blocks alike
            out.write(block)
    os.utime(path, (base, base))

def paths(root, touch_list):
    with open(touch_list) as f:
        return [os.path.join(root, line) for line in f.read().splitlines() if line]

def set_time(root, touch_list, when, nul_list=None):
    found = paths(root, touch_list)
    for p in found:
        os.utime(p, (when, when))
    if nul_list:
        with open(nul_list, "wb") as out:
            out.write(b"".join(os.fsencode(p) + b"\0" for p in found))

def count_not_at(root, touch_list, when):
    print(sum(1 for p in paths(root, touch_list) if os.stat(p).st_mtime_ns != when * 1_000_000_000))

def table(*specs):
    # specs: label json by_min label json by_min ...
    rows = []
    for i in range(0, len(specs), 3):
        label, path, by_min = specs[i], specs[i + 1], specs[i + 2] == "1"
        results = json.load(open(path))["results"]
        ref = next(r for r in results if r["command"] == "cp -ru")
        for r in results:
            rows.append((label, r["command"], str(len(r["times"])), "%.3f" % r["median"],
                         "%.3f" % r["min"], "%.2f" % (r["median"] / ref["median"]),
                         "%.2f" % (r["min"] / ref["min"]) if by_min else "-"))
    head = ("workload", "tool", "runs", "median (s)", "min (s)", "median/cp", "min/cp")
    widths = [max(len(row[c]) for row in rows + [head]) for c in range(len(head))]
    def line(row):
        return "  ".join(v.ljust(w) if c < 2 else v.rjust(w)
                         for c, (v, w) in enumerate(zip(row, widths)))
    print(line(head))
    print("  ".join("-" * w for w in widths))
    previous = None
    for row in rows:
        print(line(row if row[0] != previous else ("",) + row[1:]))
        previous = row[0]

def merge(out, *parts):
    # One result per tool with the times of every round.
    merged = {}
    for part in parts:
        for r in json.load(open(part))["results"]:
            merged.setdefault(r["command"], []).extend(r["times"])
    results = [{"command": c, "times": t, "median": statistics.median(t), "min": min(t)}
               for c, t in merged.items()]
    json.dump({"results": results}, open(out, "w"), indent=1)

cmd, args = sys.argv[1], sys.argv[2:]
if cmd == "gen-tree":
    gen_tree(args[0], *map(int, args[1:6]), args[6])
elif cmd == "gen-big":
    gen_big(args[0], int(args[1]), int(args[2]))
elif cmd == "set-time":
    set_time(args[0], args[1], int(args[2]), args[3] if len(args) > 3 else None)
elif cmd == "count-not-at":
    count_not_at(args[0], args[1], int(args[2]))
elif cmd == "merge":
    merge(*args)
elif cmd == "table":
    table(*args)
else:
    sys.exit("helper: unknown command " + cmd)
PY

q() { printf '%q' "$1"; }

write_config() { # file source destination
  printf 'COPYFROM=%s\nCOPYTO=%s\nCREATELOG=FALSE\n' "$2" "$3" >"$1"
}

# Runs quillmere-cli once outside the timings and checks its exit status, Errors-0 and
# the number of files it says it copied. A fourth argument records peak RSS (KiB).
run_cli_checked() { # config expected_done what [peak_rss_file]
  local cfg=$1 want=$2 what=$3 mem=${4:-} rc=0 line done_n errors_n
  local out=$run_dir/cli.out err=$run_dir/cli.err
  local timer=()
  [ -z "$mem" ] || timer=(/usr/bin/time -f %M -o "$mem" --)
  timeout 1800 "${timer[@]}" "$cli" --yes "$cfg" </dev/null >"$out" 2>"$err" || rc=$?
  if [ "$rc" -ne 0 ]; then
    tail -n 20 -- "$out" "$err" >&2 || true
    [ "$rc" -ne 124 ] || die "$what: quillmere-cli did not finish within 30 minutes"
    die "$what: quillmere-cli exited with status $rc"
  fi
  line=$(grep -o 'Done: Files-[0-9]* Selected-[0-9]* Done-[0-9]* Errors-[0-9]*' -- "$out" | tail -n 1) ||
    die "$what: quillmere-cli printed no 'Done: ...' line"
  done_n=${line#* Done-}
  done_n=${done_n%% *}
  errors_n=${line##*Errors-}
  [ "$errors_n" -eq 0 ] || die "$what: quillmere-cli reported $line"
  [ "$done_n" -eq "$want" ] || die "$what: expected Done-$want, quillmere-cli reported $line"
  log "$what: ok ($line)"
}

peak_mib() { awk -- 'END { printf "%.1f", $1 / 1024 }' "$1"; }

set_commands() { # source destination config: the three timed commands
  cmd_qm="$(q "$cli") --yes $(q "$3") </dev/null"
  cmd_cp="cp -ru --preserve=mode,timestamps -- $(q "$1")/. $(q "$2")/"
  cmd_rs="rsync -rt --update -- $(q "$1")/ $(q "$2")/"
}

hyperfine_lines=()
# The tools take turns: every round runs each of them once, in an order that rotates
# from round to round, so that a machine that gets slower or faster during the
# measurement (cache trimming, writeback) weighs on all of them alike rather than on
# whichever ran last. The rounds' results are merged into one JSON file.
time_tools() { # json runs prepare-or-empty
  local json=$1 runs=$2 prepare=$3 r k
  local names=(quillmere-cli "cp -ru" "rsync -rt --update")
  local cmds=("$cmd_qm" "$cmd_cp" "$cmd_rs")
  local parts=()
  for ((r = 0; r < runs; r++)); do
    local args=(--shell=bash --runs 1 --style basic --export-json "$json.$r")
    [ "$r" -gt 0 ] || args+=(--warmup 1)
    [ -z "$prepare" ] || args+=(--prepare "$prepare")
    for ((k = 0; k < 3; k++)); do
      local i=$(((r + k) % 3))
      args+=(-n "${names[$i]}" "${cmds[$i]}")
    done
    [ "$r" -gt 0 ] || { hyperfine_lines+=("$(printf '%q ' hyperfine "${args[@]}")"); log "${hyperfine_lines[-1]} (x $runs rounds, order rotating)"; }
    hyperfine "${args[@]}" >/dev/null
    parts+=("$json.$r")
  done
  python3 "$helper" merge "$json" "${parts[@]}"
  rm -f -- "${parts[@]}"
}

table_specs=()
memory_lines=()

# --- (a) many small files --------------------------------------------------------

if [ "$do_a" -eq 1 ]; then
  src=$run_dir/a-src
  dst=$run_dir/a-dst
  cfg=$run_dir/a.cfg
  touch_list=$run_dir/a-touched.txt
  dst_list=$run_dir/a-touched-dst.nul
  write_config "$cfg" "$src" "$dst"
  set_commands "$src" "$dst" "$cfg"

  log "(a) generating $n_files files of 1-8 KiB in $((tops * subs)) folders"
  SECONDS=0
  made=$(python3 "$helper" gen-tree "$src" "$tops" "$subs" "$per_folder" "$base_time" 100 "$touch_list")
  [ "$made" -eq "$n_files" ] || die "(a) generator made $made files, expected $n_files"
  n_touch=$(grep -c . -- "$touch_list")
  log "(a) generated in ${SECONDS}s"

  mkdir -- "$dst"
  run_cli_checked "$cfg" "$n_files" "(a) first copy" "$run_dir/a-peak.txt"
  diff -rq -- "$src" "$dst" >"$run_dir/a-diff.txt" || {
    head -n 20 -- "$run_dir/a-diff.txt" >&2
    die "(a) the destination quillmere-cli made differs from the source"
  }
  log "(a) diff -r of source and destination: identical"
  run_cli_checked "$cfg" 0 "(a) no-op update"
  memory_lines+=("peak RSS of quillmere-cli, (a) first copy of $n_files files: $(peak_mib "$run_dir/a-peak.txt") MiB")

  log "(a) timing the first copy into an empty destination"
  time_tools "$run_dir/a-first.json" "$runs" "rm -rf -- $(q "$dst") && mkdir -- $(q "$dst") && sync"
  table_specs+=("(a) first copy, $n_files files" "$run_dir/a-first.json" 0)

  # The same 1% of the source is newer from here on; a fresh mirror of the source is
  # the common up-to-date destination for the next two measurements.
  python3 "$helper" set-time "$src" "$touch_list" "$new_time"
  rm -rf -- "$dst"
  mkdir -- "$dst"
  cp -r --preserve=mode,timestamps -- "$src/." "$dst/"
  sync

  run_cli_checked "$cfg" 0 "(a) no-op update on the mirror"
  log "(a) timing the no-op update"
  time_tools "$run_dir/a-noop.json" "$runs" ""
  table_specs+=("(a) no-op update" "$run_dir/a-noop.json" 0)

  # Before every run the destination copies of the touched files go back to the old
  # time, so each tool copies exactly those files on every run.
  python3 "$helper" set-time "$dst" "$touch_list" "$base_time" "$dst_list"
  reset_touched="xargs -0 -a $(q "$dst_list") touch -c -d @$base_time -- && sync"
  for tool in qm cp rs; do
    bash -c "$reset_touched"
    case "$tool" in
      qm) run_cli_checked "$cfg" "$n_touch" "(a) 1% update" ;;
      cp) bash -c "$cmd_cp" </dev/null || die "(a) 1% update: cp failed" ;;
      rs) bash -c "$cmd_rs" </dev/null || die "(a) 1% update: rsync failed" ;;
    esac
    left=$(python3 "$helper" count-not-at "$dst" "$touch_list" "$base_time")
    [ "$left" -eq "$n_touch" ] ||
      die "(a) 1% update: $tool brought $left of the $n_touch touched files up to date"
  done
  log "(a) each tool copies the $n_touch touched files"
  log "(a) timing the update after touching $n_touch files (1%)"
  time_tools "$run_dir/a-touch.json" "$runs" "$reset_touched"
  table_specs+=("(a) update, $n_touch touched (1%)" "$run_dir/a-touch.json" 0)

  [ "$keep" -eq 1 ] || rm -rf -- "$src" "$dst" # room for (b)
fi

# --- (b) one large file ----------------------------------------------------------

if [ "$do_b" -eq 1 ]; then
  src=$run_dir/b-src
  dst=$run_dir/b-dst
  cfg=$run_dir/b.cfg
  write_config "$cfg" "$src" "$dst"
  set_commands "$src" "$dst" "$cfg"
  mkdir -- "$src" "$dst"

  log "(b) generating one file of $big_mib MiB"
  SECONDS=0
  python3 "$helper" gen-big "$src/large.bin" "$big_mib" "$base_time"
  log "(b) generated in ${SECONDS}s"

  run_cli_checked "$cfg" 1 "(b) first copy" "$run_dir/b-peak.txt"
  cmp -- "$src/large.bin" "$dst/large.bin" || die "(b) the copy quillmere-cli made differs from the source"
  log "(b) cmp of source and copy: identical"
  run_cli_checked "$cfg" 0 "(b) no-op update"
  memory_lines+=("peak RSS of quillmere-cli, (b) first copy of $big_mib MiB: $(peak_mib "$run_dir/b-peak.txt") MiB")

  log "(b) timing the first copy"
  time_tools "$run_dir/b-first.json" "$runs_b" "rm -f -- $(q "$dst/large.bin") && sync"
  table_specs+=("(b) first copy, $big_mib MiB file" "$run_dir/b-first.json" 1)
fi

# --- report ----------------------------------------------------------------------

echo
echo "=== Quillmere copy benchmark"
echo "command:   $invocation"
echo "machine:   $(nproc) cores, $(uname -sr), work folder on $(df -PT -- "$run_dir" | awk 'NR == 2 { print $2 }')"
echo "versions:  $(hyperfine --version), $(cp --version | head -n 1), $(rsync --version | head -n 1 | awk '{ print "rsync " $3 }')"
echo "timed:     quillmere-cli = $(q "$cli") --yes CONFIG"
echo "           cp -ru        = cp -ru --preserve=mode,timestamps -- SRC/. DST/"
echo "           rsync         = rsync -rt --update -- SRC/ DST/"
echo "hyperfine:"
for l in "${hyperfine_lines[@]}"; do echo "  $l"; done
echo
python3 "$helper" table "${table_specs[@]}"
echo
for l in "${memory_lines[@]}"; do echo "$l"; done
echo "ratios are tool / cp -ru from the same run: below 1.00 is faster than cp -ru"
