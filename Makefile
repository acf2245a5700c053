# Ombrix: `make run` builds and starts the program, `make test` builds and
# runs every test. Both install missing Debian packages first.
# `make install PREFIX=… [DESTDIR=…]` installs, `make deb` builds the Debian
# package build/ombrix_<version>_<arch>.deb.
BUILD ?= build
JOBS ?= $(shell nproc)
ARGS ?=
PREFIX ?= /usr/local
DESTDIR ?=

.PHONY: run test bench deps build configure install deb

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

install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

deb: build
	cd $(BUILD) && cpack -G DEB
