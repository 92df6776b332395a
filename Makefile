# The README's commands. Each installs what is missing first.
BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= $(shell nproc)
CTEST_ARGS ?=
# Extra CMake options for both builds (CI passes -DQM_WERROR=ON).
CMAKE_ARGS ?=

.PHONY: deps configure build run screenshots screenshots-filemanagers test test-fast test-sanitize bench format \
        format-check clean package package-check

deps:
	@scripts/install-deps

configure: deps
	@test -f $(BUILD)/build.ninja || cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# Starts the desktop program when it is built, else the command-line front end.
run: build
	@if [ -x $(BUILD)/src/ui/quillmar ]; then $(BUILD)/src/ui/quillmar $(ARGS); \
	 elif [ -x $(BUILD)/src/cli/quillmar-cli ]; then $(BUILD)/src/cli/quillmar-cli --help; \
	 else echo "nothing to run yet"; fi

# Every window of the desktop program in a fixed state on a demo Safe, as PNG files (offscreen).
SHOTS ?= $(BUILD)/screenshots
screenshots: build
	QT_QPA_PLATFORM=offscreen $(BUILD)/src/ui/qm_screenshots $(SHOTS)

# The file managers' menus with Brelkan Quillmar's items (Thunar and Nemo under Xvfb; installs them
# when missing). Not part of the tests.
screenshots-filemanagers: configure
	cmake --build $(BUILD) -j $(JOBS) --target quillmar-cml
	scripts/screenshots-filemanagers $(BUILD) $(SHOTS)

# Every test: the normal build, then the non-Qt tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer (built with clang, which also builds and runs the fuzz targets briefly).
test: build format-check
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) $(CTEST_ARGS)
	$(MAKE) test-sanitize

test-fast: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) $(CTEST_ARGS)

test-sanitize: deps
	@test -f $(ASAN_BUILD)/build.ninja || CC=clang CXX=clang++ cmake -S . -B $(ASAN_BUILD) -G Ninja \
	  -DCMAKE_BUILD_TYPE=Debug -DQM_SANITIZE=ON -DQM_BUILD_UI=OFF -DQM_BUILD_BENCH=OFF -DQM_FUZZ=ON $(CMAKE_ARGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS) -LE no-sanitize $(CTEST_ARGS)

# The command-line figures are measured beside KeePassXC's keepassxc-cli: Debian's keepassxc is
# installed when missing (bench/run still runs without it, and `make build` and `make test` never
# need it).
bench: build
	@command -v keepassxc-cli >/dev/null 2>&1 || { \
	  SUDO=; [ "$$(id -u)" -eq 0 ] || SUDO=sudo; \
	  DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -q --no-install-recommends keepassxc || \
	  echo "bench: keepassxc could not be installed; the command-line figures have no reference"; }
	bench/run $(BUILD)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

# Fails when a tracked source file differs from what `make format` would write.
format-check: deps
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)

# The Debian package of the programs (build/package/quillmar_VERSION_ARCH.deb), with Depends from the
# shared libraries they link.
package: build
	cmake --build $(BUILD) --target package

# Installs that package into a clean Debian 12 root (made with mmdebstrap from the Debian mirror) and
# runs both programs there. Slow (a few minutes, mostly downloads): not part of `make test`.
package-check: package
	scripts/package-check $(BUILD)/package
