# Front door: one target per job a person has.
#   make run        install what is missing, build, start Kestrane (without a display: show the
#                   command line at work)
#   make test       install what is missing, build, run every test headless
#   make test-asan  the same tests built with AddressSanitizer and UndefinedBehaviorSanitizer
#   make fuzz       build the fuzz targets (clang, libFuzzer) and run each for FUZZ_SECONDS
#   make bench      measure throughput against md5sum, openssl and tar
#   make package    build the Debian package kestrane_<version>_<arch>.deb in build/
#   make release SEALING_KEY=public.pem
#                   the optimised program for production with the maker's public sealing key
#                   (build-release/kestrane); refuses a missing key and the development key
#   make windows    the Windows release, cross-built (build-windows/): kestrane-<version>-win64.zip
#                   and kestrane-<version>-win64-setup.exe, its dialogs checked under Wine
#                   (SEALING_KEY= as for make release; without it the development key)
#   make test-windows
#                   the core's tests and kestrane-cli.exe built for Windows and run under Wine,
#                   kestrane-cli.exe's files compared with the Linux program's

BUILD_DIR := build
PRESET    := default

# Debian packages that building and running need (the dialogs' Korean labels need the font)...
PACKAGES := cmake ninja-build g++ qt6-base-dev libssl-dev tar fonts-nanum
# ...what the tests and the benchmark add...
TEST_PACKAGES := libgtest-dev openssl u-boot-tools xvfb xauth x11-utils xdotool time bc file \
                 desktop-file-utils appstream groff-base man-db python3
# ...and what building the Debian package adds (dpkg-shlibdeps, and file to find the programs).
PACKAGE_PACKAGES := dpkg-dev file lintian

# The Windows build: MinGW-w64, the tools that build Qt and OpenSSL from Debian's sources (Qt's
# host tools are Debian's), Wine to run the tests, NSIS for the installer, ImageMagick for the icon.
WINDOWS_PACKAGES := g++-mingw-w64-x86-64-posix qt6-base-dev-tools libgtest-dev perl curl xz-utils \
                    wine wine64 nsis imagemagick unzip
WINDOWS_BUILD_DIR := build-windows
WINDOWS_TEST_DIR  := build-windows-test
# The Qt test-windows builds against: "core" (Qt Core only; the full Qt when it is there) or "full".
WINDOWS_QT ?= core
# A release build with SEALING_KEY (even an empty one, which is refused), else the development key.
WINDOWS_KEY = $(if $(filter undefined,$(origin SEALING_KEY)),,release "$(if $(SEALING_KEY),$(abspath $(SEALING_KEY)))")

# The fuzz build needs clang and its libFuzzer runtime besides.
FUZZ_PACKAGES := clang libclang-rt-14-dev
FUZZ_SECONDS  ?= 60
FUZZ_TARGETS  ?=

# Made once the packages were checked (those to build and run; with the test tools); remade when this file (and so the package list) changes.
DEPS_STAMP      := $(BUILD_DIR)/.deps-checked
TEST_DEPS_STAMP := $(BUILD_DIR)/.test-deps-checked

SUDO := $(shell if [ "$$(id -u)" -ne 0 ] && command -v sudo >/dev/null 2>&1; then echo sudo; fi)

.PHONY: all deps deps-test deps-package deps-fuzz deps-windows build test test-asan fuzz run bench package release \
        windows test-windows clean

all: build

# Installs the Debian packages of $(1) that are missing.
define install_missing
@missing=""; \
for p in $(1); do \
  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "ok installed" || missing="$$missing $$p"; \
done; \
if [ -n "$$missing" ]; then \
  echo "Installing:$$missing"; \
  $(SUDO) apt-get update && \
  $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $$missing; \
fi
endef

deps:
	$(call install_missing,$(PACKAGES))

deps-test: deps
	$(call install_missing,$(TEST_PACKAGES))

deps-package: deps
	$(call install_missing,$(PACKAGE_PACKAGES))

$(DEPS_STAMP): Makefile
	$(call install_missing,$(PACKAGES))
	@mkdir -p $(@D) && touch $@

$(TEST_DEPS_STAMP): Makefile
	$(call install_missing,$(PACKAGES) $(TEST_PACKAGES))
	@mkdir -p $(@D) && touch $@

deps-fuzz: deps
	$(call install_missing,$(FUZZ_PACKAGES))

deps-windows: deps-test
	$(call install_missing,$(WINDOWS_PACKAGES))

build: $(DEPS_STAMP)
	cmake --preset $(PRESET)
	cmake --build --preset $(PRESET)

test: $(TEST_DEPS_STAMP) build
	QT_QPA_PLATFORM=offscreen ctest --preset $(PRESET) --parallel 2 --no-tests=error

# The core, the dialogs, the program and every test, built with ASan and UBSan (build-asan/).
test-asan: $(TEST_DEPS_STAMP)
	cmake --preset asan
	cmake --build --preset asan -j2
	ctest --preset asan --parallel 2

# Fuzz targets in build-fuzz/; new corpus entries and findings stay there (fuzz-corpus/,
# fuzz-artifacts/). FUZZ_TARGETS picks some, e.g. make fuzz FUZZ_SECONDS=10 FUZZ_TARGETS=info_command
fuzz: deps-fuzz
	cmake --preset fuzz
	cmake --build --preset fuzz -j2
	tests/fuzz/run_fuzzers.sh build-fuzz $(FUZZ_SECONDS) $(FUZZ_TARGETS)

run: build
	tools/run.sh $(BUILD_DIR)/kestrane

# Throughput beside the physical limit (see tools/bench.sh for BENCH_SIZE_MIB and friends).
bench: $(TEST_DEPS_STAMP) build
	tools/bench.sh $(BUILD_DIR)/kestrane

package: deps-package build
	cd $(BUILD_DIR) && cpack -G DEB

# An empty SEALING_KEY is passed on too, so that CMake refuses it rather than reusing a cached key.
release: $(DEPS_STAMP)
	cmake --preset release -DKESTRANE_SEALING_KEY=$(if $(SEALING_KEY),$(abspath $(SEALING_KEY)))
	cmake --build --preset release -j2

# Windows (tools/windows/): the libraries are built once into /var/cache/kestrane-windows.
windows: deps-windows
	tools/windows/build.sh full $(WINDOWS_BUILD_DIR) programs $(WINDOWS_KEY)
	cd $(WINDOWS_BUILD_DIR) && cpack
	tests/windows/dialog_check.sh $(WINDOWS_BUILD_DIR)/kestrane-*-win64.zip

test-windows: deps-windows build
	tools/windows/build.sh $(WINDOWS_QT) $(WINDOWS_TEST_DIR) tests
	tests/windows/run_tests.sh $(WINDOWS_TEST_DIR) $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR) build-asan build-fuzz build-release $(WINDOWS_BUILD_DIR) $(WINDOWS_TEST_DIR)
