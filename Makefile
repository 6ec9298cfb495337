# The two set-up commands: `make run` and `make test`.
# WERROR=ON (CI) turns every warning in the project's own sources into an error, in this
# build and in the checked builds below.
BUILD := build
WERROR ?= OFF

.PHONY: run test build deps clean

deps:
	@./scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DLVOV_WERROR=$(WERROR) >/dev/null
	@cmake --build $(BUILD)

run: build
	@./scripts/run.sh $(BUILD)

test: build
	@cd $(BUILD) && ctest --output-on-failure

clean:
	rm -rf $(BUILD)

# Installing and packaging. `make install [PREFIX=/usr/local] [DESTDIR=/staging]`: the
# program, its demo catalogue, desktop entry, icons, metadata and file types.
# `make package`: a Debian package in build/. `make check-desktop`: installs the
# validators, then checks an install and the package with them.
PREFIX ?= /usr/local

.PHONY: install package check-desktop

install: build
	@DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

package: build
	@./scripts/install-deps.sh --package
	@cd $(BUILD) && cpack -G DEB

check-desktop: package
	@./scripts/install-deps.sh --desktop
	@sh tests/desktop/check_install.sh $(BUILD)
	@sh tests/desktop/check_install.sh $(BUILD) $$(ls -t $(BUILD)/nevemulator_*.deb | head -n 1)

# `make test-portable`: the machine core's tests (the interpreter against its opcode table,
# the CP/M diagnostics) with the interpreter's portable dispatch, the switch that
# compilers without labels as values get, built in build-portable.
PORTABLE_BUILD := build-portable

.PHONY: test-portable

test-portable: deps
	@cmake -S . -B $(PORTABLE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DLVOV_PORTABLE_DISPATCH=ON \
		-DLVOV_WERROR=$(WERROR) $(CCACHE_LAUNCHER) >/dev/null
	@cmake --build $(PORTABLE_BUILD) --target test_core
	@$(PORTABLE_BUILD)/tests/test_core

# Checked builds. `make test-sanitize`: the suite (all but the label "slow") built in
# Debug with AddressSanitizer and UndefinedBehaviorSanitizer; any report fails the run.
# `make fuzz [FUZZ_SECONDS=N]`: builds the libFuzzer targets of tests/fuzz with clang
# and the same sanitizers, and runs each for N seconds (default 60).
SANITIZE_BUILD := build-sanitize
FUZZ_BUILD := build-fuzz
FUZZ_SECONDS ?= 60
CCACHE_LAUNCHER := $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
SANITIZER_ENV := ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

.PHONY: test-sanitize fuzz deps-fuzz

deps-fuzz:
	@./scripts/install-deps.sh --fuzz

test-sanitize: deps
	@cmake -S . -B $(SANITIZE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLVOV_SANITIZE=ON -DLVOV_WERROR=$(WERROR) \
		$(CCACHE_LAUNCHER) >/dev/null
	@$(SANITIZER_ENV) cmake --build $(SANITIZE_BUILD)
	@cd $(SANITIZE_BUILD) && $(SANITIZER_ENV) QT_QPA_PLATFORM=offscreen ctest -LE slow --output-on-failure

fuzz: deps-fuzz
	@cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=clang++ -DLVOV_FUZZ=ON \
		$(CCACHE_LAUNCHER) >/dev/null
	@$(SANITIZER_ENV) cmake --build $(FUZZ_BUILD) --target fuzzers
	@$(SANITIZER_ENV) ./tests/fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# Code style. `make format`: clang-format (settings in .clang-format) over the C++ sources
# git tracks in src/, web/, tests/, tools/ and bench/, in place. `make format-check`: changes
# nothing, and fails naming every line that is not formatted (for CI). `make lint`:
# clang-tidy (checks in .clang-tidy) over src/ with the compile commands of build/; any
# finding fails it.
STYLE_FILES = $(wildcard $(shell git ls-files -- 'src/*.cpp' 'src/*.h' 'web/*.cpp' 'tests/*.cpp' 'tests/*.h' 'tools/*.cpp' \
	'tools/*.h' 'bench/*.cpp' 'bench/*.h'))
LINT_FILES = $(wildcard $(shell git ls-files -- 'src/*.cpp'))
JOBS ?= $(shell nproc)

.PHONY: format format-check lint deps-lint

deps-lint:
	@./scripts/install-deps.sh --lint

format: deps-lint
	@clang-format -i $(STYLE_FILES)

format-check: deps-lint
	@clang-format --dry-run -Werror $(STYLE_FILES)

lint: build deps-lint
	@printf '%s\n' $(LINT_FILES) | xargs -P $(JOBS) -n 4 clang-tidy -p $(BUILD) --quiet --warnings-as-errors='*' \
		--header-filter='^$(CURDIR)/src/'

# The page. `make web`: the Qt-free libraries, the session and the page compiled to
# WebAssembly with Debian's emscripten into build-web; the static site is build-web/site
# (index.html, nevemulator.js, nevemulator.wasm, icon.png). `make serve-web
# [WEB_PORT=8080]` serves it on 127.0.0.1. `make test-web`: the Qt-free test suites
# under node (the exerciser included), then the page in headless Chromium, compared with
# the desktop program's headless runs (so the native build comes first). Programs the
# build runs (the assembler of the firmware and demos) run under node; emscripten's own
# tools find node's modules in Debian's folder.
WEB_BUILD := build-web
WEB_PORT ?= 8080
WEB_ENV := NODE_PATH=/usr/share/nodejs

.PHONY: web serve-web test-web deps-web

deps-web: deps
	@./scripts/install-deps.sh --web

web: deps-web
	@$(WEB_ENV) emcmake cmake -S . -B $(WEB_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DLVOV_WERROR=$(WERROR) \
		-DCMAKE_CROSSCOMPILING_EMULATOR=$$(command -v node) $(CCACHE_LAUNCHER) >/dev/null
	@$(WEB_ENV) cmake --build $(WEB_BUILD) --target site

serve-web: web
	@echo "Serving $(WEB_BUILD)/site at http://127.0.0.1:$(WEB_PORT)/ (Ctrl+C stops)"
	@cd $(WEB_BUILD)/site && python3 -m http.server --bind 127.0.0.1 $(WEB_PORT)

test-web: web build
	@$(WEB_ENV) cmake --build $(WEB_BUILD)
	@cd $(WEB_BUILD) && ctest --output-on-failure
	@sh tests/web/run.sh $(WEB_BUILD)/site

# `make bench-web [BENCH_WEB_ARGS="--only size,speed --runs 3"]`: the page measured against
# its goals (bench/web/measure.mjs): the site's gzip size, the first picture after
# navigation, the interpreter in Chromium and node beside the native one, and the CPU
# of the idling page beside the desktop window's. Builds both sides first; playwright-core
# comes from npm into bench/web/node_modules.
BENCH_WEB_ARGS ?=

.PHONY: bench-web

bench-web: build web
	@./scripts/install-deps.sh --bench-web
	@$(WEB_ENV) cmake --build $(WEB_BUILD) --target cpm-speed
	@test -d bench/web/node_modules/playwright-core || (cd bench/web && npm install --no-package-lock --no-audit --no-fund)
	@node bench/web/measure.mjs $(BENCH_WEB_ARGS)
