# kotodama: `make play` builds and starts the game; `make test` builds and runs
# every test, then again under AddressSanitizer and UndefinedBehaviorSanitizer.
JOBS ?= 2
BUILD := build
ASAN_BUILD := build-asan
CMAKE_QUIET := -DCMAKE_RULE_MESSAGES=OFF --log-level=WARNING
SANITIZER_ENV := ASAN_OPTIONS=abort_on_error=0:detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

.PHONY: all play build test test-main test-asan test-fuzz bench fuzz clean

all: build

build:
	@./scripts/install-deps.sh play
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKOTODAMA_TESTS=OFF $(CMAKE_QUIET)
	@cmake --build $(BUILD) -j$(JOBS) --target kotodama

play: build
	@./$(BUILD)/kotodama

test: test-main test-asan test-fuzz

test-main:
	@./scripts/install-deps.sh test
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKOTODAMA_TESTS=ON $(CMAKE_QUIET)
	cmake --build $(BUILD) -j$(JOBS)
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

test-asan:
	@./scripts/install-deps.sh test
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DKOTODAMA_TESTS=ON -DKOTODAMA_SANITIZE=ON $(CMAKE_QUIET)
	cmake --build $(ASAN_BUILD) -j$(JOBS)
	$(SANITIZER_ENV) ctest --test-dir $(ASAN_BUILD) --output-on-failure -j$(JOBS)

# Every fuzz target for a short, fixed number of runs.
test-fuzz:
	@./scripts/install-deps.sh test
	./scripts/fuzz.sh runs 20000

# Every fuzz target for as long as asked: make fuzz FUZZ_SECONDS=600
FUZZ_SECONDS ?= 60
fuzz:
	@./scripts/install-deps.sh test
	./scripts/fuzz.sh seconds $(FUZZ_SECONDS)

bench:
	@./scripts/install-deps.sh test
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKOTODAMA_TESTS=OFF -DKOTODAMA_BENCH=ON $(CMAKE_QUIET)
	cmake --build build-bench -j$(JOBS) --target kotodama_bench kotodama
	./build-bench/kotodama_bench

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) build-bench build-fuzz build-mingw
