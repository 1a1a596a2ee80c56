# Entry points. `make test` sets up, builds and runs every test (plain, the Debian package and
# its installed programs, sanitized, and a short fixed run of the pulldown fuzzer in a clang
# build); `make run` sets up, builds and runs an unattended queue; `make package` makes the
# Debian package.
BUILD      ?= build
BUILD_SAN  ?= build-san
BUILD_FUZZ ?= build-fuzz
JOBS       ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all setup build build-san build-fuzz test test-plain test-san test-fuzz run bench format \
        format-check clean package test-package

all: build

setup:
	./scripts/setup.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTAQ_WERROR=ON $(CMAKE_FLAGS)

$(BUILD_SAN)/build.ninja:
	cmake -S . -B $(BUILD_SAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVANTAQ_WERROR=ON \
	    -DVANTAQ_SANITIZE=ON -DVANTAQ_BUILD_GUI=OFF $(CMAKE_FLAGS)

$(BUILD_FUZZ)/build.ninja:
	cmake -S . -B $(BUILD_FUZZ) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTAQ_WERROR=ON \
	    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVANTAQ_FUZZ=ON \
	    -DVANTAQ_SANITIZE=ON -DVANTAQ_BUILD_GUI=OFF $(CMAKE_FLAGS)

build: setup $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

build-san: setup $(BUILD_SAN)/build.ninja
	cmake --build $(BUILD_SAN) -j $(JOBS)

# Only the fuzzer is built there.
build-fuzz: setup $(BUILD_FUZZ)/build.ninja
	cmake --build $(BUILD_FUZZ) -j $(JOBS) --target vantaq_pulldown_fuzzer vantaq_probe_fuzzer

test-plain: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-san: build-san
	cd $(BUILD_SAN) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	    ctest --output-on-failure -j $(JOBS) -LE no-sanitizer

test-fuzz: build-fuzz
	cd $(BUILD_FUZZ) && ctest --output-on-failure -L fuzz

# The Debian package of the plain build (CPack): $(BUILD)/vantaq_VERSION_ARCH.deb.
package: build
	cmake --build $(BUILD) --target package

# Its file list, dependencies and lintian, then its programs run as installed, for a user.
test-package: package
	./scripts/check-package.sh $(BUILD)

test: format-check test-plain test-package test-san test-fuzz

run: build
	./scripts/run-queue.sh $(BUILD)

bench: setup $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target benchmarks
	./scripts/run-bench.sh $(BUILD)

format:
	find src tests tools bench -name '*.cpp' -o -name '*.h' | xargs clang-format -i

format-check: setup
	find src tests tools bench -name '*.cpp' -o -name '*.h' | xargs clang-format --dry-run --Werror

clean:
	rm -rf $(BUILD) $(BUILD_SAN) $(BUILD_FUZZ)
