# The two set-up commands of the README: `make run` and `make test`.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
# CI turns warnings into errors in every leg.
WERROR ?= OFF

.PHONY: deps configure build run test bench asan build-asan-tree torture clean

deps:
	@bash tools/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAV_WERROR=$(WERROR) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# The console; `make run ARGS="script.tav"` runs a script through it.
run: build
	@$(BUILD)/bin/tav $(ARGS)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

bench: build
	@bash bench/run.sh $(BUILD)/bin
	@bash bench/return-cost.sh $(BUILD)/bin
	@bash bench/memory-bound.sh $(BUILD)/bin
	@bash bench/parse-linear.sh $(BUILD)/bin
	@bash bench/boot-image.sh $(BUILD)/bin
	@bash bench/draw-linear.sh $(BUILD)/bin
	@bash bench/reactive-change.sh $(BUILD)/bin
	@bash bench/terminal-print.sh $(BUILD)/bin
	@bash bench/compress.sh $(BUILD)/bin

# Sanitizer build, as CI runs it, compiled source by source (a missing include shows here,
# not in the unity build). The wrapped-function runs of the tables repeat each case six times;
# under the sanitizers the plain and general-road runs cover the same code at a fraction of
# the time. The plain runs are the torture leg's, on this same build.
asan: build-asan-tree
	@cd build-asan && ctest --output-on-failure -j $(JOBS) -E '^lang(-wrapped)?\.'

build-asan-tree: deps
	@cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAV_SANITIZE=ON -DTAV_UNITY=OFF -DTAV_WERROR=$(WERROR) >/dev/null
	@cmake --build build-asan -j $(JOBS)

# The language tables with a collection at every safe point, on the sanitizer build.
torture: build-asan-tree
	@cd build-asan && TAV_TORTURE=1 ctest --output-on-failure -j $(JOBS) -R '^lang\.'

clean:
	rm -rf build build-asan
