# The two set-up commands of the README: `make run` and `make test`.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
# CI turns warnings into errors in every leg.
WERROR ?= OFF

.PHONY: deps configure build run test bench asan torture nonunity clean

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

# Sanitizer build, as CI runs it.
asan:
	@$(MAKE) test BUILD=build-asan CMAKE_FLAGS="-DTAV_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo"

# The language tables with a collection at every safe point, under the sanitizers.
torture: deps
	@cmake -S . -B build-torture -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAV_SANITIZE=ON -DTAV_TORTURE=ON -DTAV_WERROR=$(WERROR) >/dev/null
	@cmake --build build-torture -j $(JOBS) --target tav-eval
	@cd build-torture && ctest --output-on-failure -j $(JOBS) -R '^lang\.'

# Every source compiled on its own (a missing include shows here, not in the unity build),
# at -O1 to keep the leg short; then the whole suite.
nonunity:
	@$(MAKE) test BUILD=build-nonunity CMAKE_FLAGS="-DTAV_UNITY=OFF -DCMAKE_CXX_FLAGS_RELEASE=-O1"

clean:
	rm -rf build build-asan build-torture build-nonunity
