# SPDX-License-Identifier: GPL-3.0-or-later
# One-command entry points: `make run` builds the programs and starts quarnel-eval,
# `make test` builds everything (warnings are errors), runs every test and checks the
# formatting, `make package` builds the Debian package.
BUILD ?= build
ROOT := $(abspath .)
B := $(ROOT)/$(BUILD)
# Tests never see the user's files: HOME and the XDG folders live in the build tree.
TEST_ENV := QT_QPA_PLATFORM=offscreen HOME=$(B)/test-home \
  XDG_CONFIG_HOME=$(B)/test-home/.config XDG_STATE_HOME=$(B)/test-home/.local/state \
  XDG_DATA_HOME=$(B)/test-home/.local/share XDG_CACHE_HOME=$(B)/test-home/.cache \
  XDG_RUNTIME_DIR=$(B)/test-home/runtime

.PHONY: all deps configure build test run bench package format format-check clean

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARNEL_WERROR=ON >/dev/null

build: configure
	@cmake --build $(BUILD)

# Everything, the tests included (about 15 minutes the first time on 2 cores).
test: build
	@rm -rf $(B)/test-home && mkdir -p $(B)/test-home/runtime && chmod 700 $(B)/test-home/runtime
	cd $(BUILD) && env $(TEST_ENV) ctest --output-on-failure -j2 --timeout 600
	@bash scripts/check-format.sh

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
	rm -rf $(BUILD)
