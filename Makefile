# The two set-up commands of the README: `make run` and `make test`.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
# CI turns warnings into errors in every leg.
WERROR ?= OFF

.PHONY: deps configure build run test bench asan build-asan-tree torture nonunity clean

deps:
	@bash tools/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAV_WERROR=$(WERROR) $(CMAKE_FLAGS) >/dev/null

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
	@bash bench/draw-linear.sh $(BUILD)/bin
	@bash bench/reactive-change.sh $(BUILD)/bin

# Sanitizer build, as CI runs it.
# The wrapped-function runs of the tables repeat each case six times; under the sanitizers
# the plain and general-road runs cover the same code at a fraction of the time. The unit tests
# that show windows meet a fontconfig allocation the leak suppressions do not reach yet.
asan: build-asan-tree
	@cd build-asan && ctest --output-on-failure -j $(JOBS) -E '^lang-wrapped\.'

build-asan-tree: deps
	@cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAV_SANITIZE=ON -DTAV_WERROR=$(WERROR) >/dev/null
	@cmake --build build-asan -j $(JOBS)

# The language tables with a collection at every safe point, under the sanitizers.
torture: deps
	@cmake -S . -B build-torture -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAV_SANITIZE=ON -DTAV_TORTURE=ON -DTAV_WERROR=$(WERROR) >/dev/null
	@cmake --build build-torture -j $(JOBS) --target tav-eval
	@cd build-torture && ctest --output-on-failure -j $(JOBS) -R '^lang\.'

# Every source compiled on its own (a missing include shows here, not in the unity build),
# at -O1 to keep the leg short; then the unit tests and the plain tables (the other legs run
# the differential tables).
nonunity: deps
	@cmake -S . -B build-nonunity -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAV_UNITY=OFF -DCMAKE_CXX_FLAGS_RELEASE=-O1 -DTAV_WERROR=$(WERROR) >/dev/null
	@cmake --build build-nonunity -j $(JOBS)
	@cd build-nonunity && ctest --output-on-failure -j $(JOBS) -E '^lang-(wrapped|tiers-off)\.'

clean:
	rm -rf build build-asan build-torture build-nonunity
