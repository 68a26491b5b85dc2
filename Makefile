# The two commands a person needs: `make demo` and `make test`. Both set up
# a fresh Debian 12 machine by themselves (scripts/install-deps).

BUILD ?= build
JOBS ?= 2
FUZZ_SECONDS ?= 60

CCACHE := $(shell command -v ccache 2>/dev/null)
# Paths inside the checkout hash as relative ones, so a fresh clone elsewhere
# still finds the compiler results of an earlier one.
export CCACHE_BASEDIR := $(CURDIR)
CMAKE_COMMON = -G Ninja $(if $(CCACHE),-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
CTEST = ctest --output-on-failure -j$(JOBS) --timeout 600

.PHONY: all deps demo test release asan tsan bench fuzz clean windows windows-deps test-windows dist deb test-deb

all: release

deps:
	@scripts/install-deps core

release: deps
	@cmake -S . -B $(BUILD)/release $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD)/release -j$(JOBS)

asan: deps
	@cmake -S . -B $(BUILD)/asan $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DADDOSCOPE_SANITIZE=address,undefined >/dev/null
	@cmake --build $(BUILD)/asan -j$(JOBS)

# ThreadSanitizer needs only the plugin and its threading test.
tsan: deps
	@cmake -S . -B $(BUILD)/tsan $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DADDOSCOPE_SANITIZE=thread >/dev/null
	@cmake --build $(BUILD)/tsan -j$(JOBS) --target plugin_ThreadingTest

demo: release
	@echo "== addoscope $(BUILD)/release/examples"
	@$(BUILD)/release/bin/addoscope $(BUILD)/release/examples
	@echo "== addoscope --columns Type,Name,Version,Compatibility $(BUILD)/release/examples"
	@$(BUILD)/release/bin/addoscope --columns Type,Name,Version,Compatibility $(BUILD)/release/examples

test: release asan tsan
	@echo "== release build"
	@$(CTEST) --test-dir $(BUILD)/release
	@echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
	@ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		$(CTEST) --test-dir $(BUILD)/asan
	@echo "== ThreadSanitizer: concurrent requests and notifications"
	@TSAN_OPTIONS=halt_on_error=1 $(CTEST) --test-dir $(BUILD)/tsan -R '^Threading\.'

bench:
	@scripts/install-deps bench
	@cmake -S . -B $(BUILD)/bench $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=Release -DADDOSCOPE_TESTS=OFF \
		-DADDOSCOPE_BENCH=ON >/dev/null
	@cmake --build $(BUILD)/bench -j$(JOBS)
	@scripts/run-benchmarks $(BUILD)/bench

fuzz:
	@scripts/install-deps fuzz
	@CC=clang CXX=clang++ cmake -S . -B $(BUILD)/fuzz $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DADDOSCOPE_TESTS=OFF -DADDOSCOPE_FUZZ=ON >/dev/null
	@cmake --build $(BUILD)/fuzz -j$(JOBS)
	@scripts/run-fuzzers $(BUILD)/fuzz $(FUZZ_SECONDS)

# ---- Windows: both plugin DLLs and host commands, cross-built with MinGW-w64
WIN_DEPS = $(abspath $(BUILD))/windows-deps
WIN_CMAKE = $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=Release -DADDOSCOPE_TESTS=OFF

windows-deps:
	@scripts/install-deps windows
	@scripts/build-windows-deps $(WIN_DEPS)

windows: windows-deps
	@cmake -S . -B $(BUILD)/win64 $(WIN_CMAKE) -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/toolchains/mingw64.cmake \
		-DCMAKE_FIND_ROOT_PATH=$(WIN_DEPS)/x86_64 >/dev/null
	@cmake --build $(BUILD)/win64 -j$(JOBS) --target Addoscope addoscope
	@cmake -S . -B $(BUILD)/win32 $(WIN_CMAKE) -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/toolchains/mingw32.cmake \
		-DCMAKE_FIND_ROOT_PATH=$(WIN_DEPS)/i686 >/dev/null
	@cmake --build $(BUILD)/win32 -j$(JOBS) --target Addoscope addoscope

# The Linux build's answers are the reference the Windows builds must give.
test-windows: windows
	@cmake -S . -B $(BUILD)/release $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD)/release -j$(JOBS) --target addoscope Addoscope examples
	@echo "== Windows builds under Wine"
	@scripts/test-windows $(BUILD)/release $(BUILD)/win64 $(BUILD)/win32

# The archive Total Commander installs by itself when it is opened.
dist: windows
	@dist/make-dist $(BUILD)/win64 $(BUILD)/win32 $(BUILD)

# ---- The Debian package: a build of its own with Debian's compiler and
# linker flags (hardening included), without the test suite; lintian must
# find no error in it.
DEB_FLAGS = DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get

deb:
	@scripts/install-deps package
	@cmake -S . -B $(BUILD)/deb $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=Release -DADDOSCOPE_TESTS=OFF \
		-DCMAKE_C_FLAGS="$$($(DEB_FLAGS) CPPFLAGS) $$($(DEB_FLAGS) CFLAGS)" \
		-DCMAKE_CXX_FLAGS="$$($(DEB_FLAGS) CPPFLAGS) $$($(DEB_FLAGS) CXXFLAGS)" \
		-DCMAKE_EXE_LINKER_FLAGS="$$($(DEB_FLAGS) LDFLAGS)" \
		-DCMAKE_SHARED_LINKER_FLAGS="$$($(DEB_FLAGS) LDFLAGS)" >/dev/null
	@cmake --build $(BUILD)/deb -j$(JOBS)
	@rm -f $(BUILD)/deb/package/*.deb
	@cd $(BUILD)/deb && cpack -G DEB >/dev/null
	@for f in $(BUILD)/deb/package/*.deb; do cp "$$f" $(BUILD)/; echo "deb: wrote $(BUILD)/$${f##*/}"; done
	@echo "== lintian"
	@lintian --fail-on error --tag-display-limit 0 $(BUILD)/deb/package/*.deb

# The package installed with dpkg into a scratch root, used and removed.
test-deb: deb
	@scripts/test-deb $(BUILD)/deb/package/*.deb $(BUILD)/deb/examples

clean:
	rm -rf $(BUILD)
