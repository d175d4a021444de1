# Glosmorin: `make run` builds the programs and runs the main job, `make test` builds everything
# and runs every test. Both install the Debian packages they need first, once per invocation.
BUILD ?= build
JOBS ?= 2
NATIVE := $(BUILD)/native
ASAN := $(BUILD)/asan
WIN := $(BUILD)/win64
CMAKE_NATIVE := cmake -S . -B $(NATIVE) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
CMAKE_ASAN := cmake -S . -B $(ASAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DGLOS_SANITIZE=ON
CMAKE_WIN := cmake -S . -B $(WIN) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	-DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64-x86_64.cmake

.PHONY: all deps build build-native build-asan build-win test test-native test-asan test-win \
	test-parity run bench format clean

all: build

deps:
	@bash scripts/install-deps.sh

build-native: deps
	@$(CMAKE_NATIVE) >/dev/null
	cmake --build $(NATIVE) -j$(JOBS)

build-asan: deps
	@$(CMAKE_ASAN) >/dev/null
	cmake --build $(ASAN) -j$(JOBS)

build-win: deps
	@$(CMAKE_WIN) >/dev/null
	cmake --build $(WIN) -j$(JOBS)

build: build-native build-win

test-native: build-native
	ctest --test-dir $(NATIVE) --output-on-failure -j$(JOBS)

test-asan: build-asan
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
		ctest --test-dir $(ASAN) --output-on-failure -j$(JOBS)

# Under a virtual display, so that the window tests run too; serially, as they need the focus.
test-win: build-win
	bash scripts/xvfb-wine-test.sh $(WIN)

test-parity: build-native build-win
	bash tests/cli/parity.sh $(NATIVE)/cli/glosmorin-cli $(WIN)/cli/glosmorin-cli.exe

test: test-native test-asan test-win test-parity

# The window under Wine where there is a display; the console demo elsewhere. Only the programs
# the run uses are built, not the tests.
run: deps
	@$(CMAKE_NATIVE) >/dev/null
	@$(CMAKE_WIN) >/dev/null
	@if [ -n "$$DISPLAY" ]; then \
	  cmake --build $(WIN) -j$(JOBS) --target glosmorin && bash scripts/run-window.sh $(WIN); \
	else \
	  cmake --build $(NATIVE) -j$(JOBS) --target glosmorin-cli && \
	  cmake --build $(WIN) -j$(JOBS) --target glosmorin-cli && \
	  bash scripts/demo.sh $(NATIVE)/cli/glosmorin-cli $(WIN)/cli/glosmorin-cli.exe; fi

bench: deps
	@cmake -S . -B $(BUILD)/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(BUILD)/release -j$(JOBS) --target glosmorin-cli
	bash bench/run.sh $(BUILD)/release/cli/glosmorin-cli

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD)

# Fuzzing: the libFuzzer targets of fuzz/ in a clang build of their own, FUZZ_SECONDS seconds
# each, one after the other with a single worker.
FUZZ := $(BUILD)/fuzz
FUZZ_SECONDS ?= 60
CMAKE_FUZZ := cmake -S . -B $(FUZZ) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DGLOS_FUZZ=ON -DGLOS_TESTS=OFF

.PHONY: fuzz
fuzz: deps
	@$(CMAKE_FUZZ) >/dev/null
	cmake --build $(FUZZ) -j$(JOBS)
	bash fuzz/run.sh $(FUZZ) $(FUZZ_SECONDS)
