# Calvera: `make run` installs what is missing, builds and starts the program;
# `make test` installs, builds and runs every test.
BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= $(shell nproc)
# WERROR=ON (CI sets it) makes every warning an error.
WERROR ?= OFF

.PHONY: all bootstrap build run test test-slurm test-sanitize test-tsan fuzz-smoke bench format-check translations clean

all: build

bootstrap:
	@scripts/bootstrap.sh

build: bootstrap
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCALVERA_WERROR=$(WERROR) >/dev/null
	@cmake --build $(BUILD) -j$(JOBS)

run: build
	$(BUILD)/program/calvera

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

# Converts a list on a real one-node Slurm cluster (root: installs and starts it).
test-slurm: build
	scripts/test-slurm.sh $(BUILD)

# The same tests built with AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize: bootstrap
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DCALVERA_SANITIZE=ON -DCALVERA_BENCH=OFF -DCALVERA_WERROR=$(WERROR) >/dev/null
	@cmake --build $(ASAN_BUILD) -j$(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j$(JOBS)

# The engine's tests (process runner and driver) under ThreadSanitizer.
TSAN_BUILD ?= build-tsan
test-tsan: bootstrap
	@cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DCALVERA_BENCH=OFF -DCALVERA_WERROR=$(WERROR) \
		-DCMAKE_CXX_FLAGS="-fsanitize=thread -O1 -g" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" >/dev/null
	@cmake --build $(TSAN_BUILD) -j$(JOBS) --target test_engine
	TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" $(TSAN_BUILD)/tests/engine/test_engine

# Replays the fuzzer's seed corpus; `fuzz/run.sh SECONDS` fuzzes for real.
fuzz-smoke: bootstrap
	fuzz/run.sh

bench: build
	@for b in $(BUILD)/bench/bench_*; do echo "== $$b"; $$b; done

# Brings the catalogues in resources/translations/ up to date with the sources (lupdate).
translations: bootstrap
	scripts/translations.sh update

format-check:
	clang-format --dry-run --Werror $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) build-fuzz
