# The two commands a fresh machine needs: `make run` and `make test`.
# Both install what is missing (Debian packages, through sudo when not root).
JOBS ?= $(shell nproc)
BUILD := build
ASAN := build/asan

.PHONY: all deps web-deps build asan test run bench format

all: build

deps:
	@tools/install-deps

# The npm packages of the page's tests and benchmark, besides the rest.
web-deps:
	@tools/install-deps --web

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

# The same tests again, built with AddressSanitizer and UndefinedBehaviorSanitizer.
asan: deps
	cmake -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=Debug -DFIX_SANITIZE=ON >/dev/null
	cmake --build $(ASAN) -j $(JOBS)

test: build asan web web-deps
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	ctest --test-dir $(ASAN) --output-on-failure -j $(JOBS) -L unit
	ctest --test-dir $(WEB) --output-on-failure -j $(JOBS) -L wasm

# The program on the demo files in build/demo/; on a private Xvfb without $$DISPLAY.
run: build
	tools/run-demo

bench: build web web-deps
	bench/run

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

# The Windows program, cross-built with MinGW-w64: build-windows/FixInputFiles.exe.
.PHONY: windows
windows: deps
	cmake -S . -B build-windows -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null
	cmake --build build-windows -j $(JOBS)

# The web edition: build-web/FixInputFiles.html, one page with the program
# compiled to WebAssembly inside; with it the unit tests compiled for node.
# Debian's emscripten runs its compiler's JavaScript with node, which must find
# Debian's node modules (acorn) even when node is not Debian's own.
WEB := build-web
EMSCRIPTEN_ENV := NODE_PATH=/usr/share/nodejs$${NODE_PATH:+:$$NODE_PATH}
.PHONY: web
web: deps
	$(EMSCRIPTEN_ENV) emcmake cmake -S . -B $(WEB) -DCMAKE_BUILD_TYPE=Release >/dev/null
	$(EMSCRIPTEN_ENV) cmake --build $(WEB) -j $(JOBS)

# The cleaning run against a model of its rules under libFuzzer, for 60 seconds.
FUZZ := build/fuzz
FUZZ_SECONDS ?= 60
.PHONY: fuzz
fuzz: deps
	cmake -S . -B $(FUZZ) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 -DFIX_TESTS=OFF -DFIX_FUZZ=ON >/dev/null
	cmake --build $(FUZZ) -j $(JOBS) --target clean_fuzzer
	mkdir -p $(FUZZ)/corpus
	$(FUZZ)/tests/fuzz/clean_fuzzer -max_total_time=$(FUZZ_SECONDS) -max_len=4096 -print_final_stats=1 -artifact_prefix=$(FUZZ)/ \
	  -dict=tests/fuzz/clean.dict $(FUZZ)/corpus tests/fuzz/seeds

# The release files in dist/ (README.md, "Releases"): the Linux and Windows
# programs with README.txt and the demo lists, the web page, and SHA256SUMS.
.PHONY: dist
dist: build windows
	@if $(MAKE) -n web >/dev/null 2>&1; then \
	  $(MAKE) web && tools/dist build-web/FixInputFiles.html; \
	else \
	  tools/dist; \
	fi
