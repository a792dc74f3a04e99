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
# Warnings fail the builds made here (not those of hosts using the tree).
WERROR     := -DFOCUS_WERROR=ON

.PHONY: all deps build test test-native test-sanitize test-windows windows package bench demo format clean
.PHONY: deps-build deps-native deps-windows test-clang test-install deb

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

# Speed and allocations per operation; not part of the tests.
bench: build
	$(BUILD)/bench/focus_bench

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
	rm -rf $(BUILD) $(ASAN_BUILD) $(WIN64_BUILD) $(WIN32_BUILD) $(CLANG_BUILD) $(DEB_BUILD) dist
