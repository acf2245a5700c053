# Ombrix: `make run` builds and starts the program, `make test` builds and
# runs every test. Both install missing Debian packages first.
BUILD ?= build
JOBS ?= $(shell nproc)
ARGS ?=

.PHONY: run test bench deps build configure

run: build
	./$(BUILD)/ombrix $(ARGS)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j$(JOBS)

bench:
	./bench/run

deps:
	@./scripts/deps.sh

configure: deps
	@test -f $(BUILD)/CMakeCache.txt || cmake -S . -B $(BUILD)

build: configure
	cmake --build $(BUILD) -j$(JOBS)
