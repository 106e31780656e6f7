# fwpak's front door: build, test, demo, install, package.
BUILD      ?= build
BENCH_BUILD ?= build-bench
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
PREFIX     ?= /usr/local
JOBS       ?= 2
CMAKE_FLAGS ?=
# The Debian package's Maintainer field and changelog signature, e.g.
#   make package FWPAK_MAINTAINER='Jane Admin <jane@example.com>'
# (kept in the build directory's CMake cache once given).
FWPAK_MAINTAINER ?=

.PHONY: all build deps test test-all lint asan-test asan-unit memcheck fuzz-build fuzz package package-check rpm demo bench install install-strip clean

all: build

deps:
	@scripts/install-deps

CONFIGURE = cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFWPAK_WERROR=ON \
	    -DCMAKE_INSTALL_PREFIX=$(PREFIX) $(CMAKE_FLAGS)

$(BUILD)/Makefile:
	$(CONFIGURE)

build: $(BUILD)/Makefile
	cmake --build $(BUILD) -j $(JOBS)

# The gate CI runs (.ci/run), under ten minutes on two cores: lint, every test but the
# Ansible fleet, the unit tier under valgrind and under ASan/UBSan, both packages.
test: deps build
	scripts/lint $(BUILD)
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) -LE fleet
	scripts/memcheck $(BUILD) $(JOBS)
	$(MAKE) package-check
	$(MAKE) asan-unit

# Everything the gate leaves out for its time: the fleet roll-out (about three minutes
# alone), every tier under ASan/UBSan, each fuzz target for FUZZ_SECONDS.
test-all: test
	ctest --test-dir $(BUILD) --output-on-failure -L fleet
	$(MAKE) asan-test
	$(MAKE) fuzz

lint: build
	scripts/lint $(BUILD)

ASAN_CONFIGURE = cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DFWPAK_WERROR=ON \
	    -DFWPAK_SANITIZE=ON -DCMAKE_CXX_COMPILER=clang++
ASAN_CTEST = ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
	    ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# The whole suite, under AddressSanitizer and UndefinedBehaviorSanitizer (clang).
asan-test:
	$(ASAN_CONFIGURE)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	$(ASAN_CTEST)

# The unit tier alone under the sanitizers: only its binaries are built.
asan-unit:
	$(ASAN_CONFIGURE)
	cmake --build $(ASAN_BUILD) -j $(JOBS) --target unit_tests
	$(ASAN_CTEST) -L unit

# The unit tests under valgrind memcheck; tests/memcheck.supp lists the leaks the
# design leaves to process exit.
memcheck: build
	scripts/memcheck $(BUILD) $(JOBS)

# libFuzzer targets (tests/fuzz): the product libraries built with clang, the
# sanitizers and coverage instrumentation, then each target run FUZZ_SECONDS.
fuzz-build:
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFWPAK_WERROR=ON \
	    -DFWPAK_FUZZ=ON -DFWPAK_TESTS=OFF -DCMAKE_CXX_COMPILER=clang++
	cmake --build $(FUZZ_BUILD) -j $(JOBS)

fuzz: fuzz-build
	scripts/run-fuzz $(FUZZ_BUILD) $(FUZZ_SECONDS) $(JOBS)

# Benchmarks in an optimised build of their own (Google Benchmark).
bench: deps
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DFWPAK_BENCH=ON -DFWPAK_TESTS=OFF -DFWPAK_WERROR=ON
	cmake --build $(BENCH_BUILD) -j $(JOBS) --target catalog_bench upgrade_bench repo_bench
	$(BENCH_BUILD)/bench/catalog_bench
	$(BENCH_BUILD)/bench/upgrade_bench
	$(BENCH_BUILD)/bench/repo_bench

package: $(BUILD)/Makefile
	$(if $(FWPAK_MAINTAINER),cmake -S . -B $(BUILD) -DFWPAK_MAINTAINER='$(FWPAK_MAINTAINER)')
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && cpack -G DEB

VERSION = $(shell sed -n 's/^project.fwpak VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

package-check: package
	tests/package/check-deb $(BUILD)/fwpak_$(VERSION)_$$(dpkg --print-architecture).deb
	if command -v rpmbuild >/dev/null; then $(MAKE) rpm && tests/package/check-rpm $(BUILD)/rpm $(VERSION); \
	else echo "package-check: skipped the RPM: rpmbuild is not installed (scripts/install-deps)"; fi

# The RPM (packaging/rpm/fwpak.rpmbuild) from a source tarball of the tree's files, in
# $(BUILD)/rpm. Where rpm lacks RHEL's macros (Debian), packaging/rpm/macros.debian
# stands in for them and the build dependencies, which the rpm database of a
# Debian host cannot know, are not checked.
# rpmbuild puts the recipe into the source package under the name it was given, and
# RPM's tools (rpmlint, rpmbuild --rebuild, mock) look there for RPM's own suffix.
RPM_RECIPE = $(BUILD)/rpm/SPECS/fwpak.spec
rpm:
	@command -v rpmbuild >/dev/null || { echo "make rpm: rpmbuild is not installed (package rpm)" >&2; exit 1; }
	rm -rf $(BUILD)/rpm && mkdir -p $(BUILD)/rpm/SOURCES
	git ls-files -co --exclude-standard | while read -r f; do [ ! -e "$$f" ] || echo "$$f"; done | \
	    tar -czf $(BUILD)/rpm/SOURCES/fwpak-$(VERSION).tar.gz --transform 's,^,fwpak-$(VERSION)/,' -T -
	mkdir -p $(BUILD)/rpm/SPECS && cp packaging/rpm/fwpak.rpmbuild $(RPM_RECIPE)
	if [ -z "$$(rpm --eval '%{?_unitdir}')" ]; then \
	    extra="--load packaging/rpm/macros.debian --nodeps"; fi; \
	rpmbuild -ba $$extra --define "_topdir $(abspath $(BUILD)/rpm)" \
	    --define "_smp_mflags -j$(JOBS)" $(RPM_RECIPE)

# The demo needs only the programs, not the test suite: a quiet build of fwpak (and
# of fwpak-repo where the tree has it) in one line, its log shown only on failure.
demo: deps
	@printf 'Building the programs in $(BUILD)/ (log: $(BUILD)/demo-build.log) ...'; \
	mkdir -p $(BUILD); \
	if { { [ -f $(BUILD)/Makefile ] || $(CONFIGURE); } && \
	     targets=fwpak && \
	     { ! cmake --build $(BUILD) --target help | grep -qw fwpak-repo || \
	       targets="fwpak fwpak-repo"; } && \
	     cmake --build $(BUILD) -j $(JOBS) --target $$targets; \
	   } >$(BUILD)/demo-build.log 2>&1; \
	then echo ' done'; else echo ' failed:'; cat $(BUILD)/demo-build.log; exit 1; fi
	@demo/run-demo $(BUILD)/fwpak

# Both install the package's set: fwpak and fwpak-repo in sbin, their compressed
# manual pages, README, copyright and changelog. install keeps the programs' debug
# information; install-strip strips them, as the package does.
install: build
	DESTDIR=$(DESTDIR) cmake --install $(BUILD) --prefix $(PREFIX)

install-strip: build
	DESTDIR=$(DESTDIR) cmake --install $(BUILD) --prefix $(PREFIX) --strip

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(BENCH_BUILD) $(FUZZ_BUILD)
