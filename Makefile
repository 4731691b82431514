# SPDX-License-Identifier: GPL-3.0-or-later
# One-command entry points: `make run` builds the programs and starts quarnel-eval,
# `make test` builds everything (warnings are errors), runs every test and checks the
# formatting, `make sanitize` does the same with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer, `make package` builds the Debian package.
BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
ROOT := $(abspath .)
B := $(ROOT)/$(BUILD)
S := $(ROOT)/$(SANITIZE_BUILD)
# Tests never see the user's files: HOME and the XDG folders live in the build tree.
test_env = QT_QPA_PLATFORM=offscreen HOME=$(1)/test-home \
  XDG_CONFIG_HOME=$(1)/test-home/.config XDG_STATE_HOME=$(1)/test-home/.local/state \
  XDG_DATA_HOME=$(1)/test-home/.local/share XDG_CACHE_HOME=$(1)/test-home/.cache \
  XDG_RUNTIME_DIR=$(1)/test-home/runtime
fresh_test_home = rm -rf $(1)/test-home && mkdir -p $(1)/test-home/runtime && chmod 700 $(1)/test-home/runtime
# ccache, when installed, makes a rebuild of unchanged sources almost free.
LAUNCHER := $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

SANITIZERS := -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer
# umockdev's preload library comes before the ASan runtime in the USB tests: a shared
# runtime (GCC's, or clang's with -shared-libasan) refuses that unless told; clang's
# default static runtime does not check.
SANITIZE_ENV := ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=1:abort_on_error=0 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  LSAN_OPTIONS=suppressions=$(ROOT)/tests/lsan.supp:print_suppressions=0

.PHONY: all deps configure build test sanitize run bench package format format-check clean

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARNEL_WERROR=ON $(LAUNCHER) >/dev/null

build: configure
	@cmake --build $(BUILD)

# Everything, the tests included (about 15 minutes the first time on 2 cores).
test: build
	@$(call fresh_test_home,$(B))
	cd $(BUILD) && env $(call test_env,$(B)) ctest --output-on-failure -j2 --timeout 600
	@bash scripts/check-format.sh

# Everything again with Debian's clang, its warnings as errors, and every test once
# under the sanitizers: any finding fails the test it occurs in. In its own build tree.
sanitize: deps
	@cmake -S . -B $(SANITIZE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DQUARNEL_WERROR=ON -DQUARNEL_PYTHON_MODULE=OFF -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS="$(SANITIZERS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$(SANITIZERS)" -DCMAKE_SHARED_LINKER_FLAGS="$(SANITIZERS)" \
	  $(LAUNCHER) >/dev/null
	@cmake --build $(SANITIZE_BUILD)
	@$(call fresh_test_home,$(S))
	cd $(SANITIZE_BUILD) && env $(call test_env,$(S)) $(SANITIZE_ENV) \
	  ctest --output-on-failure -j2 --timeout 900

# Only the two programs and what they need beside them, not the tests.
run: configure
	@cmake --build $(BUILD) --target quarnel-eval quarnelctl
	@bash scripts/run.sh $(B)/bin

bench: configure
	@cmake --build $(BUILD) --target quarnel-bench quarnel-bench-usb
	$(B)/bin/quarnel-bench
	umockdev-wrapper $(B)/bin/quarnel-bench-usb

package: build
	@cmake --build $(BUILD) --target package

format:
	@git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format -i

format-check:
	@bash scripts/check-format.sh

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD)
