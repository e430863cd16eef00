#!/usr/bin/env bash
# A firmware release for one customer company, run on a build server.
#
#   release.sh [--new-key COMPANY] [--verify-with SEALING_KEY.pem] KEY_FILE KERNEL_IMAGE WEB_DIRECTORY
#              VERSION OUT_DIRECTORY
#
# Wraps and encrypts a kernel image and a web directory for the company of KEY_FILE, packs both
# into a package file, encrypts the package file (with a manifest of what it shipped,
# OUT_DIRECTORY/COMPANY-KVERSION.wrp.json), and checks every output. Every output goes to
# OUT_DIRECTORY: the sources may lie in a read-only tree.
#
# KEY_FILE is the company's key file, which lives longer than a release: it is taken as it is.
# Only with --new-key is it generated first, for COMPANY, with random key digits; an existing
# KEY_FILE is never replaced. The digits are not printed (the log of a build server is no place
# for them): they are in KEY_FILE, which only its owner can read.
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
key=$1 kernel=$2 web=$3 version=$4 out=$5

# -batch: no dialog and no question, even on a desktop; a missing version fails at once.
run() { "$kestrane" -batch "$@"; }

mkdir -p "$out"

# 1. The company key file: generated only when asked, otherwise read for its company name. The
#    program prints drawn digits on a terminal only: through the pipe, not even there.
if [[ -n $new_company ]]; then
    run -genkey random -company "$new_company" "$key" | cat
fi
company=$(run -info "$key" | sed -n 's/^Key file company: //p')
if [[ -z $company ]]; then
    echo "$key is no company key file" >&2
    exit 1
fi
packages="$out/$company-$version"
mkdir -p "$packages"

# 2. The kernel: wrapped (its version comes from the image) and encrypted in one run, into the
#    folder of the packages.
kernel_wrapped="$out/$(basename "$kernel").wrp"
run -wrapping kernel -key "$key" -dest "$kernel_wrapped" "$kernel"
mv "$kernel_wrapped-$company.enc" "$packages/"

# 3. The web pages: wrapped with the release version, then encrypted.
web_wrapped="$out/$(basename "$web").wrp"
run -wrapping webpage -version "$version" -dest "$web_wrapped" "$web"
run -key "$key" -dest "$packages/$(basename "$web_wrapped")-$company.enc" "$web_wrapped"

# 4. Both encrypted packages into one package file, encrypted for the company as well; the
#    manifest records what was shipped (sizes and SHA-256 of the packages, the package files and
#    the key file). SOURCE_DATE_EPOCH, when set, gives its time.
package_file="$out/$company-K$version.wrp"
run -pack "$packages" -version "$version" -dest "$package_file" -key "$key" -manifest "$package_file.json"

# 5. Check every output: MD5 trailers of the plain files, tags of the encrypted ones, and the
#    packages the package files hold.
for file in "$key" "$kernel_wrapped" "$web_wrapped" "$package_file"; do
    run -info "$file"
done
for file in "$packages"/*.enc "$package_file-$company.pkg"; do
    run -info "$file" -key "$key"
done

# 6. With the private key: every encrypted output opens as it will on the device.
if [[ -n $private_key ]]; then
    for file in "$packages"/*.enc "$package_file-$company.pkg"; do
        run -verify "$file" -private "$private_key" ${KESTRANE_PASSIN:+-passin "$KESTRANE_PASSIN"} -key "$key"
    done
fi
