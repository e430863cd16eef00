# Front door: one target per job a person has.
#   make run    install what is missing, build, start Kestrane
#   make test   install what is missing, build, run every test headless
#   make bench  measure throughput against md5sum, openssl and tar

BUILD_DIR := build
PRESET    := default

# Debian packages the build and the tests need.
PACKAGES := cmake ninja-build g++ qt6-base-dev libmbedtls-dev libgtest-dev openssl tar \
            u-boot-tools xvfb xauth x11-utils xdotool fonts-nanum time bc

SUDO := $(shell if [ "$$(id -u)" -ne 0 ] && command -v sudo >/dev/null 2>&1; then echo sudo; fi)

.PHONY: all deps build test run bench clean

all: build

deps:
	@missing=""; \
	for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update && \
	  $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $$missing; \
	fi

build: deps
	cmake --preset $(PRESET)
	cmake --build --preset $(PRESET)

test: build
	QT_QPA_PLATFORM=offscreen ctest --preset $(PRESET) --parallel 2

run: build
	./$(BUILD_DIR)/kestrane

# Throughput beside the physical limit (see tools/bench.sh for BENCH_SIZE_MIB and friends).
bench: build
	tools/bench.sh $(BUILD_DIR)/kestrane

clean:
	rm -rf $(BUILD_DIR)
