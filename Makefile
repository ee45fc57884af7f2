# One entry point for a fresh Debian 12 machine: `make run` and `make test`
# install whatever is missing, build and then start or test the programs.

PACKAGES := g++ make cmake ninja-build libgtest-dev \
            qt6-base-dev qt6-qpa-plugins libgl-dev \
            fonts-liberation xvfb xauth xdotool

BUILD      := build
TEST_BUILD := build-test
EXAMPLE    ?= examples/sum.cod
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps build run test bench install clean

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
	cmake -S . -B $(TEST_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTAVORA_SANITIZE=ON -DBUILD_TESTING=ON

test: deps $(TEST_BUILD)/build.ninja
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

clean:
	rm -rf $(BUILD) $(TEST_BUILD)
