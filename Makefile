# Thin wrapper around CMake. `make run` and `make test` work as root on a fresh Debian 12 machine.
BUILD      ?= build
BUILD_ASAN ?= build-asan
BUILD_TSAN ?= build-tsan
BUILD_FUZZ ?= build-fuzz
FUZZ_SECONDS ?= 60
JOBS       ?= $(shell nproc)
# Warnings are errors in every build `make test` makes.
WERROR     ?= ON

.PHONY: all deps build build-asan build-tsan build-fuzz run test test-release test-asan test-tsan \
        test-fuzz fuzz soak bench format format-check clean

all: build

deps:
	./scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DZOLVA_WERROR=$(WERROR)
	cmake --build $(BUILD) -j $(JOBS)

build-asan: deps
	cmake -S . -B $(BUILD_ASAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZOLVA_SANITIZE=ON -DZOLVA_BENCH=OFF -DZOLVA_WERROR=$(WERROR)
	cmake --build $(BUILD_ASAN) -j $(JOBS)

build-tsan: deps
	cmake -S . -B $(BUILD_TSAN) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZOLVA_TSAN=ON -DZOLVA_BENCH=OFF -DZOLVA_WERROR=$(WERROR)
	cmake --build $(BUILD_TSAN) -j $(JOBS)

# The libFuzzer harnesses of tests/fuzz, built with clang in a build of their own.
build-fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(BUILD_FUZZ) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZOLVA_FUZZ=ON -DZOLVA_BENCH=OFF -DZOLVA_WERROR=$(WERROR)
	cmake --build $(BUILD_FUZZ) -j $(JOBS)

# The main job. With a display (DISPLAY or WAYLAND_DISPLAY set) the desktop program opens its two
# windows; without one the headless program builds the default round twinlead and solves it fully.
run: build
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ] && [ -x ./$(BUILD)/app/zolva ]; then \
	  echo ./$(BUILD)/app/zolva; ./$(BUILD)/app/zolva; \
	else \
	  echo ./$(BUILD)/app/zolva-batch; ./$(BUILD)/app/zolva-batch; \
	fi

test: format-check test-release test-asan test-tsan test-fuzz

# The sources as clang-format 14 (Debian 12's, which install-deps.sh installs) lays them out.
format-check: deps
	@test "$$(clang-format --version | grep -o 'version [0-9]*')" = "version 14" || \
	  { echo "format-check: needs clang-format 14"; exit 1; }
	find src app python tests bench -name '*.cpp' -o -name '*.h' | xargs clang-format --dry-run --Werror

test-release: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -LE slow

test-asan: build-asan
	cd $(BUILD_ASAN) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS) -LE slow

# ThreadSanitizer over the tests of the threaded code: the worker pool, the relaxation, the
# elimination, the apron cache of the field prediction, the multigrid field solve and the
# iterative current solve with its convolution.
# The threaded tests carry the ctest label "threaded" (tests/CMakeLists.txt).
test-tsan: build-tsan
	cd $(BUILD_TSAN) && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j $(JOBS) -L threaded

# Each fuzz harness for FUZZ_SECONDS (make fuzz FUZZ_SECONDS=1800 for a long run); `make test`
# runs each for 10 seconds.
fuzz: build-fuzz
	./scripts/run-fuzzers.sh $(BUILD_FUZZ) $(FUZZ_SECONDS)

test-fuzz: build-fuzz
	./scripts/run-fuzzers.sh $(BUILD_FUZZ) 10

# The soak: 500 scripted solves in one process under AddressSanitizer and LeakSanitizer, with a
# fixed bound on the resident memory (test label "slow"; not part of `make test`).
soak: build-asan
	cd $(BUILD_ASAN) && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -V -L slow

bench: build
	./$(BUILD)/bench/zolva_bench

format:
	find src app python tests bench -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(BUILD_ASAN) $(BUILD_TSAN) $(BUILD_FUZZ)
