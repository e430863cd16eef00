#!/usr/bin/env bash
# A firmware release for one customer company or several, run on a build server.
#
#   release.sh [--new-key COMPANY] [--verify-with SEALING_KEY.pem] KEY_FILE [KEY_FILE...] KERNEL_IMAGE
#              WEB_DIRECTORY VERSION OUT_DIRECTORY
#
# Wraps a kernel image and a web directory once and encrypts each for the company of every
# KEY_FILE in the same run (the wrapped file read once, the packages written side by side, all or
# none), packs each company's packages into a package file, encrypts that package file for its
# company (with a manifest of what it shipped, OUT_DIRECTORY/COMPANY-KVERSION.wrp.json), and
# checks every output. Every output goes to OUT_DIRECTORY: the sources may lie in a read-only tree.
#
# A KEY_FILE is a company's key file, which lives longer than a release: it is taken as it is.
# Only with --new-key is one generated first (the only KEY_FILE then), for COMPANY, with random
# key digits; an existing KEY_FILE is never replaced. The digits are not printed (the log of a
# build server is no place for them): they are in KEY_FILE, which only its owner can read.
#
# With --verify-with, every encrypted output is also opened as the device would open it, with the
# private half of the sealing key (a PEM file only its owner can read; an encrypted one takes its
# passphrase from KESTRANE_PASSIN, e.g. env:VAR or file:PATH).
#
# KESTRANE names the program (default: kestrane on PATH). Stops at the first failure.
set -euo pipefail

kestrane=${KESTRANE:-kestrane}
new_company= private_key=
while [[ ${1-} == --* ]]; do
    case $1 in
    --new-key) new_company=$2 ;;
    --verify-with) private_key=$2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
    esac
    shift 2
done
if (($# < 5)); then
    echo "usage: $0 [--new-key COMPANY] [--verify-with SEALING_KEY.pem] KEY_FILE [KEY_FILE...] KERNEL_IMAGE WEB_DIRECTORY VERSION OUT_DIRECTORY" >&2
    exit 2
fi
keys=("${@:1:$#-4}")
kernel=${*: -4:1} web=${*: -3:1} version=${*: -2:1} out=${*: -1:1}
if [[ -n $new_company && ${#keys[@]} -ne 1 ]]; then
    echo "--new-key makes one key file" >&2
    exit 2
fi

# -batch: no dialog and no question, even on a desktop; a missing version fails at once.
run() { "$kestrane" -batch "$@"; }

mkdir -p "$out"

# 1. The company key files: generated only when asked, otherwise read for their company names.
#    The program prints drawn digits on a terminal only: through the pipe, not even there.
if [[ -n $new_company ]]; then
    run -genkey random -company "$new_company" "${keys[0]}" | cat
fi
companies=()
key_options=()
for key in "${keys[@]}"; do
    company=$(run -info "$key" | sed -n 's/^Key file company: //p')
    if [[ -z $company ]]; then
        echo "$key is no company key file" >&2
        exit 1
    fi
    companies+=("$company")
    key_options+=(-key "$key")
    mkdir -p "$out/$company-$version"
done

# 2. The kernel: wrapped once (its version comes from the image) and encrypted for every company
#    in the same run; each package goes into its company's folder.
kernel_wrapped="$out/$(basename "$kernel").wrp"
run -wrapping kernel "${key_options[@]}" -dest "$kernel_wrapped" "$kernel"

# 3. The web pages: wrapped with the release version, then encrypted for every company in one run
#    that reads the wrapped file once.
web_wrapped="$out/$(basename "$web").wrp"
run -wrapping webpage -version "$version" -dest "$web_wrapped" "$web"
run "${key_options[@]}" "$web_wrapped"
for company in "${companies[@]}"; do
    mv "$kernel_wrapped-$company.enc" "$web_wrapped-$company.enc" "$out/$company-$version/"
done

# 4. Per company: both encrypted packages into one package file, encrypted for the company as
#    well; the manifest records what was shipped (sizes and SHA-256 of the packages, the package
#    files and the key file). SOURCE_DATE_EPOCH, when set, gives its time.
for i in "${!keys[@]}"; do
    company=${companies[$i]}
    package_file="$out/$company-K$version.wrp"
    run -pack "$out/$company-$version" -version "$version" -dest "$package_file" -key "${keys[$i]}" \
        -manifest "$package_file.json"
done

# 5. Check every output: MD5 trailers of the plain files, tags of the encrypted ones, and the
#    packages the package files hold.
for file in "${keys[@]}" "$kernel_wrapped" "$web_wrapped"; do
    run -info "$file"
done
for i in "${!keys[@]}"; do
    company=${companies[$i]}
    run -info "$out/$company-K$version.wrp"
    for file in "$out/$company-$version"/*.enc "$out/$company-K$version.wrp-$company.pkg"; do
        run -info "$file" -key "${keys[$i]}"
    done
done

# 6. With the private key: every encrypted output opens as it will on the device.
if [[ -n $private_key ]]; then
    for i in "${!keys[@]}"; do
        company=${companies[$i]}
        for file in "$out/$company-$version"/*.enc "$out/$company-K$version.wrp-$company.pkg"; do
            run -verify "$file" -private "$private_key" ${KESTRANE_PASSIN:+-passin "$KESTRANE_PASSIN"} -key "${keys[$i]}"
        done
    done
fi
