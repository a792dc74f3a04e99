# One entry point: `make test` installs what is missing, builds and runs
# every test; `make demo` runs the guided tour against the simulator.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_ARGS ?=
# The Windows cross builds (MinGW-w64) and their own CMake arguments.
WIN64_BUILD ?= build-win64
WIN32_BUILD ?= build-win32
WIN_CMAKE_ARGS ?=

.PHONY: all deps build test test-native test-sanitize test-windows windows package bench demo format clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFOCUS_BUILD_BENCH=ON $(CMAKE_ARGS)
	cmake --build $(BUILD) -j $(JOBS)

test-native: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

test: test-native test-windows

# focus.dll and focusctl.exe for x86_64 and i686; the x86_64 build also
# holds the unit tests and the end-to-end program, run under Wine.
windows: deps
	cmake -S . -B $(WIN64_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo $(WIN_CMAKE_ARGS)
	cmake --build $(WIN64_BUILD) -j $(JOBS)
	cmake -S . -B $(WIN32_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFOCUS_BUILD_TESTS=OFF $(WIN_CMAKE_ARGS)
	cmake --build $(WIN32_BUILD) -j $(JOBS)

# Unit tests under Wine, the DLL over Wine COM ports against the native
# simulator (from $(BUILD)), and the export/import tables of both DLLs.
test-windows: build windows
	JOBS=$(JOBS) tests/windows/test_windows.sh $(BUILD) $(WIN64_BUILD) $(WIN32_BUILD)

# dist/focus-VERSION-win64.zip and -win32.zip: DLL, import library, .def,
# header and focusctl.exe, one folder each.
package: windows
	scripts/package-windows.sh $(WIN64_BUILD) $(WIN32_BUILD) dist

# The whole native suite again under AddressSanitizer and UBSan.
test-sanitize: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DFOCUS_SANITIZE=ON $(CMAKE_ARGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# Speed and allocations per operation; not part of the tests.
bench: build
	$(BUILD)/bench/focus_bench

# The guided tour against the simulator inside focusctl: every library
# function in turn, with a table of outcomes.
demo: build
	$(BUILD)/tools/focusctl --sim demo

format:
	clang-format -i $$(git ls-files '*.h' '*.cpp' '*.c')

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(WIN64_BUILD) $(WIN32_BUILD) dist

# The Python package focusdev: wheels for Linux (library and focus-sim inside)
# and Windows (focus.dll inside) in dist/, built offline with the system's
# setuptools; its tests run from the Linux wheel in a fresh virtual
# environment against the bundled simulator.
PYTHON ?= /usr/bin/python3

.PHONY: python test-python
python: build windows
	PYTHON=$(PYTHON) python/build-wheels.sh $(BUILD) $(WIN64_BUILD) $(WIN32_BUILD) dist

test-python: python
	PYTHON=$(PYTHON) python/run-tests.sh $(BUILD) dist

test: test-python
