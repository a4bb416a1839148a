# The commands a new user runs; see README.md.
.PHONY: setup build test bench run install clean format fuzz

JOBS ?= $(shell nproc)
TEST_DIR := build/test
RELEASE_DIR := build/release
FUZZ_DIR := build/fuzz
# Seconds each fuzz target runs for in `make fuzz`.
FUZZ_SECONDS ?= 60
LAUNCHER := $(shell command -v ccache >/dev/null 2>&1 && echo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

setup:
	@scripts/setup

# Line tables only (-g1): the sanitizers' reports still name file and line, and the build takes a
# third less disk than with full debug information. Configure build/test yourself for a debugger.
$(TEST_DIR)/build.ninja:
	cmake -S . -B $(TEST_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 \
		-DKIPPETS_SANITIZE=ON -DKIPPETS_SHARED_LIBS=ON $(LAUNCHER)

$(RELEASE_DIR)/build.ninja:
	cmake -S . -B $(RELEASE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release $(LAUNCHER)

# The fuzz targets need clang's libFuzzer, so the core is built again by clang in a folder of its
# own; the normal build replays their seeds in `make test`.
$(FUZZ_DIR)/build.ninja:
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DKIPPETS_FUZZ=ON -DKIPPETS_BUILD_TESTS=OFF -DKIPPETS_BUILD_BENCH=OFF $(LAUNCHER)

fuzz: $(FUZZ_DIR)/build.ninja
	cmake --build $(FUZZ_DIR) -j $(JOBS)
	scripts/fuzz $(FUZZ_DIR) $(FUZZ_SECONDS)

build: setup $(TEST_DIR)/build.ninja
	cmake --build $(TEST_DIR) -j $(JOBS)

# ctest prints no output of a test it reports as skipped: scripts/skipped-tests says why each was.
test: build
	cd $(TEST_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) --timeout 300; \
		status=$$?; $(CURDIR)/scripts/skipped-tests .; exit $$status

bench: setup $(RELEASE_DIR)/build.ninja
	cmake --build $(RELEASE_DIR) -j $(JOBS)
	bench/run $(RELEASE_DIR)

run: setup $(RELEASE_DIR)/build.ninja
	cmake --build $(RELEASE_DIR) -j $(JOBS)
	@if [ -x $(RELEASE_DIR)/src/kippets ]; then $(RELEASE_DIR)/src/kippets; \
	else echo "The application shell is not built yet: only the core library and its tests exist (see README.md)."; exit 1; fi

# Into ~/.local unless the release build was configured with another CMAKE_INSTALL_PREFIX.
install: setup $(RELEASE_DIR)/build.ninja
	cmake --build $(RELEASE_DIR) -j $(JOBS)
	cmake --install $(RELEASE_DIR)

format:
	find src tests bench -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf build
