# Front door over CMake. `make test` is what CI runs.
BUILD_DIR   ?= build
BUILD_TYPE  ?= Release
JOBS        ?= $(shell nproc)
FUZZ_DIR    ?= build-fuzz
FUZZ_SECONDS ?= 60
ASAN_DIR    ?= build-asan

.PHONY: all deps configure build test run bench fuzz fuzz-run asan clean

all: build

deps:
	bash scripts/install-deps.sh

configure:
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: deps build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS) --timeout 600

# Builds and starts the program in a real window.
run: deps build
	$(BUILD_DIR)/app/quorvel

# Benchmarks are built with full optimisation in their own tree.
bench:
	bash scripts/install-deps.sh --bench
	cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DQV_BUILD_TESTS=OFF
	cmake --build build-bench -j $(JOBS)
	@for b in build-bench/bench/bench_*; do [ -x "$$b" ] && echo "== $$b" && "$$b" || true; done

asan: deps
	cmake -S . -B $(ASAN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Asan
	cmake --build $(ASAN_DIR) -j $(JOBS)
	cd $(ASAN_DIR) && LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp ctest --output-on-failure -j $(JOBS) --timeout 1200

fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DFUZZ=ON
	cmake --build $(FUZZ_DIR) -j $(JOBS)

# Runs every fuzz target for FUZZ_SECONDS over its seed corpus.
fuzz-run: fuzz
	@for f in $(FUZZ_DIR)/fuzz/fuzz_*; do \
	  n=$$(basename $$f); n=$${n#fuzz_}; mkdir -p $(FUZZ_DIR)/corpus/$$n; \
	  echo "== $$n"; $$f -max_total_time=$(FUZZ_SECONDS) $(FUZZ_DIR)/corpus/$$n fuzz/corpus/$$n || exit 1; \
	done

clean:
	rm -rf $(BUILD_DIR) build-bench $(FUZZ_DIR) $(ASAN_DIR)
