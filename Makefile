# The commands of the README: `make demo`, `make test` and `make bench`.
PRESET ?= release
BUILD_DIR := build/$(PRESET)
RAZAVORI := $(BUILD_DIR)/bin/razavori

.PHONY: all setup configure build demo test asan tsan bench clean

all: build

setup:
	@scripts/setup

configure: setup
	cmake --preset $(PRESET)

build: configure
	cmake --build --preset $(PRESET)

demo: build
	@scripts/demo $(BUILD_DIR)

# The release run also runs the video engine's tests under ThreadSanitizer.
test: build
	ctest --preset $(PRESET)
ifeq ($(PRESET),release)
	$(MAKE) tsan
endif

# AddressSanitizer and UndefinedBehaviorSanitizer over the whole suite, on
# the release tree's generated streams (made there on first use).
asan: setup
	cmake --preset asan
	cmake --build --preset asan
	@mkdir -p build/release/test-media
	@[ -L build/asan/test-media ] || { rm -rf build/asan/test-media; ln -s ../release/test-media build/asan/test-media; }
	ctest --preset asan

# Only the engine's test programs are built with ThreadSanitizer. They share
# the release tree's generated streams. Tests that measure wall time are
# left out there: the sanitizer slows the engine several times over.
tsan: setup
	cmake --preset tsan
	cmake --build --preset tsan
	@mkdir -p build/release/test-media
	@[ -L build/tsan/test-media ] || { rm -rf build/tsan/test-media; ln -s ../release/test-media build/tsan/test-media; }
	ctest --preset tsan

# Whole processes beside their peers (mpeg2dec, mpg123, ffmpeg), alternated,
# medians and ratios; not a test.
bench: configure
	cmake --build --preset $(PRESET) --target razavori
	bench/whole_process.py $(BUILD_DIR)
	bench/avi/avi_bench.py $(BUILD_DIR)

clean:
	rm -rf build
