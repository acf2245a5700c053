# Ombrix: `make run` builds and starts the program, `make test` builds and
# runs every test, then again built with AddressSanitizer and
# UndefinedBehaviorSanitizer. `make fuzz` runs each fuzz target for
# FUZZ_SECONDS. `make install PREFIX=… [DESTDIR=…]` installs, `make deb`
# builds the Debian package build/ombrix_<version>_<arch>.deb. All install
# missing Debian packages first.
BUILD ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS = fuzz_PrivateProfile fuzz_ProfileSettings
JOBS ?= $(shell nproc)
ARGS ?=
PREFIX ?= /usr/local
DESTDIR ?=

.PHONY: run test test-plain test-asan bench deps build configure asan-build fuzz install deb

run: build
	./$(BUILD)/ombrix $(ARGS)

test: test-plain test-asan

test-plain: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j$(JOBS)

# The sanitized run leaves out the end-to-end tests (label e2e): they drive
# the same code as the widget tests through an X server and xdotool, and each
# waits on a window system that is slower under the sanitizers. The sanitized
# program itself still runs from start-up to its save at exit in tst_BadInput.
test-asan: asan-build
	cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j$(JOBS) -LE e2e

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

asan-build: deps
	@test -f $(ASAN_BUILD)/CMakeCache.txt || cmake -S . -B $(ASAN_BUILD) -DOMBRIX_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j$(JOBS)

fuzz:
	@./scripts/deps.sh fuzz
	@test -f $(FUZZ_BUILD)/CMakeCache.txt || \
	  cmake -S . -B $(FUZZ_BUILD) -DOMBRIX_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++-14
	cmake --build $(FUZZ_BUILD) -j$(JOBS) --target $(FUZZ_TARGETS)
	./scripts/fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS) $(FUZZ_TARGETS)
