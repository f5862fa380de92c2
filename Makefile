# Shortcuts over the CMake presets; see README.md.
.PHONY: build build-win32 dist test bench run deps wine32 clean

# CI sets CI=true: there, warnings are errors.
WERROR := $(if $(filter true 1,$(CI)),ON,OFF)
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

build: build-win32
	cmake --preset win64 -DSHEENWRIGHT_WERROR=$(WERROR)
	cmake --build --preset win64 -j $(JOBS)

build-win32: deps
	cmake --preset win32 -DSHEENWRIGHT_WERROR=$(WERROR)
	cmake --build --preset win32 -j $(JOBS)

# The release: dist/Sheenwright-<version>-win32.zip and dist/SHA256SUMS, the
# same bytes from the same sources wherever they are built.
dist: build-win32
	tools/make-dist

test: build wine32
	tools/wine-session --prefix build/win64/wineprefix ctest --preset win64

# Times and sizes against the targets; prints a table (build/bench/results.md).
bench: build
	tools/run-bench

# With a display that answers, Sheenwright opens there. Without one (as in CI),
# tools/run-demo works one round on a private display and saves screenshots.
run: build
	@if [ -n "$$DISPLAY" ] && { ! command -v xwininfo >/dev/null || timeout 2 xwininfo -root >/dev/null 2>&1; }; then \
		tools/wine-session --display-from-env --prefix build/win64/wineprefix \
			tools/wine-run --prefix build/win64/wineprefix build/win64/Sheenwright.exe; \
	else \
		[ -z "$$DISPLAY" ] || echo "make run: the display $$DISPLAY does not answer; showing the demo" >&2; \
		tools/run-demo; \
	fi

deps:
	@tools/install-deps

# The 32-bit Wine that only the shipped32 stage of make test runs, kept in the
# user's cache (see tools/install-wine32), so make clean leaves it.
wine32: deps
	@tools/install-wine32 >/dev/null

clean:
	rm -rf build dist
