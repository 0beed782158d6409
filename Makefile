# The two commands of the README: `make demo` and `make test`.
PRESET ?= release
BUILD_DIR := build/$(PRESET)
RAZAVORI := $(BUILD_DIR)/bin/razavori

.PHONY: all setup configure build demo test asan clean

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

clean:
	rm -rf build
