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
# The native suite again as a Release build with Clang; the Debian package.
CLANG_BUILD ?= build-clang
DEB_BUILD   ?= build-deb
# The fuzz targets (Clang, libFuzzer, ASan+UBSan), the ThreadSanitizer
# build, and how long `make fuzz` runs each target.
FUZZ_BUILD   ?= build-fuzz
TSAN_BUILD   ?= build-tsan
FUZZ_SECONDS ?= 300
SOAK_CALLS   ?= 2000
# Warnings fail the builds made here (not those of hosts using the tree).
WERROR     := -DFOCUS_WERROR=ON

.PHONY: all deps build test test-native test-sanitize test-windows windows package bench demo format clean
.PHONY: deps-build deps-native deps-windows test-clang test-install deb
.PHONY: fuzz fuzz-build test-fuzz test-tsan test-valgrind soak

all: build

# The Debian packages by set: build (compiler, CMake: all the demo needs),
# native (+ tests, Clang, packaging), windows (+ MinGW-w64, Wine), test (all).
deps:
	@scripts/install-deps.sh test
deps-build:
	@scripts/install-deps.sh build
deps-native:
	@scripts/install-deps.sh native
deps-windows:
	@scripts/install-deps.sh windows

build: deps-native
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFOCUS_BUILD_TESTS=ON -DFOCUS_BUILD_BENCH=ON \
	  -DFOCUS_BUILD_STATIC=ON $(WERROR) $(CMAKE_ARGS)
	cmake --build $(BUILD) -j $(JOBS)

test-native: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

test: test-native test-windows test-clang test-install

# focus.dll and focusctl.exe for x86_64 and i686; the x86_64 build also
# holds the unit tests and the end-to-end program, run under Wine.
# The i686 build makes the end-to-end program but not the unit tests.
windows: deps-windows
	cmake -S . -B $(WIN64_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo $(WERROR) $(WIN_CMAKE_ARGS)
	cmake --build $(WIN64_BUILD) -j $(JOBS)
	cmake -S . -B $(WIN32_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo $(WERROR) $(WIN_CMAKE_ARGS)
	cmake --build $(WIN32_BUILD) -j $(JOBS) --target focus focusctl focus_e2e

# Unit tests under Wine, both DLLs over Wine COM ports against the native
# simulator (from $(BUILD)), their export/import tables, and a MinGW host
# built against the installed Windows tree.
test-windows: build windows
	JOBS=$(JOBS) tests/windows/test_windows.sh $(BUILD) $(WIN64_BUILD) $(WIN32_BUILD)

# dist/focus-VERSION-win64.zip and -win32.zip: the installed tree of each
# (DLL, import library, .def, header, focusctl.exe, CMake and pkg-config files).
package: windows
	scripts/package-windows.sh $(WIN64_BUILD) $(WIN32_BUILD) dist

# The whole native suite again under AddressSanitizer and UBSan.
test-sanitize: deps-native
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DFOCUS_SANITIZE=ON $(WERROR) $(CMAKE_ARGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# libFuzzer builds of the fuzz targets; `make fuzz` runs each for
# FUZZ_SECONDS, `make test-fuzz` (CI) for 30 s. Inputs that break a target
# land in tests/fuzz/regressions/, which the ordinary test run replays.
fuzz-build: deps-native
	CC=clang-14 CXX=clang++-14 cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFOCUS_FUZZ=ON \
	  "-DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer" \
	  "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined" $(CMAKE_ARGS)
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_frame_receiver fuzz_codec fuzz_exchange \
	  fuzz_host_frame_reader fuzz_focusctl_decode

fuzz: fuzz-build
	tests/fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS) $(JOBS)

test-fuzz: fuzz-build
	tests/fuzz/run.sh $(FUZZ_BUILD) 30 $(JOBS)

# Sixteen connections on sixteen threads against sixteen simulators, with
# the library and the test built with ThreadSanitizer.
test-tsan: deps-native
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_FLAGS=-fsanitize=thread -DCMAKE_CXX_FLAGS=-fsanitize=thread \
	  -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread -DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=thread $(CMAKE_ARGS)
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target focus_concurrency_tests focus-sim
	# Not halt_on_error: the test must live on to stop its simulators; a race
	# still fails the run (ThreadSanitizer exits with 66).
	TSAN_OPTIONS="second_deadlock_stack=1" $(TSAN_BUILD)/tests/sim/focus_concurrency_tests

# The pseudo-terminal suite once under valgrind's leak and memory checks.
# Not the test that forks: its child leaves by _exit() and valgrind counts
# the parent's threads, which the child never had, as leaked.
test-valgrind: build
	valgrind --leak-check=full --error-exitcode=1 --quiet --child-silent-after-fork=yes \
	  $(BUILD)/tests/focus_pty_tests --gtest_filter=-PtyLine.TheOpenIsExclusiveAcrossConnectionsAndProcesses

# SOAK_CALLS calls through every kind of exchange against noisy, split,
# echoing simulators; fails on any failed call or lost result.
soak: build
	$(BUILD)/bench/focus-soak --sim-options "--noise 0.3 --split --echo" --calls $(SOAK_CALLS)

# Speed and allocations per operation, then the latency of each exchange
# over a pseudo-terminal in both wait modes; not part of the tests.
bench: build
	$(BUILD)/bench/focus_bench
	$(BUILD)/bench/focus_latency

# The native suite built once more, in Release and with Clang: another
# compiler's warnings and optimisations.
test-clang: deps-native
	cmake -S . -B $(CLANG_BUILD) -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DFOCUS_BUILD_TESTS=ON $(WERROR) $(CMAKE_ARGS)
	cmake --build $(CLANG_BUILD) -j $(JOBS)
	ctest --test-dir $(CLANG_BUILD) --output-on-failure -j $(JOBS)

# dist/focus_VERSION_amd64.deb: library, header, pkg-config and CMake files,
# focus-sim and focusctl under /usr. A Release build of its own, for /usr.
deb: deps-native
	cmake -S . -B $(DEB_BUILD) -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
	  -DFOCUS_BUILD_TESTS=OFF -DFOCUS_BUILD_TOOLS=ON $(WERROR) $(CMAKE_ARGS)
	cmake --build $(DEB_BUILD) -j $(JOBS)
	cd $(DEB_BUILD) && cpack -G DEB
	mkdir -p dist && cp $(DEB_BUILD)/packages/focus_*.deb dist/

# Hosts built out of tree against the library as installed (pkg-config, the
# CMake package, the static library), as a subproject, and from the .deb.
test-install: build deb
	tests/consumer/check_consumers.sh $(BUILD) dist

# The guided tour against the simulator inside focusctl: every library
# function in turn, with a table of outcomes. Builds only what the tour
# needs; the tests stay off in a fresh build folder.
demo: deps-build
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(WERROR) \
	  $(if $(wildcard $(BUILD)/CMakeCache.txt),,-DFOCUS_BUILD_TESTS=OFF) $(CMAKE_ARGS)
	cmake --build $(BUILD) -j $(JOBS) --target focus focus-sim focusctl
	$(BUILD)/tools/focusctl --sim demo

format:
	clang-format -i $$(git ls-files '*.h' '*.cpp' '*.c')

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(WIN64_BUILD) $(WIN32_BUILD) $(CLANG_BUILD) $(DEB_BUILD) $(FUZZ_BUILD) $(TSAN_BUILD) dist

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
