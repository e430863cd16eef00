#!/usr/bin/env bash
# Kestrane's throughput beside the physical limit: the digests it cannot avoid.
#
#   tools/bench.sh [PROGRAM [BASELINE]]        (make bench)
#
# Creates its own inputs in a temporary folder (removed afterwards; nothing goes into the
# repository), runs every measurement BENCH_ROUNDS times in one run, interleaving each operation
# with its limit, and prints the medians: wall time, ratio to the limit, peak resident memory.
# Outputs of an earlier round are removed first (replacing a large file costs the file system
# extra work), but for the row that measures just that, and the disk is synced before each
# measurement. With a BASELINE program (an earlier build, say) every round measures it too, right
# after PROGRAM, and a second table compares it under the same conditions.
#
#   BENCH_SIZE_MIB   firmware-like file (default 512)
#   BENCH_LARGE_MIB  the memory check on a large input (default 2048; 0 skips it)
#   BENCH_MANY_MIB   the memory check of a wrap for 64 companies (default 32: 64 packages of it are
#                    written; 0 skips it)
#   BENCH_ROUNDS     rounds per measurement (default 3)
#   BENCH_DIR        where the temporary folder goes (default: $TMPDIR or /tmp)
#   BENCH_SETTLE     seconds to wait after the sync before each measurement (default 1)
#   BENCH_WRAPPER    a command to run every measured command under (e.g. eatmydata)
#   BENCH_PRIVATE_KEY the private half of the program's sealing key, for the -verify rows (default:
#                    the development key's, under tests/data; a program that carries another key
#                    skips them)
set -euo pipefail

program=$(readlink -f "${1:-build/kestrane}")
baseline=${2:+$(readlink -f "$2")}
# BENCH_WRAPPER runs each measured command under another, e.g. "eatmydata" to see what the
# durable writes (fsync) cost on this disk.
wrapper=${BENCH_WRAPPER:-}
size_mib=${BENCH_SIZE_MIB:-512}
large_mib=${BENCH_LARGE_MIB:-2048}
many_mib=${BENCH_MANY_MIB:-32}
rounds=${BENCH_ROUNDS:-3}
private_key=$(readlink -f "${BENCH_PRIVATE_KEY:-$(dirname "$0")/../tests/data/development-sealing-key.private.pem}")
work=$(mktemp -d "${BENCH_DIR:-${TMPDIR:-/tmp}}/kestrane-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
export XDG_CONFIG_HOME="$work/config"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM

say() { printf '%s\n' "$*" >&2; }

# --- inputs --------------------------------------------------------------------------------------
say "creating inputs in $work"
head -c $((size_mib << 20)) /dev/urandom > payload.bin
mkimage -A arm -O linux -T kernel -C none -a 0 -e 0 -n "Linux image HW 0000 1r5r2" \
    -d payload.bin image.krn >/dev/null
rm payload.bin
"$program" -genkey 0A1B2C3D4E5F -company Acme acme.wrp >/dev/null
"$program" -genkey 0A1B2C3D4E60 -company Other other.wrp >/dev/null
# Key folders for the runs for several companies: 8 and 64 companies.
mkdir -p keys8 keys64
for i in $(seq 1 64); do
    "$program" -genkey "$(printf '0A1B2C3D%04X' "$i")" -company "C$i" "keys64/c$i.wrp" >/dev/null
    [ "$i" -le 8 ] && cp "keys64/c$i.wrp" keys8/
done
# The limit of a run for 8 companies: one MD5 of the source and eight HMAC-MD5 of the wrapped file,
# one after another (sequential) or spread over the cores (spread).
limit8() { # sequential|spread
    local jobs=1
    [ "$1" = spread ] && jobs=$(nproc)
    { echo md5sum image.krn; for i in $(seq 1 8); do
        echo openssl dgst -md5 -mac HMAC -macopt hexkey:0000$(printf '0A1B2C3D%04X' "$i") image.krn.wrp; done; } |
        xargs -P "$jobs" -I{} sh -c '{} >/dev/null'
}
export -f limit8
head -c 1024 /dev/urandom > small.bin
install -m 600 "$private_key" sealing.pem
verify=yes
head -c 1024 /dev/urandom > probe.bin
"$program" -wrapping ocx -version 1.0 -key acme.wrp probe.bin >/dev/null
"$program" -verify probe.bin.wrp-Acme.enc -private sealing.pem | grep -q "^Sealing key: passed" || verify=""
rm -f probe.bin probe.bin.wrp probe.bin.wrp-Acme.enc
[ -n "$verify" ] || say "the private key is not the program's sealing key: no -verify rows"

mkdir -p web
for d in $(seq 1 30); do
    mkdir -p "web/d$d"
    for f in $(seq 1 100); do head -c $(( (RANDOM % 28 + 4) << 10 )) /dev/urandom > "web/d$d/f$f.html"; done
done

# A large tree for the streamed directory wrap: BENCH_SIZE_MIB in files of 4 MiB, eight folders.
mkdir -p bigweb
for i in $(seq 1 $(( size_mib / 4 ))); do
    mkdir -p "bigweb/d$((i % 8))"
    head -c $((4 << 20)) /dev/urandom > "bigweb/d$((i % 8))/f$i.bin"
done

# A directory of packages: a few large ones of distinct kinds that pack, and a few hundred small
# ones that the scan must read and leave out (other company, duplicates).
mkdir -p packages
package() { # type-word size-MiB name key
    head -c $(($2 << 20)) /dev/urandom > "packages/$3"
    "$program" -wrapping "$1" -version 1.0 -key "$4" "packages/$3" >/dev/null
    rm -f "packages/$3" "packages/$3.wrp"
}
package ocx 64 a-viewer.cab acme.wrp
package dome7720 48 b-dome.bin acme.wrp
package dome7760 48 c-dome.bin acme.wrp
package emergency 32 d-rescue.krn acme.wrp
cp image.krn packages/e-image.krn
"$program" -wrapping kernel -key acme.wrp packages/e-image.krn >/dev/null
rm -f packages/e-image.krn packages/e-image.krn.wrp
for i in $(seq 1 300); do
    head -c 4096 /dev/urandom > "packages/z$i.cab"
    "$program" -wrapping ocx -version 1.0 -key other.wrp "packages/z$i.cab" >/dev/null
    rm -f "packages/z$i.cab" "packages/z$i.cab.wrp"
done
admitted=$(ls packages/[a-e]*.enc)
say "inputs ready"

# --- measuring -----------------------------------------------------------------------------------
declare -A times memory
# measure NAME COMMAND...: one round; wall seconds and peak resident KiB appended to NAME's lists.
measure() {
    local name=$1; shift
    local start end
    sync # what earlier steps wrote is on disk: no writeback of theirs runs during this one
    sleep "${BENCH_SETTLE:-1}" # and the disk has caught its breath
    start=$(date +%s.%N)
    /usr/bin/time -o "$work/time.out" -f '%M' $wrapper "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    times[$name]+="$(echo "$end - $start" | bc) "
    memory[$name]+="$(cat "$work/time.out") "
}
# warm FILES...: reads files into the page cache, untimed, so that an operation and its limit both
# start from cached input (Kestrane's own outputs bypass the cache, so they are not cached after
# the run that wrote them).
warm() { cat "$@" >/dev/null; }
median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
maximum() { tr ' ' '\n' | grep -v '^$' | sort -g | tail -1; }

# eight_companies PROGRAM: a wrap for 8 companies, its limits, and 8 runs for one company each.
eight_companies() {
    local program=$1
    rm -f image.krn.wrp image.krn.wrp-*.enc
    warm image.krn
    measure wrap8 "$program" -wrapping kernel -keys keys8 image.krn
    warm image.krn image.krn.wrp
    measure limit8seq bash -c 'limit8 sequential'
    measure limit8spread bash -c 'limit8 spread'
    rm -f image.krn.wrp image.krn.wrp-*.enc
    warm image.krn
    measure eightruns bash -c 'for k in keys8/*.wrp; do "$0" -wrapping kernel -key "$k" image.krn; done' "$program"
    rm -f image.krn.wrp image.krn.wrp-*.enc
}

# one_round PROGRAM SUFFIX: one round of every measurement, filed under each name plus SUFFIX.
one_round() {
    local program=$1 suffix=$2
    rm -f image.krn.wrp image.krn.wrp-Acme.enc web.wrp bigweb.wrp packed.wrp
    warm image.krn
    measure md5sum$suffix md5sum image.krn
    measure wrap$suffix "$program" -wrapping kernel image.krn
    warm image.krn.wrp
    measure hmac$suffix openssl dgst -md5 -mac HMAC -macopt hexkey:00000A1B2C3D4E5F image.krn.wrp
    measure encrypt$suffix "$program" -key acme.wrp image.krn.wrp
    if [ -n "$verify" ]; then
        # One RSA-1024 private operation a sealed block (ten in all, well under a millisecond),
        # then one HMAC-MD5 pass over the package and one MD5 pass over the restored file.
        warm image.krn.wrp-Acme.enc
        measure hmacenc$suffix openssl dgst -md5 -mac HMAC -macopt hexkey:00000A1B2C3D4E5F image.krn.wrp-Acme.enc
        measure md5enc$suffix md5sum image.krn.wrp-Acme.enc
        measure verify$suffix "$program" -verify image.krn.wrp-Acme.enc -private sealing.pem -key acme.wrp
    fi
    rm -f image.krn.wrp image.krn.wrp-Acme.enc
    warm image.krn
    measure md5sum$suffix md5sum image.krn
    measure wrapkey$suffix "$program" -wrapping kernel -key acme.wrp image.krn
    # A user's second run: both outputs exist and are replaced.
    warm image.krn
    measure wrapkeyagain$suffix "$program" -wrapping kernel -key acme.wrp image.krn
    if [ -z "$suffix" ]; then # a baseline may know no -keys
        eight_companies "$program"
    fi
    rm -f web.tar
    measure tar$suffix tar cf web.tar -C web .
    measure tarmd5$suffix md5sum web.tar
    measure dirwrap$suffix "$program" -wrapping webpage -version 1.0 web
    warm bigweb/*/*
    measure tarpipe$suffix sh -c 'tar cf - -C bigweb . | md5sum'
    measure bigdirwrap$suffix "$program" -wrapping webpage -version 1.0 bigweb
    warm packages/*
    measure packmd5$suffix md5sum $admitted
    measure pack$suffix "$program" -pack packages -version 1.0 -dest packed.wrp
    measure small$suffix "$program" -wrapping ocx -version 1.0 small.bin
}

for round in $(seq 1 "$rounds"); do
    say "round $round of $rounds"
    one_round "$program" ""
    if [ -n "$baseline" ]; then
        one_round "$baseline" "@baseline"
    fi
done

large_rss=""
large_verify_rss=""
if [ "$large_mib" -gt 0 ]; then
    say "memory check on $large_mib MiB"
    rm -f image.krn.wrp image.krn.wrp-Acme.enc
    head -c $((large_mib << 20)) /dev/zero > large.bin
    measure large "$program" -wrapping ocx -version 1.0 -key acme.wrp large.bin
    large_rss=$(echo "${memory[large]}" | maximum)
    if [ -n "$verify" ]; then
        measure largeverify "$program" -verify large.bin.wrp-Acme.enc -private sealing.pem
        large_verify_rss=$(echo "${memory[largeverify]}" | maximum)
    fi
    rm -f large.bin large.bin.wrp large.bin.wrp-Acme.enc
fi
many_rss=""
if [ "$many_mib" -gt 0 ]; then
    say "memory check of a wrap for 64 companies on $many_mib MiB"
    head -c $((many_mib << 20)) /dev/zero > many.bin
    measure many "$program" -wrapping ocx -version 1.0 -keys keys64 many.bin
    many_rss=$(echo "${memory[many]}" | maximum)
    rm -f many.bin many.bin.wrp many.bin.wrp-*.enc
fi

# --- table ---------------------------------------------------------------------------------------
m() { echo "${times[$1]}" | median; }
rss() { echo "${memory[$1]}" | maximum; }
row() { # label seconds limit-seconds goal rss-KiB
    printf '%-34s %9.3f %10.3f %7.2f %8s %8.1f\n' "$1" "$2" "$3" "$(echo "$2 / $3" | bc -l)" "$4" "$(echo "$5 / 1024" | bc -l)"
}
# table TITLE SUFFIX: the rows of the measurements filed under SUFFIX.
table() {
    local s=$2
    echo
    echo "$1"
    printf '%-34s %9s %10s %7s %8s %8s\n' "operation" "wall s" "limit s" "ratio" "goal" "RSS MiB"
    row "wrap (vs md5sum)" "$(m wrap$s)" "$(m md5sum$s)" "<=1.15" "$(rss wrap$s)"
    row "encrypt (vs HMAC-MD5)" "$(m encrypt$s)" "$(m hmac$s)" "<=1.05" "$(rss encrypt$s)"
    row "wrap with key (vs md5sum)" "$(m wrapkey$s)" "$(m md5sum$s)" "<=1.20" "$(rss wrapkey$s)"
    row "wrap with key, outputs replaced" "$(m wrapkeyagain$s)" "$(m md5sum$s)" "<=1.20" "$(rss wrapkeyagain$s)"
    if [ -z "$s" ]; then
        row "wrap + 8 companies (vs spread)" "$(m wrap8)" "$(m limit8spread)" "<=1.20" "$(rss wrap8)"
        row "wrap + 8 companies (vs sequential)" "$(m wrap8)" "$(m limit8seq)" "-" "$(rss wrap8)"
        row "8 runs of -wrapping -key (vs spread)" "$(m eightruns)" "$(m limit8spread)" "-" "$(rss eightruns)"
    fi
    row "directory wrap (vs tar + md5sum)" "$(m dirwrap$s)" "$(echo "$(m tar$s) + $(m tarmd5$s)" | bc -l)" "<=1.20" \
        "$(rss dirwrap$s)"
    row "large directory wrap (vs tar|md5)" "$(m bigdirwrap$s)" "$(m tarpipe$s)" "<=1.05" "$(rss bigdirwrap$s)"
    row "-pack with scan (vs md5sum)" "$(m pack$s)" "$(m packmd5$s)" "<=1.20" "$(rss pack$s)"
    if [ -n "$verify" ]; then
        row "-verify (vs HMAC-MD5 + md5sum)" "$(m verify$s)" "$(echo "$(m hmacenc$s) + $(m md5enc$s)" | bc -l)" \
            "<=1.15" "$(rss verify$s)"
    fi
    row "1 KiB file, start to exit" "$(m small$s)" "0.050" "<=1.00" "$(rss small$s)"
}

echo
echo "Kestrane benchmark: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')"
echo "firmware file $size_mib MiB, large tree $(du -sm bigweb | cut -f1) MiB, web directory $(find web -type f | wc -l) files ($(du -sm web | cut -f1) MiB)," \
     "$(ls packages | wc -l) packages ($(du -cm $admitted | tail -1 | cut -f1) MiB admitted), medians of $rounds rounds"
table "$program" ""
if [ -n "$large_rss" ]; then
    printf '%-34s %9.3f %10s %7s %8s %8.1f\n' "wrap with key, $large_mib MiB" "$(m large)" "-" "-" "<=64MiB" \
        "$(echo "$large_rss / 1024" | bc -l)"
fi
if [ -n "$large_verify_rss" ]; then
    printf '%-34s %9.3f %10s %7s %8s %8.1f\n' "-verify, $large_mib MiB" "$(m largeverify)" "-" "-" "<=64MiB" \
        "$(echo "$large_verify_rss / 1024" | bc -l)"
fi
if [ -n "$many_rss" ]; then
    printf '%-34s %9.3f %10s %7s %8s %8.1f\n' "wrap + 64 companies, $many_mib MiB" "$(m many)" "-" "-" "<=64MiB" \
        "$(echo "$many_rss / 1024" | bc -l)"
fi
if [ -n "$baseline" ]; then
    table "$baseline (baseline, measured in the same rounds)" "@baseline"
fi
echo "limits: md5sum, openssl dgst -md5 -mac HMAC, tar cf; for 8 companies md5sum + 8 HMAC-MD5 one after"
echo "another (sequential) or over all cores at once (spread); RSS goal <= 64 MiB for every row"
