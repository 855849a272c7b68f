# Varnolde: `make test` builds and runs the whole test suite, `make run` opens the panel on the
# demo database, `make package` makes the Debian package. They install missing Debian packages
# first (scripts/install-deps.sh).
BUILD ?= build
JOBS ?= 2
CMAKE_FLAGS ?=
ifeq ($(SANITIZE),1)
  # GCC warns falsely inside the standard library when it instruments for the sanitizers, so
  # this build keeps warnings as warnings; the ordinary build treats them as errors in CI.
  BUILD := build-asan
  CMAKE_FLAGS += -DVARNOLDE_SANITIZE=ON -DVARNOLDE_QT=OFF -DVARNOLDE_WERROR=OFF
else ifeq ($(CI),true)
  CMAKE_FLAGS += -DVARNOLDE_WERROR=ON
endif

.PHONY: all deps build test run bench package clean

all: build

deps:
	@scripts/install-deps.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j$(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS) --timeout 600

run: build
	@scripts/run.sh $(BUILD)

bench: deps
	cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DVARNOLDE_BENCH=ON -DVARNOLDE_TESTS=OFF
	cmake --build build-bench -j$(JOBS)
	scripts/bench.sh build-bench

# The Debian package varnolde_<version>_amd64.deb, in $(BUILD); docs/install.md.
package:
	@if [ "$(SANITIZE)" = 1 ]; then echo "make package: not from the sanitizer build" >&2; exit 1; fi
	@scripts/install-deps.sh packaging
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j$(JOBS)
	cd $(BUILD) && cpack -G DEB

clean:
	rm -rf build build-asan build-bench build-fuzz
