# Set-up, build, run and test on Debian 12. `make run` and `make test` install whatever
# Debian packages are missing, configure and build in build/, then start the program or
# run every test through CTest. `make format` formats the sources as .clang-format says;
# `make format-check` lists what it would change.

BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)

# What building and running the program need (Liberation Sans stands in for Arial).
PACKAGES := build-essential cmake pkg-config ninja-build qt6-base-dev libgl-dev \
            libssl-dev zlib1g-dev fonts-liberation
# What the tests need besides: GoogleTest, the fuzzer's compiler, the format and
# function-size checks, the independent readers the tests compare against (npm brings
# the last one, see tests/oracles), and Debian's checks of the menu entry, the AppStream
# file and the .deb.
TEST_PACKAGES := libgtest-dev libgmock-dev clang clang-format clang-tidy mdbtools mdbtools-dev python3-dbf \
                 python3-dbfread pgdbf ruby-dbf desktop-file-utils appstream lintian
# What the benchmarks need besides: timers, and an X server with input for the window.
BENCH_PACKAGES := hyperfine time xvfb xauth xdotool x11-utils

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

# $(call install_missing,PACKAGES): apt-get installs those of PACKAGES not yet installed.
define install_missing
	@missing=""; \
	for p in $(1); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi
endef

CONFIGURE = cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

.PHONY: all deps test-deps bench-deps build run test bench clean format format-check

all: build

deps:
	$(call install_missing,$(PACKAGES))

test-deps:
	$(call install_missing,$(TEST_PACKAGES) $(shell command -v node >/dev/null 2>&1 && command -v npm >/dev/null 2>&1 || echo nodejs npm))
	@$(MAKE) --no-print-directory -C tests/oracles

bench-deps:
	$(call install_missing,$(BENCH_PACKAGES))

# Everything: the programs, the tools, the tests and the benchmarks.
build: deps test-deps
	$(CONFIGURE) -DTW_BUILD_TESTS=ON
	cmake --build $(BUILD_DIR) -j $(JOBS)

# The program, its sample database and its pictures only. A build folder made here leaves
# the tests out, so that running needs none of the test packages; `make test` and
# `make build` configure it again with them.
run: deps
	[ -f $(BUILD_DIR)/build.ninja ] || $(CONFIGURE) -DTW_BUILD_TESTS=OFF
	cmake --build $(BUILD_DIR) -j $(JOBS) --target tablewright tw_sample_database tw_program_art
	$(BUILD_DIR)/bin/tablewright

test: deps test-deps
	@# The sources must be formatted as .clang-format says (`make format` does it).
	$(MAKE) --no-print-directory format-check
	$(CONFIGURE) -DTW_BUILD_TESTS=ON
	cmake --build $(BUILD_DIR) -j $(JOBS)
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)
	@# The Access reader's fuzz target, in its own clang build folder, run for about 20 s.
	[ -f build-fuzz/build.ninja ] || CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTW_FUZZ=ON
	cmake --build build-fuzz -j $(JOBS) --target jet_fuzz
	cd build-fuzz && ctest -R jet_fuzz --output-on-failure

bench: test-deps bench-deps build
	bench/run-all.sh $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR)

# clang-format as Debian 12 ships it (14), with the rules of .clang-format.
format:
	git ls-files '*.cpp' '*.h' | xargs -r clang-format -i --style=file

format-check:
	git ls-files '*.cpp' '*.h' | xargs -r clang-format --dry-run -Werror --style=file
