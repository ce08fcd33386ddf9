# Drivelink: the two set-up commands.
#   make run   installs what is missing, builds, starts the program on its simulated bus
#   make test  installs what is missing, builds with the sanitizers, runs every test
#   make bench installs what is missing, builds the release configuration, runs the benchmarks
#   make fuzz  installs clang, builds the fuzz targets, runs each for FUZZ_SECONDS (default 60)
PACKAGES := cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev \
            libmosquitto-dev libprotobuf-dev protobuf-compiler \
            libxkbcommon-dev fonts-dejavu-core qt6-charts-dev qt6-translations-l10n
# What `make package` and `make package-check` need besides: the .deb tools and the validators.
PACKAGE_TOOLS := dpkg-dev file fakeroot desktop-file-utils appstream lintian man-db \
                 bash-completion
# The peers of the tests and benchmarks: the broker publish's tests start on 127.0.0.1, and a
# libmodbus and a pymodbus slave on socat pseudo-terminals.
TEST_PACKAGES := mosquitto libmodbus-dev python3-pymodbus socat
# Only the benchmarks use these (libmodbus is the peer they measure against).
BENCH_PACKAGES := libmodbus-dev
# Only the fuzz targets use these: clang with its libFuzzer and sanitizer runtimes.
FUZZ_PACKAGES := clang libclang-rt-dev
NEEDED   ?= $(PACKAGES)
RUN_DIR  := build/run
TEST_DIR := build/test
FUZZ_DIR := build/fuzz
FUZZ_SECONDS ?= 60
JOBS     ?= $(shell nproc)

.PHONY: run test bench fuzz deps build build-test package package-check clean

deps:
	@missing=""; \
	for p in $(NEEDED); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" != 0 ]; then \
	    echo "Missing packages. Run as root:"; \
	    echo "  apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y$$missing"; \
	    exit 1; \
	  fi; \
	  echo "Installing:$$missing"; \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq$$missing; \
	fi

build: deps
	cmake -S . -B $(RUN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(RUN_DIR) -j $(JOBS)

build-test:
	$(MAKE) deps NEEDED="$(PACKAGES) $(TEST_PACKAGES)"
	cmake -S . -B $(TEST_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDRIVELINK_SANITIZE=ON
	cmake --build $(TEST_DIR) -j $(JOBS)

run: build
	$(RUN_DIR)/drivelink --simulate

test: build-test
	cd $(TEST_DIR) && QT_QPA_PLATFORM=offscreen \
	  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS)

# Only the benchmarks and the tools they drive are built, in the release configuration.
bench:
	$(MAKE) deps NEEDED="$(PACKAGES) $(TEST_PACKAGES) $(BENCH_PACKAGES)"
	cmake -S . -B $(RUN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(RUN_DIR) -j $(JOBS) --target run_benchmarks

# The fuzz targets: clang, the core, the command-line tool and the simulator instrumented for
# libFuzzer and both sanitizers, in a build directory of their own; no windows, no tests.
fuzz:
	$(MAKE) deps NEEDED="$(PACKAGES) $(FUZZ_PACKAGES)"
	cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_COMPILER=clang++ -DDRIVELINK_FUZZ=ON
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target drivelink_fuzzers
	fuzz/run-fuzzers.sh $(FUZZ_DIR) $(FUZZ_SECONDS)

# The Debian package from the release build, copied next to this Makefile.
package:
	$(MAKE) deps NEEDED="$(PACKAGES) $(PACKAGE_TOOLS)"
	cmake -S . -B $(RUN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(RUN_DIR) -j $(JOBS) --target drivelink drivelink-cli drivelink-sim \
	  drivelink_packaged_files
	cd $(RUN_DIR) && cpack -G DEB
	cp $(RUN_DIR)/drivelink_*.deb .

# Builds the package, installs it into a temporary root and runs and validates what it holds.
package-check: package
	packaging/check-package.sh $(RUN_DIR)

clean:
	rm -rf build
