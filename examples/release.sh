#!/usr/bin/env bash
# A firmware release for one customer company, run on a build server without a display.
#
#   release.sh COMPANY KERNEL_IMAGE WEB_DIRECTORY VERSION OUT_DIRECTORY
#
# Generates the company's key file, wraps and encrypts a kernel image and a web directory for the
# company, packs both into a package file, encrypts the package file, and checks every output.
# KESTRANE names the program (default: kestrane on PATH). Stops at the first failure.
set -euo pipefail

kestrane=${KESTRANE:-kestrane}
company=$1 kernel=$2 web=$3 version=$4 out=$5
key="$out/$company.wrp"
packages="$out/$company-$version"

mkdir -p "$packages"

# 1. The company key file. The program prints the 12 digits it drew: keep them with the release
#    records, they are the company's secret.
"$kestrane" -genkey random -company "$company" "$key"

# 2. The kernel: wrapped (its version comes from the image) and encrypted in one run.
"$kestrane" -wrapping kernel -key "$key" "$kernel"

# 3. The web pages: wrapped with the release version, then encrypted.
"$kestrane" -wrapping webpage -version "$version" "$web"
"$kestrane" -key "$key" "$web.wrp"

# 4. Both encrypted packages into one package file, encrypted for the company as well.
mv "$kernel.wrp-$company.enc" "$web.wrp-$company.enc" "$packages/"
"$kestrane" -pack "$packages" -version "$version" -dest "$out/$company-K$version.wrp" -key "$key"

# 5. Check every output: MD5 trailers of the plain files, tags of the encrypted ones.
for file in "$key" "$kernel.wrp" "$web.wrp" "$out/$company-K$version.wrp"; do
    "$kestrane" -info "$file"
done
for file in "$packages"/*.enc "$out/$company-K$version.wrp-$company.pkg"; do
    "$kestrane" -info "$file" -key "$key"
done
