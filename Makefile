# make run   installs what is missing, builds the program of both bitnesses (no tests), starts it under Wine
# make test  installs what is missing, builds, runs every test under Wine
# make dist  builds both bitnesses, then dist/calvorn-<version>.msi and the portable zip
# make fuzz / make bench: see README

BUILD32 := build/win32
BUILD64 := build/win64
BUILDNATIVE := build/native
# What `make run` starts: both bitnesses side by side, as the portable zip
# holds them, so that components of either bitness register.
RUNDIR := build/portable
FUZZ_SECONDS ?= 60
JOBS ?= $(shell nproc)

.PHONY: all deps build build32 build64 build64-tests program32 program64 native run test dist bench fuzz format clean

all: build

deps:
	@bash scripts/install-deps.sh

$(BUILD32)/build.ninja:
	cmake -S . -B $(BUILD32) -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake

$(BUILD64)/build.ninja:
	cmake -S . -B $(BUILD64) -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DBUILD_TESTING=ON -DCALVORN_BENCH=OFF

build32: deps $(BUILD32)/build.ninja
	cmake --build $(BUILD32) -j $(JOBS)

# The program and its parts only; its tests are built for `make test`.
build64: deps $(BUILD64)/build.ninja
	cmake --build $(BUILD64) -j $(JOBS) --target calvorn

# A folder configured before the 64-bit build had tests is switched on here.
build64-tests: build64
	cmake -S . -B $(BUILD64) -DBUILD_TESTING=ON
	cmake --build $(BUILD64) -j $(JOBS)

build: build32 build64

# The program of each bitness with its host and helper, and no tests.
program32: deps $(BUILD32)/build.ninja
	cmake --build $(BUILD32) -j $(JOBS) --target calvorn

program64: deps $(BUILD64)/build.ninja
	cmake --build $(BUILD64) -j $(JOBS) --target calvorn

run: program32 program64
	python3 packaging/make_dist.py --lay $(RUNDIR)
	bash scripts/run.sh $(RUNDIR)/calvorn.exe

native: deps
	cmake -S native -B $(BUILDNATIVE) -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug
	cmake --build $(BUILDNATIVE) -j $(JOBS)

# The native sanitizer build and its corpus replays first (seconds), then the
# Windows build under Wine. Under Wine on a loaded machine a window or a host
# can come up late; a test that fails is run once more, and both runs are in
# the output, and the run ends by naming the tests that needed it. The 64-bit
# program's run comes after the 32-bit one, in a prefix of its own.
test: build build64-tests native
	cd $(BUILDNATIVE) && ctest --output-on-failure
	bash scripts/run-ctest.sh $(BUILD32) $(BUILD64)

# The files shipped are listed in packaging/files.txt. Beside the packages:
# dist/winget/ and dist/scoop/, naming the files under DIST_URL ({version} is
# replaced). SIGN_PFX=file.pfx SIGN_PASS=... [SIGN_TIMESTAMP_URL=...] signs
# every shipped program and the MSI; make_dist.py reads them from the
# environment, so that the password is never on a command line.
DIST_URL ?= https://example.invalid/calvorn/{version}/
DIST_HOMEPAGE ?= https://example.invalid/calvorn/
dist: build
	python3 packaging/make_dist.py --out dist --base-url '$(DIST_URL)' --homepage '$(DIST_HOMEPAGE)'

# The 64-bit program is built too: bench/sizes weighs every shipped file and
# writes the README's size table to $(BUILD32)/bench/sizes.md.
bench: build32 program64
	bash bench/run.sh $(BUILD32)

# Each fuzz target explores for FUZZ_SECONDS; new finds go to build/native/fuzz-new.
fuzz: native
	bash scripts/fuzz.sh $(BUILDNATIVE) $(FUZZ_SECONDS)

clean:
	rm -rf build dist

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')
