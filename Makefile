# Entry points. `make test` sets up and runs every check, printing each phase's time at the end:
# the layer and no-Qt checks, the format check, the plain build (gcc) and all its tests, the
# Debian package and its installed programs, then one clang build with AddressSanitizer and UBSan
# (-O1) that runs the tests again except the end-to-end ones (label end-to-end) and every fuzzer
# for a fixed number of inputs. `make fuzz-long` runs each fuzzer for FUZZ_SECONDS (default 300).
# `make run` sets up, builds and runs an unattended queue; `make package` makes the Debian package.
BUILD      ?= build
BUILD_SAN  ?= build-san
JOBS       ?= $(shell nproc)
CMAKE_FLAGS ?=
FUZZ_SECONDS ?= 300
# Internal: the sub-makes of `test` leave out the set-up step the run already took.
SETUP      ?= setup
PHASES     := $(BUILD)/phase-times.txt
PHASE      := ./scripts/phase.sh $(PHASES)
SUBMAKE    := $(MAKE) --no-print-directory SETUP=

# The compiler cache (CMakeLists.txt launches the compilers through ccache) serves a clean clone
# at any path on this machine: paths below the checkout are hashed relative to it, and the
# compiler's working folder is left out of the hash.
export CCACHE_BASEDIR := $(CURDIR)
export CCACHE_NOHASHDIR := 1
export CCACHE_SLOPPINESS := pch_defines,time_macros,include_file_mtime,include_file_ctime

.PHONY: all setup build build-san test test-quick test-plain test-san test-fuzz fuzz-long run \
        bench format format-check clean package test-package

all: build

setup:
	./scripts/setup.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTAQ_WERROR=ON $(CMAKE_FLAGS)

# clang at -O1 with line tables only: quick to build, quick to run, and stack traces that name
# the lines. The unit tests and the fuzzers share the objects.
$(BUILD_SAN)/build.ninja:
	cmake -S . -B $(BUILD_SAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	    "-DCMAKE_C_FLAGS_DEBUG=-O1 -gline-tables-only" \
	    "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -gline-tables-only" \
	    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVANTAQ_WERROR=ON \
	    -DVANTAQ_SANITIZE=ON -DVANTAQ_FUZZ=ON -DVANTAQ_BUILD_GUI=OFF $(CMAKE_FLAGS)

build: $(SETUP) $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

build-san: $(SETUP) $(BUILD_SAN)/build.ninja
	cmake --build $(BUILD_SAN) -j $(JOBS)

# Quick checks of the sources alone, before anything is built.
test-quick:
	./scripts/check-layers.sh .
	./scripts/check-core-no-qt.sh .
	./scripts/check-file-dialogs.sh .

test-plain: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

SAN_ENV := ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1

test-san: build-san
	cd $(BUILD_SAN) && $(SAN_ENV) ctest --output-on-failure -j $(JOBS) -LE 'end-to-end|fuzz'

test-fuzz: build-san
	cd $(BUILD_SAN) && $(SAN_ENV) ctest --output-on-failure -j $(JOBS) -L fuzz

# Every fuzzer for FUZZ_SECONDS from a random seed, one after another; new inputs collect in
# $(BUILD_SAN)/tests/fuzz/NAME/corpus, failing ones beside it.
fuzz-long: build-san
	@for f in $(BUILD_SAN)/tests/fuzz/list/*; do \
	    echo "== $$(basename $$f) for $(FUZZ_SECONDS) s"; \
	    $(SAN_ENV) FUZZ_SECONDS=$(FUZZ_SECONDS) sh -c "$$(cat $$f)" || exit 1; \
	done

# The Debian package of the plain build (CPack): $(BUILD)/vantaq_VERSION_ARCH.deb.
package: build
	cmake --build $(BUILD) --target package

# Its file list, dependencies and lintian, then its programs run as installed, for a user.
test-package: package
	./scripts/check-package.sh $(BUILD)

# Each phase in turn, timed; the times are printed at the end whatever the outcome.
test: $(SETUP)
	@mkdir -p $(BUILD) && rm -f $(PHASES)
	@$(PHASE) "layers, no Qt" $(SUBMAKE) test-quick && \
	$(PHASE) "format check" $(SUBMAKE) format-check && \
	$(PHASE) "plain build" $(SUBMAKE) build && \
	$(PHASE) "plain tests" $(SUBMAKE) test-plain && \
	$(PHASE) "package" $(SUBMAKE) test-package && \
	$(PHASE) "sanitizer build" $(SUBMAKE) build-san && \
	$(PHASE) "sanitizer tests" $(SUBMAKE) test-san && \
	$(PHASE) "fuzz" $(SUBMAKE) test-fuzz; \
	status=$$?; ./scripts/phase.sh --report $(PHASES); exit $$status

run: build
	./scripts/run-queue.sh $(BUILD)

bench: $(SETUP) $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target benchmarks
	./scripts/run-bench.sh $(BUILD)

format:
	find src tests tools bench -name '*.cpp' -o -name '*.h' | xargs clang-format -i

format-check: $(SETUP)
	find src tests tools bench -name '*.cpp' -o -name '*.h' | xargs clang-format --dry-run --Werror

clean:
	rm -rf $(BUILD) $(BUILD_SAN)
