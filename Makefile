# Quillane: `make run` starts the emulator, `make test` runs the whole test suite.
JOBS ?= $(shell nproc)
BUILD := build
CMAKE_FLAGS := -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: all deps build run test unit-test asan-test tsan-test fuzz-test web web-test web-serve bench format clean \
	install deb

all: build

deps:
	@sh scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@sh scripts/run.sh $(BUILD)

# The main build's tests (unit, offscreen window, end to end), then the sanitizer builds and the
# fuzzers.
test: unit-test asan-test tsan-test fuzz-test web-test
	@echo "make test: all suites passed"

unit-test: build
	@ctest --test-dir $(BUILD) --output-on-failure -j 2 -LE e2e
	@ctest --test-dir $(BUILD) --output-on-failure -L e2e

# Everything headless again under AddressSanitizer + UndefinedBehaviorSanitizer.
asan-test: deps
	@cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DQUILLANE_SANITIZE=address \
		-DQUILLANE_BENCH=OFF >/dev/null
	@cmake --build build-asan -j $(JOBS)
	@ctest --test-dir build-asan --output-on-failure -j 2 -LE e2e

# The threaded machine tests under ThreadSanitizer.
tsan-test: deps
	@cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLANE_SANITIZE=thread \
		-DQUILLANE_HOST=OFF -DQUILLANE_BENCH=OFF >/dev/null
	@cmake --build build-tsan -j $(JOBS) --target test_threads
	@ctest --test-dir build-tsan --output-on-failure -R '^test_threads$$'

# libFuzzer targets for the HEX decoder and loader, the debug information reader and the debug
# adapter's message handler, 60 s each.
FUZZ_SECONDS ?= 60
fuzz-test: deps
	@CXX=clang++ CC=clang cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DQUILLANE_FUZZ=ON -DQUILLANE_HOST=OFF -DQUILLANE_BENCH=OFF \
		-DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined" >/dev/null
	@cmake --build build-fuzz -j $(JOBS) --target fuzz_ihex_decode fuzz_ihex_load fuzz_source fuzz_dap
	@sh scripts/run-fuzzers.sh build-fuzz $(FUZZ_SECONDS)

# The browser edition in build-web/: the page, its script and wasm (emscripten), and the monitor
# ROM and its symbols from the native build. Debian's emscripten runs on the machine's node, which
# may not be Debian's: NODE_PATH points it at Debian's node modules.
WEB_BUILD := build-web
EMSCRIPTEN_ENV := NODE_PATH=/usr/share/nodejs
web: deps
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target monitor_rom example_programs
	@$(EMSCRIPTEN_ENV) emcmake cmake -S . -B $(WEB_BUILD) -DCMAKE_BUILD_TYPE=Release \
		-DQUILLANE_ROM_HEX=$(CURDIR)/$(BUILD)/tessik.hex \
		-DQUILLANE_ROM_SYM=$(CURDIR)/$(BUILD)/rom/tessik.sym >/dev/null
	@$(EMSCRIPTEN_ENV) cmake --build $(WEB_BUILD) -j $(JOBS)

# The wasm build in node against the native one, then the page in headless Chromium.
web-test: web build
	@cd tests/web && QUILLANE_BUILD=$(CURDIR)/$(BUILD) QUILLANE_WEB=$(CURDIR)/$(WEB_BUILD) \
		node --test

# Serves build-web/ on 127.0.0.1 and prints the address.
web-serve: web
	@node scripts/serve-web.js $(WEB_BUILD)

# Installs the programs, data, manual pages and desktop entry: into PREFIX (default /usr/local),
# under DESTDIR when it is set (make install DESTDIR=/tmp/stage PREFIX=/usr).
install: build
	@DESTDIR="$(DESTDIR)" cmake --install $(BUILD) $(if $(PREFIX),--prefix "$(PREFIX)")

# The Debian package quillane_VERSION_amd64.deb in this folder (apt install ./quillane_*.deb).
deb: build
	@rm -f $(BUILD)/deb/quillane_*.deb
	@cd $(BUILD) && cpack -G DEB --config CPackConfig.cmake -B deb >/dev/null
	@cp $(BUILD)/deb/quillane_*.deb .
	@ls quillane_*.deb

bench: build
	@for b in $(BUILD)/bench/bench_*; do [ -x "$$b" ] && echo "== $$b" && "$$b"; done
	@echo "== bench/bench_window_clock.sh" && sh bench/bench_window_clock.sh $(BUILD)
	@echo "== bench/bench_quillane_test.sh" && sh bench/bench_quillane_test.sh $(BUILD)
	@if [ -f $(WEB_BUILD)/quillane.wasm ]; then echo "== bench/bench_web.js" && node bench/bench_web.js $(WEB_BUILD); fi

format:
	@clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build build-asan build-tsan build-fuzz build-web
