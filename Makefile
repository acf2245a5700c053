# Ombrix: `make run` builds and starts the program, `make test` builds and
# runs every test, then the byte, parsing and configuration tests again
# built with AddressSanitizer and UndefinedBehaviorSanitizer. `make fuzz`
# runs each fuzz target for FUZZ_SECONDS (or FUZZ_RUNS inputs, when that
# comes first). `make install PREFIX=… [DESTDIR=…]` installs, `make deb`
# builds the Debian package build/ombrix_<version>_<arch>.deb. All install
# missing Debian packages first.
BUILD ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_RUNS ?=
FUZZ_TARGETS = fuzz_ProfileText fuzz_ProfileModel fuzz_Telnet fuzz_PortMapValue fuzz_ProfileSettings
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

# The sanitized half builds and runs only the tests that feed bytes, parsing
# and configuration through the code (label asan, listed in one place in
# tests/CMakeLists.txt): the serial component and port map, the session's
# byte path and log writer, the configuration file and its reading, the
# logging service, the fuzz replays (the second of which loads and saves
# through a real main window), and tst_BadInput, which feeds hostile stored
# placements and port maps to the main window. Other widget tests, dialogs,
# the tray and the end-to-end tests run in the plain half only.
test-asan: asan-build
	cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j$(JOBS) -L asan

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
	cmake --build $(ASAN_BUILD) -j$(JOBS) --target asan_tests

fuzz:
	@./scripts/deps.sh fuzz
	@test -f $(FUZZ_BUILD)/CMakeCache.txt || \
	  cmake -S . -B $(FUZZ_BUILD) -DOMBRIX_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++-14
	cmake --build $(FUZZ_BUILD) -j$(JOBS) --target $(FUZZ_TARGETS)
	FUZZ_RUNS=$(FUZZ_RUNS) ./scripts/fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS) $(FUZZ_TARGETS)
