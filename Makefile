# make run: install what is missing, build, and start the program on the example settings.
# make test: install what is missing, build, and run every test (also once under ASan/UBSan, and
#            the core's tests once more cross-built for Windows and run under Wine).
# make test-windows: only the Windows leg.
JOBS ?= $(shell nproc)
BUILD ?= build
ASAN_BUILD ?= build-asan
WINDOWS_BUILD ?= build-windows

.PHONY: all deps build build-asan run test test-windows clean

all: build

deps:
	@scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

build-asan: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVESPERKEEP_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)

test: build build-asan
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS) -LE e2e
	JOBS=$(JOBS) scripts/test-windows $(WINDOWS_BUILD)

test-windows: deps
	JOBS=$(JOBS) scripts/test-windows $(WINDOWS_BUILD)

run: build
	cd examples && ../$(BUILD)/app/vesperkeep

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(WINDOWS_BUILD)
