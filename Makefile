# make run: install what is missing, build, and start the program on the example settings.
# make test: install what is missing, build, and run every test (also once under ASan/UBSan, each
#            fuzz target briefly from its seeds, and the core's tests once more cross-built for
#            Windows and run under Wine).
# make test-windows: only the Windows leg.
# make fuzz: run each fuzz target long (FUZZ_RUNS inputs), keeping its corpus in build-fuzz.
# make bench: build a Release program and the bench's floor in build-bench and measure them side
#             by side under Xvfb (bench/README.md); BENCH_ARGS go to bench/run.py.
JOBS ?= $(shell nproc)
BUILD ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
WINDOWS_BUILD ?= build-windows
BENCH_BUILD ?= build-bench
BENCH_ARGS ?=
FUZZ_RUNS ?= 10000000
FUZZ_TARGETS = time_of_day settings_load

.PHONY: all deps build build-asan build-fuzz run test test-windows fuzz bench clean

all: build

deps:
	@scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

build-asan: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVESPERKEEP_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)

build-fuzz: deps
	cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DVESPERKEEP_FUZZ=ON -DVESPERKEEP_WINDOW=OFF -DVESPERKEEP_TESTS=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS)

test: build build-asan build-fuzz
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS) -LE e2e
	ctest --test-dir $(FUZZ_BUILD) --output-on-failure -j $(JOBS)
	JOBS=$(JOBS) scripts/test-windows $(WINDOWS_BUILD)

test-windows: deps
	JOBS=$(JOBS) scripts/test-windows $(WINDOWS_BUILD)

fuzz: build-fuzz
	for name in $(FUZZ_TARGETS); do \
	  fuzz/run $(FUZZ_BUILD)/fuzz/fuzz_$$name $$name $(FUZZ_BUILD)/fuzz/long/$$name \
	    -runs=$(FUZZ_RUNS) -print_final_stats=1 || exit 1; \
	done

bench: deps
	@scripts/install-deps scripts/bench-packages.txt
	cmake -S . -B $(BENCH_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DVESPERKEEP_TESTS=OFF -DVESPERKEEP_BENCH=ON
	cmake --build $(BENCH_BUILD) -j $(JOBS)
	/usr/bin/python3 -B bench/run.py $(BENCH_BUILD) $(BENCH_ARGS)

run: build
	cd examples && ../$(BUILD)/app/vesperkeep

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(WINDOWS_BUILD) $(BENCH_BUILD)
