# Set-up, build, run and test on Debian 12. `make run` and `make test` install whatever
# Debian packages are missing, configure and build in build/, then start the program or
# run every test through CTest.

BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)

# Build tools and libraries, and the independent readers the tests compare against.
PACKAGES := build-essential cmake pkg-config ninja-build qt6-base-dev libgl-dev \
            libgtest-dev libgmock-dev libssl-dev zlib1g-dev fonts-liberation clang \
            mdbtools mdbtools-dev python3-dbf python3-dbfread pgdbf ruby-dbf hyperfine time

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps build run test bench clean format

all: build

deps:
	@missing=""; \
	for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	command -v node >/dev/null 2>&1 && command -v npm >/dev/null 2>&1 || missing="$$missing nodejs npm"; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi
	@$(MAKE) --no-print-directory -C tests/oracles

$(BUILD_DIR)/build.ninja: CMakeLists.txt
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

build: deps $(BUILD_DIR)/build.ninja
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	$(BUILD_DIR)/bin/tablewright

test: build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)
	@# The Access reader's fuzz target, in its own clang build folder, run for about 20 s.
	[ -f build-fuzz/build.ninja ] || CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTW_FUZZ=ON
	cmake --build build-fuzz -j $(JOBS) --target jet_fuzz
	cd build-fuzz && ctest -R jet_fuzz --output-on-failure

bench: build
	bench/run-all.sh $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i
