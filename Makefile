# Lanvey: the commands a new user needs.
#   make deps   install the Debian packages the build, the tests and the test LAN need
#   make build  configure and build into build/
#   make test   deps, build, then every test suite through CTest, then the fuzzers' short runs
#   make install    an optimised build installed below PREFIX (default /usr/local; DESTDIR
#                   is honoured); as root it gives lanvey-arp its capability
#   make deb        the Debian package, build-release/package/lanvey_*.deb

BUILD_DIR  ?= build
BUILD_TYPE ?= Debug
WERROR     ?= $(if $(CI),ON,OFF)
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)

# Build: compiler, CMake, Ninja, Qt 6, SQLite, GoogleTest. Vendor table: ieee-data.
# Test LAN: iproute2 (namespaces, bridge, tc), Samba's nmbd and nmblookup (NetBIOS), the C
# compiler that builds its responder (gcc).
# Package checks (label "package"): desktop-file-validate, appstreamcli, lintian, man's
# warnings, bash-completion, setcap (libcap2-bin), dpkg-shlibdeps (dpkg-dev), mmdebstrap
# for the install and purge in a clean chroot.
# Print tests: poppler-utils (pdftotext reads the printed PDF back). Qt's own texts in the
# language in use (standard buttons, print dialogs): qt6-translations-l10n. The second
# compiler, and the fuzzers' libFuzzer: clang. The lab's joining hosts announce
# themselves as a DHCP client does: iputils-arping.
DEB_PACKAGES := g++ gcc clang cmake ninja-build pkg-config qt6-base-dev libsqlite3-dev \
	libgtest-dev ieee-data iproute2 samba samba-common-bin clang-format poppler-utils \
	qt6-translations-l10n libc-ares-dev dnsmasq-base \
	desktop-file-utils appstream lintian mmdebstrap bash-completion libcap2-bin man-db \
	dpkg-dev file iputils-arping dbus-daemon

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps build test fuzz bench-core clean format build-clang test-asan install deb release

all: build

# Only missing packages are installed. Samba's install would start nmbd and smbd on
# this machine's own network; a policy-rc.d that says no keeps them stopped (the test
# LAN starts its own nmbd inside its namespaces).
deps:
	@missing=""; \
	for p in $(DEB_PACKAGES); do \
		dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' \
			|| missing="$$missing $$p"; \
	done; \
	if [ -z "$$missing" ]; then echo "deps: all packages present"; exit 0; fi; \
	echo "deps: installing$$missing"; \
	policy=/usr/sbin/policy-rc.d; made_policy=""; \
	if [ ! -e $$policy ]; then \
		printf '#!/bin/sh\nexit 101\n' | $(SUDO) tee $$policy >/dev/null && $(SUDO) chmod +x $$policy && made_policy=1; \
	fi; \
	$(SUDO) apt-get update -qq && \
	DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	rc=$$?; \
	if [ -n "$$made_policy" ]; then $(SUDO) rm -f $$policy; fi; \
	exit $$rc

build:
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DLANVEY_WERROR=$(WERROR)
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: deps build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)
	$(MAKE) --no-print-directory fuzz

# The libFuzzer targets (clang only) in a build of their own, and their short runs: 20 s
# of each parser of what arrives from the network, a file or another process.
FUZZ_DIR ?= build-fuzz
fuzz: deps
	cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLANVEY_WERROR=ON \
		-DCMAKE_CXX_COMPILER=clang++ $(LAUNCHER)
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target lanvey_fuzzers
	ctest --test-dir $(FUZZ_DIR) -L fuzz --output-on-failure -j $(JOBS)

# Core timings, from an optimised build of its own.
bench-core: deps
	cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DLANVEY_BUILD_TESTS=OFF
	cmake --build build-release -j $(JOBS) --target lanvey_core_bench
	./build-release/bench/lanvey_core_bench

# The installed program and the package, from an optimised build of their own, built with
# the flags Debian's own packages get (hardening, fortified calls), without debug data as
# the installed files are stripped.
PREFIX      ?= /usr/local
RELEASE_DIR ?= build-release
DEB_FLAGS   := DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CXXFLAGS_MAINT_STRIP=-g
RELEASE_CXXFLAGS = $(shell $(DEB_FLAGS) dpkg-buildflags --get CPPFLAGS) \
	$(shell $(DEB_FLAGS) dpkg-buildflags --get CXXFLAGS)
RELEASE_LDFLAGS = $(shell $(DEB_FLAGS) dpkg-buildflags --get LDFLAGS)

release: deps
	cmake -S . -B $(RELEASE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DLANVEY_BUILD_TESTS=OFF \
		-DCMAKE_INSTALL_PREFIX=$(PREFIX) -DCMAKE_CXX_FLAGS="$(RELEASE_CXXFLAGS)" \
		-DCMAKE_EXE_LINKER_FLAGS="$(RELEASE_LDFLAGS)" -DCMAKE_SHARED_LINKER_FLAGS="$(RELEASE_LDFLAGS)" \
		-DCMAKE_MODULE_LINKER_FLAGS="$(RELEASE_LDFLAGS)" $(LAUNCHER)
	cmake --build $(RELEASE_DIR) -j $(JOBS) --target lanvey_dist

install: release
	DESTDIR="$(DESTDIR)" cmake --install $(RELEASE_DIR) --strip

deb: release
	rm -f $(RELEASE_DIR)/package/*.deb
	cd $(RELEASE_DIR) && cpack -G DEB
	@ls -l $(RELEASE_DIR)/package/*.deb

# The tree must build with clang as well as with g++ (warnings are errors here).
CCACHE := $(shell command -v ccache 2>/dev/null)
LAUNCHER := $(if $(CCACHE),-DCMAKE_CXX_COMPILER_LAUNCHER=$(CCACHE))

build-clang: deps
	cmake -S . -B build-clang -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLANVEY_WERROR=ON \
		-DCMAKE_CXX_COMPILER=clang++ $(LAUNCHER)
	cmake --build build-clang -j $(JOBS)

# Every suite under AddressSanitizer and UndefinedBehaviorSanitizer; any finding fails its
# test. The lab suite (label "lab") is left out: it brings the test LAN up and needs root;
# run it from a normal build.
SANITIZE := -fsanitize=address,undefined -fno-omit-frame-pointer
test-asan: deps
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLANVEY_WERROR=$(WERROR) \
		-DCMAKE_CXX_FLAGS="$(SANITIZE)" -DCMAKE_EXE_LINKER_FLAGS="$(SANITIZE)" \
		-DCMAKE_SHARED_LINKER_FLAGS="$(SANITIZE)" $(LAUNCHER)
	cmake --build build-asan -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		ctest --test-dir build-asan --output-on-failure -j $(JOBS) -LE lab

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD_DIR)

# The program. `run` starts it on this machine's display and network; `screenshots`
# draws its windows offscreen into $(BUILD_DIR)/screenshots (no scan, no network), and
# as root also the window after a real scan of the test LAN, run inside the LAN's scanner
# namespace; `demo` (root) brings the test LAN up and starts the program inside the LAN's
# scanner namespace, so a scan there only ever reaches the lab's hosts.
.PHONY: run screenshots demo

run: build
	./$(BUILD_DIR)/lanvey

# The Chinese pictures need a font with CJK glyphs.
screenshots: build
	@fc-list :lang=zh 2>/dev/null | grep -q . || { \
		echo "screenshots: installing a CJK font (fonts-wqy-microhei)"; \
		$(SUDO) apt-get update -qq && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends fonts-wqy-microhei; }
	QT_QPA_PLATFORM=offscreen ./$(BUILD_DIR)/lanvey_screenshots $(BUILD_DIR)/screenshots
	@if [ "$$(id -u)" != 0 ]; then \
		echo "screenshots: skipping scan_lab.png, database_lab*.png, find.png and watch_lab*.png: they scan the test LAN, which needs root (sudo make screenshots)"; \
		exit 0; \
	fi; \
	was_up=; lab/lab status >/dev/null 2>&1 && was_up=1; \
	[ -n "$$was_up" ] || lab/lab up || exit 1; \
	lab/lab exec env QT_QPA_PLATFORM=offscreen $(CURDIR)/$(BUILD_DIR)/lanvey_screenshots \
		--lab $(CURDIR)/$(BUILD_DIR)/screenshots; rc=$$?; \
	[ -n "$$was_up" ] || lab/lab down; \
	exit $$rc

demo: build
	@[ "$$(id -u)" = 0 ] || { echo "demo: the test LAN needs root (sudo make demo)" >&2; exit 1; }
	@[ -n "$$DISPLAY$$WAYLAND_DISPLAY" ] || { echo "demo: no display (DISPLAY is not set)" >&2; exit 1; }
	@$(MAKE) --no-print-directory demo-analyzer
	lab/lab up
	lab/lab exec env DISPLAY="$$DISPLAY" XAUTHORITY="$${XAUTHORITY:-$$HOME/.Xauthority}" \
		$${WAYLAND_DISPLAY:+WAYLAND_DISPLAY="$$WAYLAND_DISPLAY"} \
		$${XDG_RUNTIME_DIR:+XDG_RUNTIME_DIR="$$XDG_RUNTIME_DIR"} \
		XDG_CONFIG_DIRS="$(DEMO_DIR)/xdg:$${XDG_CONFIG_DIRS:-/etc/xdg}" \
		$(CURDIR)/$(BUILD_DIR)/lanvey

# The stand-in analyzer installed as the analyzer, for the demo only: an install folder
# whose "Tessera" and "quillon" are the stand-in, and the analyzer's registration (build
# 1128) in a configuration folder that only the demo's program is pointed at; nothing
# of the machine's own configuration changes.
DEMO_DIR := $(CURDIR)/$(BUILD_DIR)/demo
.PHONY: demo-analyzer
demo-analyzer: build
	mkdir -p "$(DEMO_DIR)/Norvane Tessera" "$(DEMO_DIR)/xdg"
	ln -sf "$(CURDIR)/$(BUILD_DIR)/lanvey-analyzer-standin" "$(DEMO_DIR)/Norvane Tessera/Tessera"
	ln -sf "$(CURDIR)/$(BUILD_DIR)/lanvey-analyzer-standin" "$(DEMO_DIR)/Norvane Tessera/quillon"
	printf '[Norvane%%20Tessera]\nInstallPath=%s\nVersion=5.2.0.1128\n' \
		"$(DEMO_DIR)/Norvane Tessera" > "$(DEMO_DIR)/xdg/Norvane.conf"
