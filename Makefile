# The commands of the README: `make demo`, `make test` and `make bench`.
PRESET ?= release
BUILD_DIR := build/$(PRESET)
RAZAVORI := $(BUILD_DIR)/bin/razavori

.PHONY: all setup configure build demo test asan bench clean

all: build

setup:
	@scripts/setup

configure: setup
	cmake --preset $(PRESET)

build: configure
	cmake --build --preset $(PRESET)

demo: build
	@scripts/demo $(BUILD_DIR)

test: build
	ctest --preset $(PRESET)

asan:
	$(MAKE) test PRESET=asan

# Whole processes beside their peers (mpeg2dec, mpg123, ffmpeg), alternated,
# medians and ratios; not a test.
bench: configure
	cmake --build --preset $(PRESET) --target razavori
	bench/whole_process.py $(BUILD_DIR)

clean:
	rm -rf build
