# Thin wrapper around CMake. `make run` and `make test` work as root on a fresh Debian 12 machine.
BUILD      ?= build
BUILD_ASAN ?= build-asan
BUILD_TSAN ?= build-tsan
JOBS       ?= $(shell nproc)

.PHONY: all deps build build-asan build-tsan run test test-release test-asan test-tsan bench format clean

all: build

deps:
	./scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)

build-asan: deps
	cmake -S . -B $(BUILD_ASAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZOLVA_SANITIZE=ON -DZOLVA_BENCH=OFF
	cmake --build $(BUILD_ASAN) -j $(JOBS)

build-tsan: deps
	cmake -S . -B $(BUILD_TSAN) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZOLVA_TSAN=ON -DZOLVA_BENCH=OFF
	cmake --build $(BUILD_TSAN) -j $(JOBS)

# The main job. With a display (DISPLAY or WAYLAND_DISPLAY set) the desktop program opens its two
# windows; without one the headless program builds the default round twinlead and solves it fully.
run: build
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ] && [ -x ./$(BUILD)/app/zolva ]; then \
	  echo ./$(BUILD)/app/zolva; ./$(BUILD)/app/zolva; \
	else \
	  echo ./$(BUILD)/app/zolva-batch; ./$(BUILD)/app/zolva-batch; \
	fi

test: test-release test-asan

test-release: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: build-asan
	cd $(BUILD_ASAN) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

# ThreadSanitizer over every test (a few minutes; not part of `make test`).
test-tsan: build-tsan
	cd $(BUILD_TSAN) && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j $(JOBS)

bench: build
	./$(BUILD)/bench/zolva_bench

format:
	find src app tests bench -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(BUILD_ASAN) $(BUILD_TSAN)
