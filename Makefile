# The two set-up commands of the README: `make run` and `make test`.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: deps configure build run test bench asan torture clean

deps:
	@bash tools/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@$(BUILD)/bin/tav-eval $(ARGS)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

bench: build
	@bash bench/run.sh $(BUILD)/bin
	@bash bench/return-cost.sh $(BUILD)/bin
	@bash bench/memory-bound.sh $(BUILD)/bin
	@bash bench/parse-linear.sh $(BUILD)/bin
	@bash bench/boot-image.sh $(BUILD)/bin

# Sanitizer build, as CI runs it.
asan:
	@$(MAKE) test BUILD=build-asan CMAKE_FLAGS="-DTAV_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo"

# The language tables with a collection at every safe point, under the sanitizers.
torture: deps
	@cmake -S . -B build-torture -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAV_SANITIZE=ON -DTAV_TORTURE=ON >/dev/null
	@cmake --build build-torture -j $(JOBS) --target tav-eval
	@cd build-torture && ctest --output-on-failure -j $(JOBS) -R '^lang\.'

clean:
	rm -rf build build-asan build-torture
