# grpaudit: the two commands of a fresh machine are `make run` and `make test`.
# Each installs missing Debian packages, configures and builds.

JOBS          ?= $(shell nproc 2>/dev/null || echo 2)
BUILD_DIR     ?= build
TEST_BUILD    ?= build-test
BENCH_BUILD   ?= build-bench
EXAMPLE       ?= examples/leaf-riot.json

.PHONY: all deps build run test bench bench-live deb package-test fuzz fuzz-smoke format clean

all: build

deps:
	@bash scripts/install-deps.sh

$(BUILD_DIR)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGRPAUDIT_TESTS=OFF

build: deps $(BUILD_DIR)/CMakeCache.txt
	cmake --build $(BUILD_DIR) -j $(JOBS) --target grpaudit

# Checks the default example switch and shows its report. The example has
# faults on purpose, so exit status 1 (faults found) is success here.
run: build
	./$(BUILD_DIR)/grpaudit check --snapshot $(EXAMPLE) || [ $$? -eq 1 ]

# Debug build with AddressSanitizer and UndefinedBehaviorSanitizer, then every test.
test: deps
	cmake -S . -B $(TEST_BUILD) -DCMAKE_BUILD_TYPE=Debug -DGRPAUDIT_SANITIZE=ON -DGRPAUDIT_TESTS=ON
	cmake --build $(TEST_BUILD) -j $(JOBS)
	cd $(TEST_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS)

# Release build of its own, then every benchmark suite, printed as one table
# of medians. The generated switches' snapshots are kept in the build
# directory and written only when missing.
bench: deps
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DGRPAUDIT_TESTS=OFF -DGRPAUDIT_BENCH=ON
	cmake --build $(BENCH_BUILD) -j $(JOBS) --target grpaudit grpaudit_bench grpaudit-gen \
	  grpaudit-standin-sdk grpaudit-netns-standin grpaudit_python
	./$(BENCH_BUILD)/bench/grpaudit_bench --snapshot-dir $(BENCH_BUILD)/snapshots $(BENCH_ARGS)
	bash bench/live_bench.sh $(BENCH_BUILD) $(BENCH_BUILD)/snapshots/switch-1x.json
	python3 bench/soak_bench.py $(BENCH_BUILD)/grpaudit examples/leaf-riot.json
	python3 bench/python_bench.py $(BENCH_BUILD) $(BENCH_BUILD)/snapshots/switch-1x.json

# The live benchmark alone (the default large switch is written when missing).
bench-live: deps
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DGRPAUDIT_TESTS=OFF -DGRPAUDIT_BENCH=ON
	cmake --build $(BENCH_BUILD) -j $(JOBS) --target grpaudit grpaudit-gen grpaudit-standin-sdk \
	  grpaudit-netns-standin
	@mkdir -p $(BENCH_BUILD)/snapshots
	@[ -f $(BENCH_BUILD)/snapshots/switch-1x.json ] || \
	  ./$(BENCH_BUILD)/bench/switchgen/grpaudit-gen $(BENCH_BUILD)/snapshots/switch-1x.json
	bash bench/live_bench.sh $(BENCH_BUILD) $(BENCH_BUILD)/snapshots/switch-1x.json

# The Debian packages, from a Release tree installed under /usr, into build-deb/.
DEB_BUILD     ?= build-deb

deb: deps
	cmake -S . -B $(DEB_BUILD) -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
	  -DGRPAUDIT_TESTS=OFF
	cmake --build $(DEB_BUILD) -j $(JOBS)
	cd $(DEB_BUILD) && cpack -G DEB

# The packages as a switch gets them: unpacked, their binary run, their
# control data checked, lintian's verdict.
package-test: deb
	bash tests/install/package_test.sh $(DEB_BUILD) .

# libFuzzer targets, built with clang into build-fuzz: every target runs for
# FUZZ_SECONDS, FUZZ_JOBS at a time. fuzz-smoke is the short run.
FUZZ_SECONDS  ?= 600
FUZZ_JOBS     ?= $(JOBS)

fuzz:
	FUZZ_SECONDS=$(FUZZ_SECONDS) FUZZ_JOBS=$(FUZZ_JOBS) bash scripts/fuzz.sh

fuzz-smoke:
	FUZZ_SECONDS=10 FUZZ_JOBS=1 bash scripts/fuzz.sh

format:
	find src cli tests bench fuzz -name '*.h' -o -name '*.cpp' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR) $(TEST_BUILD) $(BENCH_BUILD) build-fuzz
