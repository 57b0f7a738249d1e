# kotodama: `make play` builds and starts the game; `make test` builds and runs
# every test, once more built by clang, then under AddressSanitizer and
# UndefinedBehaviorSanitizer, then cross-builds the game and its Windows tests
# with MinGW-w64 (running the tests under Wine).
JOBS ?= 2
# The builds' progress lines, without the directory lines of every make that
# CMake's build runs beneath this one.
MAKEFLAGS += --no-print-directory
BUILD := build
ASAN_BUILD := build-asan
CROSS_BUILD := build-mingw
RELEASE_BUILD := build-release
CLANG_BUILD := build-clang
PREFIX ?= /usr/local
# Wine keeps its Windows folder inside the cross build, not in $HOME.
WINE_ENV := WINEPREFIX=$(CURDIR)/$(CROSS_BUILD)/wineprefix WINEDEBUG=-all
WINE := $(WINE_ENV) /usr/lib/wine/wine64
CMAKE_QUIET := -DCMAKE_RULE_MESSAGES=OFF --log-level=WARNING
SANITIZER_ENV := ASAN_OPTIONS=abort_on_error=0:detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

.PHONY: all play build test test-main test-clang test-asan test-fuzz test-cross test-install test-web release install uninstall package screenshots \
  web web-icons bench bench-web fuzz clean

all: build

build:
	@./scripts/install-deps.sh play
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKOTODAMA_TESTS=OFF $(CMAKE_QUIET)
	@cmake --build $(BUILD) -j$(JOBS) --target kotodama

play: build
	@./$(BUILD)/kotodama

test: test-main test-clang test-install test-asan test-fuzz test-cross test-web
	@./scripts/line-count.sh

# The plain suite, with only what it needs installed (no clang, MinGW or Wine).
test-main:
	@./scripts/install-deps.sh main
	@./scripts/check-seams.sh
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKOTODAMA_TESTS=ON $(CMAKE_QUIET)
	cmake --build $(BUILD) -j$(JOBS)
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

# The plain suite once more, built by clang; then the game alone with clang and
# libc++ (LLVM's C++ library: Debian's GoogleTest is built for libstdc++, so
# no tests there), so that it keeps building with another compiler and another
# standard library.
LIBCXX_BUILD := build-libcxx
test-clang:
	@./scripts/install-deps.sh test
	cmake -S . -B $(CLANG_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKOTODAMA_TESTS=ON $(CMAKE_QUIET)
	cmake --build $(CLANG_BUILD) -j$(JOBS)
	ctest --test-dir $(CLANG_BUILD) --output-on-failure -j$(JOBS)
	cmake -S . -B $(LIBCXX_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS=-stdlib=libc++ \
	  -DCMAKE_EXE_LINKER_FLAGS=-stdlib=libc++ -DCMAKE_BUILD_TYPE=Release -DKOTODAMA_TESTS=OFF $(CMAKE_QUIET)
	cmake --build $(LIBCXX_BUILD) -j$(JOBS) --target kotodama
	./$(LIBCXX_BUILD)/kotodama --version

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

# kotodama.exe and kotodama_tests.exe for 64-bit Windows; any warning fails.
# Skipped (saying so) where the MinGW-w64 compiler cannot be had.
test-cross:
	@./scripts/install-deps.sh test
	@if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null; then \
	  echo "test-cross: skipped, no x86_64-w64-mingw32-g++ (package g++-mingw-w64-x86-64)"; exit 0; fi; \
	set -e; \
	cmake -S . -B $(CROSS_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DKOTODAMA_TESTS=ON $(CMAKE_QUIET); \
	cmake --build $(CROSS_BUILD) -j$(JOBS); \
	if [ -x /usr/lib/wine/wine64 ]; then \
	  echo "running $(CROSS_BUILD)/kotodama_tests.exe under Wine"; \
	  $(WINE) $(CROSS_BUILD)/kotodama_tests.exe --gtest_brief=1; \
	  echo "starting $(CROSS_BUILD)/kotodama.exe under Wine for 10 s, with no console: the title must be drawn"; \
	  $(WINE_ENV) timeout 10 /usr/lib/wine/wine64 $(CROSS_BUILD)/kotodama.exe </dev/null >$(CROSS_BUILD)/title.out 2>&1 || [ $$? -eq 124 ]; \
	  grep -q CREATE $(CROSS_BUILD)/title.out || { echo "kotodama.exe did not draw the title menu"; exit 1; }; \
	else echo "test-cross: built; Wine (wine64) is missing, so the Windows tests did not run"; fi

# The game in a web page: build-web/site holds index.html, the game's .js and
# .wasm and the terminal (xterm.js, pinned in web/package-lock.json).
WEB_BUILD := build-web
WEB_SITE := $(WEB_BUILD)/site
web:
	@./scripts/install-deps.sh web
	@cd web && npm ci --no-audit --no-fund --silent
	@NODE_PATH=/usr/share/nodejs emcmake cmake -S . -B $(WEB_BUILD) -DCMAKE_BUILD_TYPE=Release -DKOTODAMA_TESTS=OFF $(CMAKE_QUIET)
	@NODE_PATH=/usr/share/nodejs cmake --build $(WEB_BUILD) -j$(JOBS) --target kotodama
	@mkdir -p $(WEB_SITE)
	@cp web/index.html web/favicon.svg web/icon-192.png web/icon-512.png web/sw.js web/manifest.webmanifest $(WEB_BUILD)/kotodama.js $(WEB_BUILD)/kotodama.wasm \
	  web/node_modules/@xterm/xterm/lib/xterm.js web/node_modules/@xterm/xterm/css/xterm.css $(WEB_SITE)/
	@echo "web: $(WEB_SITE) (serve it with: cd $(WEB_SITE) && python3 -m http.server)"

# The page's PNG icons, drawn again from web/favicon.svg (they are kept in the repository).
web-icons: web
	node web/icons.js

# The page in headless chromium, driven by puppeteer-core.
test-web: web
	node web/browser-test.js $(WEB_SITE)

# The page's size, first frame and idle CPU on three screens.
bench-web: web
	node web/bench.js $(WEB_SITE)

bench:
	@./scripts/install-deps.sh test
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKOTODAMA_TESTS=OFF -DKOTODAMA_BENCH=ON $(CMAKE_QUIET)
	cmake --build build-bench -j$(JOBS) --target kotodama_bench kotodama
	./build-bench/kotodama_bench
	@$(MAKE) --no-print-directory bench-web

# Every build folder the Makefile and scripts/ make (build-kitty: scripts/kitty-check.sh).
clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(RELEASE_BUILD) $(CLANG_BUILD) $(LIBCXX_BUILD) $(CROSS_BUILD) $(WEB_BUILD) \
	  build-bench build-fuzz build-kitty

# `make install` builds the game in Release mode in its own folder and installs
# it under $(PREFIX) (default /usr/local); DESTDIR stages it elsewhere.
# `make uninstall`, with the same PREFIX and DESTDIR, removes what the last
# `make install` put there (CMake's install_manifest.txt, which lists the
# files without DESTDIR and its last line without a line end).
# `make package` builds the Debian package there (installing into /usr, the
# game into /usr/games).
release:
	@./scripts/install-deps.sh play
	@cmake -S . -B $(RELEASE_BUILD) -DCMAKE_BUILD_TYPE=Release -DKOTODAMA_TESTS=OFF \
	  -DKOTODAMA_DEBIAN_LAYOUT=$(if $(DEBIAN_LAYOUT),ON,OFF) $(CMAKE_QUIET)
	@cmake --build $(RELEASE_BUILD) -j$(JOBS)

install: release
	@DESTDIR="$(DESTDIR)" cmake --install $(RELEASE_BUILD) --prefix "$(PREFIX)" --strip

uninstall:
	@manifest=$(RELEASE_BUILD)/install_manifest.txt; \
	[ -f "$$manifest" ] || { echo "make uninstall: nothing was installed from this folder"; exit 0; }; \
	while IFS= read -r file || [ -n "$$file" ]; do \
	  case "$$file" in "$(PREFIX)"/*) ;; \
	    *) echo "make uninstall: $$file was not installed with PREFIX=$(PREFIX) DESTDIR=$(DESTDIR)" >&2; exit 1 ;; \
	  esac; \
	done <"$$manifest"; \
	removed=0; \
	while IFS= read -r file || [ -n "$$file" ]; do \
	  file="$(DESTDIR)$$file"; \
	  if [ -e "$$file" ] || [ -L "$$file" ]; then echo "removing $$file"; rm -f "$$file"; removed=1; fi; \
	done <"$$manifest"; \
	[ "$$removed" = 1 ] || { echo "make uninstall: none of the installed files is under DESTDIR=$(DESTDIR)" >&2; exit 1; }; \
	rm -f "$$manifest"

package:
	@$(MAKE) --no-print-directory release DEBIAN_LAYOUT=1
	@./scripts/install-deps.sh package
	@cd $(RELEASE_BUILD) && cpack -G DEB

# make install into a scratch folder, the manual page without a warning, and
# the package's contents; nothing is installed on this system.
test-install:
	@./scripts/install-deps.sh test
	./scripts/check-install.sh

# The README's pictures of the screens, docs/*.svg, from scripted games.
screenshots:
	@./scripts/install-deps.sh test
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKOTODAMA_TESTS=ON $(CMAKE_QUIET)
	cmake --build $(BUILD) -j$(JOBS) --target kotodama_tests
	KOTODAMA_UPDATE_GOLDEN=1 ./$(BUILD)/kotodama_tests --gtest_filter='Screenshots.*' >/dev/null
