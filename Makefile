# Set-up and everyday commands. Every target first installs whatever Debian
# packages are missing, so a fresh Debian 12 machine needs nothing else.

PACKAGES := g++ cmake make pkg-config qt6-base-dev qt6-base-dev-tools qt6-l10n-tools libgl-dev fonts-dejavu-core fonts-dejavu-extra
SHOT_PACKAGES := xvfb xdotool x11-apps imagemagick xauth
A11Y_PACKAGES := at-spi2-core dbus python3-pyatspi xclip
FUZZ_PACKAGES := clang libclang-rt-14-dev
# The validators the install test runs, and what builds and checks the package.
TEST_PACKAGES := desktop-file-utils appstream dpkg-dev
# What the end-to-end tests drive the real window with: an X11 desktop, and
# a Wayland one (sway headless, Xwayland, keys, a pointer through VNC,
# screenshots, the clipboard) with Qt's Wayland plugin; and Orca, the
# screen reader one flow listens with.
E2E_PACKAGES := xvfb xauth openbox xdotool x11-utils xclip dbus at-spi2-core python3-pyatspi imagemagick ibus ibus-libpinyin \
	sway xwayland wtype wayvnc grim wl-clipboard qt6-wayland orca
# Qt's own translations, and the locale sources the tests build German and
# Arabic locales from.
L10N_PACKAGES := qt6-translations-l10n locales
DEB_PACKAGES := dpkg-dev lintian
PREFIX ?= /usr/local
FUZZ_SECONDS ?= 120
JOBS ?= 2

BUILD := build
ASAN_BUILD := build-asan
CTEST := ctest --output-on-failure -j $(JOBS)

.PHONY: all deps build run test test-only asan tsan bench soak shot a11y fuzz diff install deb clean translations

all: build

deps:
	@./tools/install-packages $(PACKAGES) $(TEST_PACKAGES) $(E2E_PACKAGES) $(L10N_PACKAGES)

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/kestrun

test: build
	cd $(BUILD) && $(CTEST)
	$(MAKE) asan

test-only:
	cd $(BUILD) && $(CTEST)

# The whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer.
asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DKESTRUN_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && $(CTEST)

# The threaded load under ThreadSanitizer: the tests of the load, the main
# window and the text, then first loads and reloads of the benchmark at 0.5,
# 10, 100 and 2,000 MB. Qt is not built with it; tests/tsan.supp says how
# its own threads are judged. Any report fails.
TSAN_BUILD := build-tsan
TSAN_ENV := TSAN_OPTIONS="suppressions=$(CURDIR)/tests/tsan.supp ignore_noninstrumented_modules=1 die_after_fork=0 halt_on_error=1" QT_QPA_PLATFORM=offscreen
tsan: deps
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRUN_TSAN=ON
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target tst_tailloader tst_tailload tst_mainwindow tst_memotext tst_memo bench_loadtail
	cd $(TSAN_BUILD) && $(TSAN_ENV) $(CTEST) -R '^tst_(tailloader|tailload|mainwindow|memotext|memo)$$'
	mkdir -p $(TSAN_BUILD)/bench-data
	[ -f $(TSAN_BUILD)/bench-data/big.log ] || $(TSAN_ENV) $(TSAN_BUILD)/bench/bench_loadtail --make-log $(TSAN_BUILD)/bench-data/big.log 2100000000
	for mb in 0.5 10 100 2000; do $(TSAN_ENV) $(TSAN_BUILD)/bench/bench_loadtail --first $(TSAN_BUILD)/bench-data/big.log $$mb || exit 1; done

# After a text of ours changed: the catalogues in translations/ learn its new
# source text, to be translated there (tst_translations fails until it is).
LANGUAGES := de ar zh_CN
translations: deps
	for language in $(LANGUAGES); do /usr/lib/qt6/bin/lupdate -silent -no-obsolete -locations none -I . \
		app about base components textarea resources -ts translations/kestrun_$$language.ts || exit 1; done

bench: build
	@./tools/install-packages $(SHOT_PACKAGES) $(A11Y_PACKAGES)
	./bench/run-bench $(BUILD)

# Memory over a long session of the real program (minutes; not part of test).
SOAK_ROUNDS ?= 1000
soak: build
	@./tools/install-packages $(SHOT_PACKAGES)
	./bench/soak $(BUILD) $(SOAK_ROUNDS)

shot: build
	@./tools/install-packages $(SHOT_PACKAGES)
	./tools/screenshot $(BUILD) shots

# Installs under PREFIX (default /usr/local), staged under DESTDIR when set.
install: build
	DESTDIR=$(DESTDIR) cmake --install $(BUILD) --prefix $(PREFIX)

# The Debian package kestrun_1.0_amd64.deb, checked by lintian.
deb: build
	@./tools/install-packages $(DEB_PACKAGES)
	cd $(BUILD) && cpack -G DEB
	cp $(BUILD)/kestrun_1.0_amd64.deb .
	lintian --info kestrun_1.0_amd64.deb

# The real program read through AT-SPI as a screen reader reads it.
a11y: build
	@./tools/install-packages $(SHOT_PACKAGES) $(A11Y_PACKAGES)
	./tools/a11y-session ./tools/a11y-check $(BUILD)/kestrun

# The text model against its reference under libFuzzer, for FUZZ_SECONDS.
fuzz: deps
	@./tools/install-packages $(FUZZ_PACKAGES)
	cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRUN_FUZZ=ON
	cmake --build build-fuzz -j $(JOBS) --target fuzz_memotext
	mkdir -p build-fuzz/corpus
	./build-fuzz/fuzz/fuzz_memotext -max_total_time=$(FUZZ_SECONDS) -max_len=65536 -print_final_stats=1 build-fuzz/corpus fuzz/corpus
	$(MAKE) diff

# The text area against Qt's plain text edit, many random events.
DIFF_EVENTS ?= 100000
DIFF_SEED ?= 1
diff: build
	KESTRUN_DIFF_EVENTS=$(DIFF_EVENTS) KESTRUN_DIFF_SEED=$(DIFF_SEED) QT_QPA_PLATFORM=offscreen ./$(BUILD)/tests/textarea/tst_memo_vs_qt

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) build-fuzz
