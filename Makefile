# One entry point for a fresh Debian 12 machine: `make run` and `make test`
# install whatever is missing, build and then start or test the programs.

PACKAGES := g++ make cmake ninja-build libgtest-dev \
            qt6-base-dev qt6-qpa-plugins libgl-dev \
            fonts-liberation xvfb xauth xdotool iverilog \
            qt6-translations-l10n nlohmann-json3-dev desktop-file-utils dpkg-dev file \
            clang-format git

# The browser edition: emscripten compiles the simulator libraries, npm
# brings the page's libraries (pinned by web/package-lock.json), Debian's
# chromium runs the page's tests.
WEB_PACKAGES := emscripten chromium nodejs

BUILD      := build
TEST_BUILD := build-test
WEB_BUILD  := build-web
WEB_PORT   ?= 8080
export NODE_PATH := /usr/share/nodejs
EXAMPLE    ?= examples/sum.cod
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps web-deps build run test bench install package clean fuzz cosim web web-serve web-bench format

all: build

deps:
	@missing=""; \
	for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  export DEBIAN_FRONTEND=noninteractive; \
	  $(SUDO) apt-get install -y --no-install-recommends $$missing || \
	  { $(SUDO) apt-get update && $(SUDO) apt-get install -y --no-install-recommends $$missing; }; \
	fi

# npm comes with the machine's node; Debian's own npm is the fallback.
web-deps:
	@$(MAKE) --no-print-directory deps PACKAGES="$(WEB_PACKAGES)"
	@command -v npm >/dev/null || $(MAKE) --no-print-directory deps PACKAGES=npm

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  $(BUILD)/ui/tavora $(EXAMPLE); \
	else \
	  echo "No display here for the debugger window; running the example headless instead."; \
	  echo "(On a desktop, 'make run' opens the debugger on $(EXAMPLE).)"; \
	  $(BUILD)/tools/run/tavora-run $(EXAMPLE); \
	fi

$(TEST_BUILD)/build.ninja:
	cmake -S . -B $(TEST_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTAVORA_SANITIZE=ON -DTAVORA_WERROR=ON -DBUILD_TESTING=ON

test: deps web $(TEST_BUILD)/build.ninja
	cmake --build $(TEST_BUILD) -j $(JOBS)
	cd $(TEST_BUILD) && \
	  ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  QT_QPA_PLATFORM=offscreen \
	  ctest --output-on-failure -j $(JOBS)

bench: build
	@for b in $(BUILD)/bench/bench_*; do \
	  [ -x "$$b" ] || continue; \
	  echo "== $$(basename $$b)"; "$$b" || exit 1; \
	done

install: build
	cmake --install $(BUILD)

# `make package`: a Debian package of the optimised build, with dependencies
# computed from the programs; install it with `apt install ./build/tavora_*.deb`.
package: build
	cd $(BUILD) && cpack -G DEB

# `make cosim`: every example and every test program of hdl/test (the one
# with every instruction among them) through the testbench hdl/tb.v with the
# reference design hdl/ref_core.v (Icarus Verilog) and tavora-cosim; one
# line each. A source without an image beside it is run as a source.
COSIM_IMAGES   = $(wildcard examples/*.cod hdl/test/*.cod)
COSIM_PROGRAMS = $(COSIM_IMAGES) $(filter-out $(COSIM_IMAGES:.cod=.s) $(COSIM_IMAGES:.cod=.asm), \
                   $(wildcard examples/*.s examples/*.asm hdl/test/*.s hdl/test/*.asm))

cosim: build
	@hdl/cosim.sh -b $(BUILD) $(COSIM_PROGRAMS)

# `make fuzz`: clang builds the targets of tests/fuzz with libFuzzer and both
# sanitizers (no Qt needed), then each runs FUZZ_TIME seconds on its own copy
# of its seed corpus, which grows from run to run. A crash, hang or memory
# blow-up leaves its input in $(FUZZ_BUILD)/fuzz/crashes/<target>/. The
# hang timeout is generous: the largest image the loader accepts takes
# seconds under coverage instrumentation on a busy machine.
FUZZ_BUILD    := build-fuzz
FUZZ_TIME     ?= 60
FUZZ_PACKAGES := g++ make cmake ninja-build libgtest-dev clang libclang-rt-14-dev

fuzz:
	@$(MAKE) --no-print-directory deps PACKAGES="$(FUZZ_PACKAGES)"
	@[ -f $(FUZZ_BUILD)/build.ninja ] || \
	  CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DTAVORA_FUZZ=ON -DBUILD_TESTING=ON -DCMAKE_DISABLE_FIND_PACKAGE_Qt6=ON
	cmake --build $(FUZZ_BUILD) --target fuzz_targets -j $(JOBS)
	@failed=0; \
	for t in $$(cat $(FUZZ_BUILD)/fuzz-targets.txt); do \
	  dir=$(FUZZ_BUILD)/fuzz; corpus=$$dir/corpus/$$t; crashes=$$dir/crashes/$$t; log=$$dir/$$t.log; \
	  mkdir -p $$corpus $$crashes; cp -n tests/fuzz/corpus/$$t/* $$corpus/; \
	  [ $$t = asm_fuzz ] && cp -n examples/*.s $$corpus/; \
	  dict=; [ -f tests/fuzz/$$t.dict ] && dict=-dict=tests/fuzz/$$t.dict; \
	  ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	  UBSAN_OPTIONS=print_stacktrace=1 \
	    $(FUZZ_BUILD)/tests/fuzz/$$t $$corpus $$dict -max_total_time=$(FUZZ_TIME) -timeout=60 \
	      -rss_limit_mb=2048 -close_fd_mask=3 -print_final_stats=1 -artifact_prefix=$$crashes/ \
	      >$$log 2>&1; \
	  status=$$?; \
	  runs=$$(sed -n 's/^stat::number_of_executed_units: *//p' $$log); \
	  rss=$$(sed -n 's/^stat::peak_rss_mb: *//p' $$log); \
	  if [ $$status = 0 ]; then \
	    echo "$$t: ok, $${runs:-?} inputs in $(FUZZ_TIME) s, peak $${rss:-?} MB, corpus $$(ls $$corpus | wc -l) files"; \
	  else \
	    echo "$$t: FAILED (status $$status), input in $$crashes/, log $$log"; failed=1; \
	  fi; \
	done; \
	exit $$failed

# `make web`: the site in build-web/site (index.html, scripts, the .wasm
# module, the examples), static files that any web server can serve.
$(WEB_BUILD)/wasm/build.ninja:
	emcmake cmake -S . -B $(WEB_BUILD)/wasm -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF

web/node_modules/.package-lock.json: web/package-lock.json
	cd web && npm ci --no-audit --no-fund

web: web-deps $(WEB_BUILD)/wasm/build.ninja web/node_modules/.package-lock.json
	cmake --build $(WEB_BUILD)/wasm -j $(JOBS)
	cd web && npm run --silent build

web-serve: web
	@echo "Tavora im Browser: http://127.0.0.1:$(WEB_PORT)/"
	cd web && node serve.mjs --port $(WEB_PORT)

# `make web-bench`: the fast run in headless Chromium beside the native
# headless run of the same loop, the displayed run, the page's load time
# and the site's size.
web-bench: web build
	cd web && node bench/web_bench.mjs ../$(BUILD)

# `make format`: the house style of .clang-format on every tracked C++
# file; the test run fails on a file it would change.
format:
	@$(MAKE) --no-print-directory deps PACKAGES="clang-format git"
	git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format -i

clean:
	rm -rf $(BUILD) $(TEST_BUILD) $(FUZZ_BUILD) $(WEB_BUILD)
