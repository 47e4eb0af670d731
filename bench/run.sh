#!/usr/bin/env bash
# Benchmark of plimbrook-convert against cp, and of the window program's start-up against a
# bare Qt 6 window. Prints medians over repeated runs and ratios measured in the same run.
#
#   bench/run.sh [--build DIR] [--runs N] [--batch-runs N] [--disk-runs N] [--window-runs N]
#
# Installs what it needs when run as root: the project's packages, hyperfine, strace, and
# libxcb1-dev for the start-up stopwatch.
# Conversions run on a tmpfs folder (mounted for the run when started as root, /dev/shm
# otherwise), against cp; then on the repository's disk, where making new files durable costs
# real time, batches of 300 and 10,000 saves against cp followed by sync, and 10,000 --force
# replacements against cp over as many existing files followed by sync. Each --force batch is
# also timed as bench/replace_floor makes it: the same replacements' system calls and nothing
# else, the least that the promise costs. Where it can (as root), it repeats the disk's --force
# runs on a journaled ext4 in an image file on the same disk, as most Linux disks are.
# strace -c counts the system calls each file costs, new and replaced, against cp's. The window
# program's start-up is compared with a bare window that shows a menu bar and a label in the same
# font (--window-runs 0 leaves it out).
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$repo/build-bench"
runs=200
batch_runs=10
disk_runs=3
window_runs=60
count=10000

while [ $# -gt 0 ]; do
    case "$1" in
        --build) build=$(realpath -m "$2"); shift 2 ;;
        --runs) runs=$2; shift 2 ;;
        --batch-runs) batch_runs=$2; shift 2 ;;
        --disk-runs) disk_runs=$2; shift 2 ;;
        --window-runs) window_runs=$2; shift 2 ;;
        -h|--help) sed -n '2,/^set /{/^#/s/^# \{0,1\}//p}' "$0"; exit 0 ;;
        *) echo "run.sh: unknown argument '$1'" >&2; exit 2 ;;
    esac
done

say() { printf '%s\n' "$*" >&2; }
# What the project itself needs, then what only the benchmark does.
"$repo/scripts/setup.sh"
if ! command -v hyperfine >/dev/null || ! command -v strace >/dev/null ||
    ! dpkg-query -W libxcb1-dev >/dev/null 2>&1; then
    if [ "$(id -u)" = 0 ]; then
        apt-get install -y -qq hyperfine strace libxcb1-dev >/dev/null
    else
        say "run.sh: install hyperfine, strace and libxcb1-dev as root first"
        exit 1
    fi
fi
for tool in cmake hyperfine strace Xvfb python3; do
    command -v "$tool" >/dev/null || { say "run.sh: $tool is needed"; exit 1; }
done

# ---- Build: the product as it ships (the default build type), and the bench helpers.
say "Building in $build ..."
cmake -S "$repo" -B "$build" >/dev/null
cmake --build "$build" -j2 --target plimbrook-convert stuff_dat >/dev/null
have_window=0
if cmake --build "$build" -j2 --target plimbrook >/dev/null 2>&1 && [ -x "$build/bin/plimbrook" ]; then
    have_window=1
fi
build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")
cmake -S "$repo/bench" -B "$build/bench" -DCMAKE_BUILD_TYPE="$build_type" >/dev/null
cmake --build "$build/bench" -j2 >/dev/null
convert="$build/bin/plimbrook-convert"
floor="$build/bench/replace_floor"

# ---- Folders: a tmpfs for the timed runs, and one on the repository's disk for the sync cost.
work=$(mktemp -d /tmp/plimbrook-bench.XXXXXX)
mounted=0
if [ "$(id -u)" = 0 ] && mount -t tmpfs -o size=3g,mode=0700 plimbrook-bench "$work" 2>/dev/null; then
    mounted=1
else
    rmdir "$work"
    work=$(mktemp -d /dev/shm/plimbrook-bench.XXXXXX)
fi
disk=$(mktemp -d "$build/bench-disk.XXXXXX")
# A journaled ext4 in an image on the same disk: the disk's own file system may have no journal,
# and ext4 then makes and frees files differently (it skips every file freed in the last minute
# when it looks for a free one).
ext4=
image="$build/bench-ext4.img"
xvfb_pid=
cleanup() {
    cd /
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    if [ "$mounted" = 1 ]; then umount "$work"; rmdir "$work"; else rm -rf "$work"; fi
    rm -rf "$disk"
    if [ -n "$ext4" ]; then umount "$ext4" && rmdir "$ext4"; fi
    rm -f "$image"
}
trap cleanup EXIT
if [ "$(id -u)" = 0 ] && command -v mkfs.ext4 >/dev/null; then
    ext4=$(mktemp -d "$build/bench-ext4.XXXXXX")
    rm -f "$image"
    if ! { truncate -s 3G "$image" && mkfs.ext4 -q -F "$image" &&
        mount -o loop "$image" "$ext4"; } 2>/dev/null; then
        say "run.sh: no journaled ext4 image here; its runs are left out"
        rmdir "$ext4"
        ext4=
    fi
fi
[ "$(stat -f -c %T "$work")" = tmpfs ] || { say "run.sh: $work is not on tmpfs"; exit 1; }

# 10,000 saves of 8 KiB of random bytes, and beside them the BBD files they give, for cp to copy.
say "Making $count saves ..."
mkdir -p "$work/saves"
head -c $((count * 8192)) /dev/urandom > "$work/all"
(cd "$work/saves" && split -b 8192 -a 4 -d --additional-suffix=.srm ../all s)
rm "$work/all"
(cd "$work/saves" && "$convert" to-bbd *.srm)
cp -r "$work/saves" "$disk/"
[ -n "$ext4" ] && cp -r "$work/saves" "$ext4/"
for place in "$work" "$disk"; do
    mkdir -p "$place/out" "$place/copies" "$place/one"
    cp "$place/saves/s0000.srm" "$place/one/GAME.srm"
    cp "$place/saves/s0000.bbd" "$place/one/REF.bbd"
done
# What --force replaces, and cp overwrites, on tmpfs: as many BBD files of other saves. The
# disk's runs make a fresh folder of them each time (force_runs).
mkdir -p "$work/forced" "$work/floored" "$work/overwritten"
(cd "$work/saves" && for to in forced floored overwritten; do cp -- *.bbd "../$to/"; done)
# One argument of the command line may not exceed 128 KiB, hence short names, run from the folder.
saves=$(cd "$work/saves" && echo *.srm)
bbds=$(cd "$work/saves" && echo *.bbd)

results="$work/results"
mkdir -p "$results"
# hyperfine without a shell, so that only the programs themselves are timed.
measure() {  # name runs command...
    local name=$1 n=$2
    shift 2
    hyperfine -N --style none --warmup 10 --runs "$n" --export-json "$results/$name.json" "$@" >/dev/null
}

say "Timing one conversion ..."
for place in "$work" "$disk"; do
    tag=tmpfs
    n=$runs
    [ "$place" = "$disk" ] && { tag=disk; n=$((runs / 4 > 5 ? runs / 4 : 5)); }
    cd "$place"
    measure "one-$tag" "$n" \
        --prepare "rm -f one/GAME.bbd" -n "plimbrook-convert to-bbd one/GAME.srm" \
        "$convert to-bbd one/GAME.srm" \
        --prepare "rm -f one/COPY.bbd" -n "cp one/REF.bbd one/COPY.bbd" \
        "cp one/REF.bbd one/COPY.bbd"
done

say "Timing the batch on tmpfs ..."
cd "$work/saves"
hyperfine -N --style none --warmup 1 --runs "$batch_runs" --export-json "$results/batch-tmpfs.json" \
    --prepare "find ../out -mindepth 1 -delete" \
    -n "(in saves/) plimbrook-convert to-bbd --output-dir ../out *.srm" \
    "$convert to-bbd --output-dir ../out $saves" \
    --prepare "find ../copies -mindepth 1 -delete" \
    -n "(in saves/) cp -t ../copies *.bbd" \
    "cp -t ../copies $bbds" >/dev/null
cmp -s ../out/s9999.bbd s9999.bbd || { say "run.sh: the batch wrote the wrong bytes"; exit 1; }
hyperfine -N --style none --warmup 1 --runs "$batch_runs" --export-json "$results/force-tmpfs.json" \
    -n "(in saves/) plimbrook-convert to-bbd --force --output-dir ../forced *.srm" \
    "$convert to-bbd --force --output-dir ../forced $saves" \
    -n "(in saves/) cp -t ../overwritten *.bbd (over existing files)" \
    "cp -t ../overwritten $bbds" \
    -n "(in saves/) replace_floor ../floored *.srm (the replacements' calls alone)" \
    "$floor ../floored $saves" >/dev/null

# System calls per file: a batch of 1,000 less a batch of one, over 999, from strace -c.
say "Counting system calls per file ..."
calls() {  # folder-to-empty-or-not command...
    strace -f -c -o "$results/strace.txt" "$@" >/dev/null 2>&1
    awk '$NF == "total" { print $4 }' "$results/strace.txt"
}
read -r -a first_1000 <<<"$(echo "$saves" | tr ' ' '\n' | head -n 1000 | tr '\n' ' ')"
read -r -a first_1000_bbds <<<"$(echo "$bbds" | tr ' ' '\n' | head -n 1000 | tr '\n' ' ')"
per_file() {  # name, then the commands for 1,000 and for one file, as "a;b"
    local name=$1 many=$2 one=$3 n1 n1000
    eval "$many_prepare"
    n1000=$(eval calls "$many")
    eval "$many_prepare"
    n1=$(eval calls "$one")
    echo "$name $n1000 $n1" >>"$results/syscalls.txt"
}
: >"$results/syscalls.txt"
many_prepare="find ../out ../copies -mindepth 1 -delete"
per_file new-plimbrook '"$convert" to-bbd --output-dir ../out -- "${first_1000[@]}"' \
    '"$convert" to-bbd --output-dir ../out -- "${first_1000[0]}"'
per_file new-cp 'cp -t ../copies -- "${first_1000_bbds[@]}"' 'cp -t ../copies -- "${first_1000_bbds[0]}"'
many_prepare=":"
per_file force-plimbrook '"$convert" to-bbd --force --output-dir ../forced -- "${first_1000[@]}"' \
    '"$convert" to-bbd --force --output-dir ../forced -- "${first_1000[0]}"'
per_file force-cp 'cp -t ../overwritten -- "${first_1000_bbds[@]}"' \
    'cp -t ../overwritten -- "${first_1000_bbds[0]}"'

# On the disk the promise costs real time: every new file must be on the disk before it takes an
# old one's place. cp promises nothing until a sync, so it is timed with one. The two commands
# alternate, each into a folder emptied and synced beforehand, so that drift hits both alike.
say "Timing the batch on the disk against cp + sync ..."
cd "$disk/saves"
read -r -a all_saves <<<"$saves"
read -r -a all_bbds <<<"$bbds"
for n in 300 $count; do
    few_saves=("${all_saves[@]:0:n}")
    few_bbds=("${all_bbds[@]:0:n}")
    : >"$results/disk-$n-plimbrook.txt"
    : >"$results/disk-$n-cp.txt"
    for _ in $(seq "$disk_runs"); do
        find ../out -mindepth 1 -delete
        sync
        start=$(date +%s%N)
        "$convert" to-bbd --output-dir ../out -- "${few_saves[@]}"
        echo $(( $(date +%s%N) - start )) >>"$results/disk-$n-plimbrook.txt"
        find ../copies -mindepth 1 -delete
        sync
        start=$(date +%s%N)
        cp -t ../copies -- "${few_bbds[@]}" && sync
        echo $(( $(date +%s%N) - start )) >>"$results/disk-$n-cp.txt"
    done
    last=${few_saves[n - 1]}
    cmp -s "../out/${last%.srm}.bbd" "${last%.srm}.bbd" ||
        { say "run.sh: the batch on the disk wrote the wrong bytes"; exit 1; }
done
# --force over 10,000 existing files against cp over as many, each followed by sync, and against
# the replacements' calls alone (replace_floor, which syncs as the batch does).
# Each run starts from a folder of files that cp has just written, as a folder of saves that
# other programs wrote. Replacing a file makes a new one, and in a folder whose files were
# replaced over and over, ext4 without a journal takes more than ten times as long to make each
# new file there; cp overwrites its files in place and never meets that, so reusing the folders
# would time the folders' history rather than the programs.
force_runs() {  # place tag
    local who order run=0
    for who in plimbrook floor cp; do : >"$results/$2-force-$who.txt"; done
    cd "$1/saves"
    for _ in $(seq "$disk_runs"); do
        # Each program goes first in turn, and each starts from its own folder just written by
        # cp and synced: whoever comes first after the folders are made would otherwise pay for
        # what making them left to do.
        order=(plimbrook floor cp plimbrook floor)
        for who in "${order[@]:run % 3:3}"; do
            rm -rf ../replaced
            mkdir ../replaced
            cp -t ../replaced -- "${all_bbds[@]}"
            sync
            start=$(date +%s%N)
            case $who in
                plimbrook)
                    "$convert" to-bbd --force --output-dir ../replaced -- "${all_saves[@]}" ;;
                floor) "$floor" ../replaced "${all_saves[@]}" ;;
                cp) cp -t ../replaced -- "${all_bbds[@]}" && sync ;;
            esac
            echo $(( $(date +%s%N) - start )) >>"$results/$2-force-$who.txt"
            if [ "$who" = plimbrook ] && ! cmp -s ../replaced/s9999.bbd s9999.bbd; then
                say "run.sh: --force wrote the wrong bytes"
                exit 1
            fi
        done
        run=$((run + 1))
    done
}
force_runs "$disk" disk
if [ -n "$ext4" ]; then
    say "Timing --force on a journaled ext4 ..."
    force_runs "$ext4" ext4
fi
cd "$repo"

# ---- Start-up: each program under Xvfb, timed from its start to its first mapped window.
window_note="not measured: the window program 'plimbrook' is not built yet"
[ "$window_runs" = 0 ] && window_note="not measured (--window-runs 0)"
if [ "$have_window" = 1 ] && [ "$window_runs" != 0 ]; then
    say "Timing start-up under Xvfb ..."
    display=
    for d in $(seq 91 140); do
        if [ ! -e "/tmp/.X11-unix/X$d" ] && [ ! -e "/tmp/.X$d-lock" ]; then display=$d; break; fi
    done
    Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.05; done
    export DISPLAY=":$display" QT_QPA_PLATFORM=xcb
    # Every start alike: no session bus to start or to answer, a home and runtime folder of its own.
    . "$repo/tests/support/private_session.sh"
    private_session "$work/session"
    stopwatch="$build/bench/first_window"
    for _ in 1 2 3; do  # warm the font cache and the file cache
        "$stopwatch" --settle 100 "$build/bench/bare_window" --menu-label >/dev/null
        "$stopwatch" --settle 100 "$build/bin/plimbrook" >/dev/null
    done
    : > "$results/window-bare.txt"
    : > "$results/window-label.txt"
    : > "$results/window-menu-label.txt"
    : > "$results/window-plimbrook.txt"
    for _ in $(seq "$window_runs"); do  # interleaved, so that drift hits all alike
        "$stopwatch" "$build/bench/bare_window" >> "$results/window-bare.txt"
        "$stopwatch" "$build/bench/bare_window" --label >> "$results/window-label.txt"
        "$stopwatch" "$build/bench/bare_window" --menu-label >> "$results/window-menu-label.txt"
        "$stopwatch" "$build/bin/plimbrook" >> "$results/window-plimbrook.txt"
    done
    window_note=
fi

# ---- Report.
python3 - "$results" "$count" "$window_note" "$work" "$disk" "$build_type" "$ext4" <<'PY'
import json, os, statistics, subprocess, sys

results, count, window_note, work, disk, build_type, ext4 = sys.argv[1:8]
count = int(count)

def medians(name):
    data = json.load(open(os.path.join(results, name + ".json")))["results"]
    return [(r["command"], statistics.median(r["times"]), len(r["times"])) for r in data]

def ms(seconds):
    return f"{seconds * 1e3:.2f} ms"

def verdict(ratio, goal):
    return "met" if ratio <= goal else "NOT met"

# The file system under a path; an ext4 says whether it keeps a journal.
def fstype(path):
    out = subprocess.run(["findmnt", "-no", "FSTYPE,SOURCE", "--target", path],
                         capture_output=True, text=True).stdout.split()
    if not out:
        return "?"
    if out[0] == "ext4" and len(out) > 1:
        try:
            task = open(f"/sys/fs/ext4/{os.path.basename(out[1])}/journal_task").read().strip()
            out.append("without a journal" if task == "<none>" else "with a journal")
        except OSError:
            pass
    return " ".join(out)

print(f"Build type {build_type}; tmpfs folder {work} ({fstype(work)}); "
      f"disk folder {disk} ({fstype(disk)}).")
print("Medians of hyperfine -N runs; each ratio compares two commands of the same run.\n")

# One hyperfine comparison of ours against cp: both medians and their ratio against the goal;
# `rate` adds files per second. A third command, if any, is the least the same work costs, told
# against cp too.
def compare(name, title, goal, rate=False):
    (ours, t, n), (theirs, c, _), *least = medians(name)
    per_second = lambda seconds: f"  ({count / seconds:,.0f} files/s)" if rate else ""
    print(f"{title} ({n} runs):")
    print(f"  {ours}: {ms(t)}{per_second(t)}")
    print(f"  {theirs}: {ms(c)}{per_second(c)}")
    for floor, f, _ in least:
        print(f"  {floor}: {ms(f)}, {f / c:.2f}x cp")
    print(f"  ratio {t / c:.2f}x   goal <= {goal}x: {verdict(t / c, goal)}\n")

compare("one-tmpfs", "One conversion of an 8 KiB save, whole process, tmpfs", 1.5)
compare("batch-tmpfs", f"Batch of {count} saves in one invocation, tmpfs", 1.2, rate=True)
compare("force-tmpfs", f"The same batch with --force over {count} existing files, tmpfs", 1.5)

print("System calls per file (strace -c: a batch of 1,000 less a batch of one, over 999):")
counts = {}
for line in open(os.path.join(results, "syscalls.txt")):
    name, many, one = line.split()
    counts[name] = (int(many) - int(one)) / 999
print(f"  new files: plimbrook-convert {counts['new-plimbrook']:.1f}, cp {counts['new-cp']:.1f}")
print(f"  --force:   plimbrook-convert {counts['force-plimbrook']:.1f}, "
      f"cp over existing files {counts['force-cp']:.1f}\n")

(_, d1, nd1), (_, dc1, _) = medians("one-disk")
print("On the repository's disk, where each new file is made durable before it takes its place:")
print(f"  one conversion ({nd1} runs): {ms(d1)}, cp {ms(dc1)} (cp syncs nothing)")

def load(name):
    return [int(line) / 1e9 for line in open(os.path.join(results, name + ".txt"))]

for n in (300, count):
    conv, cp = load(f"disk-{n}-plimbrook"), load(f"disk-{n}-cp")
    tc, tp = statistics.median(conv), statistics.median(cp)
    verdicts = f"   goal <= 1.2x: {verdict(tc / tp, 1.2)}" if n != 300 else ""
    print(f"  batch of {n:,} saves ({len(conv)} alternating pairs): plimbrook-convert {ms(tc)}, "
          f"cp + sync {ms(tp)}; ratio {tc / tp:.2f}x{verdicts}")

# --force, in turn: ours, the replacements' calls alone, cp + sync.
def force(tag, where):
    if not os.path.exists(os.path.join(results, f"{tag}-force-cp.txt")):
        return
    conv, floor, cp = (statistics.median(load(f"{tag}-force-{who}"))
                       for who in ("plimbrook", "floor", "cp"))
    runs = len(load(f"{tag}-force-cp"))
    print(f"  --force over {count:,} files{where} ({runs} runs of each, each first in turn): "
          f"plimbrook-convert {ms(conv)}, cp + sync {ms(cp)}; ratio {conv / cp:.2f}x   "
          f"goal <= 1.5x: {verdict(conv / cp, 1.5)}")
    print(f"    the replacements' calls alone (replace_floor): {ms(floor)}, {floor / cp:.2f}x cp")

force("disk", "")
force("ext4", f", journaled ext4 in an image on the same disk ({fstype(ext4)})")
print()

if window_note:
    print(f"Start-up: {window_note}.")
else:
    def load(name):
        rows = [line.split() for line in open(os.path.join(results, f"window-{name}.txt"))]
        return [float(r[0]) for r in rows], [int(r[1]) for r in rows]
    bare_ms, bare_kb = load("bare")
    label_ms, label_kb = load("label")
    ref_ms, ref_kb = load("menu-label")
    app_ms, app_kb = load("plimbrook")
    med = statistics.median
    sm, mm = med(app_ms), med(app_kb)
    sr, mr = med(ref_ms), med(ref_kb)
    print(f"Start to first shown window under Xvfb ({len(app_ms)} runs each, interleaved;")
    print("bench/first_window: from fork to the window's MapNotify; peak RSS 500 ms later):")
    print(f"  plimbrook:                                 {sm:.1f} ms, peak {mm / 1024:.1f} MiB")
    print(f"  bare window, menu bar and label in Tahoma: {sr:.1f} ms, peak {mr / 1024:.1f} MiB")
    print(f"  start-up ratio {sm / sr:.2f}x   goal <= 1.1x: {verdict(sm / sr, 1.1)}")
    print(f"  memory ratio   {mm / mr:.2f}x   goal <= 1.1x: {verdict(mm / mr, 1.1)}")
    print("  Qt's own share, for reference:")
    print(f"    empty window: {med(bare_ms):.1f} ms, peak {med(bare_kb) / 1024:.1f} MiB")
    print(f"    one label in the default font: {med(label_ms):.1f} ms, "
          f"peak {med(label_kb) / 1024:.1f} MiB")
    print(f"    so a menu bar and a font cost Qt {sr - med(bare_ms):.1f} ms and "
          f"{(mr - med(bare_kb)) / 1024:.1f} MiB before Plimbrook adds anything")
PY
